#pragma once

#include "engines/SceneArchive.h"

#include "model/CanvasModel.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class QMimeData;
class QPainter;
class QUndoStack;

namespace vistrel {

struct PastedPicture;

class OCRService;

// The editor's document view: the captured picture on a dotted surface, images placed
// beside it, and the marks drawn over them. The logic lives in `CanvasModel`; this widget
// translates mouse and key events into canvas points, paints, and hosts the in-place
// text and caption fields.
//
// The widget shows the canvas's content (`CanvasModel::contentRect`) with a small margin, and
// at least the scroll area's visible size, so scrolling stops at the content while a click
// anywhere in the view still lands on the canvas. It fixes its own size: put it straight into a
// QScrollArea without widgetResizable, tell it the viewport's size, and scroll by
// `viewShifted` so that what was under the pointer stays there when the shown part grows
// (positions are in widget pixels, y down). Exports are always one pixel per canvas point.
class AnnotationCanvas : public QWidget
{
    Q_OBJECT
public:
    // Text lines are found with `ocr` once the canvas has painted.
    AnnotationCanvas(const QImage &image, const QList<AnnotationRef> &seed, OCRService &ocr,
                     QWidget *parent = nullptr);
    // With a text-box detector of the caller's (tests, benchmarks); none when it is empty.
    AnnotationCanvas(const QImage &image, const QList<AnnotationRef> &seed, TextBoxDetection detect,
                     QWidget *parent = nullptr);
    ~AnnotationCanvas() override;

    CanvasModel &model() { return *m_model; }
    // Runs `run` once the canvas's first paint has reached the screen (at once after that).
    void whenFirstPainted(std::function<void()> run);
    const CanvasModel &model() const { return *m_model; }

    // Tool, colour and width for new marks. `setCurrentTool` from outside does not emit
    // `toolChanged`; a tool letter or an added image does.
    ToolKind currentTool() const { return m_model->currentTool(); }
    void setCurrentTool(ToolKind tool);
    // Colour and width of new marks, and of the selected one.
    QColor strokeColor() const { return m_model->strokeColor(); }
    void setStrokeColor(const QColor &color);
    double lineWidth() const { return m_model->lineWidth(); }
    void setLineWidth(double width);

    // Undo/redo of the marks; the stack's canUndo/canRedo signals drive the buttons.
    QUndoStack *undoStack() const { return m_model->undoStack(); }
    bool canUndo() const;
    bool canRedo() const;
    void undo();
    void redo();
    void deleteSelected();

    // Adds a picture to the right of the image area, selects it and switches to select.
    void addImage(const QImage &picture);
    // Adds the clipboard's picture (image data, or picture files copied in a file manager).
    // Pictures over 16384 pixels a side or 256 MiB decoded are refused, and so is a clipboard
    // without a picture, each saying why (`pasteRefused`). Returns whether one was added, or
    // is being decoded off the GUI thread (a large one: it is added when ready).
    bool pasteImage();
    bool pasteImage(const QMimeData *mime);

    // The area an export covers and the flattened picture (null when there is nothing).
    QRectF exportRect() const { return m_model->exportRect(); }
    QImage renderComposite(bool opaqueBackground) const
    {
        return m_model->renderComposite(opaqueBackground);
    }
    const QImage &baseImage() const { return m_model->baseImage(); }
    const QList<AnnotationRef> &annotations() const { return m_model->annotations(); }
    const QList<PlacedImageRef> &extraImages() const { return m_model->extraImages(); }

    qreal magnification() const { return m_magnification; }
    void setMagnification(qreal magnification);
    // The scroll area's visible size in pixels: the widget is never smaller.
    void setViewportSize(QSizeF size);
    // The part of the canvas the widget shows, in canvas points.
    QRectF shownRect() const { return m_shown; }

    // Canvas point ↔ widget position (magnified).
    QPointF toCanvas(QPointF widgetPos) const;
    QPointF toWidget(QPointF canvasPoint) const;
    QRectF toWidget(const QRectF &canvasRect) const;

    // The open in-place editors, if any. Return ends a text (Shift+Return starts a new line),
    // Escape cancels it.
    QPlainTextEdit *textField() const { return m_textField; }
    QLineEdit *captionField() const { return m_captionField; }
    // Ends typing in any open field, keeping the words (exports call it first).
    void commitEditors();
    void cancelEditors();
    // Marks in canvas points on top of the others, one undo step.
    void addMarks(const QList<AnnotationRef> &marks);

signals:
    // Something visible changed (marks, images, selection).
    void changed();
    // The shown part grew on the left or at the top by this many widget pixels: scroll by it
    // to keep the picture still.
    void viewShifted(QPointF by);
    // Ctrl+wheel: zoom by `factor` about a widget position.
    void zoomRequested(qreal factor, QPointF at);
    // A picture was added at this canvas frame.
    void imageAdded(QRectF frame);
    // A paste added nothing; `why` is said to the user (a toast in the editor).
    void pasteRefused(const QString &why);
    // A mark was not kept: the capture holds as much as can be opened again.
    void markRefused(const QString &why);
    // X: find and cover what looks secret.
    void redactRequested();
    // The canvas picked a tool itself.
    void toolChanged(ToolKind tool);
    // A pasted editable PNG: its work is to open on its own rather than as a picture on this
    // one. Without a receiver the picture is placed as any other.
    void sceneOpenRequested(const EditorScene &scene);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    // A field that loses focus (Tab, a click elsewhere) ends its editing.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void paintCropSize(QPainter &p, const QRectF &crop);
    bool placePasted(const PastedPicture &picture);
    AnnotationCanvas(const QImage &image, const QList<AnnotationRef> &seed, TextBoxDetection detect,
                     OCRService *ocr, QWidget *parent);
    void apply(const CanvasChange &change);
    void openTextField();
    void openCaptionField();
    void placeFields();
    void commitText();
    void commitCaption();
    void updateSize(bool recentre = false);
    void fitFieldHeight();

    // Finding text lines keeps both cores busy for a while; started before the first paint it
    // would delay that paint, so the default detection waits for it. (Before m_model: the
    // model asks for detection as it is made.)
    struct FirstPaintGate
    {
        bool open = false;
        QList<std::function<void()>> waiting;
    };
    std::shared_ptr<FirstPaintGate> m_firstPaint = std::make_shared<FirstPaintGate>();
    CanvasModel *m_model = nullptr;
    qreal m_magnification = 1.0;
    QSizeF m_viewport;
    QRectF m_shown;
    QPointer<QPlainTextEdit> m_textField;
    QPointer<QLineEdit> m_captionField;
    QString m_captionBefore; // what Escape in the caption field puts back
};

} // namespace vistrel
