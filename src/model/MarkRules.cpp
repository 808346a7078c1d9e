#include "model/MarkRules.h"

#include "model/AnnotationRenderer.h"

#include <QCoreApplication>
#include <QLineF>
#include <QPainterPath>
#include <QPainterPathStroker>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace vistrel {

QRectF uniteRects(const QRectF &a, const QRectF &b)
{
    const QRectF na = a.normalized(), nb = b.normalized();
    const double left = std::min(na.left(), nb.left()), right = std::max(na.right(), nb.right());
    const double top = std::min(na.top(), nb.top()), bottom = std::max(na.bottom(), nb.bottom());
    return QRectF(left, top, right - left, bottom - top);
}

QList<HandlePoint> cornerHandles(const QRectF &r)
{
    return {{SelHandle::TL, r.topLeft()},
            {SelHandle::TR, r.topRight()},
            {SelHandle::BL, r.bottomLeft()},
            {SelHandle::BR, r.bottomRight()}};
}

QPointF oppositeCorner(const QRectF &r, SelHandle h)
{
    switch (h) {
    case SelHandle::TL:
        return r.bottomRight();
    case SelHandle::TR:
        return r.bottomLeft();
    case SelHandle::BL:
        return r.topRight();
    case SelHandle::BR:
        return r.topLeft();
    default:
        return r.center();
    }
}

namespace {

double distance(QPointF a, QPointF b)
{
    return QLineF(a, b).length();
}

QList<HandlePoint> noHandles(const Annotation &)
{
    return {};
}

QList<HandlePoint> boxHandles(const Annotation &a)
{
    return cornerHandles(a.boundingRect());
}

QList<HandlePoint> segmentHandles(const Annotation &a)
{
    return {{SelHandle::P1, a.start},
            {SelHandle::P2, a.end},
            {SelHandle::Mid, a.control.value_or((a.start + a.end) / 2)}};
}

std::optional<QRectF> resizeSegment(Annotation &a, SelHandle h, QPointF p, QPointF,
                                    const Snapper &snap)
{
    if (h == SelHandle::Mid) {
        // Dropping the bend near the straight midpoint straightens the segment.
        if (distance(p, (a.start + a.end) / 2) < 8)
            a.control.reset();
        else
            a.control = p;
        return std::nullopt;
    }
    if (h != SelHandle::P1 && h != SelHandle::P2)
        return std::nullopt;
    const std::optional<SnapTarget> t = snap ? snap(p) : std::nullopt;
    (h == SelHandle::P1 ? a.start : a.end) = t ? t->point : p;
    return t ? std::optional<QRectF>(t->box) : std::nullopt;
}

// Scales step by step along the drag, by how much farther the pointer is from `centre`.
double scaled(double value, QPointF centre, QPointF p, QPointF q, double lo, double hi)
{
    return std::clamp(distance(p, centre) * value / std::max(distance(q, centre), 1.0), lo, hi);
}

std::optional<QRectF> resizeText(Annotation &a, SelHandle, QPointF p, QPointF q, const Snapper &)
{
    a.fontSize = scaled(a.fontSize, a.start, p, q, 9, 500);
    return std::nullopt;
}

std::optional<QRectF> resizeStep(Annotation &a, SelHandle, QPointF p, QPointF q, const Snapper &)
{
    a.lineWidth = scaled(a.lineWidth, a.boundingRect().center(), p, q, 2, 40);
    return std::nullopt;
}

std::optional<QRectF> resizeBox(Annotation &a, SelHandle h, QPointF p, QPointF, const Snapper &)
{
    if (h != SelHandle::TL && h != SelHandle::TR && h != SelHandle::BL && h != SelHandle::BR)
        return std::nullopt;
    const QPointF anchor = oppositeCorner(a.boundingRect(), h);
    const QRectF box(std::min(anchor.x(), p.x()), std::min(anchor.y(), p.y()),
                     std::max(std::abs(p.x() - anchor.x()), 4.0),
                     std::max(std::abs(p.y() - anchor.y()), 4.0));
    // Normalised after every step, so a corner dragged across the opposite edge flips.
    a.start = box.topLeft();
    a.end = box.bottomRight();
    return std::nullopt;
}

std::optional<QRectF> noResize(Annotation &, SelHandle, QPointF, QPointF, const Snapper &)
{
    return std::nullopt;
}

double none(const Annotation &)
{
    return 0;
}

double halfStroke(const Annotation &a)
{
    return a.lineWidth / 2 + 1;
}

double arrowOverhang(const Annotation &a)
{
    return std::max(a.lineWidth / 2, AnnotationRenderer::arrowHeadLength(a.lineWidth)) + 1;
}

double redactionOverhang(const Annotation &)
{
    return 1; // the fill reaches out to whole device pixels
}

double textOverhang(const Annotation &a)
{
    // Italic overhangs and the field outline stay within a fraction of the size.
    return a.fontSize * 0.25 + 1;
}

// On the outline drawn with the mark's pen, widened by the tolerance on each side.
bool onStroke(const QPainterPath &path, double lineWidth, QPointF p, double tolerance)
{
    if (!path.controlPointRect()
             .adjusted(-lineWidth - tolerance, -lineWidth - tolerance, lineWidth + tolerance,
                       lineWidth + tolerance)
             .contains(p))
        return false;
    QPainterPathStroker stroker;
    stroker.setWidth(lineWidth + 2 * tolerance);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(path).contains(p);
}

bool neverHit(const Annotation &, QPointF, double)
{
    return false;
}

bool insideBox(const Annotation &a, QPointF p, double tolerance)
{
    return a.boundingRect().adjusted(-tolerance, -tolerance, tolerance, tolerance).contains(p);
}

bool onSegment(const Annotation &a, QPointF p, double tolerance)
{
    if (onStroke(AnnotationRenderer::strokePath(a), a.lineWidth, p, tolerance))
        return true;
    if (a.kind != ToolKind::Arrow)
        return false;
    const QPolygonF head = AnnotationRenderer::arrowHead(a);
    QPainterPath headPath;
    headPath.addPolygon(head);
    headPath.closeSubpath();
    return headPath.contains(p) || onStroke(headPath, 0, p, tolerance);
}

bool onRectOutline(const Annotation &a, QPointF p, double tolerance)
{
    QPainterPath path;
    path.addRect(a.boundingRect());
    return onStroke(path, a.lineWidth, p, tolerance);
}

bool onEllipseOutline(const Annotation &a, QPointF p, double tolerance)
{
    QPainterPath path;
    path.addEllipse(a.boundingRect());
    return onStroke(path, a.lineWidth, p, tolerance);
}

bool onPenStroke(const Annotation &a, QPointF p, double tolerance)
{
    if (a.points.isEmpty())
        return false;
    if (a.points.size() == 1)
        return distance(a.points.first(), p) <= a.lineWidth / 2 + tolerance;
    QPainterPath path(a.points.first());
    for (qsizetype i = 1; i < a.points.size(); ++i)
        path.lineTo(a.points[i]);
    return onStroke(path, a.lineWidth, p, tolerance);
}

bool insideBadge(const Annotation &a, QPointF p, double tolerance)
{
    const QRectF r = a.boundingRect();
    return distance(r.center(), p) <= r.width() / 2 + tolerance;
}

// Drawing costs, measured with bench/scene_cost_bench: the rasterizer's time grows with the
// length of the strokes (every row a stroke crosses), with the points (one piece each) and
// with the pixels filled; a frame never draws more than a large screen of pixels.
constexpr double screenPixels = 3840.0 * 2160.0;

double strokeLength(const QList<QPointF> &points)
{
    double length = 0;
    for (qsizetype i = 1; i < points.size(); ++i)
        length += distance(points[i - 1], points[i]);
    return length;
}

double penCost(const Annotation &a)
{
    const double length = strokeLength(a.points);
    return 2 + 1.5 * double(a.points.size()) + 1.2 * length + 0.004 * length * a.lineWidth;
}

double textCost(const Annotation &a)
{
    return 10 + 0.5 * double(a.text.size() + a.caption.size());
}

double filledCost(const Annotation &a)
{
    const QRectF r = a.boundingRect();
    return 10 + 0.001 * std::min(std::abs(r.width() * r.height()), screenPixels);
}

using R = AnnotationRenderer;
using A = Annotation;

// One row per kind, in the order of ToolKind, which is the palette's.
// clang-format off
constexpr MarkRules rules[] = {
    {.kind = ToolKind::Select, .name = "select", .icon = "tool-pointer", .tip = QT_TRANSLATE_NOOP("ToolKind", "Select / Move (V)"), .key = 'v',
     .cursorSymbol = nullptr, .cursorSize = 0, .cursorShape = Qt::ArrowCursor,
     .makesMark = false, .freehand = false, .numbered = false, .typed = false, .pixelated = false,
     .bounds = A::boxBounds, .paint = R::paintNothing, .handles = noHandles, .resize = noResize,
     .keptWithoutMovement = false, .snapsEnds = false, .overhang = none, .hits = neverHit},
    {.kind = ToolKind::Arrow, .name = "arrow", .icon = "draw-arrow", .tip = QT_TRANSLATE_NOOP("ToolKind", "Arrow (A)"), .key = 'a', .cardSlot = 1,
     .cursorSymbol = "draw-arrow", .cursorSize = 16, .cursorShape = Qt::CrossCursor,
     .makesMark = true, .freehand = false, .numbered = false, .typed = false, .pixelated = false,
     .bounds = A::segmentBounds, .paint = R::paintArrow, .handles = segmentHandles,
     .resize = resizeSegment, .keptWithoutMovement = false, .snapsEnds = true,
     .overhang = arrowOverhang, .hits = onSegment},
    {.kind = ToolKind::Line, .name = "line", .icon = "draw-line", .tip = QT_TRANSLATE_NOOP("ToolKind", "Line (L)"), .key = 'l',
     .cursorSymbol = "draw-line", .cursorSize = 16, .cursorShape = Qt::CrossCursor,
     .makesMark = true, .freehand = false, .numbered = false, .typed = false, .pixelated = false,
     .bounds = A::segmentBounds, .paint = R::paintLine, .handles = segmentHandles,
     .resize = resizeSegment, .keptWithoutMovement = false, .snapsEnds = true,
     .overhang = halfStroke, .hits = onSegment},
    {.kind = ToolKind::Rect, .name = "rect", .icon = "draw-rectangle", .tip = QT_TRANSLATE_NOOP("ToolKind", "Rectangle (R)"), .key = 'r',
     .cursorSymbol = nullptr, .cursorSize = 0, .cursorShape = Qt::CrossCursor,
     .makesMark = true, .freehand = false, .numbered = false, .typed = false, .pixelated = false,
     .bounds = A::boxBounds, .paint = R::paintRect, .handles = boxHandles, .resize = resizeBox,
     .keptWithoutMovement = false, .snapsEnds = false, .overhang = halfStroke,
     .hits = onRectOutline},
    {.kind = ToolKind::Ellipse, .name = "ellipse", .icon = "draw-ellipse", .tip = QT_TRANSLATE_NOOP("ToolKind", "Ellipse (O)"), .key = 'o',
     .cursorSymbol = nullptr, .cursorSize = 0, .cursorShape = Qt::CrossCursor,
     .makesMark = true, .freehand = false, .numbered = false, .typed = false, .pixelated = false,
     .bounds = A::boxBounds, .paint = R::paintEllipse, .handles = boxHandles,
     .resize = resizeBox, .keptWithoutMovement = false, .snapsEnds = false,
     .overhang = halfStroke, .hits = onEllipseOutline},
    {.kind = ToolKind::Pen, .name = "pen", .icon = "draw-freehand", .tip = QT_TRANSLATE_NOOP("ToolKind", "Pen (P)"), .key = 'p', .cardSlot = 2,
     .cursorSymbol = "draw-freehand", .cursorSize = 18, .cursorShape = Qt::CrossCursor,
     .makesMark = true, .freehand = true, .numbered = false, .typed = false, .pixelated = false,
     .bounds = A::penBounds, .paint = R::paintPen, .handles = noHandles, .resize = noResize,
     .keptWithoutMovement = true, .snapsEnds = false, .overhang = none, .hits = onPenStroke,
     .cost = penCost},
    {.kind = ToolKind::Highlight, .name = "highlight", .icon = "draw-highlight", .tip = QT_TRANSLATE_NOOP("ToolKind", "Highlight (H)"), .key = 'h', .cardSlot = 3,
     .cursorSymbol = "draw-highlight", .cursorSize = 18, .cursorShape = Qt::CrossCursor,
     .makesMark = true, .freehand = false, .numbered = false, .typed = false, .pixelated = false,
     .bounds = A::boxBounds, .paint = R::paintHighlight, .handles = boxHandles,
     .resize = resizeBox, .keptWithoutMovement = false, .snapsEnds = false, .overhang = none,
     .hits = insideBox, .cost = filledCost},
    {.kind = ToolKind::Text, .name = "text", .icon = "draw-text", .tip = QT_TRANSLATE_NOOP("ToolKind", "Text (T)"), .key = 't', .cardSlot = 5,
     .cursorSymbol = nullptr, .cursorSize = 0, .cursorShape = Qt::IBeamCursor,
     .makesMark = true, .freehand = false, .numbered = false, .typed = true, .pixelated = false,
     .bounds = A::textBounds, .paint = R::paintText, .handles = boxHandles,
     .resize = resizeText, .keptWithoutMovement = false, .snapsEnds = false,
     .overhang = textOverhang, .hits = insideBox, .maxInScene = 1000, .cost = textCost},
    {.kind = ToolKind::Step, .name = "step", .icon = "draw-number", .tip = QT_TRANSLATE_NOOP("ToolKind", "Numbered Step (S)"), .key = 's',
     .cursorSymbol = "target", .cursorSize = 16, .cursorShape = Qt::CrossCursor,
     .makesMark = true, .freehand = false, .numbered = true, .typed = false, .pixelated = false,
     .bounds = A::stepBounds, .paint = R::paintStep, .handles = boxHandles,
     .resize = resizeStep, .keptWithoutMovement = true, .snapsEnds = false, .overhang = none,
     .hits = insideBadge, .maxInScene = 1000, .cost = textCost},
    {.kind = ToolKind::Blur, .name = "blur", .icon = "blurfx", .tip = QT_TRANSLATE_NOOP("ToolKind", "Blur / Pixelate (B)"), .key = 'b', .cardSlot = 4,
     .cursorSymbol = nullptr, .cursorSize = 0, .cursorShape = Qt::CrossCursor,
     .makesMark = true, .freehand = false, .numbered = false, .typed = false, .pixelated = true,
     .bounds = A::boxBounds, .paint = R::paintBlur, .handles = boxHandles, .resize = resizeBox,
     .keptWithoutMovement = false, .snapsEnds = false, .overhang = none, .hits = insideBox,
     .maxInScene = 500, .cost = filledCost},
    // Drawn by hand or placed by Redact Secrets; selectable, movable and resizable like a box,
    // always in the redaction colour.
    {.kind = ToolKind::Redact, .name = "redact", .icon = "redact-box", .tip = QT_TRANSLATE_NOOP("ToolKind", "Redact (D)"), .key = 'd',
     .cursorSymbol = nullptr, .cursorSize = 0, .cursorShape = Qt::CrossCursor,
     .makesMark = true, .freehand = false, .numbered = false, .typed = false, .pixelated = false,
     .covers = true,
     .bounds = A::boxBounds, .paint = R::paintRedaction, .handles = boxHandles, .resize = resizeBox,
     .keptWithoutMovement = false, .snapsEnds = false, .overhang = redactionOverhang,
     .hits = insideBox},
    // The crop is the canvas's own frame, not a mark: it never takes a click.
    {.kind = ToolKind::Crop, .name = "crop", .icon = "transform-crop", .tip = QT_TRANSLATE_NOOP("ToolKind", "Crop (C)"), .key = 'c',
     .cursorSymbol = nullptr, .cursorSize = 0, .cursorShape = Qt::CrossCursor,
     .makesMark = false, .freehand = false, .numbered = false, .typed = false, .pixelated = false,
     .bounds = A::boxBounds, .paint = R::paintNothing, .handles = boxHandles,
     .resize = resizeBox, .keptWithoutMovement = false, .snapsEnds = false, .overhang = none,
     .hits = neverHit},
};
// clang-format on

constexpr bool rowsFollowKinds()
{
    for (size_t i = 0; i < std::size(rules); ++i)
        if (rules[i].kind != ToolKind(i))
            return false;
    return true;
}
static_assert(std::size(rules) == size_t(ToolKind::Count), "one row per ToolKind");
static_assert(rowsFollowKinds(), "the rows follow the order of ToolKind");

constexpr bool cardSlotsAreDistinct()
{
    for (const MarkRules &a : rules)
        for (const MarkRules &b : rules)
            if (&a != &b && a.cardSlot > 0 && a.cardSlot == b.cardSlot)
                return false;
    return true;
}
static_assert(cardSlotsAreDistinct(), "one tool per place on the preview card");

} // namespace

const MarkRules &MarkRules::of(ToolKind kind)
{
    Q_ASSERT(size_t(kind) < std::size(rules));
    return rules[size_t(kind)];
}

const QList<ToolKind> &allToolKinds()
{
    static const QList<ToolKind> all = [] {
        QList<ToolKind> kinds;
        for (const MarkRules &row : rules)
            kinds.append(row.kind);
        return kinds;
    }();
    return all;
}

const QList<ToolKind> &previewCardToolKinds()
{
    static const QList<ToolKind> onCard = [] {
        QList<const MarkRules *> rows;
        for (const MarkRules &row : rules)
            if (row.cardSlot > 0)
                rows.append(&row);
        std::sort(rows.begin(), rows.end(),
                  [](const MarkRules *a, const MarkRules *b) { return a->cardSlot < b->cardSlot; });
        QList<ToolKind> kinds;
        for (const MarkRules *row : rows)
            kinds.append(row->kind);
        return kinds;
    }();
    return onCard;
}

double MarkRules::drawCost(const Annotation &mark)
{
    const MarkRules &rules = of(mark.kind);
    return rules.cost ? rules.cost(mark) : 20;
}

bool MarkRules::fitsScene(const QList<AnnotationRef> &marks, const Annotation &more)
{
    if (marks.size() + 1 > maxSceneMarks)
        return false;
    qsizetype points = more.points.size();
    double cost = drawCost(more);
    int sameKind = 1;
    for (const AnnotationRef &m : marks) {
        points += m->points.size();
        cost += drawCost(*m);
        sameKind += m->kind == more.kind;
    }
    return points <= maxScenePoints && cost <= maxSceneCost && sameKind <= of(more.kind).maxInScene;
}

AnnotationRef MarkRules::startDraft(ToolKind kind, QPointF at, const QColor &color,
                                    double lineWidth)
{
    AnnotationRef draft = Annotation::make(
        kind, at, at, of(kind).covers ? Annotation::redactionColor() : color, lineWidth);
    if (of(kind).freehand)
        draft->points = {at};
    return draft;
}

std::optional<QRectF> MarkRules::extendDraft(Annotation &draft, QPointF to, const Snapper &snap)
{
    const MarkRules &rules = of(draft.kind);
    if (rules.freehand) {
        // A stroke that long ends there; the next drag starts another.
        if (draft.points.size() < maxPoints)
            draft.points.append(to);
        return std::nullopt;
    }
    const std::optional<SnapTarget> target =
        rules.snapsEnds && snap ? snap(to) : std::optional<SnapTarget>();
    draft.end = target ? target->point : to;
    return target ? std::optional<QRectF>(target->box) : std::nullopt;
}

bool MarkRules::keepsDraft(const Annotation &draft)
{
    // A click that drew nothing leaves nothing; a pen dot or a step badge is a mark.
    const QRectF box = draft.boundingRect();
    return of(draft.kind).keptWithoutMovement || box.width() >= 3 || box.height() >= 3;
}

} // namespace vistrel
