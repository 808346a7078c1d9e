#pragma once

#include "platform/ScreenRecorder.h"

#include <QByteArray>
#include <QSize>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace vistrel {

// Frames of an area of the X screen, grabbed through shared memory on a thread of its own,
// with a connection of its own (the toolkit's serves the GUI thread). Ticks follow a steady
// clock; a tick where nothing in the area changed (as the server's damage reports tell) is
// left out.
class X11FrameSource : public FrameSource
{
    Q_OBJECT
public:
    // `displayName`: the X display to open; empty for the one DISPLAY names.
    explicit X11FrameSource(QByteArray displayName = {});
    ~X11FrameSource() override;

    void start(const RecordingRequest &request, Sink sink) override;
    void stop() override;
    QSize frameSize() const override;
    void requestFrame() override;

private:
    void run(RecordingRequest request, Sink sink);

    QByteArray m_displayName;
    QSize m_size;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false; // under m_mutex
    std::atomic<bool> m_forceFrame{false};
};

class X11ScreenRecorder : public ScreenRecorder
{
public:
    explicit X11ScreenRecorder(QByteArray displayName = {}) : m_displayName(std::move(displayName))
    {
    }
    std::unique_ptr<FrameSource> createSource() override;
    bool desktopChoosesSource() const override { return false; }

private:
    QByteArray m_displayName;
};

} // namespace vistrel
