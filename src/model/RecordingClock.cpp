#include "model/RecordingClock.h"

#include <algorithm>

namespace vistrel {

RecordingClock::RecordingClock(int fps) : m_fps(std::max(1, fps)) {}

qint64 RecordingClock::tickAt(qint64 ms) const
{
    if (ms <= 0)
        return 0;
    return (ms * m_fps + 999) / 1000;
}

void RecordingClock::pause(qint64 ms)
{
    const std::lock_guard lock(m_mutex);
    if (!m_pausedAtMs)
        m_pausedAtMs = ms;
}

void RecordingClock::resume(qint64 ms)
{
    const std::lock_guard lock(m_mutex);
    if (!m_pausedAtMs)
        return;
    const qint64 from = *m_pausedAtMs;
    m_pausedAtMs.reset();
    if (ms <= from)
        return;
    m_pausedMs += ms - from;
    const qint64 first = tickAt(from), end = tickAt(ms);
    if (end > first)
        m_pauses.push_back({first, end});
}

bool RecordingClock::isPaused() const
{
    const std::lock_guard lock(m_mutex);
    return m_pausedAtMs.has_value();
}

qint64 RecordingClock::pausedTicksBefore(qint64 sourceTick) const
{
    qint64 dropped = 0;
    for (const Range &r : m_pauses)
        if (r.first < sourceTick)
            dropped += std::min(r.end, sourceTick) - r.first;
    return dropped;
}

std::optional<qint64> RecordingClock::outputTick(qint64 sourceTick) const
{
    const std::lock_guard lock(m_mutex);
    if (m_pausedAtMs && sourceTick >= tickAt(*m_pausedAtMs))
        return std::nullopt;
    for (const Range &r : m_pauses)
        if (sourceTick >= r.first && sourceTick < r.end)
            return std::nullopt;
    return sourceTick - pausedTicksBefore(sourceTick);
}

qint64 RecordingClock::elapsedMs(qint64 ms) const
{
    const std::lock_guard lock(m_mutex);
    const qint64 until = m_pausedAtMs ? std::min(ms, *m_pausedAtMs) : ms;
    return std::max<qint64>(0, until - m_pausedMs);
}

qint64 RecordingClock::endTick(qint64 ms) const
{
    const std::lock_guard lock(m_mutex);
    const qint64 stopTick = tickAt(m_pausedAtMs ? std::min(ms, *m_pausedAtMs) : ms);
    return std::max<qint64>(0, stopTick - pausedTicksBefore(stopTick));
}

} // namespace vistrel
