#pragma once

#include "platform/Desktop.h"

class QSocketNotifier;

struct xcb_connection_t;

namespace vistrel {

// Wheel turns and pointer moves sent through the XTest extension, as if from the real mouse.
class X11PointerInjector : public PointerInjector
{
public:
    X11PointerInjector();
    void movePointer(QPoint globalPixel) override;
    bool scrollDown(QPoint globalPixel, int notches) override;
    std::optional<QPoint> pointerPosition() const override;

private:
    xcb_connection_t *m_conn = nullptr;
    quint32 m_root = 0;
};

// Escape pressed in any application, seen through XInput 2 raw key events on a connection of
// its own: the key still reaches the focused application (no grab), and Qt's own connection
// and its XInput selections are left alone.
class X11EscapeWatch : public EscapeWatch
{
public:
    X11EscapeWatch();
    ~X11EscapeWatch() override;
    bool start(std::function<void()> onEscape) override;
    void stop() override;

private:
    void readEvents();

    xcb_connection_t *m_own = nullptr;
    QSocketNotifier *m_notifier = nullptr;
    quint8 m_xiOpcode = 0;
    quint8 m_keycode = 0;
    std::function<void()> m_onEscape;
};

} // namespace vistrel
