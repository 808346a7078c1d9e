#include "app/CaptureFlow.h"

#include "app/EditorSessions.h"
#include "app/HeapTrimmer.h"
#include "engines/ClipboardTools.h"
#include "engines/ImageFiles.h"
#include "platform/Memory.h"
#include "ui/AnnotationCanvas.h"
#include "ui/EditorWindowController.h"
#include "ui/Notifier.h"
#include "ui/RecognizedText.h"
#include "ui/SelectionOverlayController.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

namespace vistrel {

CaptureFlow::CaptureFlow(const Platform &platform, EditorSessions &sessions, HeapTrimmer &trimmer,
                         QObject *parent)
    : QObject(parent), m_platform(platform), m_sessions(sessions), m_trimmer(trimmer),
      m_capture(*platform.screens), m_overlayWindows(std::make_unique<OverlayWindowPool>()),
      m_keepDir(qEnvironmentVariable("VISTREL_KEEP_CAPTURES"))
{
}

CaptureFlow::~CaptureFlow()
{
    delete m_selectionOverlay.data();
    delete m_colorPicker.data();
}

// --- entry points ----------------------------------------------------------------------------

void CaptureFlow::startAreaCapture(bool ocr)
{
    QTimer::singleShot(0, this, [this, ocr] { runOverlayMode(ocr ? Mode::Ocr : Mode::Area); });
}

void CaptureFlow::startWindowCapture()
{
    if (!m_platform.limits.windowCapture.isEmpty())
        return Notifier::error(m_platform.alerts, m_platform.limits.windowCapture);
    QTimer::singleShot(0, this, [this] { runOverlayMode(Mode::Window); });
}

void CaptureFlow::chooseScrollArea()
{
    QTimer::singleShot(0, this, [this] { runOverlayMode(Mode::Scroll); });
}

void CaptureFlow::chooseRecordingArea()
{
    QTimer::singleShot(0, this, [this] {
        if (m_busy || m_taken)
            return emit recordingAreaRefused(QStringLiteral("another capture is on screen"));
        m_choosingRecording = true;
        runOverlayMode(Mode::Record);
    });
}

void CaptureFlow::cancelRecordingChoice()
{
    if (m_choosingRecording && m_selectionOverlay)
        handleOutcome(std::nullopt, {}, {});
}

void CaptureFlow::captureFullScreen()
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
            QPointer<EditorWindowController> editor(m_sessions.openEditor(*image));
            editor->canvas()->whenFirstPainted([editor] {
                if (editor)
                    editor->keepOwnPixels();
            });
        } else {
            Notifier::error(m_platform.alerts, image.error());
        }
        m_busy = false;
        m_trimmer.request();
    });
}

Result<QImage> CaptureFlow::grabMainDisplay(const ScreenLayout &layout)
{
    const auto display = mainDisplay(layout, m_platform.screens->primaryDisplayId());
    if (!display)
        return CaptureError::noDisplay();
    return m_capture.captureDisplay(*display);
}

void CaptureFlow::startColorPick()
{
    QTimer::singleShot(0, this, [this] {
        if (!m_platform.colorPicker || m_busy)
            return pickColorOnOverlay();
        // The desktop's own picker; it holds the busy flag like an overlay would.
        m_busy = true;
        QPointer<CaptureFlow> self(this);
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

bool CaptureFlow::prepareOverlays()
{
    if (m_overlayFactory)
        return false; // overlays of its own: nothing of ours to make
    QList<QScreen *> screens;
    for (const ScreenInfo &s : m_platform.screens->screens())
        if (s.screen)
            screens.append(s.screen);
    m_overlayWindows->prepare(screens);
    return true;
}

void CaptureFlow::copyColour(const QColor &colour)
{
    const QString hex = ColorTools::hexString(colour);
    m_platform.clipboard->setText(hex);
    m_platform.toasts->show(tr("Copied %1").arg(hex));
    // The desktop's own picker leaves no window of ours in front, and GNOME gives the
    // clipboard only to the app in front: where it refused, the colour is offered in a box
    // whose Copy button puts it there.
    QPointer<CaptureFlow> self(this);
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

void CaptureFlow::pickColorOnOverlay()
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
    QPointer<CaptureFlow> self(this);
    m_colorPicker = makeOverlay(request, [self](std::optional<SelectionOutcome>) {
        if (!self)
            return;
        if (self->m_colorPicker)
            self->m_colorPicker->deleteLater();
        self->m_colorPicker = nullptr;
        self->m_busy = false;
        self->m_trimmer.request();
    });
    if (!m_colorPicker) {
        m_busy = false;
        return;
    }
    connect(m_colorPicker, &SelectionOverlay::colorPicked, this,
            [this](std::optional<QColor> colour) {
                if (colour) // cancelled: nothing happens
                    copyColour(*colour);
            });
    m_colorPicker->present();
}

// --- captures somebody waits for -----------------------------------------------------------------

void CaptureFlow::captureFor(Source source, Taken taken)
{
    m_taken = std::move(taken);
    if (source != Source::Full)
        return runOverlayMode(source == Source::Area ? Mode::Area : Mode::Window);
    const auto layout = beginBusyMode();
    if (!layout)
        return; // answered by reportStartFailure
    m_busy = false;
    std::exchange(m_taken, nullptr)(grabMainDisplay(*layout));
}

void CaptureFlow::dropWaitedFor()
{
    // Once its overlay is up; a full-screen capture is over before anyone could hang up.
    if (m_taken && m_selectionOverlay)
        handleOutcome(std::nullopt, {}, {});
}

void CaptureFlow::reportStartFailure(const CaptureError &error)
{
    if (std::exchange(m_choosingRecording, false))
        return emit recordingAreaRefused(error.errorDescription());
    if (Taken taken = std::exchange(m_taken, nullptr))
        return taken(error);
    Notifier::error(m_platform.alerts, error);
}

// --- overlay modes ---------------------------------------------------------------------------

std::optional<ScreenLayout> CaptureFlow::beginBusyMode()
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

void CaptureFlow::runOverlayMode(Mode mode)
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
        m_sessions.prepareRecognition();
        break;
    case Mode::Scroll:
        immediate = SelectionAction::Scroll;
        break;
    case Mode::Record:
        immediate = SelectionAction::Record;
        break;
    case Mode::Area:
        // A picture somebody waits for is taken as the drag ends: there is nobody to press a
        // button.
        if (m_taken)
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

void CaptureFlow::chooseBoardArea()
{
    // Busy, or the screen layout cannot be had: the step ends at once.
    const auto layout = beginBusyMode();
    if (!layout) {
        emit boardStepEnded();
        return;
    }
    auto images = captureDisplayImages(*layout);
    if (!images) {
        m_busy = false;
        emit boardStepEnded();
        Notifier::error(m_platform.alerts, images.error());
        return;
    }
    presentSelection(*layout, false, SelectionAction::Board, *images);
}

void CaptureFlow::presentSelection(const ScreenLayout &layout, bool windowPicking,
                                   std::optional<SelectionAction> immediateAction,
                                   const DisplayImageMap &displayImages)
{
    if (m_selectionOverlay)
        m_selectionOverlay->deleteLater();
    QPointer<CaptureFlow> self(this);
    auto completion = [self, layout, displayImages](std::optional<SelectionOutcome> outcome) {
        if (self)
            self->handleOutcome(outcome, layout, displayImages);
    };
    OverlayRequest request;
    request.layout = layout;
    request.windowPicking = windowPicking;
    request.immediateAction = immediateAction;
    request.displayImages = displayImages;
    request.offersRecording = m_platform.recorder && !m_taken;
    m_selectionOverlay = makeOverlay(request, completion);
    if (m_selectionOverlay)
        m_selectionOverlay->present();
    else
        completion(std::nullopt);
}

SelectionOverlay *CaptureFlow::makeOverlay(const OverlayRequest &request,
                                           SelectionOverlay::Completion done)
{
    if (m_overlayFactory)
        return m_overlayFactory(request, std::move(done));
    return new SelectionOverlayController(request, std::move(done), *m_platform.screens,
                                          m_overlayWindows.get());
}

void CaptureFlow::handleOutcome(const std::optional<SelectionOutcome> &outcome,
                                const ScreenLayout &layout, const DisplayImageMap &frozen)
{
    // The overlay may still be on the stack that reported the outcome.
    if (m_selectionOverlay)
        m_selectionOverlay->deleteLater();
    m_selectionOverlay = nullptr;
    m_busy = false;
    m_trimmer.request();
    if (Taken taken = std::exchange(m_taken, nullptr)) {
        if (!outcome)
            return taken(CaptureError::cancelled());
        return taken(cutOutcome(*outcome, layout, frozen));
    }
    const bool forRecording = std::exchange(m_choosingRecording, false);
    if (!outcome) {
        if (forRecording)
            emit recordingAreaRefused(QString());
        emit selectionCancelled();
        return;
    }
    if (outcome->action == SelectionAction::Record) {
        if (const auto *area = std::get_if<RectSelection>(&outcome->result))
            emit recordingAreaChosen(area->rect, area->display);
        else if (forRecording)
            emit recordingAreaRefused(QString());
        return;
    }
    if (outcome->action == SelectionAction::Scroll) {
        if (const auto *area = std::get_if<RectSelection>(&outcome->result))
            emit scrollAreaChosen(area->rect, area->display);
        return;
    }
    performCapture(*outcome, layout, frozen);
}

Result<QImage> CaptureFlow::cutOutcome(const SelectionOutcome &outcome, const ScreenLayout &layout,
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

void CaptureFlow::performCapture(const SelectionOutcome &outcome, const ScreenLayout &layout,
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
        if (outcome.action == SelectionAction::Board)
            emit boardStepEnded();
        Notifier::error(m_platform.alerts, image.error());
        return;
    }
    keepCopy(*image);
    if (outcome.action == SelectionAction::Board) {
        emit boardPicture(*image);
        return;
    }
    dispatch(*image, outcome.action, screen);
}

void CaptureFlow::dispatch(const QImage &image, SelectionAction action, QScreen *screen)
{
    switch (action) {
    case SelectionAction::Edit:
        m_sessions.openEditor(image);
        break;
    case SelectionAction::Copy:
        if (ClipboardTools::copy(*m_platform.clipboard, image))
            m_platform.toasts->show(tr("Copied to clipboard"));
        m_sessions.remember(image);
        break;
    case SelectionAction::Save:
        ImageExport::save(m_platform, image, m_sessions.saveSettings());
        m_sessions.remember(image);
        break;
    case SelectionAction::Pin:
        m_platform.pins->pin(image, screen);
        m_sessions.remember(image);
        break;
    case SelectionAction::Ocr: {
        QPointer<CaptureFlow> self(this);
        auto done = [self](Result<QString> text) {
            if (self)
                RecognizedText::deliver(text, self->m_platform, tr("Copied %1 chars of text"));
        };
        m_sessions.recognizeText(image, this, done);
        break;
    }
    case SelectionAction::Scroll:
    case SelectionAction::Board:
    case SelectionAction::Record:
        break;
    }
}

// --- helpers ---------------------------------------------------------------------------------

Result<DisplayImageMap> CaptureFlow::captureDisplayImages(const ScreenLayout &layout)
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

std::optional<DisplayInfo> CaptureFlow::mainDisplay(const ScreenLayout &layout, quint32 mainID)
{
    for (const DisplayInfo &d : layout.displays)
        if (d.displayID == mainID)
            return d;
    if (!layout.displays.isEmpty())
        return layout.displays.first();
    return std::nullopt;
}

void CaptureFlow::keepCopy(const QImage &image)
{
    // Files of earlier runs are kept: numbering goes on after the highest one there.
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
