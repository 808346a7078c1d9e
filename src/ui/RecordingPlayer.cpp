#include "ui/RecordingPlayer.h"

#include "engines/RecordingReader.h"

#include <QThread>

#include <algorithm>

namespace vistrel {

RecordingPlayer::RecordingPlayer(QObject *parent)
    : QObject(parent), m_thread(new QThread(this)), m_worker(new QObject),
      m_reader(std::make_shared<RecordingReader>())
{
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->setObjectName(QStringLiteral("vistrel-playback"));
    m_thread->start();
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &RecordingPlayer::tick);
}

RecordingPlayer::~RecordingPlayer()
{
    // A decode under way ends first; what it would have shown is dropped with this object.
    m_thread->quit();
    m_thread->wait();
}

void RecordingPlayer::open(const QString &path)
{
    m_decoding = true;
    QMetaObject::invokeMethod(
        m_worker,
        [this, reader = m_reader, path] {
            const QString error = reader->open(path);
            const QSize size = error.isEmpty() ? reader->size() : QSize();
            const qint64 duration = error.isEmpty() ? reader->durationMs() : 0;
            const QList<qint64> times = error.isEmpty() ? reader->frameTimesMs() : QList<qint64>();
            const QImage first = error.isEmpty() ? reader->frameAt(0) : QImage();
            QMetaObject::invokeMethod(
                this,
                [=, this] {
                    m_open = error.isEmpty();
                    m_size = size;
                    m_range = TrimRange(times, duration);
                    m_paused = 0;
                    m_shownFrame = -2;
                    emit opened(error);
                    decoded(first, 0);
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

qint64 RecordingPlayer::position() const
{
    if (!m_playing)
        return m_paused;
    return std::min(m_clockFrom + m_clock.elapsed(), m_range.end());
}

qint64 RecordingPlayer::setTrimStart(qint64 ms)
{
    const qint64 at = m_range.setStart(ms);
    seek(at);
    return at;
}

qint64 RecordingPlayer::setTrimEnd(qint64 ms)
{
    const qint64 at = m_range.setEnd(ms);
    // The last frame kept: the one just before the end.
    seek(std::max(m_range.start(), at - 1));
    return at;
}

void RecordingPlayer::play()
{
    if (!m_open || m_playing)
        return;
    m_clockFrom = m_range.playFrom(m_paused);
    m_clock.start();
    m_playing = true;
    emit playingChanged(true);
    tick();
}

void RecordingPlayer::pause()
{
    if (!m_playing)
        return;
    m_paused = position();
    m_playing = false;
    m_timer.stop();
    emit playingChanged(false);
}

void RecordingPlayer::seek(qint64 ms)
{
    ms = std::clamp<qint64>(ms, 0, std::max<qint64>(0, m_range.durationMs() - 1));
    if (m_playing) {
        m_clockFrom = m_range.playFrom(ms);
        m_clock.start();
        tick();
        return;
    }
    m_paused = ms;
    emit positionChanged(ms);
    request(ms);
}

void RecordingPlayer::tick()
{
    const qint64 now = position();
    emit positionChanged(now);
    if (now >= m_range.end()) {
        m_paused = m_range.end();
        m_playing = false;
        emit playingChanged(false);
        return;
    }
    request(now);
    // Woken for the next frame, and at least a few times a second for the position.
    const qint64 next = std::min(m_range.nextBoundary(now), m_range.end());
    m_timer.start(int(std::clamp<qint64>(next - now, 1, 250)));
}

void RecordingPlayer::request(qint64 ms)
{
    if (!m_open)
        return;
    const int frame = m_range.frameAt(ms);
    if (frame == m_shownFrame && !m_decoding)
        return;
    if (m_decoding) {
        m_wanted = ms;
        return;
    }
    m_decoding = true;
    QMetaObject::invokeMethod(
        m_worker,
        [this, reader = m_reader, ms] {
            const QImage image = reader->frameAt(ms);
            QMetaObject::invokeMethod(
                this, [this, image, ms] { decoded(image, ms); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void RecordingPlayer::decoded(const QImage &frame, qint64 ms)
{
    m_decoding = false;
    if (!frame.isNull()) {
        m_shownFrame = m_range.frameAt(ms);
        emit frameShown(frame, ms);
    }
    if (const std::optional<qint64> wanted = std::exchange(m_wanted, std::nullopt))
        request(*wanted);
}

} // namespace vistrel
