#pragma once

#include "platform/Desktop.h"
#include "platform/Result.h"

#include <QImage>
#include <QObject>
#include <QRect>
#include <QString>

#include <functional>

namespace vistrel {

// What a recording takes: one area of one display, at a steady rate.
struct RecordingRequest
{
    DisplayInfo display;
    QRect pixelRect; // device pixels relative to the display's top-left; empty: the whole display
    int fps = 30;
    bool showPointer = true;
    bool markClicks = false; // a fading ring where the pointer was pressed
};

// One frame of a recording. `tick` counts frame intervals (1/fps) from the first frame: a
// source that skips an unchanged frame leaves its tick out, so a tick is never repeated and a
// gap means "the same picture as before".
struct RecordedFrame
{
    QImage image; // Format_RGB32, the area's size in device pixels
    qint64 tick = 0;
};

// A live source of frames of the screen. Frames are handed to the sink on the source's own
// thread, never the GUI thread: the sink must be quick (queue the frame) and thread-safe.
class FrameSource : public QObject
{
    Q_OBJECT
public:
    using Sink = std::function<void(RecordedFrame frame)>;

    // Starts asynchronously: `started` once frames flow (a desktop may ask the user first,
    // with its own source chooser), or `failed` with the reason.
    virtual void start(const RecordingRequest &request, Sink sink) = 0;
    // Stops delivering; no sink call begins after this returns.
    virtual void stop() = 0;
    // The area's size in device pixels once started (the portal's stream may fix it).
    virtual QSize frameSize() const = 0;
    // The next tick delivers a frame even where nothing changed (after a resume, the first
    // frame shows what is there now, not what was there before the pause).
    virtual void requestFrame() {}

signals:
    void started();
    // The recording cannot go on (a display that changed size, a stream the desktop closed,
    // a portal that refused): what was recorded so far is kept by the caller.
    void failed(const QString &reason);
};

// Makes a source for each recording; the platform knows which kind its session has.
class ScreenRecorder
{
public:
    virtual ~ScreenRecorder() = default;
    virtual std::unique_ptr<FrameSource> createSource() = 0;
    // Whether the desktop lets Vistrel choose the area itself (X11) or its own chooser picks
    // a screen or window first (the portal): the app then crops to the chosen area.
    virtual bool desktopChoosesSource() const = 0;
};

} // namespace vistrel
