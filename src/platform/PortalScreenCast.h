#pragma once

#include "platform/ScreenRecorder.h"

#include <QList>

#include <optional>

namespace vistrel {

class PortalClient;

// Recordings in a Wayland session: the desktop's ScreenCast portal shares a screen or a window
// (its own chooser asks the user where the desktop wants to), and its PipeWire stream brings
// the frames, cut to the recorded area.
class PortalScreenCast : public ScreenRecorder
{
public:
    explicit PortalScreenCast(PortalClient &portal) : m_portal(portal) {}
    std::unique_ptr<FrameSource> createSource() override;
    bool desktopChoosesSource() const override { return true; }

private:
    PortalClient &m_portal;
};

// Which tick each frame of a stream falls on at a steady rate, and which frames are kept: at
// most one a tick, never a tick twice. The desktop sends a frame when the picture changes, at
// its own pace: a second one within a tick is held and handed on at the next tick unless a
// newer one replaces it first, so the last picture of a burst of changes is never lost.
// Times are nanoseconds of a steady clock; tick 0 is the first frame's.
class CastPacer
{
public:
    explicit CastPacer(int fps);

    // A frame arrived at `ns`: the frames to hand on now, oldest first.
    QList<RecordedFrame> offer(qint64 ns, QImage image);
    // No frame came: the held one, once its tick has begun at `ns`; or, where a frame was
    // asked for, the last picture again on the tick of `ns`.
    std::optional<RecordedFrame> due(qint64 ns);
    // When `due` will have a frame to hand on; none when it will not.
    std::optional<qint64> dueAt() const;
    // The next tick has a frame even where the desktop sends none (nothing changed).
    void requestFrame() { m_wanted = true; }
    // The held frame, on its tick, when the recording ends.
    std::optional<RecordedFrame> takeHeld();

    qint64 tickAt(qint64 ns) const;

private:
    qint64 tickStart(qint64 tick) const;

    int m_fps;
    std::optional<qint64> m_origin;
    qint64 m_lastTick = -1;
    std::optional<QImage> m_held;
    QImage m_last; // the last picture handed on
    bool m_wanted = false;
};

// The part of a stream `streamSize` large that shows `pixelRect` of `display` (device pixels
// relative to its top-left; empty: all of it). Empty where the area lies outside the stream.
QRect castCropRect(const QRect &pixelRect, const DisplayInfo &display, const QSize &streamSize);

// The byte orders of 32-bit pixels a stream may bring (the fourth byte ignored).
enum class CastPixelOrder { BGRx, RGBx };

// `crop` of a stream frame as an opaque Format_RGB32 picture; null when the crop does not fit
// the frame or memory runs out.
QImage castFrameImage(const uchar *data, const QSize &size, int stride, CastPixelOrder order,
                      const QRect &crop);

} // namespace vistrel
