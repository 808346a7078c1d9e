#pragma once

#include "model/Annotation.h"
#include "model/CanvasPainter.h"
#include "model/MarkRules.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <functional>
#include <memory>
#include <optional>

class QPainter;
class QUndoStack;

namespace vistrel {

// An image added beside the primary one. Shared by identity: the list, the selection and the
// pending text-box detection point at one.
struct PlacedImage
{
    QImage picture;          // full resolution
    QRectF frame;            // where it lies on the canvas; the picture is stretched over it
    QList<QRectF> textBoxes; // normalised 0…1; filled when detection finishes
};
using PlacedImageRef = std::shared_ptr<PlacedImage>;

// Everything undo brings back: copies of the marks, the placed pictures (shared) with their
// frames at the time, and the crop.
struct CanvasScene
{
    QList<AnnotationRef> marks;
    QList<std::pair<PlacedImageRef, QRectF>> images;
    std::optional<QRectF> crop;
};

// What an input changed, for the view to act on.
struct CanvasChange
{
    QRectF dirty; // canvas points to repaint
    bool repaintAll = false;
    bool toolChanged = false;      // the canvas picked a tool itself: tell the palette
    bool cursorChanged = false;    // the tool changed, from inside or outside
    bool openTextField = false;    // `editingAnnotation()` waits for its words
    bool openCaptionField = false; // `captioningStep()` waits for its caption
    bool sceneFull = false;        // a mark was not kept: the scene holds all it may

    // Adds `area` to what needs repainting.
    void touch(const QRectF &area);
    CanvasChange &operator|=(const CanvasChange &other);
    bool any() const
    {
        return repaintAll || !dirty.isEmpty() || toolChanged || cursorChanged || openTextField ||
               openCaptionField || sceneFull;
    }
};

// What a key press on the canvas means.
struct KeyAction
{
    enum Kind { None, Delete, Paste, Tool, ClearSelection, Redact } kind = None;
    ToolKind tool = ToolKind::Select;
};

// Finds text lines in a picture and calls back once on `context`'s thread with normalised
// boxes; nothing is called when `context` is gone.
using TextBoxDetection =
    std::function<void(const QImage &, QObject *context, std::function<void(QList<QRectF>)>)>;

// Everything the editor canvas knows and decides, without any widget: the marks and placed
// images, the gestures of every tool, hit testing and grips, snapping to text, snapshot undo,
// the legend, painting in canvas points and the flattened export. The primary image's top-left
// lies at the origin, one point per pixel; the canvas reaches `margin` beyond it.
class CanvasModel : public QObject
{
    Q_OBJECT

public:
    static constexpr double margin = 1000;
    static constexpr double hitSlop = 4;          // beyond a mark's ink, still a hit
    static constexpr double handleGrab = 9;       // grip radius of a selected mark
    static constexpr double imageHandleGrab = 11; // corner radius of a selected placed image
    static constexpr double snapThreshold = 24;
    static constexpr double straightenDistance = 8;
    static constexpr double minBoxSide = 4;
    static constexpr double minImageWidth = 40;
    static constexpr double addedImageGap = 40;
    static constexpr double exportBorder = 6;
    static constexpr double dotSpacing = 28;
    static constexpr double dotDiameter = 1.5;

    // The canvas keeps copies of the `seed` marks. Without `detect` nothing snaps to text.
    CanvasModel(const QImage &image, const QList<AnnotationRef> &seed, TextBoxDetection detect = {},
                QObject *parent = nullptr);
    ~CanvasModel() override;

    // Pointer input, in canvas points. Open text and caption entries must have been committed
    // (`commitText`, `commitCaption`) before `mouseDown`.
    CanvasChange mouseDown(QPointF p);
    CanvasChange mouseDragged(QPointF p);
    CanvasChange mouseUp(QPointF p);
    // Qt key and modifiers → what the canvas does.
    static KeyAction keyAction(int key, Qt::KeyboardModifiers modifiers);
    static std::optional<ToolKind> shortcut(QChar letter);

    // A double click: with the selection tool, on a text mark, opens it for editing.
    CanvasChange mouseDoubleClicked(QPointF p);
    // Snapping to text lines while drawing and dragging; off while Alt is held.
    void setSnapping(bool on) { m_snapping = on; }

    // Text marks and captions. A press with the text tool on an existing text mark, or
    // `beginTextEdit`, reopens it; `cancelText` puts it back as it was.
    CanvasChange beginTextEntry(QPointF p);
    CanvasChange beginTextEdit(const AnnotationRef &mark);
    CanvasChange commitText(const QString &typed);
    CanvasChange cancelText();
    CanvasChange beginCaptionEntry(const AnnotationRef &step);
    CanvasChange commitCaption(const QString &typed);
    const AnnotationRef &editingAnnotation() const { return m_editingAnnotation; }
    const AnnotationRef &captioningStep() const { return m_captioningStep; }
    QRectF textFieldFrame() const; // canvas points
    QRectF captionFieldFrame() const;
    QString captionPlaceholder() const;
    static QString textPlaceholder();

    // Tool, colour and width of new marks. Setting the tool from outside clears the selection
    // unless it is select; it does not report `toolChanged`.
    ToolKind currentTool() const { return m_currentTool; }
    CanvasChange setCurrentTool(ToolKind tool);
    // Colour and width also restyle the selected mark, one undo step each (a run of width
    // changes to one mark, as a slider drag makes, is one step).
    QColor strokeColor() const { return m_strokeColor; }
    CanvasChange setStrokeColor(const QColor &c);
    double lineWidth() const { return m_lineWidth; }
    CanvasChange setLineWidth(double w);

    // Undo covers marks, placed pictures and the crop, one command per snapshot. The stack is
    // clean while the scene is as it was opened or last saved.
    QUndoStack *undoStack() const { return m_undoStack; }
    CanvasChange deleteSelected();
    // Places marks given in canvas points on top of the others, all in one undo step.
    CanvasChange addMarks(const QList<AnnotationRef> &marks);
    CanvasChange clearSelection();
    CanvasChange addImage(const QImage &picture);
    // A picture placed at a known frame (reopening saved work); not an undo step.
    void placeImage(const QImage &picture, const QRectF &frame);

    // The export is cut to the crop (canvas points) when there is one.
    const std::optional<QRectF> &crop() const { return m_crop; }
    void setCrop(const std::optional<QRectF> &crop) { m_crop = crop; }
    // The crop frame while the user drags it.
    std::optional<QRectF> cropInProgress() const
    {
        return m_cropGesture ? m_crop : std::optional<QRectF>();
    }

    // State.
    const QImage &baseImage() const { return m_baseImage; }
    // The same picture in memory of its own, for one that lay in memory shared with others
    // (a grab's segment); a picture of another size is not the same one and is ignored.
    void keepOwnPixels(const QImage &same);
    QSizeF imageSize() const { return m_imageSize; }
    QRectF primaryRect() const { return QRectF(QPointF(0, 0), m_imageSize); }
    // The base picture's pixels that a rectangle of canvas points covers.
    QRect picturePixels(const QRectF &r) const;
    const QList<AnnotationRef> &annotations() const { return m_annotations; }
    const QList<PlacedImageRef> &extraImages() const { return m_extraImages; }
    const AnnotationRef &selected() const { return m_selected; }
    const PlacedImageRef &selectedImage() const { return m_selectedImage; }
    const AnnotationRef &draft() const { return m_draft; }
    std::optional<QRectF> snapPreview() const { return m_snapPreview; }
    // The number the next step gets: one above the highest, so numbers stay unique.
    qint64 stepCounter() const;
    const QList<QRectF> &primaryTextBoxes() const { return m_primaryTextBoxes; }
    void setPrimaryTextBoxes(const QList<QRectF> &boxes) { m_primaryTextBoxes = boxes; }

    // Geometry.
    QList<HandlePoint> selectionHandlePoints(const Annotation &mark) const;
    std::optional<SelHandle> imageHandleHit(const PlacedImage &image, QPointF p) const;
    QList<QRectF> canvasTextBoxes() const;
    std::optional<SnapTarget> snapToText(QPointF p, double threshold = snapThreshold) const;
    QRectF imageArea() const;
    QList<AnnotationRef> captionedSteps() const;
    std::optional<QRectF> captionPanelRect() const;
    QRectF exportRect() const;
    // Everything there is to see: the pictures, the marks' ink, the legend and the crop.
    QRectF contentRect() const;
    // The topmost mark whose drawn shape is under `p`.
    AnnotationRef markAt(QPointF p) const;
    // Canvas area a mark's ink and selection decoration can touch.
    static QRectF paintRect(const Annotation &mark);

    // Painting. `screen` adds the background, dots, tile shadows, draft, snap preview and
    // selection decorations; without it the picture is what an export shows. The painter maps
    // canvas points to its device; `dirty` limits the background and culls marks.
    void paint(QPainter &painter, const QRectF &dirty, bool screen) const
    {
        m_painter.paint(painter, dirty, screen);
    }
    // The flattened export, one pixel per canvas point; a null image when there is nothing.
    QImage renderComposite(bool opaqueBackground) const
    {
        return m_painter.renderComposite(opaqueBackground);
    }
    const QImage &pixelatedImage() const { return m_painter.pixelatedImage(); }
    // An uninitialised ARGB32 premultiplied bitmap for an export; null when it cannot be made.
    static QImage exportBitmap(int width, int height)
    {
        return CanvasPainter::exportBitmap(width, height);
    }

    static QColor canvasColor() { return QColor::fromRgbF(0.95f, 0.95f, 0.95f); }
    static QColor dotColor() { return QColor::fromRgbF(0.82f, 0.82f, 0.82f); }

signals:
    // Marks changed through undo or redo.
    void marksRestored();

private:
    friend class SnapshotCommand;
    CanvasScene snapshot() const;
    void restore(const CanvasScene &scene);
    void pushUndo();
    void dropNewestUndo();
    void resizeSelected(SelHandle handle, QPointF p, QPointF q);
    void resizeImage(PlacedImage &image, SelHandle handle, QPointF p);
    void detectTextBoxes(const PlacedImageRef &image);
    CanvasChange cropDown(QPointF p);
    CanvasChange cropDragged(QPointF p);
    CanvasChange cropUp();
    CanvasChange restyle(bool width, const std::function<void(Annotation &)> &change);
    // The text mark being typed, where it stood and how it was, handed over and forgotten.
    struct Editing
    {
        AnnotationRef mark;
        int index = -1;
        AnnotationRef original;
    };
    Editing takeEditing();
    std::optional<SnapTarget> snapIfOn(QPointF p) const;

    TextBoxDetection m_detect;
    QImage m_baseImage;
    QSizeF m_imageSize;
    QList<AnnotationRef> m_annotations;
    QList<PlacedImageRef> m_extraImages;
    PlacedImageRef m_selectedImage;
    QList<QRectF> m_primaryTextBoxes;
    std::optional<QRectF> m_snapPreview;
    ToolKind m_currentTool = ToolKind::Arrow;
    QColor m_strokeColor;
    double m_lineWidth = 5;
    AnnotationRef m_draft;
    AnnotationRef m_selected;
    std::optional<QPointF> m_movingFrom;
    bool m_snapping = true;
    std::optional<QRectF> m_crop;
    std::optional<QRectF> m_cropBefore;    // while a crop gesture runs
    std::optional<SelHandle> m_cropHandle; // a corner, or None to move the whole frame
    QPointF m_cropAnchor;                  // the corner that stays while one is dragged
    bool m_cropGesture = false;
    const void *m_restyleSnapshot = nullptr; // the last width change's command
    const Annotation *m_restyleTarget = nullptr;
    int m_editingIndex = -1;         // where a reopened text mark stood in the list
    AnnotationRef m_editingOriginal; // as it was before reopening
    SelHandle m_activeHandle = SelHandle::None;
    std::optional<SelHandle> m_imageResizeHandle;
    bool m_dragPushed = false;
    QUndoStack *m_undoStack = nullptr;
    const void *m_gestureSnapshot = nullptr; // the command pushed at this gesture's start
    AnnotationRef m_editingAnnotation;
    AnnotationRef m_captioningStep;
    CanvasPainter m_painter{*this};
};

} // namespace vistrel
