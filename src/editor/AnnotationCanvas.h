#pragma once

#include "editor/CanvasModel.h"

#include <QLineEdit>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class QMimeData;
class QUndoStack;

namespace vistrel {

// The editor's document view: the captured picture on a large dotted surface, images placed
// beside it, and the marks drawn over them. The logic lives in `CanvasModel`; this widget
// translates mouse and key events into canvas points (y up), paints, and hosts the in-place
// text and caption fields.
//
// Magnification: the canvas paints itself at `magnification()`; its widget size is
// `canvasSize() × magnification()` (it fixes its own size, so put it straight into a
// QScrollArea without widgetResizable). Exports are always one pixel per canvas point.
class AnnotationCanvas : public QWidget
{
    Q_OBJECT
public:
    AnnotationCanvas(const QImage &image, const QList<AnnotationRef> &seed = {},
                     QWidget *parent = nullptr);
    // With a text-box detector of the caller's (tests, benchmarks).
    AnnotationCanvas(const QImage &image, const QList<AnnotationRef> &seed, TextBoxDetection detect,
                     QWidget *parent = nullptr);
    ~AnnotationCanvas() override;

    CanvasModel &model() { return *m_model; }
    const CanvasModel &model() const { return *m_model; }

    // Tool, colour and width for new marks. `setCurrentTool` from outside does not call
    // `onToolChange`; a tool letter or an added image does.
    ToolKind currentTool() const { return m_model->currentTool(); }
    void setCurrentTool(ToolKind tool);
    std::function<void(ToolKind)> onToolChange;
    QColor strokeColor() const { return m_model->strokeColor(); }
    void setStrokeColor(const QColor &color) { m_model->setStrokeColor(color); }
    double lineWidth() const { return m_model->lineWidth(); }
    void setLineWidth(double width) { m_model->setLineWidth(width); }

    // Undo/redo of the marks; the stack's canUndo/canRedo signals drive the buttons.
    QUndoStack *undoStack() const { return m_model->undoStack(); }
    bool canUndo() const;
    bool canRedo() const;
    void undo();
    void redo();
    void deleteSelected();

    // Adds a picture to the right of the image area, selects it and switches to select.
    void addImage(const QImage &picture);
    // Adds the clipboard's picture. Pictures over 16384 pixels a side or 256 MiB decoded are
    // refused with a toast. Returns whether one was added.
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

    // Document size in canvas points (grows as placed images move out; never shrinks).
    QSizeF canvasSize() const { return m_model->canvasSize(); }
    qreal magnification() const { return m_magnification; }
    void setMagnification(qreal magnification);

    // Canvas point (y up) ↔ widget position (y down, magnified).
    QPointF toCanvas(QPointF widgetPos) const;
    QPointF toWidget(QPointF canvasPoint) const;
    QRectF toWidget(const QRectF &canvasRect) const;

    // The open in-place editors, if any.
    QLineEdit *textField() const { return m_textField; }
    QLineEdit *captionField() const { return m_captionField; }
    void commitEditors();

signals:
    // The canvas size changed (its widget size follows).
    void canvasSizeChanged(QSizeF size);
    // Something visible changed (marks, images, selection).
    void changed();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    // A field that loses focus (Tab, a click elsewhere) ends its editing.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void apply(const CanvasChange &change);
    void openTextField();
    void openCaptionField();
    void placeFields();
    void commitText();
    void commitCaption();
    void updateSize();

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
    QPointer<QLineEdit> m_textField;
    QPointer<QLineEdit> m_captionField;
};

} // namespace vistrel
