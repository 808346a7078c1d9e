#include "ui/EditorWindowController.h"

#include "engines/OCRService.h"
#include "model/MarkRules.h"
#include "ui/AnnotationCanvas.h"
#include "ui/BeautifyWindowController.h"
#include "ui/CenteringClipView.h"
#include "ui/CompareWindowController.h"
#include "ui/Palette.h"
#include "ui/RecognizedText.h"
#include "ui/SideWindow.h"

#include <QAction>
#include <QDate>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMetaMethod>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QUndoStack>
#include <QVBoxLayout>

namespace vistrel {

namespace {

// X servers leave the fourth byte of a 32-bit pixel as padding, often zero, while a picture
// in Qt's RGB32 format promises 0xff there; painted into an export with alpha, such a capture
// came out fully transparent. The capture is made opaque once, as it arrives.
QImage opaqueCapture(const QImage &image)
{
    if (image.format() != QImage::Format_RGB32)
        return image;
    const int width = image.width(), height = image.height();
    for (int y = 0; y < height; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        QRgb all = 0xff000000u;
        for (int x = 0; x < width; ++x)
            all &= row[x];
        if (all >= 0xff000000u)
            continue;
        QImage fixed = image.copy();
        for (int fy = y; fy < height; ++fy) {
            auto *line = reinterpret_cast<QRgb *>(fixed.scanLine(fy));
            for (int fx = 0; fx < width; ++fx)
                line[fx] |= 0xff000000u;
        }
        return fixed;
    }
    return image;
}

} // namespace

EditorWindowController::EditorWindowController(const QImage &image,
                                               const QList<AnnotationRef> &seed,
                                               const Platform &platform, QObject *parent,
                                               EditorWindowPool *pool, OCRService *ocr)
    : QObject(parent), m_image(opaqueCapture(image)), m_platform(platform), m_pool(pool)
{
    if (ocr)
        m_recognizer = [ocr](const QImage &picture, QObject *context,
                             std::function<void(Result<QString>)> done) {
            ocr->recognizeText(picture, {}, context, std::move(done));
        };

    QRect visible(0, 0, 1440, 900);
    if (QScreen *s = QGuiApplication::primaryScreen())
        visible = s->availableGeometry();
    m_geometry = EditorGeometry::forImage(image.size(), visible.size());

    EditorWindow *window = pool ? pool->take() : nullptr;
    if (!window)
        window = new EditorWindow;
    m_window = window;
    connect(window, &EditorWindow::closed, this, &EditorWindowController::windowClosing);
    window->setWindowTitle(title());
    window->setAttribute(Qt::WA_DeleteOnClose, false);

    m_canvas = ocr ? new AnnotationCanvas(m_image, seed, *ocr)
                   : new AnnotationCanvas(m_image, seed, TextBoxDetection());
    m_canvas->setMagnification(m_geometry.fitMagnification);

    auto *layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_toolbar = new EditorToolbar(m_canvas->undoStack(), window);
    m_canvas->setLineWidth(m_toolbar->lineWidth());
    layout->addWidget(m_toolbar);
    m_export = new EditorExport(m_canvas, m_platform, this);
    m_questions = new EditorQuestions(m_platform, this);
    m_secrets = new EditorSecrets(
        m_canvas, m_platform, [this] { return redactionRules ? redactionRules() : SecretRules(); },
        this);
    if (ocr)
        m_secrets->setWordReader([ocr](const QImage &picture, QObject *context,
                                       std::function<void(Result<QList<LayoutLine>>)> done) {
            ocr->readWords(picture, {}, context, std::move(done));
        });
    connectToolbar();

    m_scroll = new CenteringClipView(window);
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_scroll->setWidget(m_canvas);
    layout->addWidget(m_scroll, 1);

    m_canvas->setCurrentTool(ToolKind::Select);
    m_toolbar->highlight(ToolKind::Select);
    m_canvas->setStrokeColor(m_toolbar->colorButton()->selectedColor());
    QPointer<EditorWindowController> self(this);
    connect(m_canvas, &AnnotationCanvas::toolChanged, this, [this](ToolKind tool) {
        if (m_toolbar)
            m_toolbar->highlight(tool);
    });
    // The picture stays under the pointer when the shown part of the canvas grows.
    connect(m_canvas, &AnnotationCanvas::viewShifted, this, [this](QPointF by) {
        m_scroll->horizontalScrollBar()->setValue(m_scroll->horizontalScrollBar()->value() +
                                                  int(std::lround(by.x())));
        m_scroll->verticalScrollBar()->setValue(m_scroll->verticalScrollBar()->value() +
                                                int(std::lround(by.y())));
    });
    connect(m_canvas, &AnnotationCanvas::zoomRequested, this, [this](qreal factor, QPointF at) {
        zoomAround(magnification() * factor, at - m_scroll->visibleRect().topLeft());
    });
    connect(m_canvas, &AnnotationCanvas::imageAdded, this, &EditorWindowController::showAdded);
    connect(m_canvas, &AnnotationCanvas::pasteRefused, this,
            [this](const QString &why) { m_platform.toasts->show(why); });
    connect(m_canvas, &AnnotationCanvas::markRefused, this,
            [this](const QString &why) { m_platform.toasts->show(why); });
    connect(m_canvas, &AnnotationCanvas::sceneOpenRequested, this,
            [this](const EditorScene &scene) {
                if (isSignalConnected(
                        QMetaMethod::fromSignal(&EditorWindowController::sceneOpenRequested)))
                    emit sceneOpenRequested(scene);
                else
                    m_canvas->addImage(scene.image);
            });
    connect(m_canvas, &AnnotationCanvas::redactRequested, this,
            &EditorWindowController::redactSecrets);
    m_scroll->viewport()->installEventFilter(this);
    m_canvas->installEventFilter(this); // Escape stops a search for secrets
    m_canvas->setViewportSize(
        QSizeF(m_geometry.contentSize.width(),
               m_geometry.contentSize.height() - EditorGeometry::toolbarHeight));

    // Wide enough for the whole toolbar where the screen has room; narrower windows first drop
    // some titles, then use the overflow menu.
    QSize content = m_geometry.contentSize.toSize();
    content.setWidth(std::min(std::max(content.width(), m_toolbar->fullWidth()), visible.width()));
    window->installEventFilter(this);
    m_toolbar->fitWidth(content.width());
    window->resize(content);
    window->move(visible.center() - QPoint(content.width() / 2, content.height() / 2));
    QTimer::singleShot(0, this, [self] {
        if (self)
            self->zoomFit();
    });
}

EditorWindowController::~EditorWindowController()
{
    m_secrets->stop();
    if (m_toolbar)
        for (ExportMode mode : {ExportMode::Copy, ExportMode::Save})
            delete m_toolbar->formatMenu(mode);
    if (m_pool && m_window)
        m_pool->giveBack(static_cast<EditorWindow *>(m_window.data()));
    else
        delete m_window.data();
    // Closing the editor leaves its compare and beautify windows open.
    if (m_compareWindow) {
        QWidget *w = m_compareWindow->window();
        keepUntilClosed(m_compareWindow.release(), w);
    }
    if (m_beautifyWindow) {
        QWidget *w = m_beautifyWindow->window();
        keepUntilClosed(m_beautifyWindow.release(), w);
    }
}

qreal EditorWindowController::magnification() const
{
    return m_canvas->magnification();
}

void EditorWindowController::keepOwnPixels()
{
    const QImage own = m_image.copy();
    if (own.isNull())
        return; // no memory for it: the shared picture stays
    m_image = own;
    m_canvas->model().keepOwnPixels(own);
}

void EditorWindowController::paintOnce()
{
    m_window->winId();
    QImage frame(m_window->size(), QImage::Format_RGB32);
    if (!frame.isNull())
        m_window->render(&frame);
}

void EditorWindowController::showWindow()
{
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    m_canvas->setFocus();
}

// --- tools ---------------------------------------------------------------------------------------

void EditorWindowController::toolPicked(ToolKind tool)
{
    m_canvas->setCurrentTool(tool);
    m_toolbar->highlight(tool);
    m_canvas->setFocus(); // tool letters keep working after a click on the toolbar
}

void EditorWindowController::widthChanged(double width)
{
    m_canvas->setLineWidth(width);
}

void EditorWindowController::undo()
{
    m_canvas->undo();
}

void EditorWindowController::redo()
{
    m_canvas->redo();
}

// --- zoom ----------------------------------------------------------------------------------------

void EditorWindowController::zoomTo(qreal magnification)
{
    magnification =
        qBound(EditorGeometry::minMagnification, magnification, EditorGeometry::maxMagnification);
    const QPointF centre = m_canvas->toCanvas(m_scroll->visibleRect().center());
    m_canvas->setMagnification(magnification);
    m_scroll->centerOn(m_canvas->toWidget(centre));
}

void EditorWindowController::zoomAround(qreal magnification, QPointF at)
{
    magnification =
        qBound(EditorGeometry::minMagnification, magnification, EditorGeometry::maxMagnification);
    const QPointF point = m_canvas->toCanvas(m_scroll->visibleRect().topLeft() + at);
    m_canvas->setMagnification(magnification);
    m_scroll->scrollTo(m_canvas->toWidget(point) - at);
}

void EditorWindowController::showAdded(const QRectF &frame)
{
    m_platform.toasts->show(tr("Picture added"));
    // Once the scroll bars the larger canvas may bring are in place: as much of the picture as
    // fits, with a little room around it, its top-left corner first.
    QTimer::singleShot(0, this, [this, frame] {
        m_scroll->reflectDocumentSize();
        const QRectF shown = m_canvas->toWidget(frame).adjusted(-20, -20, 20, 20);
        const QRectF visible = m_scroll->visibleRect();
        if (visible.contains(shown))
            return;
        QPointF topLeft = visible.topLeft();
        topLeft.rx() =
            std::min(std::max(topLeft.x(), shown.right() - visible.width()), shown.left());
        topLeft.ry() =
            std::min(std::max(topLeft.y(), shown.bottom() - visible.height()), shown.top());
        m_scroll->scrollTo(topLeft);
    });
}

void EditorWindowController::zoomIn()
{
    zoomTo(std::min(magnification() * 1.25, EditorGeometry::maxMagnification));
}

void EditorWindowController::zoomOut()
{
    zoomTo(std::max(magnification() / 1.25, EditorGeometry::minMagnification));
}

void EditorWindowController::zoomFit()
{
    // Everything there is to see (placed pictures and the step legend too) in the view as it
    // is now, without scroll bars.
    if (m_window->layout())
        m_window->layout()->activate();
    m_geometry.fitMagnification = EditorGeometry::fit(m_canvas->model().contentRect().size(),
                                                      m_scroll->maximumViewportSize());
    m_canvas->setMagnification(m_geometry.fitMagnification);
    m_canvas->setViewportSize(m_scroll->maximumViewportSize());
    centerDocument();
}

void EditorWindowController::connectToolbar()
{
    auto on = [this](EditorAction id, void (EditorWindowController::*slot)()) {
        connect(m_toolbar->action(id), &QAction::triggered, this, slot);
    };
    on(EditorAction::Redact, &EditorWindowController::redactSecrets);
    on(EditorAction::Add, &EditorWindowController::addScreenshot);
    on(EditorAction::ZoomOut, &EditorWindowController::zoomOut);
    on(EditorAction::ZoomToFit, &EditorWindowController::zoomFit);
    on(EditorAction::ZoomIn, &EditorWindowController::zoomIn);
    on(EditorAction::Undo, &EditorWindowController::undo);
    on(EditorAction::Redo, &EditorWindowController::redo);
    on(EditorAction::Pin, &EditorWindowController::pinImage);
    on(EditorAction::Ocr, &EditorWindowController::runOCR);
    on(EditorAction::Compare, &EditorWindowController::compare);
    on(EditorAction::Beautify, &EditorWindowController::beautify);
    on(EditorAction::Share, &EditorWindowController::shareImage);
    on(EditorAction::Copy, &EditorWindowController::copyImage);
    on(EditorAction::Save, &EditorWindowController::saveImage);
    on(EditorAction::Close, &EditorWindowController::performClose);
    connect(m_toolbar, &EditorToolbar::toolPicked, this, &EditorWindowController::toolPicked);
    connect(m_toolbar, &EditorToolbar::colorPicked, m_canvas, &AnnotationCanvas::setStrokeColor);
    connect(m_toolbar, &EditorToolbar::lineWidthChanged, this,
            &EditorWindowController::widthChanged);
    connect(m_toolbar, &EditorToolbar::exportChosen, this, &EditorWindowController::performExport);
    connect(m_export, &EditorExport::saved, this, &EditorWindowController::markSaved);
    connect(m_export, &EditorExport::sharingSetUpWanted, this,
            &EditorWindowController::sharingSetUpWanted);
    connect(m_questions, &EditorQuestions::closeAnswered, this,
            &EditorWindowController::closeAnswered);
}

void EditorWindowController::centerDocument()
{
    m_scroll->centerOn(m_canvas->toWidget(m_canvas->model().contentRect().center()));
}

// --- export --------------------------------------------------------------------------------------

void EditorWindowController::copyImage()
{
    performExport({ExportMode::Copy, ExportChoice::Original});
}

void EditorWindowController::saveImage()
{
    performExport({ExportMode::Save, ExportChoice::Original});
}

void EditorWindowController::performExport(const ExportChoice &choice)
{
    if (choice.mode == ExportMode::Copy) {
        m_export->copy(choice.format);
        return;
    }
    const SaveSettings settings = EditorExport::settingsFor(
        choice.format, saveSettings ? saveSettings() : SaveSettings(), suggestedNameBase,
        QDate::currentDate(), [this] { return scene(); });
    QPointer<EditorWindowController> self(this);
    m_export->save(choice.format, settings, [self](bool writing) {
        if (!self)
            return;
        const bool closing = std::exchange(self->m_closeAfterSave, false);
        if (writing && closing)
            self->closeNow();
    });
}

// --- other actions -------------------------------------------------------------------------------

void EditorWindowController::runOCR()
{
    m_canvas->commitEditors();
    const QImage image = m_canvas->renderComposite(false);
    if (image.isNull())
        return;
    if (!m_recognizer)
        return;
    QPointer<EditorWindowController> self(this);
    m_recognizer(image, this, [self](Result<QString> text) {
        // The same outcome as Extract Text: a failure is an alert naming its cause.
        if (self)
            RecognizedText::deliver(text, self->m_platform, tr("Copied %1 chars"));
    });
}

void EditorWindowController::pinImage()
{
    m_canvas->commitEditors();
    const QImage image = m_canvas->renderComposite(false);
    if (!image.isNull())
        m_platform.pins->pin(image, m_window ? m_window->screen() : nullptr);
}

void EditorWindowController::addScreenshot()
{
    emit addImageRequested();
}

// The compare window, the beautify window and sharing are separate pieces; until each is in
// place its button says so.
void EditorWindowController::compare()
{
    if (m_canvas->extraImages().isEmpty()) {
        m_platform.toasts->show(tr("Add a 2nd screenshot (Add / Ctrl+V) to compare"));
        return;
    }
    // Before: the capture without its marks; after: the first placed picture as taken.
    m_compareWindow = std::make_unique<CompareWindowController>(
        m_canvas->baseImage(), m_canvas->extraImages().first()->picture, m_platform);
    m_compareWindow->showWindow();
}

void EditorWindowController::beautify()
{
    m_canvas->commitEditors();
    const QImage image = m_canvas->renderComposite(true);
    if (image.isNull())
        return;
    m_beautifyWindow = std::make_unique<BeautifyWindowController>(image, m_platform);
    m_beautifyWindow->showWindow();
}

// --- redaction ----------------------------------------------------------------------------------

QList<PlacedFinding> EditorWindowController::findings() const
{
    return m_secrets->findings();
}

void EditorWindowController::redactSecrets()
{
    m_secrets->redact();
}

void EditorWindowController::shareImage()
{
    m_canvas->commitEditors();
    m_platform.toasts->show(tr("Checking for secrets…"));
    QPointer<EditorWindowController> self(this);
    m_secrets->readPictures([self](const QString &error) {
        if (!self)
            return;
        // A check that cannot run is no all-clear: the user decides, knowing why.
        if (!error.isEmpty()) {
            self->m_questions->askShareUnchecked(error, [self](EditorQuestions::ShareAnswer a) {
                if (self && a == EditorQuestions::ShareAnswer::ShareAnyway)
                    self->upload();
            });
            return;
        }
        auto open = [self] {
            const CanvasModel &model = self->m_canvas->model();
            return Redaction::uncovered(self->m_secrets->findings(), model.annotations(),
                                        model.crop());
        };
        const QList<PlacedFinding> secrets = open();
        if (secrets.isEmpty())
            return self->upload();
        using Answer = EditorQuestions::ShareAnswer;
        self->m_questions->askShareSecrets(secrets, [self, open](Answer answer) {
            if (!self || answer == Answer::Cancel)
                return;
            // Marks may have changed while the question was up: what is open now is covered.
            if (answer == Answer::RedactAndShare)
                self->m_canvas->addMarks(Redaction::marksFor(open()));
            self->upload();
        });
    });
}

void EditorWindowController::upload()
{
    m_export->share(shareSettings ? shareSettings() : ShareSettings(QString(), m_platform.keyring));
}

void EditorWindowController::performClose()
{
    if (m_window)
        m_window->close();
}

bool EditorWindowController::hasUnsavedWork()
{
    m_canvas->commitEditors();
    return !m_canvas->undoStack()->isClean();
}

EditorScene EditorWindowController::scene() const
{
    const CanvasModel &model = m_canvas->model();
    EditorScene scene;
    scene.image = m_image;
    for (const AnnotationRef &m : model.annotations())
        scene.marks.append(m->copyForUndo());
    for (const PlacedImageRef &img : model.extraImages())
        scene.placed.append({img->picture, img->frame});
    scene.crop = model.crop();
    return scene;
}

void EditorWindowController::restoreScene(const EditorScene &scene)
{
    for (const auto &[picture, frame] : scene.placed)
        m_canvas->model().placeImage(picture, frame);
    if (scene.crop)
        m_canvas->model().setCrop(scene.crop);
    m_canvas->setMagnification(m_canvas->magnification()); // sizes follow the content
    m_canvas->setViewportSize(m_scroll->viewport()->size());
    m_canvas->update();
    // Kept or saved work holds only the fill under its redactions: moving one shows no secret.
    if (std::any_of(scene.marks.cbegin(), scene.marks.cend(),
                    [](const AnnotationRef &m) { return MarkRules::of(m->kind).covers; }))
        m_platform.toasts->show(tr("The pixels under the redactions are gone"));
}

void EditorWindowController::keepForNextStart(const std::function<bool(const EditorScene &)> &keep)
{
    if (!hasUnsavedWork() || !keep(scene()))
        return; // the window still asks: nothing is lost without a word
    m_keptForNextStart = true;
    m_closing = true;
}

void EditorWindowController::discardChanges()
{
    m_canvas->cancelEditors();
    m_canvas->undoStack()->setClean();
}

void EditorWindowController::markSaved()
{
    m_canvas->undoStack()->setClean();
    RecoveryStore().remove(std::exchange(recoveryId, QString()));
}

bool EditorWindowController::mayClose()
{
    if (m_closing || !hasUnsavedWork())
        return true;
    m_questions->askBeforeClose(m_window);
    return false;
}

void EditorWindowController::closeAnswered(EditorQuestions::CloseAnswer answer)
{
    using Answer = EditorQuestions::CloseAnswer;
    if (answer == Answer::Discard) {
        discardChanges();
        closeNow();
    } else if (answer == Answer::CopyAndClose) {
        // A copy counts as saved; a failed one leaves the editor open with its work.
        performExport({ExportMode::Copy, ExportChoice::Original});
        if (!hasUnsavedWork())
            closeNow();
    } else if (answer == Answer::Save) {
        m_closeAfterSave = true;
        performExport({ExportMode::Save, ExportChoice::Original});
    }
}

void EditorWindowController::closeNow()
{
    m_closing = true;
    if (m_window)
        m_window->close();
}

bool EditorWindowController::eventFilter(QObject *watched, QEvent *event)
{
    if (m_secrets->isSearching() && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape &&
        (watched == m_canvas || watched == m_window.data())) {
        m_secrets->stop();
        m_platform.toasts->show(tr("Stopped looking for secrets"));
        return true;
    }
    // Unsaved work asks first; the window stays meanwhile.
    if (event->type() == QEvent::Close && watched == m_window.data() && !mayClose()) {
        event->ignore();
        return true;
    }
    if (event->type() == QEvent::Resize && watched == m_window.data() && m_toolbar)
        m_toolbar->fitWidth(static_cast<QResizeEvent *>(event)->size().width());
    if (event->type() == QEvent::Resize && m_scroll && watched == m_scroll->viewport())
        m_canvas->setViewportSize(m_scroll->viewport()->size());
    return QObject::eventFilter(watched, event);
}

void EditorWindowController::windowClosing()
{
    // The window closes without changes, once they are saved or discarded, or kept on disk.
    if (!m_keptForNextStart)
        RecoveryStore().remove(std::exchange(recoveryId, QString()));
    emit closed();
}

} // namespace vistrel
