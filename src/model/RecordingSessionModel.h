#pragma once

#include <QList>
#include <QRect>
#include <QSize>
#include <QString>

namespace vistrel {

// One recording's course without any window or timer: the area is chosen, a countdown runs,
// frames are recorded (with pauses), the file is finished. Times are milliseconds of a steady
// clock the caller reads; geometry is in global points, y down.
class RecordingSessionModel
{
public:
    enum class State { Choosing, Countdown, Recording, Paused, Finishing, Done, Failed };

    explicit RecordingSessionModel(int countdownSeconds = 3);

    State state() const { return m_state; }
    bool running() const { return m_state == State::Recording || m_state == State::Paused; }
    // Everything between the chosen area and the finished file, when a new start must wait.
    bool active() const { return m_state != State::Done && m_state != State::Failed; }
    QString failure() const { return m_failure; }

    // Each step answers whether it applied; a step that does not fit the state changes nothing.
    bool areaChosen();
    int countdownLeft() const { return m_countdownLeft; }
    // One second of the countdown went by; true once it has run out (at once for 0 seconds).
    bool countdownTick();
    bool countdownDone() const { return m_state == State::Countdown && m_countdownLeft <= 0; }
    bool started(qint64 nowMs);
    bool pause(qint64 nowMs);
    bool resume(qint64 nowMs);
    // Stopping before a frame was recorded ends the session without a file (Failed, with the
    // reason); afterwards the file is finished.
    bool stop(qint64 nowMs, const QString &ifNotStarted = QString());
    bool finished(const QString &error, bool fileKept);
    // The source or the encoder gave up: finishing what was recorded, or Failed before that.
    bool fail(qint64 nowMs, const QString &reason);

    // Recorded time, pauses left out.
    qint64 elapsedMs(qint64 nowMs) const;
    // "0:07", "12:34", "1:02:03".
    static QString elapsedText(qint64 ms);

    // Where the control goes: outside the area, on the area's screen if there is room, else on
    // another screen; nowhere when no screen has room (a whole display).
    enum class Place { Below, Above, Right, Left, OtherScreen, None };
    struct ControlPlacement
    {
        Place place = Place::None;
        QRect rect;
    };
    // `screens` are the screens' available areas; `frame` is the thickness of the frame round
    // the area, which the control keeps clear of too.
    static ControlPlacement placeControl(const QRect &area, const QSize &control,
                                         const QList<QRect> &screens, int frame = frameWidth);
    // The frame round `area`: strips just outside it, cut to the screens, never over it.
    static QList<QRect> frameRects(const QRect &area, const QList<QRect> &screens,
                                   int width = frameWidth);
    // The whole points that cover an area given in fractional points.
    static QRect coveringRect(const QRectF &area);

    static constexpr int frameWidth = 2;
    static constexpr int controlGap = 8;

private:
    State m_state = State::Choosing;
    int m_countdownLeft;
    bool m_recorded = false;
    qint64 m_startedAt = 0;
    qint64 m_pausedAt = 0;
    qint64 m_pausedTotal = 0;
    qint64 m_stoppedAt = 0;
    QString m_failure;
};

} // namespace vistrel
