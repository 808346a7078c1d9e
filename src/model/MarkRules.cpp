#include "model/MarkRules.h"

#include "model/AnnotationRenderer.h"

#include <QLineF>
#include <QPainterPath>
#include <QPainterPathStroker>

#include <algorithm>
#include <array>
#include <cmath>

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
    // QRectF's top is its smallest y; with y up that is the bottom edge.
    return {{SelHandle::TL, {r.left(), r.bottom()}},
            {SelHandle::TR, {r.right(), r.bottom()}},
            {SelHandle::BL, {r.left(), r.top()}},
            {SelHandle::BR, {r.right(), r.top()}}};
}

QPointF oppositeCorner(const QRectF &r, SelHandle h)
{
    switch (h) {
    case SelHandle::TL:
        return {r.right(), r.top()};
    case SelHandle::TR:
        return {r.left(), r.top()};
    case SelHandle::BL:
        return {r.right(), r.bottom()};
    case SelHandle::BR:
        return {r.left(), r.bottom()};
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

double textOverhang(const Annotation &a)
{
    // Italic overhangs and the field outline stay within a fraction of the size.
    return a.fontSize * 0.25 + 1;
}

// On the outline drawn with the mark's pen, widened by the tolerance on each side.
bool onStroke(const QPainterPath &path, double lineWidth, QPointF p, double tolerance)
{
    if (!path.controlPointRect().adjusted(-lineWidth - tolerance, -lineWidth - tolerance,
                                          lineWidth + tolerance, lineWidth + tolerance)
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

const std::array<MarkRules, 11> &table()
{
    static const std::array<MarkRules, 11> rules = [] {
        std::array<MarkRules, 11> t{};
        const MarkRules filledBox{boxHandles, resizeBox, false, false, none, insideBox};
        t[size_t(ToolKind::Select)] = {noHandles, noResize, false, false, none, neverHit};
        t[size_t(ToolKind::Arrow)] = {segmentHandles, resizeSegment, false, true, arrowOverhang,
                                      onSegment};
        t[size_t(ToolKind::Line)] = {segmentHandles, resizeSegment, false, true, halfStroke,
                                     onSegment};
        t[size_t(ToolKind::Rect)] = {boxHandles, resizeBox, false, false, halfStroke, onRectOutline};
        t[size_t(ToolKind::Ellipse)] = {boxHandles, resizeBox, false, false, halfStroke,
                                        onEllipseOutline};
        t[size_t(ToolKind::Pen)] = {noHandles, noResize, true, false, none, onPenStroke};
        t[size_t(ToolKind::Highlight)] = filledBox;
        t[size_t(ToolKind::Text)] = {boxHandles, resizeText, false, false, textOverhang, insideBox};
        t[size_t(ToolKind::Step)] = {boxHandles, resizeStep, true, false, none, insideBadge};
        t[size_t(ToolKind::Blur)] = filledBox;
        // The crop is the canvas's own frame, not a mark: it never takes a click.
        t[size_t(ToolKind::Crop)] = {boxHandles, resizeBox, false, false, none, neverHit};
        return t;
    }();
    return rules;
}

} // namespace

const MarkRules &MarkRules::of(ToolKind kind)
{
    return table()[size_t(kind)];
}

} // namespace vistrel
