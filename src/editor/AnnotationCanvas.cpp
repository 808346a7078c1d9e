#include "editor/AnnotationCanvas.h"

#include "editor/Cursors.h"
#include "editor/PastedPicture.h"
#include "editor/YUp.h"
#include "output/Hud.h"
#include "services/OCRService.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <QUndoStack>

#include <cmath>
#include <utility>

namespace vistrel {

AnnotationCanvas::AnnotationCanvas(const QImage &image, const QList<AnnotationRef> &seed,
                                   QWidget *parent)
    : AnnotationCanvas(image, seed, TextBoxDetection(), parent)
{
}

AnnotationCanvas::AnnotationCanvas(const QImage &image, const QList<AnnotationRef> &seed,
                                   TextBoxDetection detect, QWidget *parent)
    : QWidget(parent)
{
    if (!detect) {
        detect = [gate = m_firstPaint](const QImage &img, QObject *context,
                                       std::function<void(QList<QRectF>)> done) {
            auto start = [img, context = QPointer<QObject>(context), done = std::move(done)] {
                if (context)
                    TextBoxDetector::detect(img, context, done);
            };
            if (gate->open)
                start();
            else
                gate->waiting.append(std::move(start));
        };
    }
    m_model = new CanvasModel(image, seed, std::move(detect), this);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Cursors::tool(m_model->currentTool()));
    connect(m_model, &CanvasModel::marksRestored, this, [this] {
        update();
        emit changed();
    });
    updateSize();
}

AnnotationCanvas::~AnnotationCanvas()
{
    // The fields report the end of editing while they are torn down; nothing is listening.
    for (QLineEdit *field : {m_textField.data(), m_captionField.data()})
        if (field)
            disconnect(field, nullptr, this, nullptr);
}

// ---- coordinates --------------------------------------------------------------------------

QPointF AnnotationCanvas::toCanvas(QPointF pos) const
{
    return yup::fromSurface(pos / m_magnification, m_model->canvasSize().height());
}

QPointF AnnotationCanvas::toWidget(QPointF point) const
{
    return QPointF(point.x(), m_model->canvasSize().height() - point.y()) * m_magnification;
}

QRectF AnnotationCanvas::toWidget(const QRectF &r) const
{
    return QRectF(toWidget(QPointF(r.left(), r.bottom())), toWidget(QPointF(r.right(), r.top())));
}

void AnnotationCanvas::setMagnification(qreal m)
{
    if (m <= 0 || qFuzzyCompare(m, m_magnification))
        return;
    m_magnification = m;
    updateSize();
    placeFields();
    update();
}

void AnnotationCanvas::updateSize()
{
    const QSizeF s = m_model->canvasSize() * m_magnification;
    setFixedSize(QSize(int(std::ceil(s.width())), int(std::ceil(s.height()))));
}

// ---- tools, undo, images ------------------------------------------------------------------

void AnnotationCanvas::setCurrentTool(ToolKind tool)
{
    apply(m_model->setCurrentTool(tool));
}

bool AnnotationCanvas::canUndo() const
{
    return undoStack()->canUndo();
}

bool AnnotationCanvas::canRedo() const
{
    return undoStack()->canRedo();
}

void AnnotationCanvas::undo()
{
    undoStack()->undo();
}

void AnnotationCanvas::redo()
{
    undoStack()->redo();
}

void AnnotationCanvas::deleteSelected()
{
    apply(m_model->deleteSelected());
}

void AnnotationCanvas::addImage(const QImage &picture)
{
    apply(m_model->addImage(picture));
}

bool AnnotationCanvas::pasteImage()
{
    return pasteImage(QGuiApplication::clipboard()->mimeData());
}

bool AnnotationCanvas::pasteImage(const QMimeData *mime)
{
    const PastedPicture picture = PastedPicture::read(mime);
    if (!picture.refusal.isEmpty())
        Hud::show(picture.refusal);
    if (picture.image.isNull())
        return false;
    addImage(picture.image);
    return true;
}

// ---- what changed -------------------------------------------------------------------------

void AnnotationCanvas::apply(const CanvasChange &change)
{
    if (change.sizeChanged) {
        updateSize();
        placeFields();
        emit canvasSizeChanged(m_model->canvasSize());
    }
    if (change.cursorChanged)
        setCursor(Cursors::tool(m_model->currentTool()));
    if (change.repaintAll || change.sizeChanged)
        update();
    else if (!change.dirty.isEmpty())
        update(toWidget(change.dirty).toAlignedRect().adjusted(-2, -2, 2, 2));
    if (change.openTextField)
        openTextField();
    if (change.openCaptionField)
        openCaptionField();
    if (change.toolChanged && onToolChange)
        onToolChange(m_model->currentTool());
    if (change.repaintAll || !change.dirty.isEmpty())
        emit changed();
}

// ---- text and caption fields --------------------------------------------------------------

void AnnotationCanvas::openTextField()
{
    const AnnotationRef &mark = m_model->editingAnnotation();
    if (!mark)
        return;
    auto *field = new QLineEdit(this);
    field->setObjectName(QStringLiteral("textField"));
    field->setPlaceholderText(CanvasModel::textPlaceholder());
    field->setFrame(true);
    QPalette pal = field->palette();
    pal.setColor(QPalette::Text, m_model->strokeColor());
    pal.setColor(QPalette::Base, QColor(255, 255, 255, 230));
    field->setPalette(pal);
    field->setAutoFillBackground(true);
    connect(field, &QLineEdit::editingFinished, this, &AnnotationCanvas::commitEditors);
    field->installEventFilter(this);
    m_textField = field;
    placeFields();
    field->show();
    field->setFocus(Qt::OtherFocusReason);
}

void AnnotationCanvas::openCaptionField()
{
    const AnnotationRef &step = m_model->captioningStep();
    if (!step)
        return;
    auto *field = new QLineEdit(this);
    field->setObjectName(QStringLiteral("captionField"));
    field->setPlaceholderText(m_model->captionPlaceholder());
    connect(field, &QLineEdit::editingFinished, this, &AnnotationCanvas::commitEditors);
    field->installEventFilter(this);
    m_captionField = field;
    placeFields();
    field->show();
    field->setFocus(Qt::OtherFocusReason);
}

void AnnotationCanvas::placeFields()
{
    // The fields sit where the words will appear, at the canvas's magnification.
    if (m_textField && m_model->editingAnnotation()) {
        QFont font = Annotation::textFont(m_model->editingAnnotation()->fontSize * m_magnification);
        m_textField->setFont(font);
        m_textField->setGeometry(toWidget(m_model->textFieldFrame()).toRect());
    }
    if (m_captionField && m_model->captioningStep()) {
        QFont font = QGuiApplication::font();
        font.setPixelSize(std::max(1, int(std::lround(14 * m_magnification))));
        m_captionField->setFont(font);
        m_captionField->setGeometry(toWidget(m_model->captionFieldFrame()).toRect());
    }
}

bool AnnotationCanvas::eventFilter(QObject *watched, QEvent *event)
{
    // QLineEdit reports a focus loss only when the words changed; an untouched field must
    // close too.
    if (event->type() == QEvent::FocusOut &&
        (watched == m_textField.data() || watched == m_captionField.data()) &&
        static_cast<QFocusEvent *>(event)->reason() != Qt::PopupFocusReason)
        commitEditors();
    return QWidget::eventFilter(watched, event);
}

void AnnotationCanvas::commitEditors()
{
    commitText();
    commitCaption();
}

namespace {

// Closes a field without it reporting again while it goes, and gives back its words.
QString takeField(QPointer<QLineEdit> &slot, QObject *receiver)
{
    QLineEdit *field = slot.data();
    slot.clear();
    if (!field)
        return {};
    QObject::disconnect(field, nullptr, receiver, nullptr);
    const QString text = field->text();
    field->hide();
    field->deleteLater();
    return text;
}

} // namespace

void AnnotationCanvas::commitText()
{
    if (!m_textField)
        return;
    const bool hadFocus = m_textField->hasFocus();
    const QString text = takeField(m_textField, this);
    apply(m_model->commitText(text));
    if (hadFocus)
        setFocus(Qt::OtherFocusReason);
}

void AnnotationCanvas::commitCaption()
{
    if (!m_captionField)
        return;
    const bool hadFocus = m_captionField->hasFocus();
    const QString text = takeField(m_captionField, this);
    apply(m_model->commitCaption(text));
    if (hadFocus)
        setFocus(Qt::OtherFocusReason);
}

// ---- events -------------------------------------------------------------------------------

void AnnotationCanvas::paintEvent(QPaintEvent *event)
{
    QPainter p(this);
    p.setClipRegion(event->region());
    const QRectF dirty = QRectF(toCanvas(event->rect().bottomLeft() + QPointF(0, 1)),
                                toCanvas(event->rect().topRight() + QPointF(1, 0)))
                             .normalized();
    p.setTransform(yup::toSurface(m_model->canvasSize().height()) *
                   QTransform::fromScale(m_magnification, m_magnification));
    m_model->paint(p, dirty, true);
    if (!m_firstPaint->open) {
        m_firstPaint->open = true;
        // After this paint has reached the screen.
        QTimer::singleShot(0, this, [gate = m_firstPaint] {
            for (const auto &start : std::exchange(gate->waiting, {}))
                start();
        });
    }
}

void AnnotationCanvas::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    setFocus(Qt::MouseFocusReason);
    // Clicking anywhere ends typing first, then acts with the current tool.
    commitEditors();
    apply(m_model->mouseDown(toCanvas(event->position())));
}

void AnnotationCanvas::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return QWidget::mouseMoveEvent(event);
    apply(m_model->mouseDragged(toCanvas(event->position())));
}

void AnnotationCanvas::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    apply(m_model->mouseUp(toCanvas(event->position())));
}

void AnnotationCanvas::keyPressEvent(QKeyEvent *event)
{
    const KeyAction action = CanvasModel::keyAction(event->key(), event->modifiers());
    switch (action.kind) {
    case KeyAction::Delete:
        deleteSelected();
        return;
    case KeyAction::Paste:
        pasteImage();
        return;
    case KeyAction::Tool: {
        CanvasChange c = m_model->setCurrentTool(action.tool);
        c.toolChanged = true;
        apply(c);
        return;
    }
    case KeyAction::None:
        break;
    }
    QWidget::keyPressEvent(event);
}

} // namespace vistrel
