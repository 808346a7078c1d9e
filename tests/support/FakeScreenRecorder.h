#pragma once

#include "platform/ScreenRecorder.h"

#include <QColor>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace vistrel {

// A source of numbered frames on a thread of its own, at the requested rate: frame n has tick n
// and its picture tells n (FakeFrameSource::numberOf). Failures and left-out ticks on demand.
class FakeFrameSource : public FrameSource
{
    Q_OBJECT
public:
    struct Options
    {
        QString failStart;        // not empty: `failed` with this instead of `started`
        int failAfterFrames = -1; // ≥ 0: `failed` with `failReason` after that many frames
        QString failReason = QStringLiteral("The display changed size while recording.");
        int unchangedEvery = 0; // > 0: every such tick is left out, as an unchanged screen's
        QSize size;             // empty: the request's area (or the display's pixels)
    };

    FakeFrameSource();
    explicit FakeFrameSource(Options options);
    ~FakeFrameSource() override;

    void start(const RecordingRequest &request, Sink sink) override;
    void stop() override;
    QSize frameSize() const override { return m_size; }
    void requestFrame() override { ++m_requests; }

    // The number a frame's picture tells.
    static qint64 numberOf(const QImage &image);
    static QImage pictureOf(qint64 number, QSize size);

    // Records, safe to read from any thread.
    std::atomic<int> framesSent{0};
    std::atomic<int> starts{0};
    std::atomic<bool> running{false};
    RecordingRequest lastRequest;

private:
    void run(int fps, Sink sink);

    Options m_options;
    QSize m_size;
    std::atomic<int> m_requests{0};
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
};

// Hands out fake sources; the last one made stays reachable for the test.
class FakeScreenRecorder : public ScreenRecorder
{
public:
    std::unique_ptr<FrameSource> createSource() override;
    bool desktopChoosesSource() const override { return desktopChooses; }

    FakeFrameSource::Options options;
    bool desktopChooses = false;
    FakeFrameSource *lastSource = nullptr; // owned by whoever asked for it
    int sourcesMade = 0;
};

} // namespace vistrel
