#include "platform/X11Input.h"

#include <QGuiApplication>
#include <QTimer>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <X11/keysym.h>

#include <cstdlib>

namespace vistrel {

namespace {

xcb_connection_t *toolkitConnection()
{
    auto *x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

quint32 firstRoot(xcb_connection_t *conn)
{
    if (!conn)
        return 0;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(conn));
    return it.rem ? it.data->root : 0;
}

constexpr quint8 wheelDownButton = 5;

} // namespace

X11PointerInjector::X11PointerInjector() : m_conn(toolkitConnection()), m_root(firstRoot(m_conn)) {}

void X11PointerInjector::movePointer(QPoint p)
{
    if (!m_conn)
        return;
    xcb_test_fake_input(m_conn, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, m_root, int16_t(p.x()),
                        int16_t(p.y()), 0);
    xcb_flush(m_conn);
}

bool X11PointerInjector::scrollDown(QPoint p, int notches)
{
    if (!m_conn)
        return false;
    // Checked once per turn, so a server without XTest says so instead of doing nothing.
    auto cookie = xcb_test_fake_input_checked(m_conn, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME,
                                              m_root, int16_t(p.x()), int16_t(p.y()), 0);
    if (xcb_generic_error_t *error = xcb_request_check(m_conn, cookie)) {
        std::free(error);
        return false;
    }
    for (int i = 0; i < notches; ++i) {
        xcb_test_fake_input(m_conn, XCB_BUTTON_PRESS, wheelDownButton, XCB_CURRENT_TIME, m_root, 0, 0, 0);
        xcb_test_fake_input(m_conn, XCB_BUTTON_RELEASE, wheelDownButton, XCB_CURRENT_TIME, m_root, 0, 0, 0);
    }
    xcb_flush(m_conn);
    return true;
}

X11EscapeWatch::X11EscapeWatch() : m_conn(toolkitConnection()), m_root(firstRoot(m_conn))
{
    if (!m_conn)
        return;
    if (xcb_key_symbols_t *symbols = xcb_key_symbols_alloc(m_conn)) {
        if (xcb_keycode_t *codes = xcb_key_symbols_get_keycode(symbols, XK_Escape)) {
            m_keycode = codes[0];
            std::free(codes);
        }
        xcb_key_symbols_free(symbols);
    }
    if (qApp)
        qApp->installNativeEventFilter(this);
}

X11EscapeWatch::~X11EscapeWatch()
{
    stop();
    if (qApp)
        qApp->removeNativeEventFilter(this);
}

bool X11EscapeWatch::start(std::function<void()> onEscape)
{
    m_onEscape = std::move(onEscape);
    if (!m_conn || !m_keycode)
        return false;
    if (m_grabbed)
        return true;
    auto cookie = xcb_grab_key_checked(m_conn, 1, m_root, XCB_MOD_MASK_ANY, m_keycode,
                                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    if (xcb_generic_error_t *error = xcb_request_check(m_conn, cookie)) {
        std::free(error);
        return false;
    }
    m_grabbed = true;
    return true;
}

void X11EscapeWatch::stop()
{
    m_onEscape = nullptr;
    if (!m_grabbed || !m_conn)
        return;
    xcb_ungrab_key(m_conn, m_keycode, m_root, XCB_MOD_MASK_ANY);
    xcb_flush(m_conn);
    m_grabbed = false;
}

bool X11EscapeWatch::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (!m_grabbed || eventType != "xcb_generic_event_t")
        return false;
    auto *event = static_cast<xcb_generic_event_t *>(message);
    const quint8 type = event->response_type & 0x7f;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    auto *key = reinterpret_cast<xcb_key_press_event_t *>(event);
    if (key->detail != m_keycode || key->event != m_root)
        return false;
    if (type == XCB_KEY_PRESS && m_onEscape) {
        // Not from inside the native filter: the handler ungrabs the key.
        auto handler = m_onEscape;
        QTimer::singleShot(0, qApp, [handler] { handler(); });
    }
    return true;
}

} // namespace vistrel
