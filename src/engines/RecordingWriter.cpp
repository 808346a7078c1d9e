#include "engines/RecordingWriter.h"

#include "engines/GifRecording.h"
#include "engines/VideoEncoder.h"

#include <QFileInfo>
#include <QMetaObject>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace vistrel {

std::optional<RecordingFormat> recordingFormatFor(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("webm"))
        return RecordingFormat::WebM;
    if (suffix == QLatin1String("mp4"))
        return RecordingFormat::Mp4;
    if (suffix == QLatin1String("gif"))
        return RecordingFormat::Gif;
    return std::nullopt;
}

QString extensionOf(RecordingFormat format)
{
    switch (format) {
    case RecordingFormat::WebM:
        return QStringLiteral("webm");
    case RecordingFormat::Mp4:
        return QStringLiteral("mp4");
    case RecordingFormat::Gif:
        return QStringLiteral("gif");
    }
    return {};
}

std::unique_ptr<FrameEncoder> FrameEncoder::create(RecordingFormat format)
{
    if (format == RecordingFormat::Gif)
        return std::make_unique<GifRecordingEncoder>();
    return createVideoEncoder(format);
}

struct RecordingWriter::Worker
{
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::pair<QImage, qint64>> queue;
    bool finishing = false;
    bool failed = false;
    qint64 endTick = 0;
    RecordingStats stats;
    std::thread thread;
};

RecordingWriter::RecordingWriter(std::unique_ptr<FrameEncoder> encoder, int queueFrames,
                                 QObject *parent)
    : QObject(parent), m_encoder(std::move(encoder)), m_queueFrames(std::max(1, queueFrames)),
      m_worker(std::make_unique<Worker>())
{
    qRegisterMetaType<RecordingStats>("RecordingStats");
}

int RecordingWriter::queueFramesFor(QSize frameSize)
{
    constexpr qint64 budget = 256ll << 20;
    const qint64 frameBytes =
        std::max<qint64>(1, qint64(frameSize.width()) * frameSize.height() * 4);
    return int(std::clamp<qint64>(budget / frameBytes, 8, 120));
}

RecordingWriter::~RecordingWriter()
{
    if (!m_worker->thread.joinable())
        return;
    // Going away while recording: the file is still finished, with what was recorded.
    {
        std::lock_guard lock(m_worker->mutex);
        if (!m_worker->finishing) {
            m_worker->finishing = true;
            m_worker->endTick = m_lastTick + 1;
        }
    }
    m_worker->wake.notify_all();
    m_worker->thread.join();
}

QString RecordingWriter::start(const EncoderSettings &settings)
{
    if (m_worker->thread.joinable() || !m_encoder)
        return tr("The recording has already started.");
    const QString error = m_encoder->open(settings);
    if (!error.isEmpty())
        return error;
    m_worker->thread = std::thread([this] { run(); });
    return {};
}

bool RecordingWriter::push(const QImage &frame, qint64 tick)
{
    {
        std::lock_guard lock(m_worker->mutex);
        if (m_worker->finishing || m_worker->failed || !m_worker->thread.joinable())
            return false;
        if (int(m_worker->queue.size()) >= m_queueFrames) {
            ++m_worker->stats.framesDropped;
            return false;
        }
        m_worker->queue.emplace_back(frame, tick);
        m_lastTick = std::max(m_lastTick, tick);
    }
    m_worker->wake.notify_one();
    return true;
}

void RecordingWriter::finish(qint64 endTick)
{
    {
        std::lock_guard lock(m_worker->mutex);
        if (m_worker->finishing)
            return;
        m_worker->finishing = true;
        m_worker->endTick = endTick;
    }
    m_worker->wake.notify_one();
    if (!m_worker->thread.joinable()) // never started: nothing to write
        QMetaObject::invokeMethod(
            this, [this] { emit finished(tr("The recording has not started."), stats()); },
            Qt::QueuedConnection);
}

RecordingStats RecordingWriter::stats() const
{
    std::lock_guard lock(m_worker->mutex);
    return m_worker->stats;
}

void RecordingWriter::run()
{
    Worker &w = *m_worker;
    QString error;
    for (;;) {
        std::unique_lock lock(w.mutex);
        w.wake.wait(lock, [&] { return w.finishing || !w.queue.empty(); });
        if (w.queue.empty())
            break; // finishing, and everything queued is written
        auto [frame, tick] = std::move(w.queue.front());
        w.queue.pop_front();
        const bool skip = w.failed;
        lock.unlock();
        if (skip)
            continue;
        const QString problem = m_encoder->add(frame, tick);
        frame = QImage(); // the source's buffer goes back before the next frame is waited for
        lock.lock();
        if (problem.isEmpty()) {
            ++w.stats.framesWritten;
            continue;
        }
        w.failed = true;
        error = problem;
        lock.unlock();
        QMetaObject::invokeMethod(
            this, [this, problem] { emit failed(problem); }, Qt::QueuedConnection);
    }
    qint64 endTick;
    {
        std::lock_guard lock(w.mutex);
        endTick = w.endTick;
    }
    const QString finishError = m_encoder->finish(endTick);
    if (error.isEmpty())
        error = finishError;
    RecordingStats done;
    {
        std::lock_guard lock(w.mutex);
        w.stats.endTick = endTick;
        done = w.stats;
    }
    QMetaObject::invokeMethod(
        this, [this, error, done] { emit finished(error, done); }, Qt::QueuedConnection);
}

} // namespace vistrel
