#include "ui/EditorWindowController.h"

#include "engines/ClipboardTools.h"
#include "engines/ImageFiles.h"
#include "engines/OCRService.h"
#include "model/MarkRules.h"
#include "platform/Memory.h"
#include "ui/AnnotationCanvas.h"
#include "ui/BeautifyWindowController.h"
#include "ui/CenteringClipView.h"
#include "ui/CompareWindowController.h"
#include "ui/ImageExport.h"
#include "ui/Notifier.h"
#include "ui/Palette.h"
#include "ui/RecognizedText.h"
#include "ui/ShareService.h"
#include "ui/SideWindow.h"
#include "ui/SymbolIcon.h"

#include <QAction>
#include <QBackingStore>
#include <QCloseEvent>
#include <QDate>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUndoStack>
#include <QVBoxLayout>

namespace vistrel {

class EditorWindow : public QWidget
{
public:
    explicit EditorWindow(EditorWindowController *controller) : m_controller(controller) {}
    void setController(EditorWindowController *controller) { m_controller = controller; }

protected:
    void closeEvent(QCloseEvent *event) override
    {
        if (m_controller && !m_controller->mayClose()) {
            event->ignore();
            return;
        }
        QWidget::closeEvent(event);
        if (event->isAccepted() && m_controller)
            m_controller->windowClosing();
    }

private:
    QPointer<EditorWindowController> m_controller;
};

EditorWindowPool::EditorWindowPool() : m_expiry(new QTimer(this))
{
    m_expiry->setSingleShot(true);
    m_expiry->setInterval(keepWarmFor);
    // The kept window's backing store goes; the window, which holds next to nothing then,
    // stays for the next editor.
    connect(m_expiry, &QTimer::timeout, this, [this] {
        if (m_spare && m_spare->backingStore())
            m_spare->backingStore()->resize(QSize(1, 1));
        handBackIdleMemory();
    });
}

EditorWindowPool::~EditorWindowPool()
{
    delete m_spare.data();
}

EditorWindow *EditorWindowPool::take()
{
    m_expiry->stop();
    EditorWindow *window = m_spare.data();
    m_spare.clear();
    return window;
}

void EditorWindowPool::giveBack(EditorWindow *window)
{
    if (!window)
        return;
    if (m_spare) {
        delete window; // one is kept
        return;
    }
    window->hide();
    window->setController(nullptr);
    // Everything of the editor goes: its widgets, its actions (their shortcuts would clash
    // with the next editor's), its layout.
    for (QAction *action : window->actions())
        window->removeAction(action);
    delete window->layout();
    QList<QPointer<QObject>> children;
    for (QObject *child : window->children())
        if (!child->isWindowType()) // the native window and its backing store stay
            children.append(child);
    for (const QPointer<QObject> &child : children)
        delete child.data();
    m_spare = window;
    m_expiry->start();
}

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

QString EditorWindowController::filenameForBase(const QString &base, const QDate &today)
{
    return base + QLatin1Char(' ') + today.toString(QStringLiteral("yyyy-MM-dd"));
}

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
    if (ocr)
        m_wordReader = [ocr](const QImage &picture, QObject *context,
                             std::function<void(Result<QList<LayoutLine>>)> done) {
            ocr->readWords(picture, {}, context, std::move(done));
        };

    QRect visible(0, 0, 1440, 900);
    if (QScreen *s = QGuiApplication::primaryScreen())
        visible = s->availableGeometry();
    m_geometry = EditorGeometry::forImage(image.size(), visible.size());

    EditorWindow *window = pool ? pool->take() : nullptr;
    if (window)
        window->setController(this);
    else
        window = new EditorWindow(this);
    m_window = window;
    window->setWindowTitle(title());
    window->setAttribute(Qt::WA_DeleteOnClose, false);

    m_canvas = ocr ? new AnnotationCanvas(m_image, seed, *ocr)
                   : new AnnotationCanvas(m_image, seed, TextBoxDetection());
    m_canvas->setMagnification(m_geometry.fitMagnification);

    auto *layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildToolbar();
    layout->addWidget(m_toolbar);

    m_scroll = new CenteringClipView(window);
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_scroll->setWidget(m_canvas);
    layout->addWidget(m_scroll, 1);

    m_canvas->setCurrentTool(ToolKind::Select);
    highlight(ToolKind::Select);
    m_canvas->setStrokeColor(m_colorButton->selectedColor());
    QPointer<EditorWindowController> self(this);
    connect(m_canvas, &AnnotationCanvas::toolChanged, this, &EditorWindowController::highlight);
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
                if (onOpenScene)
                    onOpenScene(scene);
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

    // Ctrl+W closes the editor, as every window on the desktop does.
    auto *close = new QAction(tr("Close"), window);
    QList<QKeySequence> closeKeys = QKeySequence::keyBindings(QKeySequence::Close);
    if (!closeKeys.contains(QKeySequence(Qt::CTRL | Qt::Key_W)))
        closeKeys.prepend(QKeySequence(Qt::CTRL | Qt::Key_W));
    close->setShortcuts(closeKeys);
    connect(close, &QAction::triggered, this, &EditorWindowController::performClose);
    window->addAction(close);
    m_actions.insert(EditorAction::Close, close);

    // Wide enough for the whole toolbar where the screen has room; narrower windows first drop
    // some titles, then use the overflow menu.
    m_fullToolbarWidth = m_toolbar->sizeHint().width();
    QSize content = m_geometry.contentSize.toSize();
    content.setWidth(std::min(std::max(content.width(), m_fullToolbarWidth), visible.width()));
    window->installEventFilter(this);
    fitToolbar(content.width());
    window->resize(content);
    window->move(visible.center() - QPoint(content.width() / 2, content.height() / 2));
    QTimer::singleShot(0, this, [self] {
        if (self)
            self->zoomFit();
    });
}

EditorWindowController::~EditorWindowController()
{
    stopFinding();
    for (const QPointer<QMenu> &menu : m_formatMenus)
        delete menu.data();
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
    highlight(tool);
    m_canvas->setFocus(); // tool letters keep working after a click on the toolbar
}

void EditorWindowController::highlight(ToolKind tool)
{
    for (auto it = m_toolButtons.cbegin(); it != m_toolButtons.cend(); ++it)
        it.value()->defaultAction()->setChecked(it.key() == tool);
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
    m_canvas->commitEditors();
    const QImage image = m_canvas->renderComposite(choice.format != ExportChoice::Transparent);
    if (image.isNull())
        return;
    if (choice.mode == ExportMode::Copy) {
        const bool pdf = choice.format == ExportChoice::PDF;
        if (pdf ? ImageFiles::copyPDF(*m_platform.clipboard, image)
                : ClipboardTools::copy(*m_platform.clipboard, image)) {
            m_platform.toasts->show(pdf ? tr("Copied PDF") : tr("Copied to clipboard"));
            // The work is on the clipboard: closing loses nothing the user has not taken.
            markSaved();
        }
        return;
    }
    SaveSettings settings = saveSettings ? saveSettings() : SaveSettings();
    settings.preferPdf = choice.format == ExportChoice::PDF;
    if (choice.format == ExportChoice::EditablePng)
        settings.editable = std::make_shared<const EditorScene>(scene());
    if (suggestedNameBase)
        settings.suggestedBase = filenameForBase(*suggestedNameBase, QDate::currentDate());
    QPointer<EditorWindowController> self(this);
    ImageExport::save(m_platform, image, settings, [self](bool writing) {
        if (!self)
            return;
        const bool closing = std::exchange(self->m_closeAfterSave, false);
        if (!writing)
            return;
        // A write that fails after this reopens the dialog with the picture: nothing is lost.
        self->markSaved();
        if (closing)
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
    if (onRequestAddImage)
        onRequestAddImage();
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

QList<CanvasPicture> EditorWindowController::canvasPictures() const
{
    const CanvasModel &model = m_canvas->model();
    QList<CanvasPicture> pictures{{model.baseImage(), model.primaryRect()}};
    for (const PlacedImageRef &img : model.extraImages())
        pictures.append({img->picture, img->frame});
    return pictures;
}

void EditorWindowController::readPictures(std::function<void(QString)> then)
{
    m_afterReading.append(std::move(then));
    if (m_reading)
        return; // the reading under way answers this one too
    QList<QImage> missing;
    for (const CanvasPicture &p : canvasPictures())
        if (!m_words.contains(p.picture.cacheKey()) &&
            std::none_of(missing.cbegin(), missing.cend(),
                         [&](const QImage &m) { return m.cacheKey() == p.picture.cacheKey(); }))
            missing.append(p.picture);
    QPointer<EditorWindowController> self(this);
    auto finish = [self](const QString &error) {
        if (!self)
            return;
        self->m_reading = false;
        for (const auto &waiting : std::exchange(self->m_afterReading, {}))
            waiting(error);
    };
    if (missing.isEmpty())
        return finish(QString());
    if (!m_wordReader)
        return finish(tr("Text recognition is not available."));
    m_reading = true;
    auto left = std::make_shared<int>(int(missing.size()));
    auto error = std::make_shared<QString>();
    for (const QImage &picture : missing) {
        const qint64 key = picture.cacheKey();
        m_wordReader(picture, this,
                     [self, key, left, error, finish](Result<QList<LayoutLine>> words) {
                         if (!self)
                             return;
                         if (words)
                             self->m_words.insert(key, *words);
                         else if (error->isEmpty())
                             *error = words.error().errorDescription();
                         if (--*left == 0)
                             finish(*error);
                     });
    }
}

QList<PlacedFinding> EditorWindowController::findings() const
{
    const SecretFinder finder(redactionRules ? redactionRules() : SecretRules());
    QList<PlacedFinding> out;
    for (const CanvasPicture &p : canvasPictures()) {
        const auto words = m_words.constFind(p.picture.cacheKey());
        if (words != m_words.cend())
            out += Redaction::place(finder.find(*words), p.picture, p.frame);
    }
    return out;
}

void EditorWindowController::redactSecrets()
{
    if (m_finding)
        return; // the search under way answers this press too
    m_canvas->commitEditors();
    m_platform.toasts->show(tr("Looking for secrets… Escape stops."));
    m_finding = true;
    const int round = ++m_findingRound;
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    QPointer<EditorWindowController> self(this);
    readPictures([self, round](const QString &error) {
        if (!self || !self->m_finding || self->m_findingRound != round)
            return; // stopped: the words read stay for the next search
        self->stopFinding();
        if (!error.isEmpty()) {
            Notifier::error(self->m_platform.alerts, error);
            return;
        }
        const QList<PlacedFinding> open =
            Redaction::uncovered(self->findings(), self->m_canvas->model().annotations());
        if (open.isEmpty()) {
            self->m_platform.toasts->show(tr("No uncovered secrets found"));
            return;
        }
        self->m_canvas->addMarks(Redaction::marksFor(open));
        self->m_platform.toasts->show(Redaction::summary(open));
    });
}

void EditorWindowController::stopFinding()
{
    if (!std::exchange(m_finding, false))
        return;
    ++m_findingRound;
    QGuiApplication::restoreOverrideCursor();
}

void EditorWindowController::shareImage()
{
    m_canvas->commitEditors();
    m_platform.toasts->show(tr("Checking for secrets…"));
    QPointer<EditorWindowController> self(this);
    readPictures([self](const QString &error) {
        if (!self)
            return;
        // A check that cannot run is no all-clear: the user decides, knowing why.
        if (!error.isEmpty()) {
            Question unchecked{tr("Vistrel — Picture Not Checked"),
                               tr("The picture could not be checked for secrets. %1").arg(error),
                               {tr("Share Anyway"), tr("Cancel")},
                               1,
                               1};
            self->m_platform.alerts->ask(unchecked, [self](int choice) {
                if (self && choice == 0)
                    self->upload();
            });
            return;
        }
        auto open = [self] {
            const CanvasModel &model = self->m_canvas->model();
            return Redaction::uncovered(self->findings(), model.annotations(), model.crop());
        };
        const QList<PlacedFinding> secrets = open();
        if (secrets.isEmpty())
            return self->upload();
        Question question{
            tr("Vistrel — Secrets in the Picture"),
            tr("The picture shows %1 that no redaction covers.").arg(Redaction::tally(secrets)),
            {tr("Redact and Share"), tr("Share Anyway"), tr("Cancel")},
            0,
            2};
        self->m_platform.alerts->ask(question, [self, open](int choice) {
            if (!self || (choice != 0 && choice != 1))
                return;
            // Marks may have changed while the question was up: what is open now is covered.
            if (choice == 0)
                self->m_canvas->addMarks(Redaction::marksFor(open()));
            self->upload();
        });
    });
}

void EditorWindowController::upload()
{
    m_canvas->commitEditors();
    const QImage image = m_canvas->renderComposite(true);
    if (image.isNull())
        return;
    m_platform.toasts->show(tr("Uploading…"));
    // The upload reports its own outcome and finishes even if this window closes first.
    const ShareSettings settings =
        shareSettings ? shareSettings() : ShareSettings(QString(), m_platform.keyring);
    // A shared picture counts as saved, unless the marks changed while it went up.
    QPointer<EditorWindowController> self(this);
    const int state = m_canvas->undoStack()->index();
    ShareService::share(
        image, m_platform, settings, nullptr,
        [self, state](const std::optional<QString> &link) {
            if (self && link && self->m_canvas->undoStack()->index() == state)
                self->markSaved();
        },
        onSetUpSharing);
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
    askBeforeClose();
    return false;
}

void EditorWindowController::askBeforeClose()
{
    if (m_closeQuestion) {
        m_closeQuestion->raise();
        return;
    }
    auto *box =
        new QMessageBox(QMessageBox::Warning, tr("Vistrel — Unsaved Marks"),
                        tr("Keep the marks on this capture?"), QMessageBox::NoButton, m_window);
    box->setInformativeText(tr("They are lost if you close without saving or copying."));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QPushButton *save = box->addButton(tr("&Save…"), QMessageBox::AcceptRole);
    QPushButton *copy = box->addButton(tr("&Copy and Close"), QMessageBox::ActionRole);
    QPushButton *discard = box->addButton(tr("&Discard"), QMessageBox::DestructiveRole);
    QPushButton *cancel = box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(save);
    box->setEscapeButton(cancel);
    m_closeQuestion = box;
    QPointer<EditorWindowController> self(this);
    connect(box, &QMessageBox::buttonClicked, this,
            [this, self, save, copy, discard](QAbstractButton *button) {
                if (!self)
                    return;
                if (button == discard) {
                    discardChanges();
                    closeNow();
                } else if (button == copy) {
                    // A copy counts as saved; a failed one leaves the editor open with its work.
                    performExport({ExportMode::Copy, ExportChoice::Original});
                    if (!hasUnsavedWork())
                        closeNow();
                } else if (button == save) {
                    m_closeAfterSave = true;
                    performExport({ExportMode::Save, ExportChoice::Original});
                }
            });
    box->open();
}

void EditorWindowController::closeNow()
{
    m_closing = true;
    if (m_window)
        m_window->close();
}

bool EditorWindowController::eventFilter(QObject *watched, QEvent *event)
{
    if (m_finding && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape &&
        (watched == m_canvas || watched == m_window.data())) {
        stopFinding();
        m_platform.toasts->show(tr("Stopped looking for secrets"));
        return true;
    }
    if (event->type() == QEvent::Resize && watched == m_window.data())
        fitToolbar(static_cast<QResizeEvent *>(event)->size().width());
    if (event->type() == QEvent::Resize && m_scroll && watched == m_scroll->viewport())
        m_canvas->setViewportSize(m_scroll->viewport()->size());
    return QObject::eventFilter(watched, event);
}

void EditorWindowController::windowClosing()
{
    // The window closes without changes, once they are saved or discarded, or kept on disk.
    if (!m_keptForNextStart)
        RecoveryStore().remove(std::exchange(recoveryId, QString()));
    if (onClose)
        onClose();
}

} // namespace vistrel
