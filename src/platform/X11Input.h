#pragma once

#include "platform/Desktop.h"

#include <QAbstractNativeEventFilter>

struct xcb_connection_t;

namespace vistrel {

// Wheel turns and pointer moves sent through the XTest extension, as if from the real mouse.
class X11PointerInjector : public PointerInjector
{
public:
    X11PointerInjector();
    void movePointer(QPoint globalPixel) override;
    bool scrollDown(QPoint globalPixel, int notches) override;

private:
    xcb_connection_t *m_conn = nullptr;
    quint32 m_root = 0;
};

// Escape from any application: a passive grab of the key on the root window while watched.
class X11EscapeWatch : public EscapeWatch, public QAbstractNativeEventFilter
{
public:
    X11EscapeWatch();
    ~X11EscapeWatch() override;
    bool start(std::function<void()> onEscape) override;
    void stop() override;
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

private:
    xcb_connection_t *m_conn = nullptr;
    quint32 m_root = 0;
    quint8 m_keycode = 0;
    bool m_grabbed = false;
    std::function<void()> m_onEscape;
};

} // namespace vistrel
