#include "model/CanvasModel.h"

#include "model/CaptionPanel.h"

#include <QLineF>
#include <QUndoCommand>
#include <QUndoStack>

#include <algorithm>
#include <cmath>

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

void CanvasChange::touch(const QRectF &r)
{
    if (!r.isNull())
        dirty = dirty.isEmpty() ? r : uniteRects(dirty, r);
}

CanvasChange &CanvasChange::operator|=(const CanvasChange &o)
{
    if (!o.dirty.isEmpty())
        dirty = dirty.isEmpty() ? o.dirty : uniteRects(dirty, o.dirty);
    repaintAll |= o.repaintAll;
    toolChanged |= o.toolChanged;
    cursorChanged |= o.cursorChanged;
    openTextField |= o.openTextField;
    openCaptionField |= o.openCaptionField;
    sceneFull |= o.sceneFull;
    return *this;
}

namespace {

double distance(QPointF a, QPointF b)
{
    return QLineF(a, b).length();
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
      m_imageSize(image.size()), m_strokeColor(Annotation::defaultColor()),
      m_undoStack(new QUndoStack(this))
{
    for (const AnnotationRef &s : seed) {
        AnnotationRef m = s->copyForUndo();
        if (m->kind == ToolKind::Crop)
            m_crop = m->boundingRect(); // the newest crop holds
        else
            m_annotations.append(m);
    }
    if (m_detect && !m_baseImage.isNull())
        m_detect(m_baseImage, this, [this](QList<QRectF> boxes) { m_primaryTextBoxes = boxes; });
}

CanvasModel::~CanvasModel() = default;

void CanvasModel::keepOwnPixels(const QImage &same)
{
    if (same.size() == m_baseImage.size())
        m_baseImage = forDrawing(same);
}

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
    if (key == Qt::Key_X)
        return {KeyAction::Redact};
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
        m_draft = MarkRules::startDraft(m_currentTool, anchor, m_strokeColor, m_lineWidth);
        if (rules.numbered)
            m_draft->stepNumber = nextStep;
        c.touch(paintRect(*m_draft));
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
        c.touch(paintRect(*m_selected));
    if (m_selectedImage)
        c.touch(CanvasPainter::tileArea(m_selectedImage->frame));
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
            c.touch(m_snapPreview->adjusted(-4, -4, 4, 4));
    };

    if (m_currentTool == ToolKind::Crop)
        return cropDragged(p);
    if (m_currentTool != ToolKind::Select || !m_movingFrom) {
        if (!m_draft)
            return c;
        c.touch(paintRect(*m_draft));
        touchSnap();
        m_snapPreview.reset();
        m_snapPreview =
            MarkRules::extendDraft(*m_draft, p, [this](QPointF at) { return snapIfOn(at); });
        c.touch(paintRect(*m_draft));
        touchSnap();
        return c;
    }

    const QPointF d = p - *m_movingFrom;
    if (m_selected) {
        if (!m_dragPushed) {
            pushUndo();
            m_dragPushed = true;
        }
        c.touch(paintRect(*m_selected));
        touchSnap();
        if (m_activeHandle == SelHandle::None)
            m_selected->translate(d);
        else
            resizeSelected(m_activeHandle, p, *m_movingFrom);
        c.touch(paintRect(*m_selected));
        touchSnap();
    } else if (m_selectedImage) {
        if (!m_dragPushed) {
            pushUndo();
            m_dragPushed = true;
        }
        c.touch(CanvasPainter::tileArea(m_selectedImage->frame));
        if (!m_imageResizeHandle)
            m_selectedImage->frame.translate(d);
        else
            resizeImage(*m_selectedImage, *m_imageResizeHandle, p);
        c.touch(CanvasPainter::tileArea(m_selectedImage->frame));
        // The legend stands beside the images and follows them.
        c.repaintAll |= !captionedSteps().isEmpty();
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
        c.touch(m_snapPreview->adjusted(-4, -4, 4, 4));
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
    c.touch(paintRect(*draft));
    if (MarkRules::keepsDraft(*draft) && !MarkRules::fitsScene(m_annotations, *draft)) {
        c.sceneFull = true;
        dropNewestUndo();
    } else if (MarkRules::keepsDraft(*draft)) {
        if (MarkRules::of(draft->kind).covers)
            draft->color =
                Annotation::redactionColorOver(m_baseImage, {picturePixels(draft->boundingRect())});
        m_annotations.append(draft);
        if (MarkRules::of(draft->kind).numbered)
            c |= beginCaptionEntry(draft);
    } else {
        dropNewestUndo();
    }
    return c;
}

QRect CanvasModel::picturePixels(const QRectF &r) const
{
    const QRectF frame = primaryRect();
    if (frame.isEmpty() || m_baseImage.isNull())
        return {};
    const double sx = m_baseImage.width() / frame.width(),
                 sy = m_baseImage.height() / frame.height();
    return QRectF((r.left() - frame.left()) * sx, (r.top() - frame.top()) * sy, r.width() * sx,
                  r.height() * sy)
        .toAlignedRect();
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
    const double aspect = double(image.picture.width()) / std::max(image.picture.height(), 1);
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
    c.touch(paintRect(*m_selected));
    change(*m_selected);
    c.touch(paintRect(*m_selected));
    if (MarkRules::of(m_selected->kind).numbered)
        c.repaintAll = true; // the legend's badge too
    return c;
}

CanvasChange CanvasModel::setStrokeColor(const QColor &color)
{
    m_strokeColor = color;
    if (!m_selected || m_selected->color == color || MarkRules::of(m_selected->kind).covers)
        return {};
    return restyle(false, [&](Annotation &m) { m.color = color; });
}

CanvasChange CanvasModel::setLineWidth(double width)
{
    m_lineWidth = width;
    if (!m_selected)
        return {};
    return restyle(true, [&](Annotation &m) {
        if (MarkRules::of(m.kind).typed)
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
    // The frame's edges fall on whole pixels of the picture, whatever the magnification: the
    // export is then exactly the size shown.
    const auto whole = [](QPointF q) { return QPointF(std::round(q.x()), std::round(q.y())); };
    if (m_cropHandle == SelHandle::None) {
        const QPointF corner = whole(m_crop->topLeft() + (p - *m_movingFrom));
        p = *m_movingFrom + (corner - m_crop->topLeft());
        m_crop->moveTopLeft(corner);
    } else {
        m_crop = rectOf(whole(m_cropAnchor), whole(p));
    }
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
        if (MarkRules::of(m_selected->kind).numbered) {
            qint64 n = 0;
            for (const AnnotationRef &m : m_annotations)
                if (MarkRules::of(m->kind).numbered)
                    m->stepNumber = ++n;
        }
        m_selected.reset();
        m_selectedImage.reset();
        c.repaintAll = true;
    }
    return c;
}

CanvasChange CanvasModel::addMarks(const QList<AnnotationRef> &marks)
{
    CanvasChange c;
    if (marks.isEmpty())
        return c;
    pushUndo();
    m_annotations.append(marks);
    m_gestureSnapshot = nullptr; // a finished step, not a gesture that may still be dropped
    c.repaintAll = true;
    return c;
}

CanvasChange CanvasModel::clearSelection()
{
    CanvasChange c;
    if (m_selected)
        c.touch(paintRect(*m_selected));
    if (m_selectedImage)
        c.touch(CanvasPainter::tileArea(m_selectedImage->frame));
    m_selected.reset();
    m_selectedImage.reset();
    return c;
}

void CanvasModel::placeImage(const QImage &picture, const QRectF &frame)
{
    if (picture.isNull())
        return;
    auto placed = std::make_shared<PlacedImage>();
    placed->picture = forDrawing(picture);
    placed->frame = frame;
    m_extraImages.append(placed);
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
    placed->picture = forDrawing(picture);
    placed->frame = QRectF(area.right() + addedImageGap, area.top(), s * w0, s * h0);
    m_extraImages.append(placed);
    m_selectedImage = placed;
    m_selected.reset();
    c |= setCurrentTool(ToolKind::Select);
    c.toolChanged = true;
    c.repaintAll = true;
    detectTextBoxes(placed);
    return c;
}

void CanvasModel::detectTextBoxes(const PlacedImageRef &image)
{
    if (!m_detect)
        return;
    std::weak_ptr<PlacedImage> weak = image;
    m_detect(image->picture, this, [weak](QList<QRectF> boxes) {
        if (const PlacedImageRef img = weak.lock())
            img->textBoxes = boxes;
    });
}

} // namespace vistrel
