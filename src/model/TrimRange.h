#pragma once

#include <QList>
#include <QtGlobal>

namespace vistrel {

// The part of a recording a trim keeps: a start and an end, each on a frame's boundary (where
// a frame begins, or the recording's end), at least `minimumMs` apart so something is always
// kept. Times are milliseconds from the recording's start.
class TrimRange
{
public:
    static constexpr qint64 minimumMs = 100;

    TrimRange() = default;
    // `frameTimesMs`: when each frame begins, in any order; `durationMs`: when the last ends.
    TrimRange(const QList<qint64> &frameTimesMs, qint64 durationMs);

    qint64 durationMs() const { return m_duration; }
    qint64 start() const { return m_start; }
    qint64 end() const { return m_end; }
    qint64 length() const { return m_end - m_start; }
    bool isWhole() const { return m_start == 0 && m_end == m_duration; }

    // Move one edge to the boundary nearest `ms` that leaves at least `minimumMs` to the other
    // edge (a recording shorter than that cannot be trimmed); each returns where it went.
    qint64 setStart(qint64 ms);
    qint64 setEnd(qint64 ms);
    void reset();

    // The boundary nearest `ms`.
    qint64 snap(qint64 ms) const;
    // The frame shown at `ms`: the last that begins at or before it; -1 without frames.
    int frameAt(qint64 ms) const;
    // When the frame after the one shown at `ms` begins, or the recording's end.
    qint64 nextBoundary(qint64 ms) const;
    // Where playback goes on from `ms`: there when it lies within the kept part (before its
    // end), else from the start.
    qint64 playFrom(qint64 ms) const;

private:
    // The nearest of the boundaries in [low, high] to `ms`; `fallback` when none lies there.
    qint64 nearestWithin(qint64 ms, qint64 low, qint64 high, qint64 fallback) const;

    QList<qint64> m_frames; // sorted, unique, within [0, duration)
    QList<qint64> m_bounds; // 0, every frame's start, the end
    qint64 m_duration = 0;
    qint64 m_start = 0;
    qint64 m_end = 0;
};

} // namespace vistrel
