#include "model/RecordingSessionModel.h"

#include <algorithm>
#include <cmath>

namespace vistrel {

RecordingSessionModel::RecordingSessionModel(int countdownSeconds)
    : m_countdownLeft(std::max(0, countdownSeconds))
{
}

bool RecordingSessionModel::areaChosen()
{
    if (m_state != State::Choosing)
        return false;
    m_state = State::Countdown;
    return true;
}

bool RecordingSessionModel::countdownTick()
{
    if (m_state != State::Countdown)
        return false;
    if (m_countdownLeft > 0)
        --m_countdownLeft;
    return m_countdownLeft == 0;
}

bool RecordingSessionModel::started(qint64 nowMs)
{
    if (!countdownDone())
        return false;
    m_state = State::Recording;
    m_startedAt = nowMs;
    m_recorded = true;
    return true;
}

bool RecordingSessionModel::pause(qint64 nowMs)
{
    if (m_state != State::Recording)
        return false;
    m_state = State::Paused;
    m_pausedAt = nowMs;
    return true;
}

bool RecordingSessionModel::resume(qint64 nowMs)
{
    if (m_state != State::Paused)
        return false;
    m_state = State::Recording;
    m_pausedTotal += std::max<qint64>(0, nowMs - m_pausedAt);
    return true;
}

bool RecordingSessionModel::stop(qint64 nowMs, const QString &ifNotStarted)
{
    switch (m_state) {
    case State::Choosing:
    case State::Countdown:
        m_state = State::Failed;
        m_failure = ifNotStarted;
        return true;
    case State::Paused:
        m_stoppedAt = m_pausedAt; // the pause is not part of the recording
        m_state = State::Finishing;
        return true;
    case State::Recording:
        m_stoppedAt = nowMs;
        m_state = State::Finishing;
        return true;
    case State::Finishing:
    case State::Done:
    case State::Failed:
        return false;
    }
    return false;
}

bool RecordingSessionModel::fail(qint64 nowMs, const QString &reason)
{
    if (!active() || m_state == State::Finishing) {
        if (m_state == State::Finishing && m_failure.isEmpty())
            m_failure = reason;
        return false;
    }
    stop(nowMs, reason);
    m_failure = reason;
    return true;
}

bool RecordingSessionModel::finished(const QString &error, bool fileKept)
{
    if (m_state != State::Finishing)
        return false;
    if (!error.isEmpty() && m_failure.isEmpty())
        m_failure = error;
    m_state = fileKept ? State::Done : State::Failed;
    return true;
}

qint64 RecordingSessionModel::elapsedMs(qint64 nowMs) const
{
    switch (m_state) {
    case State::Choosing:
    case State::Countdown:
        return 0;
    case State::Recording:
        return std::max<qint64>(0, nowMs - m_startedAt - m_pausedTotal);
    case State::Paused:
        return std::max<qint64>(0, m_pausedAt - m_startedAt - m_pausedTotal);
    case State::Finishing:
    case State::Done:
    case State::Failed:
        return m_recorded ? std::max<qint64>(0, m_stoppedAt - m_startedAt - m_pausedTotal) : 0;
    }
    return 0;
}

QString RecordingSessionModel::elapsedText(qint64 ms)
{
    const qint64 seconds = std::max<qint64>(0, ms) / 1000;
    const qint64 h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    if (h > 0)
        return QStringLiteral("%1:%2:%3")
            .arg(h)
            .arg(m, 2, 10, QLatin1Char('0'))
            .arg(s, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
}

QRect RecordingSessionModel::coveringRect(const QRectF &area)
{
    const int left = int(std::floor(area.left())), top = int(std::floor(area.top()));
    const int right = int(std::ceil(area.right())), bottom = int(std::ceil(area.bottom()));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

QList<QRect> RecordingSessionModel::frameRects(const QRect &area, const QList<QRect> &screens,
                                               int width)
{
    const QRect outer = area.adjusted(-width, -width, width, width);
    const QRect strips[] = {
        QRect(outer.left(), outer.top(), outer.width(), width),       // top
        QRect(outer.left(), area.bottom() + 1, outer.width(), width), // bottom
        QRect(outer.left(), area.top(), width, area.height()),        // left
        QRect(area.right() + 1, area.top(), width, area.height()),    // right
    };
    QList<QRect> out;
    for (const QRect &strip : strips)
        for (const QRect &screen : screens) {
            const QRect visible = strip.intersected(screen);
            if (!visible.isEmpty())
                out.append(visible);
        }
    return out;
}

RecordingSessionModel::ControlPlacement
RecordingSessionModel::placeControl(const QRect &area, const QSize &control,
                                    const QList<QRect> &screens, int frame)
{
    // Clear of the area and of its frame, with a gap so a click on the control never lands on
    // the frame.
    const QRect keepOut = area.adjusted(-frame - controlGap, -frame - controlGap,
                                        frame + controlGap, frame + controlGap);
    QRect home;
    int most = -1;
    for (const QRect &screen : screens) {
        const QRect shared = screen.intersected(area);
        const int size = shared.isEmpty() ? 0 : shared.width() * shared.height();
        if (size > most) {
            most = size;
            home = screen;
        }
    }
    const auto fits = [&](const QRect &r, const QRect &screen) {
        return screen.contains(r) && !r.intersects(keepOut);
    };
    const auto clampX = [&](int x, const QRect &screen) {
        return std::clamp(x, screen.left(),
                          std::max(screen.left(), screen.right() + 1 - control.width()));
    };
    const auto clampY = [&](int y, const QRect &screen) {
        return std::clamp(y, screen.top(),
                          std::max(screen.top(), screen.bottom() + 1 - control.height()));
    };
    if (most > 0) {
        const int centreX = clampX(area.center().x() - control.width() / 2, home);
        const int centreY = clampY(area.center().y() - control.height() / 2, home);
        const std::pair<Place, QRect> tries[] = {
            {Place::Below, QRect(QPoint(centreX, keepOut.bottom() + 1), control)},
            {Place::Above, QRect(QPoint(centreX, keepOut.top() - control.height()), control)},
            {Place::Right, QRect(QPoint(keepOut.right() + 1, centreY), control)},
            {Place::Left, QRect(QPoint(keepOut.left() - control.width(), centreY), control)},
        };
        for (const auto &[place, rect] : tries)
            if (fits(rect, home))
                return {place, rect};
    }
    for (const QRect &screen : screens) {
        if (screen == home && most > 0)
            continue;
        const QRect rect(QPoint(clampX(screen.center().x() - control.width() / 2, screen),
                                screen.bottom() + 1 - control.height() - 2 * controlGap),
                         control);
        if (fits(rect, screen))
            return {Place::OtherScreen, rect};
    }
    return {};
}

} // namespace vistrel
