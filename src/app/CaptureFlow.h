#pragma once

#include "engines/CaptureService.h"
#include "platform/Desktop.h"
#include "ui/SelectionOverlay.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

namespace vistrel {

class EditorSessions;
class HeapTrimmer;
class OverlayWindowPool;

// A capture from the request to where its picture goes: one overlay at a time (the busy
// rule), the frozen pictures it shows, the picture cut from them, and the chosen action
// (copy, save, pin, edit, text). Board pictures and scrolling areas are handed on by signal;
// a picture somebody waits for (a script's) goes to them instead of an action.
class CaptureFlow : public QObject
{
    Q_OBJECT
public:
    CaptureFlow(const Platform &platform, EditorSessions &sessions, HeapTrimmer &trimmer,
                QObject *parent = nullptr);
    ~CaptureFlow() override;

    // Entry points: each returns at once and does its work on the next turn of the event loop.
    void startAreaCapture(bool ocr);
    void startWindowCapture();
    void captureFullScreen();
    void startColorPick();
    // The area of a scrolling capture, handed on by `scrollAreaChosen`.
    void chooseScrollArea();
    // At once: an area for the board, handed on by `boardPicture`; `boardStepEnded` when no
    // overlay could be shown.
    void chooseBoardArea();
    // The area of a recording: a drag, or a click on a window for its frame. Handed on by
    // `recordingAreaChosen`, or `recordingAreaRefused` when there is none.
    void chooseRecordingArea();
    // Closes the overlay of a recording's area nobody waits for any more.
    void cancelRecordingChoice();

    // A capture whose picture goes to `taken` instead of an action: the area is taken when its
    // drag ends, a window when it is clicked, the main display at once. `taken` gets why there
    // is none, a Cancelled error when the user gave up.
    enum class Source { Area, Full, Window };
    using Taken = std::function<void(const Result<QImage> &)>;
    void captureFor(Source source, Taken taken);
    bool waitedFor() const { return bool(m_taken); }
    // Closes the overlay of the capture somebody waits for: nobody would get its picture.
    void dropWaitedFor();

    // Makes ahead the overlay windows, hidden; false when overlays are made elsewhere.
    bool prepareOverlays();
    // Seam for tests; the real overlay is the default.
    void setOverlayFactory(OverlayFactory factory) { m_overlayFactory = std::move(factory); }

    bool busy() const { return m_busy; }
    SelectionOverlay *selectionOverlay() const { return m_selectionOverlay; }

    // The frozen picture of every display; a display that cannot be read is left out, but a
    // picture that cannot be allocated ends the capture.
    Result<DisplayImageMap> captureDisplayImages(const ScreenLayout &layout);
    static std::optional<DisplayInfo> mainDisplay(const ScreenLayout &layout, quint32 mainID);
    // The main display, grabbed now without our own windows.
    Result<QImage> grabMainDisplay(const ScreenLayout &layout);
    // The chosen picture, cut from the frozen pictures the user chose it from (grabbed afresh
    // for a display that has none).
    void performCapture(const SelectionOutcome &outcome, const ScreenLayout &layout,
                        const DisplayImageMap &frozen = {});
    Result<QImage> cutOutcome(const SelectionOutcome &outcome, const ScreenLayout &layout,
                              const DisplayImageMap &frozen, QScreen **screen = nullptr);
    // `screen` is where the picture was taken; a pin opens there.
    void dispatch(const QImage &image, SelectionAction action, QScreen *screen = nullptr);
    // A debugging aid: with VISTREL_KEEP_CAPTURES set, every final picture is also written
    // there, so what the app captured can be compared with what the screen showed.
    void keepCopy(const QImage &image);

signals:
    // An overlay closed without a choice.
    void selectionCancelled();
    // A board step: its picture, or the end of a step that gave none.
    void boardPicture(const QImage &image);
    void boardStepEnded();
    // Display points, origin top-left.
    void scrollAreaChosen(const QRectF &rect, const DisplayInfo &display);
    // Record pressed on the toolbar, or an area chosen for a recording (display points).
    void recordingAreaChosen(const QRectF &rect, const DisplayInfo &display);
    // A recording's area was asked for and none came: why (empty when the user gave up).
    void recordingAreaRefused(const QString &why);

private:
    enum class Mode { Area, Ocr, Window, Scroll, Record };
    void runOverlayMode(Mode mode);
    void pickColorOnOverlay();
    void copyColour(const QColor &colour);
    // The busy rule and the screen layout fetch every mode starts with; nothing when it cannot
    // start (a failed fetch is reported).
    std::optional<ScreenLayout> beginBusyMode();
    SelectionOverlay *makeOverlay(const OverlayRequest &request, SelectionOverlay::Completion done);
    void presentSelection(const ScreenLayout &layout, bool windowPicking,
                          std::optional<SelectionAction> immediateAction,
                          const DisplayImageMap &displayImages);
    void handleOutcome(const std::optional<SelectionOutcome> &outcome, const ScreenLayout &layout,
                       const DisplayImageMap &frozen);
    // Says why the capture could not start: to whoever waits for it, else in an alert.
    void reportStartFailure(const CaptureError &error);

    Platform m_platform;
    EditorSessions &m_sessions;
    HeapTrimmer &m_trimmer;
    CaptureService m_capture;
    std::unique_ptr<OverlayWindowPool> m_overlayWindows;
    OverlayFactory m_overlayFactory;
    QPointer<SelectionOverlay> m_selectionOverlay;
    QPointer<SelectionOverlay> m_colorPicker;
    Taken m_taken;
    bool m_busy = false;
    bool m_choosingRecording = false;
    QString m_keepDir;
    int m_kept = 0;
};

} // namespace vistrel
