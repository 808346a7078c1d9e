#include "editor/CanvasModel.h"

#include "editor/AnnotationRenderer.h"
#include "editor/CaptionPanel.h"
#include "editor/YUp.h"
#include "services/OCRService.h"

#include <QGuiApplication>
#include <QLineF>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPointer>
#include <QUndoCommand>
#include <QUndoStack>

#include <QThread>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <vector>

#include <sys/mman.h>

namespace vistrel {

// One snapshot of the marks. Undo and redo swap it with the live list, so the command always
// holds the state to go to next.
class SnapshotCommand : public QUndoCommand
{
public:
    explicit SnapshotCommand(CanvasModel *model) : m_model(model), m_other(model->snapshot()) {}
    void undo() override { swap(); }
    void redo() override
    {
        if (m_pushed)
            swap();
        m_pushed = true; // QUndoStack::push redoes at once; the marks are already current
    }

private:
    void swap()
    {
        CanvasScene current = m_model->snapshot();
        m_model->restore(m_other);
        m_other = std::move(current);
    }
    CanvasModel *m_model;
    CanvasScene m_other;
    bool m_pushed = false;
};

CanvasChange &CanvasChange::operator|=(const CanvasChange &o)
{
    if (!o.dirty.isEmpty())
        dirty = dirty.isEmpty() ? o.dirty : uniteRects(dirty, o.dirty);
    repaintAll |= o.repaintAll;
    sizeChanged |= o.sizeChanged;
    toolChanged |= o.toolChanged;
    cursorChanged |= o.cursorChanged;
    openTextField |= o.openTextField;
    openCaptionField |= o.openCaptionField;
    return *this;
}

namespace {

double distance(QPointF a, QPointF b)
{
    return QLineF(a, b).length();
}

QColor accentColor()
{
    return QGuiApplication::palette().color(QPalette::Highlight);
}

void touch(CanvasChange &c, const QRectF &r)
{
    if (r.isNull())
        return;
    c.dirty = c.dirty.isEmpty() ? r : uniteRects(c.dirty, r);
}

// Shadow reach of an image tile: blur radius 18 spreads about 27 points, offset 6 down.
constexpr double shadowSigma = 9;
constexpr double shadowReach = 27;
constexpr double shadowOffset = 6;
constexpr double shadowAlpha = 0.28;

QRectF tileArea(const QRectF &frame)
{
    return frame.adjusted(-shadowReach, -shadowReach - shadowOffset, shadowReach, shadowReach)
        .adjusted(-6, -6, 6, 6); // the selection ring and its corner circles
}

// The blurred shadow of a large square, to be cut into corners and edges: the blur's ramp
// spans [0, 2·reach] from each side.
const QImage &shadowPatch()
{
    static const QImage patch = [] {
        // Two plain columns in the middle give the edges something to stretch.
        const int e = int(shadowReach), n = 4 * e + 2;
        auto ramp = [&](double t) {
            auto phi = [](double v) { return 0.5 * std::erfc(-v / std::sqrt(2.0)); };
            return phi((t - e) / shadowSigma) - phi((t - (n - e)) / shadowSigma);
        };
        QImage img(n, n, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < n; ++y) {
            auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
            for (int x = 0; x < n; ++x) {
                const int a = int(std::lround(255 * shadowAlpha * ramp(x + 0.5) * ramp(y + 0.5)));
                line[x] = qRgba(0, 0, 0, a);
            }
        }
        return img;
    }();
    return patch;
}

// A small tile of the background with a dot on each corner; repeated, it puts dots on the
// absolute 28-point lattice.
const QImage &dotTile()
{
    static const QImage tile = [] {
        const int s = int(CanvasModel::dotSpacing);
        QImage img(s, s, QImage::Format_ARGB32_Premultiplied);
        img.fill(CanvasModel::canvasColor());
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(CanvasModel::dotColor());
        const double r = CanvasModel::dotDiameter / 2;
        for (QPointF c : {QPointF(0, 0), QPointF(s, 0), QPointF(0, s), QPointF(s, s)})
            p.drawEllipse(c, r, r);
        return img;
    }();
    return tile;
}

QImage forDrawing(const QImage &image)
{
    // Blits fastest in the backing store's formats.
    if (image.format() == QImage::Format_RGB32 ||
        image.format() == QImage::Format_ARGB32_Premultiplied)
        return image;
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                         : QImage::Format_RGB32);
}

} // namespace

CanvasModel::CanvasModel(const QImage &image, const QList<AnnotationRef> &seed,
                         TextBoxDetection detect, QObject *parent)
    : QObject(parent), m_detect(std::move(detect)), m_baseImage(forDrawing(image)),
      m_imageSize(image.size()), m_strokeColor(QColor(255, 59, 48)),
      m_undoStack(new QUndoStack(this))
{
    if (!m_detect)
        m_detect = [](const QImage &img, QObject *context,
                      std::function<void(QList<QRectF>)> done) {
            TextBoxDetector::detect(img, context, std::move(done));
        };
    m_canvasSize = QSizeF(m_imageSize.width() + 2 * margin, m_imageSize.height() + 2 * margin);
    for (const AnnotationRef &s : seed) {
        AnnotationRef m = s->copyForUndo();
        m->translate(QPointF(margin, margin));
        if (m->kind == ToolKind::Crop)
            m_crop = m->boundingRect(); // the newest crop holds
        else
            m_annotations.append(m);
    }
    if (!m_baseImage.isNull())
        m_detect(m_baseImage, this, [this](QList<QRectF> boxes) { m_primaryTextBoxes = boxes; });
}

CanvasModel::~CanvasModel() = default;

// ---- undo ---------------------------------------------------------------------------------

CanvasScene CanvasModel::snapshot() const
{
    CanvasScene scene;
    scene.marks.reserve(m_annotations.size());
    for (const AnnotationRef &m : m_annotations)
        scene.marks.append(m->copyForUndo());
    for (const PlacedImageRef &img : m_extraImages)
        scene.images.append({img, img->frame});
    scene.crop = m_crop;
    return scene;
}

void CanvasModel::restore(const CanvasScene &scene)
{
    m_annotations = scene.marks;
    m_extraImages.clear();
    for (const auto &[img, frame] : scene.images) {
        img->frame = frame;
        m_extraImages.append(img);
    }
    m_crop = scene.crop;
    m_selected.reset();
    m_selectedImage.reset();
    emit marksRestored();
}

void CanvasModel::pushUndo()
{
    auto *command = new SnapshotCommand(this);
    m_undoStack->push(command);
    m_gestureSnapshot = command;
}

void CanvasModel::dropNewestUndo()
{
    const int n = m_undoStack->count();
    // Only the snapshot this gesture took, and only while it is still the newest step; an
    // undo in the middle of the gesture leaves the history alone.
    if (n > 0 && m_undoStack->index() == n && m_undoStack->command(n - 1) == m_gestureSnapshot) {
        auto *command = const_cast<QUndoCommand *>(m_undoStack->command(n - 1));
        command->setObsolete(true);
        m_undoStack->undo(); // an obsolete command is deleted without being undone
    }
    m_gestureSnapshot = nullptr;
}

// ---- geometry -----------------------------------------------------------------------------

QRectF CanvasModel::paintRect(const Annotation &mark)
{
    const double reach = MarkRules::of(mark.kind).overhang(mark) + 12; // + selection decoration
    return mark.boundingRect().adjusted(-reach, -reach, reach, reach);
}

QList<HandlePoint> CanvasModel::selectionHandlePoints(const Annotation &mark) const
{
    return MarkRules::of(mark.kind).handles(mark);
}

std::optional<SelHandle> CanvasModel::imageHandleHit(const PlacedImage &image, QPointF p) const
{
    const QRectF f = image.frame;
    const std::pair<SelHandle, QPointF> corners[] = {{SelHandle::BL, {f.left(), f.top()}},
                                                     {SelHandle::BR, {f.right(), f.top()}},
                                                     {SelHandle::TL, {f.left(), f.bottom()}},
                                                     {SelHandle::TR, {f.right(), f.bottom()}}};
    for (const auto &[handle, point] : corners)
        if (distance(point, p) < imageHandleGrab)
            return handle;
    return std::nullopt;
}

QList<QRectF> CanvasModel::canvasTextBoxes() const
{
    auto mapOnto = [](const QRectF &b, const QRectF &r) {
        return QRectF(r.left() + b.left() * r.width(), r.top() + b.top() * r.height(),
                      b.width() * r.width(), b.height() * r.height());
    };
    QList<QRectF> boxes;
    const QRectF primary = primaryRect();
    for (const QRectF &b : m_primaryTextBoxes)
        boxes.append(mapOnto(b, primary));
    for (const PlacedImageRef &img : m_extraImages)
        for (const QRectF &b : img->textBoxes)
            boxes.append(mapOnto(b, img->frame));
    return boxes;
}

std::optional<SnapTarget> CanvasModel::snapToText(QPointF p, double threshold) const
{
    std::optional<SnapTarget> best;
    double bestDistance = threshold;
    for (const QRectF &r : canvasTextBoxes()) {
        QPointF candidate;
        double d;
        if (r.contains(p)) {
            // Inside a box only the nearest edge attracts, and only from as close as outside.
            const double dl = p.x() - r.left(), dr = r.right() - p.x();
            const double db = p.y() - r.top(), dt = r.bottom() - p.y();
            const double m = std::min({dl, dr, db, dt});
            if (m == dl)
                candidate = QPointF(r.left(), p.y());
            else if (m == dr)
                candidate = QPointF(r.right(), p.y());
            else if (m == db)
                candidate = QPointF(p.x(), r.top());
            else
                candidate = QPointF(p.x(), r.bottom());
            d = m;
        } else {
            candidate = QPointF(std::clamp(p.x(), r.left(), r.right()),
                                std::clamp(p.y(), r.top(), r.bottom()));
            d = distance(candidate, p);
        }
        if (d < threshold && (!best || d < bestDistance)) {
            best = SnapTarget{candidate, r};
            bestDistance = d;
        }
    }
    return best;
}

std::optional<SnapTarget> CanvasModel::snapIfOn(QPointF p) const
{
    return m_snapping ? snapToText(p) : std::nullopt;
}

QRectF CanvasModel::imageArea() const
{
    QRectF area = primaryRect();
    for (const PlacedImageRef &img : m_extraImages)
        area = uniteRects(area, img->frame);
    return area;
}

QList<AnnotationRef> CanvasModel::captionedSteps() const
{
    return CaptionPanel::captionedSteps(m_annotations);
}

std::optional<QRectF> CanvasModel::captionPanelRect() const
{
    return CaptionPanel::rect(captionedSteps(), imageArea());
}

QRectF CanvasModel::exportRect() const
{
    if (m_crop)
        return QRectF(m_crop->toAlignedRect());
    const QRectF images = imageArea();
    QRectF all = images;
    for (const AnnotationRef &m : m_annotations)
        all = uniteRects(all, m->boundingRect());
    if (const auto panel = captionPanelRect())
        all = uniteRects(all, *panel);
    if (all == images)
        return images;
    return all.adjusted(-exportBorder, -exportBorder, exportBorder, exportBorder);
}

QRectF CanvasModel::contentRect() const
{
    QRectF content = imageArea();
    for (const AnnotationRef &m : m_annotations) {
        const double reach = MarkRules::of(m->kind).overhang(*m);
        content = uniteRects(content, m->boundingRect().adjusted(-reach, -reach, reach, reach));
    }
    if (const auto panel = captionPanelRect())
        content = uniteRects(content, *panel);
    if (m_crop)
        content = uniteRects(content, *m_crop);
    return content;
}

AnnotationRef CanvasModel::markAt(QPointF p) const
{
    for (auto it = m_annotations.crbegin(); it != m_annotations.crend(); ++it)
        if (MarkRules::of((*it)->kind).hits(**it, p, hitSlop))
            return *it;
    return {};
}

qint64 CanvasModel::stepCounter() const
{
    qint64 highest = 0;
    for (const AnnotationRef &m : m_annotations)
        if (m->kind == ToolKind::Step)
            highest = std::max(highest, m->stepNumber);
    if (m_draft && m_draft->kind == ToolKind::Step)
        highest = std::max(highest, m_draft->stepNumber);
    return highest + 1;
}

CanvasChange CanvasModel::growCanvas()
{
    const QRectF content = contentRect();
    const double w = std::max(m_canvasSize.width(), content.right() + margin);
    const double h = std::max(m_canvasSize.height(), content.bottom() + margin);
    CanvasChange c;
    if (w > m_canvasSize.width() || h > m_canvasSize.height()) {
        m_canvasSize = QSizeF(w, h);
        c.sizeChanged = true;
        c.repaintAll = true;
    }
    return c;
}

// ---- tools and keys -----------------------------------------------------------------------

std::optional<ToolKind> CanvasModel::shortcut(QChar letter)
{
    const QChar lower = letter.toLower();
    for (ToolKind k : allToolKinds())
        if (keyLetter(k) == lower)
            return k;
    return std::nullopt;
}

KeyAction CanvasModel::keyAction(int key, Qt::KeyboardModifiers modifiers)
{
    if (key == Qt::Key_Backspace || key == Qt::Key_Delete)
        return {KeyAction::Delete};
    if (key == Qt::Key_Escape)
        return {KeyAction::ClearSelection};
    if ((modifiers & Qt::ControlModifier) && key == Qt::Key_V)
        return {KeyAction::Paste};
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return {};
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        if (const auto tool = shortcut(QChar('a' + (key - Qt::Key_A))))
            return {KeyAction::Tool, *tool};
    return {};
}

CanvasChange CanvasModel::setCurrentTool(ToolKind tool)
{
    CanvasChange c;
    m_currentTool = tool;
    c.cursorChanged = true;
    if (tool != ToolKind::Select)
        c |= clearSelection();
    return c;
}

// ---- mouse --------------------------------------------------------------------------------

CanvasChange CanvasModel::mouseDown(QPointF p)
{
    CanvasChange c;
    if (m_currentTool == ToolKind::Text)
        return beginTextEntry(p);
    if (m_currentTool == ToolKind::Crop)
        return cropDown(p);

    if (m_currentTool != ToolKind::Select) {
        pushUndo();
        QPointF anchor = p;
        const MarkRules &rules = MarkRules::of(m_currentTool);
        if (rules.snapsEnds)
            if (const auto snap = snapIfOn(p))
                anchor = snap->point;
        const qint64 nextStep = stepCounter();
        m_draft = Annotation::make(m_currentTool, anchor, anchor, m_strokeColor, m_lineWidth);
        if (m_currentTool == ToolKind::Pen)
            m_draft->points = {p};
        if (m_currentTool == ToolKind::Step) {
            m_draft->stepNumber = nextStep;
            m_draft->end = p;
        }
        touch(c, paintRect(*m_draft));
        return c;
    }

    if (m_selected) {
        for (const HandlePoint &h : selectionHandlePoints(*m_selected)) {
            if (distance(h.point, p) < handleGrab) {
                m_activeHandle = h.handle;
                m_movingFrom = p;
                m_dragPushed = false;
                return c;
            }
        }
    }
    if (m_selectedImage) {
        if (const auto corner = imageHandleHit(*m_selectedImage, p)) {
            m_imageResizeHandle = corner;
            m_movingFrom = p;
            m_dragPushed = false;
            return c;
        }
    }

    c |= clearSelection();
    m_selected = markAt(p);
    if (!m_selected) {
        for (auto it = m_extraImages.crbegin(); it != m_extraImages.crend(); ++it) {
            if ((*it)->frame.contains(p)) {
                m_selectedImage = *it;
                break;
            }
        }
    }
    if (m_selected)
        touch(c, paintRect(*m_selected));
    if (m_selectedImage)
        touch(c, tileArea(m_selectedImage->frame));
    m_activeHandle = SelHandle::None;
    m_imageResizeHandle.reset();
    m_movingFrom = p;
    m_dragPushed = false;
    return c;
}

CanvasChange CanvasModel::mouseDragged(QPointF p)
{
    CanvasChange c;
    auto touchSnap = [&] {
        if (m_snapPreview)
            touch(c, m_snapPreview->adjusted(-4, -4, 4, 4));
    };

    if (m_currentTool == ToolKind::Crop)
        return cropDragged(p);
    if (m_currentTool != ToolKind::Select || !m_movingFrom) {
        if (!m_draft)
            return c;
        touch(c, paintRect(*m_draft));
        touchSnap();
        m_snapPreview.reset();
        if (m_draft->kind == ToolKind::Pen) {
            m_draft->points.append(p);
        } else if (MarkRules::of(m_draft->kind).snapsEnds) {
            const auto snap = snapIfOn(p);
            m_draft->end = snap ? snap->point : p;
            if (snap)
                m_snapPreview = snap->box;
        } else {
            m_draft->end = p;
        }
        touch(c, paintRect(*m_draft));
        touchSnap();
        return c;
    }

    const QPointF d = p - *m_movingFrom;
    if (m_selected) {
        if (!m_dragPushed) {
            pushUndo();
            m_dragPushed = true;
        }
        touch(c, paintRect(*m_selected));
        touchSnap();
        if (m_activeHandle == SelHandle::None)
            m_selected->translate(d);
        else
            resizeSelected(m_activeHandle, p, *m_movingFrom);
        touch(c, paintRect(*m_selected));
        touchSnap();
    } else if (m_selectedImage) {
        if (!m_dragPushed) {
            pushUndo();
            m_dragPushed = true;
        }
        touch(c, tileArea(m_selectedImage->frame));
        if (!m_imageResizeHandle)
            m_selectedImage->frame.translate(d);
        else
            resizeImage(*m_selectedImage, *m_imageResizeHandle, p);
        touch(c, tileArea(m_selectedImage->frame));
        // The legend stands beside the images and follows them.
        c.repaintAll |= !captionedSteps().isEmpty();
        c |= growCanvas();
    } else {
        return c;
    }
    m_movingFrom = p;
    return c;
}

CanvasChange CanvasModel::mouseUp(QPointF)
{
    CanvasChange c;
    if (m_snapPreview)
        touch(c, m_snapPreview->adjusted(-4, -4, 4, 4));
    if (m_currentTool == ToolKind::Crop)
        return cropUp();
    if (m_currentTool == ToolKind::Select) {
        m_movingFrom.reset();
        m_activeHandle = SelHandle::None;
        m_imageResizeHandle.reset();
        m_snapPreview.reset();
        m_dragPushed = false;
        return c;
    }
    if (!m_draft)
        return c;
    AnnotationRef draft = std::move(m_draft);
    m_draft.reset();
    m_snapPreview.reset();
    touch(c, paintRect(*draft));
    const QRectF box = draft->boundingRect();
    if (MarkRules::of(draft->kind).keptWithoutMovement || box.width() >= 3 || box.height() >= 3) {
        m_annotations.append(draft);
        if (draft->kind == ToolKind::Step)
            c |= beginCaptionEntry(draft);
        c |= growCanvas();
    } else {
        dropNewestUndo();
    }
    return c;
}

void CanvasModel::resizeSelected(SelHandle handle, QPointF p, QPointF q)
{
    Annotation &mark = *m_selected;
    const Snapper snap = [this](QPointF at) { return snapIfOn(at); };
    m_snapPreview = MarkRules::of(mark.kind).resize(mark, handle, p, q, snap);
}

void CanvasModel::resizeImage(PlacedImage &image, SelHandle handle, QPointF p)
{
    if (handle != SelHandle::TL && handle != SelHandle::TR && handle != SelHandle::BL &&
        handle != SelHandle::BR)
        return;
    const QPointF anchor = oppositeCorner(image.frame, handle);
    const double aspect = double(image.cg.width()) / std::max(image.cg.height(), 1);
    const double w = std::max(std::abs(p.x() - anchor.x()), minImageWidth);
    const double h = w / aspect;
    const double x = p.x() < anchor.x() ? anchor.x() - w : anchor.x();
    const double y = p.y() < anchor.y() ? anchor.y() - h : anchor.y();
    image.frame = QRectF(x, y, w, h);
}

// ---- style of the selection --------------------------------------------------------------

CanvasChange CanvasModel::restyle(bool width, const std::function<void(Annotation &)> &change)
{
    CanvasChange c;
    if (!m_selected)
        return c;
    const int n = m_undoStack->count();
    const bool continuing = width && m_restyleTarget == m_selected.get() && n > 0 &&
                            m_undoStack->index() == n &&
                            m_undoStack->command(n - 1) == m_restyleSnapshot;
    if (!continuing) {
        pushUndo();
        m_restyleSnapshot = width ? m_gestureSnapshot : nullptr;
        m_restyleTarget = m_selected.get();
    }
    touch(c, paintRect(*m_selected));
    change(*m_selected);
    touch(c, paintRect(*m_selected));
    if (m_selected->kind == ToolKind::Step)
        c.repaintAll = true; // the legend's badge too
    c |= growCanvas();
    return c;
}

CanvasChange CanvasModel::setStrokeColor(const QColor &color)
{
    m_strokeColor = color;
    if (!m_selected || m_selected->color == color)
        return {};
    return restyle(false, [&](Annotation &m) { m.color = color; });
}

CanvasChange CanvasModel::setLineWidth(double width)
{
    m_lineWidth = width;
    if (!m_selected)
        return {};
    return restyle(true, [&](Annotation &m) {
        if (m.kind == ToolKind::Text)
            m.fontSize = std::max(4 * width, 18.0); // as a new text mark gets it
        else
            m.lineWidth = width;
    });
}

// ---- crop ---------------------------------------------------------------------------------

CanvasChange CanvasModel::cropDown(QPointF p)
{
    CanvasChange c;
    pushUndo();
    m_cropGesture = true;
    m_cropBefore = m_crop;
    m_movingFrom = p;
    m_cropHandle.reset();
    if (m_crop) {
        for (const HandlePoint &h : cornerHandles(*m_crop))
            if (distance(h.point, p) < handleGrab)
                m_cropHandle = h.handle;
        if (!m_cropHandle && m_crop->contains(p))
            m_cropHandle = SelHandle::None;
    }
    if (m_cropHandle && *m_cropHandle != SelHandle::None) {
        m_cropAnchor = oppositeCorner(*m_crop, *m_cropHandle);
    } else if (!m_cropHandle) {
        // A new frame from here; it replaces the old one when let go.
        m_cropAnchor = p;
        m_crop = QRectF(p, QSizeF(0, 0));
    }
    c.repaintAll = true;
    return c;
}

CanvasChange CanvasModel::cropDragged(QPointF p)
{
    CanvasChange c;
    if (!m_cropGesture || !m_movingFrom || !m_crop)
        return c;
    if (m_cropHandle == SelHandle::None)
        m_crop->translate(p - *m_movingFrom);
    else
        m_crop = rectOf(m_cropAnchor, p);
    m_movingFrom = p;
    c.repaintAll = true;
    return c;
}

CanvasChange CanvasModel::cropUp()
{
    CanvasChange c;
    if (!m_cropGesture)
        return c;
    m_cropGesture = false;
    m_movingFrom.reset();
    c.repaintAll = true;
    if (!m_crop || m_crop->width() < 2 * minBoxSide || m_crop->height() < 2 * minBoxSide ||
        m_crop == m_cropBefore) {
        m_crop = m_cropBefore;
        dropNewestUndo();
    }
    m_cropBefore.reset();
    return c;
}

// ---- deletion and images ------------------------------------------------------------------

CanvasChange CanvasModel::deleteSelected()
{
    CanvasChange c;
    if (m_selectedImage) {
        pushUndo();
        m_extraImages.removeIf([&](const PlacedImageRef &i) { return i == m_selectedImage; });
        m_selectedImage.reset();
        c.repaintAll = true;
    } else if (m_selected) {
        pushUndo();
        m_annotations.removeIf([&](const AnnotationRef &m) { return m == m_selected; });
        if (m_selected->kind == ToolKind::Step) {
            qint64 n = 0;
            for (const AnnotationRef &m : m_annotations)
                if (m->kind == ToolKind::Step)
                    m->stepNumber = ++n;
        }
        m_selected.reset();
        m_selectedImage.reset();
        c.repaintAll = true;
    }
    return c;
}

CanvasChange CanvasModel::clearSelection()
{
    CanvasChange c;
    if (m_selected)
        touch(c, paintRect(*m_selected));
    if (m_selectedImage)
        touch(c, tileArea(m_selectedImage->frame));
    m_selected.reset();
    m_selectedImage.reset();
    return c;
}

void CanvasModel::placeImage(const QImage &picture, const QRectF &frame)
{
    if (picture.isNull())
        return;
    auto placed = std::make_shared<PlacedImage>();
    placed->cg = forDrawing(picture);
    placed->frame = frame;
    m_extraImages.append(placed);
    growCanvas();
    detectTextBoxes(placed);
}

CanvasChange CanvasModel::addImage(const QImage &picture)
{
    CanvasChange c;
    if (picture.isNull())
        return c;
    pushUndo();
    const QRectF area = imageArea();
    const double w0 = picture.width(), h0 = picture.height();
    const double s =
        std::min(std::max(m_imageSize.width(), m_imageSize.height()) / std::max(w0, h0), 1.0);
    auto placed = std::make_shared<PlacedImage>();
    placed->cg = forDrawing(picture);
    placed->frame = QRectF(area.right() + addedImageGap, area.bottom() - s * h0, s * w0, s * h0);
    m_extraImages.append(placed);
    m_selectedImage = placed;
    m_selected.reset();
    c |= setCurrentTool(ToolKind::Select);
    c.toolChanged = true;
    c.repaintAll = true;
    c |= growCanvas();
    detectTextBoxes(placed);
    return c;
}

void CanvasModel::detectTextBoxes(const PlacedImageRef &image)
{
    std::weak_ptr<PlacedImage> weak = image;
    m_detect(image->cg, this, [weak](QList<QRectF> boxes) {
        if (const PlacedImageRef img = weak.lock())
            img->textBoxes = boxes;
    });
}

// ---- text and captions --------------------------------------------------------------------

QString CanvasModel::textPlaceholder()
{
    return tr("Type\u2026");
}

CanvasChange CanvasModel::beginTextEntry(QPointF p)
{
    if (const AnnotationRef hit = markAt(p); hit && hit->kind == ToolKind::Text)
        return beginTextEdit(hit);
    CanvasChange c;
    pushUndo();
    m_editingIndex = -1;
    m_editingOriginal.reset();
    m_editingAnnotation = Annotation::make(ToolKind::Text, p, p, m_strokeColor, m_lineWidth);
    m_editingAnnotation->fontSize = std::max(4 * m_lineWidth, 18.0);
    c.openTextField = true;
    return c;
}

CanvasChange CanvasModel::beginTextEdit(const AnnotationRef &mark)
{
    CanvasChange c;
    const qsizetype i = m_annotations.indexOf(mark);
    if (i < 0 || mark->kind != ToolKind::Text)
        return c;
    pushUndo(); // taken with the mark as it was
    m_editingIndex = int(i);
    m_editingOriginal = mark->copyForUndo();
    // The field shows the words while they are typed; the mark is drawn again on commit.
    m_annotations.removeAt(i);
    if (m_selected == mark)
        m_selected.reset();
    m_editingAnnotation = mark;
    touch(c, paintRect(*mark));
    c.openTextField = true;
    return c;
}

CanvasChange CanvasModel::mouseDoubleClicked(QPointF p)
{
    if (m_currentTool != ToolKind::Select)
        return {};
    if (const AnnotationRef hit = markAt(p); hit && hit->kind == ToolKind::Text) {
        m_movingFrom.reset();
        m_dragPushed = false;
        return beginTextEdit(hit);
    }
    return {};
}

QRectF CanvasModel::textFieldFrame() const
{
    if (!m_editingAnnotation)
        return {};
    const QPointF p = m_editingAnnotation->start;
    const double fs = m_editingAnnotation->fontSize;
    return QRectF(p.x(), p.y() - 1.4 * fs, 220, 1.5 * fs);
}

CanvasModel::Editing CanvasModel::takeEditing()
{
    Editing editing{std::exchange(m_editingAnnotation, {}), std::exchange(m_editingIndex, -1),
                    std::exchange(m_editingOriginal, {})};
    return editing;
}

CanvasChange CanvasModel::commitText(const QString &typed)
{
    CanvasChange c;
    if (!m_editingAnnotation)
        return c;
    const auto [mark, index, original] = takeEditing();
    if (typed.isEmpty() && !original) {
        dropNewestUndo();
        return c;
    }
    if (typed.isEmpty()) { // emptied: the mark goes, undoably
        c.repaintAll = true;
        return c;
    }
    if (original && typed == original->text)
        dropNewestUndo();
    mark->text = typed;
    if (index >= 0)
        m_annotations.insert(std::min<qsizetype>(index, m_annotations.size()), mark);
    else
        m_annotations.append(mark);
    touch(c, paintRect(*mark));
    c |= growCanvas();
    return c;
}

CanvasChange CanvasModel::cancelText()
{
    CanvasChange c;
    if (!m_editingAnnotation)
        return c;
    const auto [mark, index, original] = takeEditing();
    if (original) {
        *mark = *original;
        m_annotations.insert(std::min<qsizetype>(index, m_annotations.size()), mark);
        touch(c, paintRect(*mark));
    }
    dropNewestUndo();
    return c;
}

CanvasChange CanvasModel::beginCaptionEntry(const AnnotationRef &step)
{
    CanvasChange c;
    m_captioningStep = step;
    c.openCaptionField = true;
    return c;
}

QRectF CanvasModel::captionFieldFrame() const
{
    if (!m_captioningStep)
        return {};
    const QRectF r = m_captioningStep->boundingRect();
    return QRectF(r.right() + 8, r.center().y() - 13, 240, 26);
}

QString CanvasModel::captionPlaceholder() const
{
    if (!m_captioningStep)
        return {};
    return tr("Caption for step %1\u2026").arg(m_captioningStep->stepNumber);
}

CanvasChange CanvasModel::commitCaption(const QString &typed)
{
    CanvasChange c;
    if (!m_captioningStep)
        return c;
    // Spaces and tabs only: a caption may keep its line breaks.
    qsizetype from = 0, to = typed.size();
    auto blank = [](QChar ch) { return ch == u' ' || ch == u'\t'; };
    while (from < to && blank(typed[from]))
        ++from;
    while (to > from && blank(typed[to - 1]))
        --to;
    m_captioningStep->caption = typed.mid(from, to - from);
    m_captioningStep.reset();
    c.repaintAll = true; // the legend changes size
    return c;
}

// ---- painting -----------------------------------------------------------------------------

const QImage &CanvasModel::pixelatedImage() const
{
    if (!m_pixelatedBuilt) {
        m_pixelated = pixelate(m_baseImage);
        m_pixelatedBuilt = true;
    }
    return m_pixelated;
}

void CanvasModel::paintTile(QPainter &p, const QRectF &frame, const QImage &picture,
                            bool screen) const
{
    if (screen) {
        // The shadow's corners and edges from the blurred patch; its middle lies under the
        // tile and is never seen.
        const QImage &patch = shadowPatch();
        const double e2 = 2 * shadowReach;
        const QRectF s = frame.translated(0, -shadowOffset)
                             .adjusted(-shadowReach, -shadowReach, shadowReach, shadowReach);
        const double mx = std::min(e2, s.width() / 2), my = std::min(e2, s.height() / 2);
        const double n = patch.width();
        // Patch regions in canvas orientation (y up); the patch is symmetric, so its row
        // order does not matter.
        const double xs[] = {s.left(), s.left() + mx, s.right() - mx, s.right()};
        const double ys[] = {s.top(), s.top() + my, s.bottom() - my, s.bottom()};
        const double us[] = {0, e2, n - e2, n};
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                if (i == 1 && j == 1)
                    continue;
                const QRectF target(xs[i], ys[j], xs[i + 1] - xs[i], ys[j + 1] - ys[j]);
                if (target.width() <= 0 || target.height() <= 0)
                    continue;
                const QRectF source(us[i], us[j], us[i + 1] - us[i], us[j + 1] - us[j]);
                yup::drawImage(p, target, patch, source);
            }
        }
        if (picture.hasAlphaChannel())
            p.fillRect(frame, Qt::white);
    }
    const bool exact = qFuzzyCompare(frame.width(), double(picture.width())) &&
                       qFuzzyCompare(frame.height(), double(picture.height()));
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform, !exact);
    yup::drawImage(p, frame, picture);
    p.restore();
}

void CanvasModel::paint(QPainter &p, const QRectF &dirty, bool screen) const
{
    if (screen) {
        p.save();
        p.setPen(Qt::NoPen);
        p.setBrushOrigin(0, 0);
        p.fillRect(dirty, QBrush(dotTile()));
        p.restore();
    }
    auto visible = [&](const QRectF &r) { return r.intersects(dirty); };

    if (visible(tileArea(primaryRect())))
        paintTile(p, primaryRect(), m_baseImage, screen);
    for (const PlacedImageRef &img : m_extraImages)
        if (visible(tileArea(img->frame)))
            paintTile(p, img->frame, img->cg, screen);

    const QImage *pixelated = nullptr;
    const QPointF origin(margin, margin);
    for (const AnnotationRef &m : m_annotations) {
        if (!visible(paintRect(*m)))
            continue;
        if (m->kind == ToolKind::Blur && !pixelated)
            pixelated = &pixelatedImage();
        AnnotationRenderer::draw(p, *m, pixelated, origin);
    }
    if (screen && m_draft) {
        if (m_draft->kind == ToolKind::Blur)
            pixelated = &pixelatedImage();
        AnnotationRenderer::draw(p, *m_draft, pixelated, origin);
    }
    if (screen && m_snapPreview) {
        const QColor accent = accentColor();
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF b = m_snapPreview->adjusted(-2, -2, 2, 2);
        p.setPen(QPen(accent, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(b, 3, 3);
        QColor fill = accent;
        fill.setAlphaF(0.12f);
        p.fillRect(b, fill);
        p.restore();
    }
    if (const auto panel = captionPanelRect(); panel && visible(*panel))
        CaptionPanel::draw(p, *panel, captionedSteps());
    if (screen && m_crop)
        paintCrop(p, dirty);
    if (screen)
        paintDecorations(p);
}

void CanvasModel::paintCrop(QPainter &p, const QRectF &dirty) const
{
    // What the export leaves out is dimmed; the frame and, with the crop tool, its corners.
    const QRectF crop = m_crop->normalized();
    const QColor dim(0, 0, 0, 110);
    const QRectF around = dirty.united(crop);
    p.fillRect(QRectF(around.left(), around.top(), crop.left() - around.left(), around.height()), dim);
    p.fillRect(QRectF(crop.right(), around.top(), around.right() - crop.right(), around.height()), dim);
    p.fillRect(QRectF(crop.left(), around.top(), crop.width(), crop.top() - around.top()), dim);
    p.fillRect(QRectF(crop.left(), crop.bottom(), crop.width(), around.bottom() - crop.bottom()), dim);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QPen frame(Qt::white, 1.5);
    frame.setCosmetic(true);
    p.setPen(frame);
    p.setBrush(Qt::NoBrush);
    p.drawRect(crop);
    if (m_currentTool == ToolKind::Crop) {
        p.setPen(QPen(accentColor(), 1));
        p.setBrush(Qt::white);
        for (const HandlePoint &h : cornerHandles(crop))
            p.drawEllipse(h.point, 5, 5);
    }
    p.restore();
}

void CanvasModel::paintDecorations(QPainter &p) const
{
    const QColor accent = accentColor();
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    if (m_selected) {
        QPen dashed(accent, 1);
        dashed.setDashPattern({4, 3});
        p.setPen(dashed);
        p.setBrush(Qt::NoBrush);
        p.drawRect(m_selected->boundingRect().adjusted(-4, -4, 4, 4));
        p.setPen(QPen(accent, 1));
        p.setBrush(Qt::white);
        for (const HandlePoint &h : selectionHandlePoints(*m_selected))
            p.drawEllipse(h.point, 4.5, 4.5);
    }
    if (m_selectedImage) {
        const QRectF ring = m_selectedImage->frame.adjusted(-3, -3, 3, 3);
        p.setPen(QPen(accent, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(ring);
        p.setPen(QPen(accent, 1));
        p.setBrush(Qt::white);
        for (const HandlePoint &h : cornerHandles(ring))
            p.drawEllipse(h.point, 5, 5);
    }
    p.restore();
}

// Big ones are backed by huge pages where the kernel offers them: a 4K board export is tens
// of megabytes, and faulting it in 4 KiB pages cost more than painting it.
QImage CanvasModel::exportBitmap(int w, int h)
{
    const qsizetype bpl = qsizetype(w) * 4;
    const qsizetype bytes = bpl * h;
    constexpr qsizetype huge = 2 * 1024 * 1024;
    if (bytes < 4 * huge || w > (1 << 28) / 4)
        return QImage(w, h, QImage::Format_ARGB32_Premultiplied);
    const size_t rounded = size_t((bytes + huge - 1) / huge * huge);
    void *data = std::aligned_alloc(size_t(huge), rounded);
    if (!data)
        return {};
    madvise(data, rounded, MADV_HUGEPAGE); // a hint: without it the pages are ordinary
    return QImage(
        static_cast<uchar *>(data), w, h, bpl, QImage::Format_ARGB32_Premultiplied,
        [](void *p) { std::free(p); }, data);
}

QImage CanvasModel::renderComposite(bool opaqueBackground) const
{
    const QRectF r = exportRect();
    const int w = int(r.width()), h = int(r.height());
    if (w <= 0 || h <= 0)
        return {};
    QImage out = exportBitmap(w, h);
    if (out.isNull())
        return {};
    if (std::any_of(m_annotations.cbegin(), m_annotations.cend(),
                    [](const AnnotationRef &m) { return m->kind == ToolKind::Blur; }))
        pixelatedImage(); // built once, before the bands share it

    // Horizontal bands of the bitmap are painted on every core; each band sees the whole
    // scene through its own clip, so the seams cannot show.
    const int bands = qint64(w) * h >= 1'000'000 ? std::max(1, QThread::idealThreadCount()) : 1;
    std::vector<int> indices(static_cast<size_t>(bands));
    std::iota(indices.begin(), indices.end(), 0);
    std::atomic<bool> failed = false;
    auto paintBand = [&](int i) {
        const int y0 = int(qint64(h) * i / bands), y1 = int(qint64(h) * (i + 1) / bands);
        QImage band(out.scanLine(y0), w, y1 - y0, out.bytesPerLine(), out.format());
        band.fill(opaqueBackground ? Qt::white : Qt::transparent);
        QPainter p(&band);
        if (!p.isActive()) {
            failed = true;
            return;
        }
        // Canvas point (minX, minY) is the whole bitmap's bottom-left pixel.
        p.setTransform(yup::toSurface(h, r.topLeft()) * QTransform::fromTranslate(0, -y0));
        paint(p, QRectF(r.left(), r.bottom() - y1, r.width(), y1 - y0), false);
    };
    if (bands > 1)
        QtConcurrent::blockingMap(indices, paintBand);
    else
        paintBand(0);
    return failed ? QImage() : out;
}

} // namespace vistrel
