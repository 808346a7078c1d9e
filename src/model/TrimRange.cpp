#include "model/TrimRange.h"

#include <algorithm>

namespace vistrel {

TrimRange::TrimRange(const QList<qint64> &frameTimesMs, qint64 durationMs)
    : m_duration(std::max<qint64>(0, durationMs))
{
    for (qint64 t : frameTimesMs)
        if (t >= 0 && t < m_duration)
            m_frames.append(t);
    std::sort(m_frames.begin(), m_frames.end());
    m_frames.erase(std::unique(m_frames.begin(), m_frames.end()), m_frames.end());
    m_bounds = m_frames;
    if (m_bounds.isEmpty() || m_bounds.first() != 0)
        m_bounds.prepend(0);
    if (m_duration > 0)
        m_bounds.append(m_duration);
    reset();
}

void TrimRange::reset()
{
    m_start = 0;
    m_end = m_duration;
}

qint64 TrimRange::nearestWithin(qint64 ms, qint64 low, qint64 high, qint64 fallback) const
{
    const auto first = std::lower_bound(m_bounds.cbegin(), m_bounds.cend(), low);
    const auto last = std::upper_bound(m_bounds.cbegin(), m_bounds.cend(), high);
    if (first >= last)
        return fallback;
    const auto above = std::lower_bound(first, last, ms);
    if (above == last)
        return *(last - 1);
    if (above == first || *above - ms < ms - *(above - 1))
        return *above;
    return *(above - 1);
}

qint64 TrimRange::setStart(qint64 ms)
{
    m_start = nearestWithin(ms, 0, m_end - minimumMs, 0);
    return m_start;
}

qint64 TrimRange::setEnd(qint64 ms)
{
    m_end = nearestWithin(ms, m_start + minimumMs, m_duration, m_duration);
    return m_end;
}

qint64 TrimRange::snap(qint64 ms) const
{
    return nearestWithin(ms, 0, m_duration, 0);
}

int TrimRange::frameAt(qint64 ms) const
{
    const auto after = std::upper_bound(m_frames.cbegin(), m_frames.cend(), ms);
    if (after == m_frames.cbegin())
        return m_frames.isEmpty() ? -1 : 0;
    return int(after - m_frames.cbegin()) - 1;
}

qint64 TrimRange::nextBoundary(qint64 ms) const
{
    const auto after = std::upper_bound(m_bounds.cbegin(), m_bounds.cend(), ms);
    return after == m_bounds.cend() ? m_duration : *after;
}

qint64 TrimRange::playFrom(qint64 ms) const
{
    return ms >= m_start && ms < m_end ? ms : m_start;
}

} // namespace vistrel
