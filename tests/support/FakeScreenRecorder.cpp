#include "FakeScreenRecorder.h"

#include <chrono>

namespace vistrel {

FakeFrameSource::FakeFrameSource() : FakeFrameSource(Options()) {}

FakeFrameSource::FakeFrameSource(Options options) : m_options(std::move(options)) {}

FakeFrameSource::~FakeFrameSource()
{
    stop();
}

QImage FakeFrameSource::pictureOf(qint64 number, QSize size)
{
    // The number in the top-left pixel's colour channels, the rest a shade of it.
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(int(number * 37 % 360), 160, 200));
    image.setPixel(0, 0, 0xff000000u | quint32(number & 0xffffff));
    return image;
}

qint64 FakeFrameSource::numberOf(const QImage &image)
{
    return image.isNull() ? -1 : qint64(image.pixel(0, 0) & 0xffffff);
}

void FakeFrameSource::start(const RecordingRequest &request, Sink sink)
{
    stop();
    lastRequest = request;
    ++starts;
    m_size = !m_options.size.isEmpty() ? m_options.size
             : !request.pixelRect.isEmpty()
                 ? request.pixelRect.size()
                 : (request.display.frame.size() * request.display.scale).toSize();
    if (m_size.isEmpty())
        m_size = QSize(64, 48);
    if (!m_options.failStart.isEmpty()) {
        const QString why = m_options.failStart;
        QMetaObject::invokeMethod(
            this, [this, why] { emit failed(why); }, Qt::QueuedConnection);
        return;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = false;
    }
    running = true;
    m_thread = std::thread(
        [this, fps = std::max(1, request.fps), sink = std::move(sink)] { run(fps, sink); });
}

void FakeFrameSource::stop()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
    running = false;
}

void FakeFrameSource::run(int fps, Sink sink)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point begin = Clock::now();
    for (qint64 tick = 0;; ++tick) {
        {
            std::unique_lock lock(m_mutex);
            const auto due = begin + std::chrono::nanoseconds(tick * 1'000'000'000LL / fps);
            if (m_wake.wait_until(lock, due, [this] { return m_stopping; }))
                return;
        }
        if (m_options.failAfterFrames >= 0 && framesSent >= m_options.failAfterFrames) {
            emit failed(m_options.failReason);
            return;
        }
        const bool forced = m_requests.exchange(0) > 0;
        if (tick > 0 && !forced && m_options.unchangedEvery > 0 &&
            tick % m_options.unchangedEvery == 0)
            continue;
        if (tick == 0)
            emit started();
        sink(RecordedFrame{pictureOf(tick, m_size), tick});
        ++framesSent;
    }
}

std::unique_ptr<FrameSource> FakeScreenRecorder::createSource()
{
    auto source = std::make_unique<FakeFrameSource>(options);
    lastSource = source.get();
    ++sourcesMade;
    return source;
}

} // namespace vistrel
