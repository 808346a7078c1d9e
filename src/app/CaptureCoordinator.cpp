#include "app/CaptureCoordinator.h"

#include "app/AddSessionController.h"
#include "app/Preferences.h"
#include "engines/CaptureHistory.h"
#include "engines/ClipboardTools.h"
#include "engines/ImageFiles.h"
#include "platform/Memory.h"
#include "platform/X11Windows.h"
#include "ui/AnnotationCanvas.h"
#include "ui/EditorWindowController.h"
#include "ui/ImageExport.h"
#include "ui/Notifier.h"
#include "ui/PreviewCardController.h"
#include "ui/RecognizedText.h"
#include "ui/ScrollCaptureController.h"
#include "ui/SelectionOverlayController.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <QUndoStack>

#include <malloc.h>

namespace vistrel {

CaptureCoordinator::CaptureCoordinator(const Platform &platform, QObject *parent)
    : QObject(parent), m_platform(platform), m_capture(*platform.screens),
      m_overlayWindows(std::make_unique<OverlayWindowPool>()),
      m_editorWindows(std::make_unique<EditorWindowPool>()),
      m_keepDir(qEnvironmentVariable("VISTREL_KEEP_CAPTURES"))
{
    m_recognizer = [this](const QImage &image, QObject *context,
                          std::function<void(Result<QString>)> done) {
        m_ocr.recognizeText(image, {}, context, std::move(done));
    };
}

// --- entry points ----------------------------------------------------------------------------

void CaptureCoordinator::startAreaCapture(bool ocr)
{
    QTimer::singleShot(0, this, [this, ocr] { runOverlayMode(ocr ? Mode::Ocr : Mode::Area); });
}

void CaptureCoordinator::startWindowCapture()
{
    if (!m_platform.limits.windowCapture.isEmpty())
        return Notifier::error(m_platform.alerts, m_platform.limits.windowCapture);
    QTimer::singleShot(0, this, [this] { runOverlayMode(Mode::Window); });
}

void CaptureCoordinator::startScrollCapture()
{
    if (!m_platform.limits.scrollCapture.isEmpty())
        return Notifier::error(m_platform.alerts, m_platform.limits.scrollCapture);
    if (m_scrollController)
        return askToReplaceScrollCapture();
    QTimer::singleShot(0, this, [this] { runOverlayMode(Mode::Scroll); });
}

void CaptureCoordinator::askToReplaceScrollCapture()
{
    // The picture grown so far is the user's work: a key pressed twice must not throw it away.
    if (std::exchange(m_askingToReplaceScroll, true))
        return;
    // The wheel stops turning while the question is up: it could turn under the box. No frames
    // are taken either: they would show the box.
    m_scrollController->stopAuto();
    m_scrollController->setPaused(true);
    const Question question{
        tr("Vistrel — Scrolling Capture"),
        tr("A scrolling capture is still going on. Start a new one?"),
        {tr("Keep Scrolling"), tr("Finish and Start New"), tr("Discard and Start New")},
        0,
        0};
    QPointer<CaptureCoordinator> self(this);
    m_platform.alerts->ask(question, [self](int choice) {
        if (!self)
            return;
        self->m_askingToReplaceScroll = false;
        if (choice != 1 && choice != 2) {
            if (ScrollCaptureController *scroll = self->m_scrollController)
                scroll->setPaused(false);
            return;
        }
        if (ScrollCaptureController *scroll = self->m_scrollController) {
            if (choice == 1)
                scroll->finishAction(); // its picture opens in a preview card, as Done does
            else
                scroll->cancelAction();
        }
        QTimer::singleShot(0, self, [self] {
            if (self)
                self->runOverlayMode(Mode::Scroll);
        });
    });
}

void CaptureCoordinator::captureFullScreen()
{
    QTimer::singleShot(0, this, [this] {
        const auto layout = beginBusyMode();
        if (!layout)
            return;
        auto image = grabMainDisplay(*layout);
        if (image) {
            keepCopy(*image);
            // The picture may lie in the grab's shared-memory segment: once the editor is on
            // screen, it gets memory of its own and the segment goes back, warm for the next
            // capture (a copy before then would hold up the editor).
            QPointer<EditorWindowController> editor(openEditor(*image));
            editor->canvas()->whenFirstPainted([editor] {
                if (editor)
                    editor->keepOwnPixels();
            });
        } else {
            Notifier::error(m_platform.alerts, image.error());
        }
        m_busy = false;
        handBackMemory();
    });
}

Result<QImage> CaptureCoordinator::grabMainDisplay(const ScreenLayout &layout)
{
    const auto display = mainDisplay(layout, m_platform.screens->primaryDisplayId());
    if (!display)
        return CaptureError::noDisplay();
    return m_capture.captureDisplay(*display);
}

void CaptureCoordinator::startColorPick()
{
    QTimer::singleShot(0, this, [this] {
        if (!m_platform.colorPicker || m_busy)
            return pickColorOnOverlay();
        // The desktop's own picker; it holds the busy flag like an overlay would.
        m_busy = true;
        QPointer<CaptureCoordinator> self(this);
        m_platform.colorPicker->pick([self](Result<QColor> colour) {
            if (!self)
                return;
            self->m_busy = false;
            if (colour)
                self->copyColour(*colour);
            else if (colour.error().kind() != CaptureError::Kind::Cancelled)
                self->pickColorOnOverlay(); // the desktop could not pick: our own loupe can
        });
    });
}

void CaptureCoordinator::prepareForCaptures()
{
    if (m_overlayFactory)
        return; // overlays of its own: nothing of ours to make
    QList<QScreen *> screens;
    for (const ScreenInfo &s : m_platform.screens->screens())
        if (s.screen)
            screens.append(s.screen);
    m_overlayWindows->prepare(screens);
    // An editor built and painted once, off screen, and let go: the first real one finds its
    // code, icons and fonts loaded, and its window made (kept, unmapped).
    EditorWindowController warm(QImage(64, 48, QImage::Format_RGB32), {}, m_platform, nullptr,
                                m_editorWindows.get());
    warm.paintOnce();
    handBackMemory(); // what that left in the heap: the app goes idle now
}

void CaptureCoordinator::copyColour(const QColor &colour)
{
    const QString hex = ColorTools::hexString(colour);
    m_platform.clipboard->setText(hex);
    m_platform.toasts->show(tr("Copied %1").arg(hex));
    // The desktop's own picker leaves no window of ours in front, and GNOME gives the
    // clipboard only to the app in front: where it refused, the colour is offered in a box
    // whose Copy button puts it there.
    QPointer<CaptureCoordinator> self(this);
    QTimer::singleShot(400, this, [self, hex] {
        if (!self || self->m_platform.clipboard->holdsOwnContents())
            return;
        self->m_platform.toasts->dismiss();
        Question question;
        question.title = tr("Vistrel — Colour");
        question.message = tr("The desktop did not let Vistrel put %1 on the clipboard while "
                              "another window was in front. Copy it now?")
                               .arg(hex);
        question.choices = {tr("Copy"), tr("Close")};
        question.cancelChoice = 1;
        self->m_platform.alerts->ask(question, [self, hex](int choice) {
            if (self && choice == 0)
                self->m_platform.clipboard->setText(hex);
        });
    });
}

void CaptureCoordinator::pickColorOnOverlay()
{
    // A frozen full-screen picture with the loupe; a click takes the pixel under the pointer.
    // It is an overlay like the others: the busy rule keeps every other capture out meanwhile.
    const auto layout = beginBusyMode();
    if (!layout)
        return;
    auto images = captureDisplayImages(*layout);
    if (!images) {
        m_busy = false;
        Notifier::error(m_platform.alerts, images.error());
        return;
    }
    OverlayRequest request;
    request.layout = *layout;
    request.displayImages = *images;
    request.pickColor = true;
    QPointer<CaptureCoordinator> self(this);
    request.onColorPicked = [self](std::optional<QColor> colour) {
        if (self && colour) // cancelled: nothing happens
            self->copyColour(*colour);
    };
    m_colorPicker = makeOverlay(request, [self](std::optional<SelectionOutcome>) {
        if (!self)
            return;
        if (self->m_colorPicker)
            self->m_colorPicker->deleteLater();
        self->m_colorPicker = nullptr;
        self->m_busy = false;
        self->handBackMemory();
    });
    if (m_colorPicker)
        m_colorPicker->present();
    else
        m_busy = false;
}

// --- overlay modes ---------------------------------------------------------------------------

std::optional<ScreenLayout> CaptureCoordinator::beginBusyMode()
{
    if (m_busy)
        return std::nullopt; // a second request while one is being set up or shown
    m_busy = true;
    auto layout = m_platform.screens->screenLayout();
    if (!layout) {
        m_busy = false;
        reportStartFailure(layout.error());
        return std::nullopt;
    }
    return *layout;
}

void CaptureCoordinator::runOverlayMode(Mode mode)
{
    const auto layout = beginBusyMode();
    if (!layout)
        return;
    const bool windowPicking = mode == Mode::Window;
    std::optional<SelectionAction> immediate;
    switch (mode) {
    case Mode::Ocr:
        immediate = SelectionAction::Ocr;
        // The engine and its model load while the area is being chosen.
        m_ocr.prepareForRecognition();
        break;
    case Mode::Scroll:
        immediate = SelectionAction::Scroll;
        break;
    case Mode::Board:
        immediate = SelectionAction::Board;
        break;
    case Mode::Area:
        // A script takes the area as the drag ends: there is nobody to press a button.
        if (m_script)
            immediate = SelectionAction::Copy;
        break;
    case Mode::Window:
        break;
    }
    // Window picking shows no loupe, but an X server without a compositor cannot show the
    // desktop through a translucent window: every overlay paints its display's frozen picture.
    auto images = captureDisplayImages(*layout);
    if (!images) {
        m_busy = false;
        reportStartFailure(images.error());
        return;
    }
    presentSelection(*layout, windowPicking, immediate, *images);
}

void CaptureCoordinator::presentSelection(const ScreenLayout &layout, bool windowPicking,
                                          std::optional<SelectionAction> immediateAction,
                                          const DisplayImageMap &displayImages)
{
    if (m_selectionOverlay)
        m_selectionOverlay->deleteLater();
    QPointer<CaptureCoordinator> self(this);
    auto completion = [self, layout, displayImages](std::optional<SelectionOutcome> outcome) {
        if (self)
            self->handleOutcome(outcome, layout, displayImages);
    };
    OverlayRequest request;
    request.layout = layout;
    request.windowPicking = windowPicking;
    request.immediateAction = immediateAction;
    request.displayImages = displayImages;
    m_selectionOverlay = makeOverlay(request, completion);
    if (m_selectionOverlay)
        m_selectionOverlay->present();
    else
        completion(std::nullopt);
}

SelectionOverlay *CaptureCoordinator::makeOverlay(const OverlayRequest &request,
                                                  SelectionOverlay::Completion done)
{
    if (m_overlayFactory)
        return m_overlayFactory(request, std::move(done));
    return new SelectionOverlayController(request, std::move(done), *m_platform.screens,
                                          m_overlayWindows.get());
}

void CaptureCoordinator::handleOutcome(const std::optional<SelectionOutcome> &outcome,
                                       const ScreenLayout &layout, const DisplayImageMap &frozen)
{
    // The overlay may still be on the stack that reported the outcome.
    if (m_selectionOverlay)
        m_selectionOverlay->deleteLater();
    m_selectionOverlay = nullptr;
    m_busy = false;
    handBackMemory();
    if (auto script = std::exchange(m_script, std::nullopt)) {
        if (!outcome)
            return script->done(QStringLiteral("the capture was cancelled"), {});
        return finishScript(*script, cutOutcome(*outcome, layout, frozen));
    }
    if (!outcome) {
        if (m_addSession)
            showBoardPanel();
        return;
    }
    if (outcome->action == SelectionAction::Scroll) {
        if (const auto *area = std::get_if<RectSelection>(&outcome->result))
            startScrollSession(area->rect, area->display);
        return;
    }
    performCapture(*outcome, layout, frozen);
}

Result<QImage> CaptureCoordinator::cutOutcome(const SelectionOutcome &outcome,
                                              const ScreenLayout &layout,
                                              const DisplayImageMap &frozen, QScreen **screen)
{
    return std::visit(
        [&](const auto &result) -> Result<QImage> {
            using T = std::decay_t<decltype(result)>;
            if constexpr (std::is_same_v<T, RectSelection>) {
                if (screen)
                    *screen = m_capture.screenFor(result.display);
                if (frozen.contains(result.display.displayID))
                    return m_capture.cutRect(result.rect, result.display,
                                             frozen.value(result.display.displayID));
                return m_capture.captureRect(result.rect, result.display);
            } else {
                if (!frozen.isEmpty())
                    return m_capture.cutWindow(result, layout.displays, frozen);
                return m_capture.captureWindow(result);
            }
        },
        outcome.result);
}

void CaptureCoordinator::performCapture(const SelectionOutcome &outcome, const ScreenLayout &layout,
                                        const DisplayImageMap &frozen)
{
    QScreen *screen = nullptr;
    Result<QImage> image = cutOutcome(outcome, layout, frozen, &screen);
    // What stays on screen after the capture gets pixels of its own; Copy, Save and text
    // recognition use the cut as it is, and drop it.
    const SelectionAction a = outcome.action;
    if (image &&
        (a == SelectionAction::Edit || a == SelectionAction::Pin || a == SelectionAction::Board))
        image = CaptureService::ownPixels(*image);
    if (!image) {
        // A board session would otherwise be left with its panel and editor hidden.
        if (outcome.action == SelectionAction::Board && m_addSession)
            showBoardPanel();
        Notifier::error(m_platform.alerts, image.error());
        return;
    }
    keepCopy(*image);
    if (outcome.action == SelectionAction::Board) {
        addToBoard(*image);
        return;
    }
    dispatch(*image, outcome.action, screen);
}

void CaptureCoordinator::dispatch(const QImage &image, SelectionAction action, QScreen *screen)
{
    switch (action) {
    case SelectionAction::Edit:
        openEditor(image);
        break;
    case SelectionAction::Copy:
        if (ClipboardTools::copy(*m_platform.clipboard, image))
            m_platform.toasts->show(tr("Copied to clipboard"));
        remember(image);
        break;
    case SelectionAction::Save:
        save(image);
        remember(image);
        break;
    case SelectionAction::Pin:
        m_platform.pins->pin(image, screen);
        remember(image);
        break;
    case SelectionAction::Ocr: {
        QPointer<CaptureCoordinator> self(this);
        auto done = [self](Result<QString> text) {
            if (self)
                RecognizedText::deliver(text, self->m_platform, tr("Copied %1 chars of text"));
        };
        m_recognizer(image, this, done);
        break;
    }
    case SelectionAction::Scroll:
    case SelectionAction::Board:
        break;
    }
}

EditorWindowController *CaptureCoordinator::openEditor(const QImage &image,
                                                       const QList<AnnotationRef> &seed,
                                                       const QString &historyId)
{
    auto *editor =
        new EditorWindowController(image, seed, m_platform, nullptr, m_editorWindows.get(), &m_ocr);
    editor->setTextRecognizer(m_recognizer);
    QPointer<CaptureCoordinator> self(this);
    editor->saveSettings = [self] { return self ? self->saveSettings() : SaveSettings(); };
    editor->redactionRules = [self] {
        return self && self->m_preferences ? self->m_preferences->redactionRules() : SecretRules();
    };
    editor->shareSettings = [self] {
        return self ? self->shareSettings() : ShareSettings(QString(), nullptr);
    };
    editor->onSetUpSharing = [self] {
        if (self)
            emit self->sharingSetUpWanted();
    };
    QPointer<EditorWindowController> weak(editor);
    editor->historyId = historyId;
    editor->onClose = [self, weak] {
        if (!self || !weak)
            return;
        // The last state, no longer unsaved: closing means it was saved, copied or discarded.
        // When the app quits, what is kept stays marked as not saved.
        if (self->m_recorder && !weak->historyId.isEmpty() && !self->m_quitting)
            self->m_recorder->record(weak->historyId, weak->scene(), false);
        self->m_editors.removeAll(weak.data());
        self->keepOpenEntries();
        weak->deleteLater();
        self->handBackMemory();
    };
    editor->onRequestAddImage = [self, weak] {
        if (self && weak)
            self->addScreenshot(weak);
    };
    editor->onOpenScene = [self](const EditorScene &scene) {
        if (self)
            self->openEditor(scene.image, scene.marks)->restoreScene(scene);
    };
    m_editors.append(editor);
    followInHistory(editor);
    editor->showWindow();
    // The name arrives later or never; the editor is usable at once.
    // With naming switched off, neither the text nor the picture goes anywhere.
    if (!smartNamesOn())
        return editor;
    NameSuggester suggester = m_nameSuggester;
    // Reading the picture costs a second or more: only when the naming tool can use the text.
    if (!suggester && SmartNaming::claudeExecutable()) {
        suggester = [this](const QString &text, const QImage &picture, QObject *context,
                           std::function<void(std::optional<QString>)> done) {
            m_naming.suggest(text, picture)
                .then(context, [done](const std::optional<QString> &name) { done(name); });
        };
    }
    if (suggester) {
        m_recognizer(image, editor, [self, weak, image, suggester](Result<QString> text) {
            // Switched off while the picture was being read.
            if (!self || !weak || !self->smartNamesOn())
                return;
            suggester(text ? *text : QString(), image, weak, [weak](std::optional<QString> name) {
                if (weak)
                    weak->suggestedNameBase = name;
            });
        });
    }
    return editor;
}

bool CaptureCoordinator::smartNamesOn() const
{
    // The user's choice in Preferences, which the environment variable overrides.
    return m_preferences ? m_preferences->smartNames() : SmartNaming::enabled();
}

// --- helpers ---------------------------------------------------------------------------------

void CaptureCoordinator::handBackMemory()
{
    // Frozen pictures, cut pictures and encoder buffers leave holes the heap would otherwise
    // keep for good.
    if (std::exchange(m_trimPending, true))
        return;
    QTimer::singleShot(0, this, [this] {
        m_trimPending = false;
        malloc_trim(0);
    });
}

SaveSettings CaptureCoordinator::saveSettings() const
{
    SaveSettings settings;
    if (m_preferences) {
        settings.folder = m_preferences->saveFolder();
        settings.withoutAsking = m_preferences->saveWithoutAsking();
    }
    return settings;
}

ShareSettings CaptureCoordinator::shareSettings() const
{
    return ShareSettings(m_preferences ? m_preferences->fileName() : QString(), m_platform.keyring);
}

void CaptureCoordinator::save(const QImage &image)
{
    ImageExport::save(m_platform, image, saveSettings());
}

Result<DisplayImageMap> CaptureCoordinator::captureDisplayImages(const ScreenLayout &layout)
{
    DisplayImageMap map;
    std::optional<CaptureError> failure;
    for (const DisplayInfo &d : layout.displays) {
        auto image = m_capture.captureDisplay(d);
        if (image) {
            map.insert(d.displayID, *image);
            continue;
        }
        const auto kind = image.error().kind();
        if (kind == CaptureError::Kind::OutOfMemory || kind == CaptureError::Kind::Cancelled)
            return image.error(); // the user said no to the desktop's prompt: no overlay
        // Any other failure leaves that display without a frozen picture: its overlay dims
        // the live screen and its area is grabbed when chosen.
        failure = image.error();
    }
    // Not one picture: the screen cannot be read now, and an overlay would only show that.
    if (map.isEmpty() && failure)
        return *failure;
    // Each overlay window draws into a buffer of its display's size (and a picture not in the
    // overlay's format is converted): without room for them it would show unpainted.
    qint64 overlayBytes = 16ll << 20;
    for (const DisplayInfo &d : layout.displays) {
        const qint64 pixels = qint64(d.width() * d.scale) * qint64(d.height() * d.scale);
        const QImage picture = map.value(d.displayID);
        overlayBytes += pixels * 4 * (picture.format() == QImage::Format_RGB32 ? 1 : 2);
    }
    if (!roomFor(overlayBytes))
        return CaptureError::outOfMemory();
    return map;
}

std::optional<DisplayInfo> CaptureCoordinator::mainDisplay(const ScreenLayout &layout,
                                                           quint32 mainID)
{
    for (const DisplayInfo &d : layout.displays)
        if (d.displayID == mainID)
            return d;
    if (!layout.displays.isEmpty())
        return layout.displays.first();
    return std::nullopt;
}

void CaptureCoordinator::keepCopy(const QImage &image)
{
    // A debugging aid: with VISTREL_KEEP_CAPTURES set, every final picture is also written
    // there, so what the app captured can be compared with what the screen showed. Files of
    // earlier runs are kept: numbering goes on after the highest one there.
    if (m_keepDir.isEmpty())
        return;
    const QDir dir(m_keepDir);
    QDir().mkpath(m_keepDir);
    QString path;
    do
        path = dir.filePath(QStringLiteral("capture-%1.png").arg(++m_kept));
    while (QFileInfo::exists(path));
    ImageFiles::saveImage(image, path);
}

} // namespace vistrel
