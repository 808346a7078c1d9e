#include "ui/AnnotationCanvas.h"

#include "engines/OCRService.h"
#include "engines/PastedPicture.h"
#include "model/SelectionModel.h"
#include "ui/Cursors.h"
#include "ui/UiFont.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMetaMethod>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QThread>
#include <QTimer>
#include <QUndoStack>

#include <cmath>
#include <utility>

namespace vistrel {

namespace {

constexpr double shownMargin = 40; // widget pixels beyond the content

// The in-place text field: Return ends it, Shift+Return starts a new line, Escape cancels.
class TextField : public QPlainTextEdit
{
public:
    using QPlainTextEdit::QPlainTextEdit;
    std::function<void()> onCommit;
    std::function<void()> onCancel;

protected:
    bool event(QEvent *e) override
    {
        // Every key belongs to the words while they are typed, none to a window shortcut.
        if (e->type() == QEvent::ShortcutOverride) {
            const auto *key = static_cast<QKeyEvent *>(e);
            if (!(key->modifiers() & Qt::ControlModifier) || key->key() != Qt::Key_W) {
                e->accept();
                return true;
            }
        }
        return QPlainTextEdit::event(e);
    }
    void keyPressEvent(QKeyEvent *e) override
    {
        const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
        if (enter && !(e->modifiers() & Qt::ShiftModifier)) {
            if (onCommit)
                onCommit();
            return;
        }
        if (enter) {
            insertPlainText(QStringLiteral("\n"));
            return;
        }
        if (e->key() == Qt::Key_Escape) {
            if (onCancel)
                onCancel();
            return;
        }
        QPlainTextEdit::keyPressEvent(e);
    }
};

} // namespace

AnnotationCanvas::AnnotationCanvas(const QImage &image, const QList<AnnotationRef> &seed,
                                   OCRService &ocr, QWidget *parent)
    : AnnotationCanvas(image, seed, TextBoxDetection(), &ocr, parent)
{
}

AnnotationCanvas::AnnotationCanvas(const QImage &image, const QList<AnnotationRef> &seed,
                                   TextBoxDetection detect, QWidget *parent)
    : AnnotationCanvas(image, seed, std::move(detect), nullptr, parent)
{
}

AnnotationCanvas::AnnotationCanvas(const QImage &image, const QList<AnnotationRef> &seed,
                                   TextBoxDetection detect, OCRService *ocr, QWidget *parent)
    : QWidget(parent)
{
    if (ocr) {
        detect = [gate = m_firstPaint, ocr](const QImage &img, QObject *context,
                                            std::function<void(QList<QRectF>)> done) {
            auto start = [ocr, img, context = QPointer<QObject>(context), done = std::move(done)] {
                if (context)
                    ocr->detectTextBoxes(img, context, done);
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
        updateSize();
        update();
        emit changed();
    });
    updateSize();
}

AnnotationCanvas::~AnnotationCanvas()
{
    // The fields report the end of editing while they are torn down; nothing is listening.
    if (m_captionField)
        disconnect(m_captionField, nullptr, this, nullptr);
    if (m_textField)
        m_textField->removeEventFilter(this);
}

// ---- coordinates --------------------------------------------------------------------------

QPointF AnnotationCanvas::toCanvas(QPointF pos) const
{
    return pos / m_magnification + m_shown.topLeft();
}

QPointF AnnotationCanvas::toWidget(QPointF point) const
{
    return (point - m_shown.topLeft()) * m_magnification;
}

QRectF AnnotationCanvas::toWidget(const QRectF &r) const
{
    return QRectF(toWidget(r.topLeft()), toWidget(r.bottomRight()));
}

void AnnotationCanvas::setMagnification(qreal m)
{
    if (m <= 0 || qFuzzyCompare(m, m_magnification))
        return;
    m_magnification = m;
    updateSize(true);
    placeFields();
    update();
}

void AnnotationCanvas::setViewportSize(QSizeF size)
{
    if (size == m_viewport)
        return;
    // A view that grew is filled anew; one that lost room to a scroll bar keeps its picture.
    const bool grew = size.width() > m_viewport.width() || size.height() > m_viewport.height();
    m_viewport = size;
    updateSize(grew);
    update();
}

void AnnotationCanvas::updateSize(bool recentre)
{
    // Per axis: the content with a margin where it is larger than the view, else the view's
    // size. Anew, it is centred on the content; otherwise it only grows, on the side the
    // content grew, so nothing on screen jumps while the user works.
    const QRectF content = m_model->contentRect();
    const double m = m_magnification;
    auto span = [&](double from, double length, double view, double oldFrom, double oldLength,
                    double &start, double &extent) {
        // A content that fills the view exactly (as at Fit) is not larger than it.
        const bool larger = length * m > view + 1e-6;
        const double pad = larger ? shownMargin / m : 0;
        const double minimum = larger ? 0 : std::floor(view) / m;
        double lo = from - pad, hi = from + length + pad;
        if (!recentre && oldLength > 0) {
            lo = std::min(lo, oldFrom);
            hi = std::max(hi, oldFrom + oldLength);
        }
        if (hi - lo < minimum) {
            const double grow = (minimum - (hi - lo)) / 2;
            lo -= grow;
            hi += grow;
        }
        // Whole pixels, so the widget's size is exact.
        extent = std::ceil((hi - lo) * m - 1e-6) / m;
        start = lo;
    };
    const QRectF before = m_shown;
    double x, w, y, h;
    span(content.left(), content.width(), m_viewport.width(), before.left(), before.width(), x, w);
    span(content.top(), content.height(), m_viewport.height(), before.top(), before.height(), y, h);
    const QRectF shown(x, y, w, h);
    m_shown = shown;
    setFixedSize(QSize(int(std::lround(w * m)), int(std::lround(h * m))));
    if (!recentre && !before.isEmpty() && before != shown) {
        const QPointF by((before.left() - shown.left()) * m, (before.top() - shown.top()) * m);
        if (!by.isNull())
            emit viewShifted(by);
    }
}

// ---- tools, undo, images ------------------------------------------------------------------

void AnnotationCanvas::setCurrentTool(ToolKind tool)
{
    commitEditors();
    apply(m_model->setCurrentTool(tool));
}

void AnnotationCanvas::setStrokeColor(const QColor &color)
{
    apply(m_model->setStrokeColor(color));
}

void AnnotationCanvas::setLineWidth(double width)
{
    apply(m_model->setLineWidth(width));
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
    commitEditors();
    undoStack()->undo();
}

void AnnotationCanvas::redo()
{
    commitEditors();
    undoStack()->redo();
}

void AnnotationCanvas::deleteSelected()
{
    apply(m_model->deleteSelected());
}

void AnnotationCanvas::addImage(const QImage &picture)
{
    commitEditors();
    apply(m_model->addImage(picture));
    if (const PlacedImageRef &added = m_model->selectedImage())
        emit imageAdded(added->frame);
}

bool AnnotationCanvas::pasteImage()
{
    return pasteImage(QGuiApplication::clipboard()->mimeData());
}

bool AnnotationCanvas::pasteImage(const QMimeData *mime)
{
    PastedPicture::Offer offer = PastedPicture::take(mime);
    if (!offer.heavy())
        return placePasted(PastedPicture::decode(offer));
    // A large picture, or an editable PNG's pictures, decode on a thread of their own: the
    // editor keeps answering meanwhile, and the picture comes when it is ready.
    auto decoded = std::make_shared<PastedPicture>();
    QThread *reader = QThread::create(
        [offer = std::move(offer), decoded] { *decoded = PastedPicture::decode(offer); });
    connect(reader, &QThread::finished, reader, &QObject::deleteLater);
    connect(reader, &QThread::finished, this, [this, decoded] { placePasted(*decoded); });
    reader->start();
    return true;
}

bool AnnotationCanvas::placePasted(const PastedPicture &picture)
{
    if (!picture.refusal.isEmpty())
        emit pasteRefused(picture.refusal);
    else if (picture.image.isNull())
        emit pasteRefused(tr("No picture on the clipboard"));
    if (picture.image.isNull())
        return false;
    if (picture.scene &&
        isSignalConnected(QMetaMethod::fromSignal(&AnnotationCanvas::sceneOpenRequested))) {
        emit sceneOpenRequested(*picture.scene);
        return true;
    }
    if (!picture.sceneProblem.isEmpty())
        emit pasteRefused(
            tr("Its marks cannot be read (%1); pasted as a picture").arg(picture.sceneProblem));
    addImage(picture.image);
    return true;
}

// ---- what changed -------------------------------------------------------------------------

void AnnotationCanvas::apply(const CanvasChange &change)
{
    const QRectF shown = m_shown;
    updateSize();
    if (m_shown != shown)
        placeFields();
    if (change.cursorChanged)
        setCursor(Cursors::tool(m_model->currentTool()));
    if (change.repaintAll || m_shown != shown)
        update();
    else if (!change.dirty.isEmpty())
        update(toWidget(change.dirty).toAlignedRect().adjusted(-2, -2, 2, 2));
    if (change.openTextField)
        openTextField();
    if (change.openCaptionField)
        openCaptionField();
    if (change.sceneFull)
        emit markRefused(tr("This capture holds as many marks as Vistrel can open again; the last "
                            "one was not kept"));
    if (change.toolChanged)
        emit toolChanged(m_model->currentTool());
    if (change.repaintAll || !change.dirty.isEmpty())
        emit changed();
}

// ---- text and caption fields --------------------------------------------------------------

void AnnotationCanvas::openTextField()
{
    const AnnotationRef &mark = m_model->editingAnnotation();
    if (!mark)
        return;
    auto *field = new TextField(this);
    field->setObjectName(QStringLiteral("textField"));
    field->setPlaceholderText(CanvasModel::textPlaceholder());
    field->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    field->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    field->setLineWrapMode(QPlainTextEdit::NoWrap);
    field->document()->setDocumentMargin(1);
    QPalette pal = field->palette();
    pal.setColor(QPalette::Text, mark->color);
    pal.setColor(QPalette::Base, QColor(255, 255, 255, 230));
    field->setPalette(pal);
    field->setPlainText(mark->text);
    field->moveCursor(QTextCursor::End);
    field->onCommit = [this] { commitEditors(); };
    field->onCancel = [this] { cancelEditors(); };
    connect(field, &QPlainTextEdit::textChanged, this, &AnnotationCanvas::fitFieldHeight);
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
    field->setToolTip(tr("Click or press Return to write a caption; Escape closes"));
    // The field waits for a click or Return: the tool letters pressed after placing a step
    // stay tool letters rather than becoming its caption.
    field->setFocusPolicy(Qt::ClickFocus);
    connect(field, &QLineEdit::editingFinished, this, &AnnotationCanvas::commitEditors);
    field->installEventFilter(this);
    m_captionField = field;
    m_captionBefore = step->caption;
    field->setText(step->caption);
    placeFields();
    field->show();
}

void AnnotationCanvas::placeFields()
{
    // The fields sit where the words will appear, at the canvas's magnification.
    if (m_textField && m_model->editingAnnotation()) {
        QFont font = Annotation::textFont(m_model->editingAnnotation()->fontSize * m_magnification);
        m_textField->setFont(font);
        m_textField->setGeometry(toWidget(m_model->textFieldFrame()).toRect());
        fitFieldHeight();
    }
    if (m_captionField && m_model->captioningStep()) {
        QFont font = QGuiApplication::font();
        font.setPixelSize(std::max(1, int(std::lround(14 * m_magnification))));
        m_captionField->setFont(font);
        m_captionField->setGeometry(toWidget(m_model->captionFieldFrame()).toRect());
    }
}

void AnnotationCanvas::fitFieldHeight()
{
    // The field grows with its lines and its longest line.
    if (!m_textField)
        return;
    const QFontMetricsF fm(m_textField->font());
    const QStringList lines = m_textField->toPlainText().split(QLatin1Char('\n'));
    double longest = 0;
    for (const QString &line : lines)
        longest = std::max(longest, fm.horizontalAdvance(line));
    const QRect frame = toWidget(m_model->textFieldFrame()).toRect();
    const int width = std::max(frame.width(), int(std::ceil(longest + fm.averageCharWidth() * 3)));
    const int height = std::max(
        frame.height(), int(std::ceil(fm.height() + fm.lineSpacing() * (lines.size() - 1) + 8)));
    m_textField->setGeometry(frame.left(), frame.top(), width, height);
}

bool AnnotationCanvas::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && watched == m_captionField.data() &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        // Escape leaves the caption as it was before the field opened.
        m_captionField->setText(m_captionBefore);
        commitCaption();
        return true;
    }
    // QLineEdit reports a focus loss only when the words changed; an untouched field must
    // close too.
    if (event->type() == QEvent::FocusOut &&
        (watched == m_textField.data() || watched == m_captionField.data()) &&
        static_cast<QFocusEvent *>(event)->reason() != Qt::PopupFocusReason)
        commitEditors();
    return QWidget::eventFilter(watched, event);
}

void AnnotationCanvas::addMarks(const QList<AnnotationRef> &marks)
{
    commitEditors();
    apply(m_model->addMarks(marks));
}

void AnnotationCanvas::commitEditors()
{
    commitText();
    commitCaption();
}

void AnnotationCanvas::cancelEditors()
{
    if (QPlainTextEdit *field = m_textField.data()) {
        m_textField.clear();
        field->removeEventFilter(this);
        const bool hadFocus = field->hasFocus();
        field->hide();
        field->deleteLater();
        apply(m_model->cancelText());
        if (hadFocus)
            setFocus(Qt::OtherFocusReason);
    }
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
    QPlainTextEdit *field = m_textField.data();
    m_textField.clear();
    field->removeEventFilter(this);
    const bool hadFocus = field->hasFocus();
    const QString text = field->toPlainText();
    field->hide();
    field->deleteLater();
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

void AnnotationCanvas::whenFirstPainted(std::function<void()> run)
{
    if (m_firstPaint->open)
        run();
    else
        m_firstPaint->waiting.append(std::move(run));
}

void AnnotationCanvas::paintEvent(QPaintEvent *event)
{
    QPainter p(this);
    p.setClipRegion(event->region());
    const QRectF dirty = QRectF(toCanvas(event->rect().topLeft()),
                                toCanvas(event->rect().bottomRight() + QPointF(1, 1)))
                             .normalized();
    p.setTransform(QTransform::fromTranslate(-m_shown.left(), -m_shown.top()) *
                   QTransform::fromScale(m_magnification, m_magnification));
    m_model->paint(p, dirty, true);
    if (const auto crop = m_model->cropInProgress())
        paintCropSize(p, *crop);
    if (!m_firstPaint->open) {
        m_firstPaint->open = true;
        // After this paint has reached the screen.
        QTimer::singleShot(0, this, [gate = m_firstPaint] {
            for (const auto &start : std::exchange(gate->waiting, {}))
                start();
        });
    }
}

void AnnotationCanvas::paintCropSize(QPainter &p, const QRectF &crop)
{
    // In picture pixels, in the overlay's badge and place: above the frame, below it at the
    // top.
    p.resetTransform();
    const QRectF frame = toWidget(crop.normalized()).normalized();
    const QString text = SelectionModel::dimensionText(crop.normalized(), 1.0);
    const QFont font = uiFont(12, QFont::DemiBold);
    const QFontMetricsF fm(font);
    const QRectF badge = SelectionModel::dimensionBadge(
        frame, {fm.horizontalAdvance(text), fm.height()}, QSizeF(width(), height()));
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(badge, 4, 4);
    p.fillPath(path, QColor(0, 0, 0, 199));
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(badge, Qt::AlignCenter, text);
}

void AnnotationCanvas::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    setFocus(Qt::MouseFocusReason);
    // Clicking anywhere ends typing first, then acts with the current tool.
    commitEditors();
    m_model->setSnapping(!(event->modifiers() & Qt::AltModifier));
    apply(m_model->mouseDown(toCanvas(event->position())));
}

void AnnotationCanvas::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return QWidget::mouseMoveEvent(event);
    m_model->setSnapping(!(event->modifiers() & Qt::AltModifier));
    apply(m_model->mouseDragged(toCanvas(event->position())));
}

void AnnotationCanvas::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    m_model->setSnapping(!(event->modifiers() & Qt::AltModifier));
    CanvasChange c = m_model->mouseUp(toCanvas(event->position()));
    apply(c);
    m_model->setSnapping(true);
}

void AnnotationCanvas::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseDoubleClickEvent(event);
    commitEditors();
    const CanvasChange c = m_model->mouseDoubleClicked(toCanvas(event->position()));
    if (c.any())
        apply(c);
    else
        mousePressEvent(event); // a second press of a quick pair, as any other
}

void AnnotationCanvas::wheelEvent(QWheelEvent *event)
{
    if (!(event->modifiers() & Qt::ControlModifier))
        return QWidget::wheelEvent(event); // the scroll area scrolls
    const double notches = event->angleDelta().y() / 120.0;
    if (notches != 0)
        emit zoomRequested(std::pow(1.25, notches), event->position());
    event->accept();
}

void AnnotationCanvas::keyPressEvent(QKeyEvent *event)
{
    if (m_captionField && event->modifiers() == Qt::NoModifier) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            m_captionField->setFocus(Qt::OtherFocusReason);
            return;
        }
        if (event->key() == Qt::Key_Escape)
            commitCaption(); // and the selection clears as usual
    }
    const KeyAction action = CanvasModel::keyAction(event->key(), event->modifiers());
    switch (action.kind) {
    case KeyAction::Delete:
        deleteSelected();
        return;
    case KeyAction::ClearSelection:
        apply(m_model->clearSelection());
        return;
    case KeyAction::Paste:
        pasteImage();
        return;
    case KeyAction::Redact:
        emit redactRequested();
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
