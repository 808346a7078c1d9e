#pragma once

#include <QtGlobal>

#include <mutex>
#include <optional>
#include <vector>

namespace vistrel {

// The timeline of a recording that can be paused. A source counts ticks (1/fps) from its first
// frame without knowing of pauses; this maps them onto the recording's own ticks: ticks while
// paused are left out, and after a resume the recording goes on from where it paused, with no
// gap. Times are milliseconds since the source's first frame, from a steady clock.
//
// The GUI pauses and resumes while the source's thread maps its frames: every method takes a
// lock of its own.
class RecordingClock
{
public:
    explicit RecordingClock(int fps);

    int fps() const { return m_fps; }

    // The first tick at or after `ms`: a tick belongs to the time from its start on.
    qint64 tickAt(qint64 ms) const;

    // Ticks from `ms` on are left out until a resume. A second pause is ignored.
    void pause(qint64 ms);
    // Ticks from `ms` on are recorded again, continuing the recording's ticks where they
    // stopped. Without a pause, ignored; a resume before its pause counts as no pause at all.
    void resume(qint64 ms);
    bool isPaused() const;

    // The recording's tick of a source tick, or none where it falls into a pause.
    std::optional<qint64> outputTick(qint64 sourceTick) const;

    // Recorded time at `ms`, for the clock shown to the user: pauses do not count.
    qint64 elapsedMs(qint64 ms) const;

    // The recording's length in ticks when stopped at `ms` (while paused: where it paused):
    // the last frame lasts until this tick.
    qint64 endTick(qint64 ms) const;

private:
    qint64 pausedTicksBefore(qint64 sourceTick) const;

    mutable std::mutex m_mutex;
    const int m_fps;
    // Ticks left out by finished pauses, as [first, end) ranges in source ticks, in order.
    struct Range
    {
        qint64 first;
        qint64 end;
    };
    std::vector<Range> m_pauses;
    qint64 m_pausedMs = 0; // by finished pauses
    std::optional<qint64> m_pausedAtMs;
};

} // namespace vistrel
