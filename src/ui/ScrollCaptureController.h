#pragma once

#include "engines/CaptureService.h"
#include "model/ScrollStitcher.h"
#include "platform/Desktop.h"

#include <QObject>
#include <QPointer>
#include <QRectF>

#include <functional>
#include <optional>

class QLabel;
class QPushButton;
class QShortcut;
class QWidget;

namespace vistrel {

// When the capture and auto-scroll loops wake up next: timers in the app, a clock moved by
// hand in tests.
class LoopClock
{
public:
    virtual ~LoopClock() = default;
    // Runs `wake` once after `ms` unless `context` is gone by then.
    virtual void after(int ms, QObject *context, std::function<void()> wake) = 0;
};

class TimerClock : public LoopClock
{
public:
    void after(int ms, QObject *context, std::function<void()> wake) override;
};

// One scrolling capture of a fixed rectangle: frames every 160 ms go to a stitcher, a small
// control panel shows the progress and offers Auto Scroll, Done and Cancel. Auto Scroll turns
// the wheel under the rectangle, learning from the first notch how far one notch moves this
// content, so that every step stays well inside what the stitcher can follow.
class ScrollCaptureController : public QObject
{
    Q_OBJECT
public:
    using Finish = std::function<void(std::optional<QImage>)>;

    // `rect` is in the display's points, origin at its top-left corner. The loops run on
    // timers, or on `clock` when one is given.
    ScrollCaptureController(const QRectF &rect, const DisplayInfo &display,
                            const Platform &platform, Finish onFinish, QObject *parent = nullptr);
    ScrollCaptureController(const QRectF &rect, const DisplayInfo &display,
                            const Platform &platform, Finish onFinish, LoopClock &clock,
                            QObject *parent = nullptr);
    ~ScrollCaptureController() override;

    void buildHUD();
    void start();
    void toggleAuto();
    void stopAuto();
    void finishAction();
    void cancelAction();
    // No frames are taken while paused (a question of this app stands over the screen).
    void setPaused(bool paused);

    bool running() const { return m_running; }
    bool autoScrolling() const { return m_autoScrolling; }
    qint64 tick() const { return m_tick; }
    qint64 autoSteps() const { return m_autoSteps; }
    const ScrollStitcher &stitcher() const { return m_stitcher; }
    QWidget *panel() const { return m_panel; }
    QLabel *heightLabel() const { return m_heightLabel; }
    QLabel *hintLabel() const { return m_hintLabel; }
    QLabel *previewView() const { return m_previewView; }
    QPushButton *autoButton() const { return m_autoButton; }
    QPushButton *doneButton() const { return m_doneButton; }
    QPushButton *cancelButton() const { return m_cancelButton; }
    // True when there was no room beside the rectangle: the panel sits over its top rows,
    // which the stitcher then leaves out.
    bool panelOverlapsRect() const { return m_panelOverlaps; }
    // Pixels one wheel notch moved the content, once measured.
    std::optional<double> pixelsPerNotch() const { return m_pixelsPerNotch; }

    static QString heightText(qint64 totalHeight, qsizetype frames);
    // Notches for one auto step: as many as move the content at most `followFraction` of the
    // rows the stitcher compares, at least one.
    static int notchesForStep(double pixelsPerNotch, int usableRows);
    // Where the panel goes (top-left, global points): 40 above the bottom of the visible frame,
    // centred, unless that covers the captured rectangle; then beside it where there is room.
    // Nothing when there is room nowhere.
    static std::optional<QPointF> panelOrigin(const QRectF &visible, const QRectF &captured,
                                              const QSizeF &panel);

    static constexpr double followFraction = 0.4;
    static constexpr int frameIntervalMs = 160;
    static constexpr int autoFirstDelayMs = 250;
    static constexpr int autoStepMs = 340;
    static constexpr int lostAfterFrames = 3; // frames in a row that could not be placed
    static constexpr QSize panelSize{432, 170};

private:
    void captureFrame();
    void autoLoopBegin(quint64 generation);
    void autoLoopCheck(quint64 generation);
    void autoLoopEnd(quint64 generation);
    void postScrollStep();
    void finish(std::optional<QImage> image);
    void say(const QString &message);
    // Where the wheel turns: where the pointer is when it is over the rectangle, else the
    // rectangle's centre, the pointer going back where it was straight after the turn, so it
    // stays the user's (on the panel, it stays on Stop and Done).
    struct WheelAt
    {
        QPoint point;
        std::optional<QPoint> returnTo;
    };
    WheelAt wheelPoint() const;
    QRect globalPixelRect() const;
    QPoint globalCentrePixel() const;

    QRectF m_rect;
    DisplayInfo m_display;
    Platform m_platform;
    CaptureService m_capture;
    Finish m_onFinish;
    TimerClock m_timers;
    LoopClock &m_clock; // m_timers unless a clock was given
    ScrollStitcher m_stitcher;
    bool m_running = false;
    bool m_paused = false;
    bool m_saidFull = false;
    bool m_finished = false;
    bool m_autoScrolling = false;
    qint64 m_tick = 0;
    QPointer<QWidget> m_panel;
    QLabel *m_heightLabel = nullptr;
    QLabel *m_hintLabel = nullptr;
    QLabel *m_previewView = nullptr;
    QPushButton *m_autoButton = nullptr;
    QPushButton *m_doneButton = nullptr;
    QPushButton *m_cancelButton = nullptr;
    QShortcut *m_escLocal = nullptr;
    bool m_escGlobal = false;
    bool m_panelOverlaps = false;
    bool m_showPanelAfterFirstFrame = false;
    bool m_explained = false; // the panel says why auto-scroll stopped: kept until rows come in
    qint64 m_autoSteps = 0;
    // The auto-scroll loop that is current; a loop from an earlier switch-on ends quietly.
    quint64 m_autoGeneration = 0;
    qint64 m_heightAtStep = 0;
    qint64 m_heightAtAutoStart = 0;
    int m_notchesSent = 0;
    int m_stall = 0;
    std::optional<double> m_pixelsPerNotch;
};

} // namespace vistrel
