#pragma once

#include "editor/Annotation.h"
#include "editor/MarkRules.h"

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
    QImage cg;               // full resolution
    QRectF frame;            // where it lies on the canvas; the picture is stretched over it
    QList<QRectF> textBoxes; // normalised 0…1, y up; filled when detection finishes
};
using PlacedImageRef = std::shared_ptr<PlacedImage>;

// What an input changed, for the view to act on.
struct CanvasChange
{
    QRectF dirty; // canvas points to repaint
    bool repaintAll = false;
    bool sizeChanged = false;      // `canvasSize()` grew
    bool toolChanged = false;      // the canvas picked a tool itself: tell the palette
    bool cursorChanged = false;    // the tool changed, from inside or outside
    bool openTextField = false;    // `editingAnnotation()` waits for its words
    bool openCaptionField = false; // `captioningStep()` waits for its caption

    CanvasChange &operator|=(const CanvasChange &other);
    bool any() const
    {
        return repaintAll || !dirty.isEmpty() || sizeChanged || toolChanged || cursorChanged ||
               openTextField || openCaptionField;
    }
};

// What a key press on the canvas means.
struct KeyAction
{
    enum Kind { None, Delete, Paste, Tool } kind = None;
    ToolKind tool = ToolKind::Select;
};

// Finds text lines in a picture and calls back once on `context`'s thread with normalised
// boxes (y up); nothing is called when `context` is gone.
using TextBoxDetection =
    std::function<void(const QImage &, QObject *context, std::function<void(QList<QRectF>)>)>;

// Everything the editor canvas knows and decides, without any widget: the marks and placed
// images, the gestures of every tool, hit testing and grips, snapping to text, snapshot undo,
// the legend, painting in canvas points (y up) and the flattened export. The primary image
// lies at (1000, 1000), one point per pixel.
class CanvasModel : public QObject
{
    Q_OBJECT
public:
    static constexpr double margin = 1000;
    static constexpr double hitSlop = 6;          // grows mark boxes for hit tests
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

    // `seed` marks are in the picture's own coordinates (origin bottom-left, y up); copies are
    // moved onto the canvas. Without `detect` the text boxes come from `TextBoxDetector`.
    CanvasModel(const QImage &image, const QList<AnnotationRef> &seed, TextBoxDetection detect = {},
                QObject *parent = nullptr);
    ~CanvasModel() override;

    // Pointer input, in canvas points. Open text and caption entries must have been committed
    // (`commitText`, `commitCaption`) before `mouseDown`.
    CanvasChange mouseDown(QPointF p);
    CanvasChange mouseDragged(QPointF p);
    CanvasChange mouseUp(QPointF p);
    // Qt key and modifiers → what the canvas does (Control stands for Command).
    static KeyAction keyAction(int key, Qt::KeyboardModifiers modifiers);
    static std::optional<ToolKind> shortcut(QChar letter);

    // Text marks and captions.
    CanvasChange beginTextEntry(QPointF p);
    CanvasChange commitText(const QString &typed);
    CanvasChange beginCaptionEntry(const AnnotationRef &step);
    CanvasChange commitCaption(const QString &typed);
    const AnnotationRef &editingAnnotation() const { return m_editingAnnotation; }
    const AnnotationRef &captioningStep() const { return m_captioningStep; }
    QRectF textFieldFrame() const; // canvas points, y up
    QRectF captionFieldFrame() const;
    QString captionPlaceholder() const;
    static QString textPlaceholder();

    // Tool, colour and width of new marks. Setting the tool from outside clears the selection
    // unless it is select; it does not report `toolChanged`.
    ToolKind currentTool() const { return m_currentTool; }
    CanvasChange setCurrentTool(ToolKind tool);
    QColor strokeColor() const { return m_strokeColor; }
    void setStrokeColor(const QColor &c) { m_strokeColor = c; }
    double lineWidth() const { return m_lineWidth; }
    void setLineWidth(double w) { m_lineWidth = w; }

    // Undo covers the marks only, one command per snapshot.
    QUndoStack *undoStack() const { return m_undoStack; }
    CanvasChange deleteSelected();
    CanvasChange addImage(const QImage &picture);

    // State.
    const QImage &baseImage() const { return m_baseImage; }
    QSizeF imageSize() const { return m_imageSize; }
    QRectF primaryRect() const { return QRectF(QPointF(margin, margin), m_imageSize); }
    QSizeF canvasSize() const { return m_canvasSize; }
    const QList<AnnotationRef> &annotations() const { return m_annotations; }
    const QList<PlacedImageRef> &extraImages() const { return m_extraImages; }
    const AnnotationRef &selected() const { return m_selected; }
    const PlacedImageRef &selectedImage() const { return m_selectedImage; }
    const AnnotationRef &draft() const { return m_draft; }
    std::optional<QRectF> snapPreview() const { return m_snapPreview; }
    qint64 stepCounter() const { return m_stepCounter; }
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
    // Canvas area a mark's ink and selection decoration can touch.
    static QRectF paintRect(const Annotation &mark);

    // Painting. `screen` adds the background, dots, tile shadows, draft, snap preview and
    // selection decorations; without it the picture is what an export shows. The painter maps
    // canvas points (y up) to its device; `dirty` limits the background and culls marks.
    void paint(QPainter &painter, const QRectF &dirty, bool screen) const;
    // The flattened export, one pixel per canvas point; a null image when there is nothing.
    QImage renderComposite(bool opaqueBackground) const;
    const QImage &pixelatedImage() const;
    // An uninitialised ARGB32 premultiplied bitmap for an export; null when it cannot be made.
    static QImage exportBitmap(int width, int height);

    static QColor canvasColor() { return QColor::fromRgbF(0.95f, 0.95f, 0.95f); }
    static QColor dotColor() { return QColor::fromRgbF(0.82f, 0.82f, 0.82f); }

signals:
    // Marks changed through undo or redo.
    void marksRestored();

private:
    friend class SnapshotCommand;
    QList<AnnotationRef> snapshot() const;
    void restore(const QList<AnnotationRef> &marks);
    void pushUndo();
    void dropNewestUndo();
    CanvasChange growCanvas();
    void resizeSelected(SelHandle handle, QPointF p, QPointF q);
    void resizeImage(PlacedImage &image, SelHandle handle, QPointF p);
    void detectTextBoxes(const PlacedImageRef &image);
    void paintTile(QPainter &p, const QRectF &frame, const QImage &picture, bool screen) const;
    void paintDecorations(QPainter &p) const;

    TextBoxDetection m_detect;
    QImage m_baseImage;
    QSizeF m_imageSize;
    QSizeF m_canvasSize;
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
    qint64 m_stepCounter = 1;
    SelHandle m_activeHandle = SelHandle::None;
    std::optional<SelHandle> m_imageResizeHandle;
    bool m_dragPushed = false;
    QUndoStack *m_undoStack = nullptr;
    const void *m_gestureSnapshot = nullptr; // the command pushed at this gesture's start
    AnnotationRef m_editingAnnotation;
    AnnotationRef m_captioningStep;
    mutable QImage m_pixelated;
    mutable bool m_pixelatedBuilt = false;
};

} // namespace vistrel
