#include "platform/X11Input.h"

#include "platform/X11Connection.h"

#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xinput.h>
#include <xcb/xtest.h>

#include <X11/keysym.h>

#include <cstdlib>
#include <memory>

namespace vistrel {

namespace {

constexpr quint8 wheelDownButton = 5;

} // namespace

X11PointerInjector::X11PointerInjector()
    : m_conn(x11::toolkitConnection()), m_root(x11::rootOf(m_conn))
{
}

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
        xcb_test_fake_input(m_conn, XCB_BUTTON_PRESS, wheelDownButton, XCB_CURRENT_TIME, m_root, 0,
                            0, 0);
        xcb_test_fake_input(m_conn, XCB_BUTTON_RELEASE, wheelDownButton, XCB_CURRENT_TIME, m_root,
                            0, 0, 0);
    }
    xcb_flush(m_conn);
    return true;
}

std::optional<QPoint> X11PointerInjector::pointerPosition() const
{
    if (!m_conn)
        return std::nullopt;
    xcb_query_pointer_reply_t *reply =
        xcb_query_pointer_reply(m_conn, xcb_query_pointer(m_conn, m_root), nullptr);
    if (!reply)
        return std::nullopt;
    const QPoint at(reply->root_x, reply->root_y);
    const bool here = reply->same_screen;
    std::free(reply);
    return here ? std::optional(at) : std::nullopt;
}

X11EscapeWatch::X11EscapeWatch() = default;

X11EscapeWatch::~X11EscapeWatch()
{
    stop();
}

bool X11EscapeWatch::start(std::function<void()> onEscape)
{
    stop();
    const char *display = std::getenv("DISPLAY");
    if (!display || !*display)
        return false;
    int screenNumber = 0;
    xcb_connection_t *conn = xcb_connect(display, &screenNumber);
    if (xcb_connection_has_error(conn)) {
        xcb_disconnect(conn);
        return false;
    }
    const xcb_query_extension_reply_t *xi = xcb_get_extension_data(conn, &xcb_input_id);
    std::unique_ptr<xcb_input_xi_query_version_reply_t, decltype(&std::free)> version(
        xi && xi->present ? xcb_input_xi_query_version_reply(
                                conn, xcb_input_xi_query_version(conn, 2, 0), nullptr)
                          : nullptr,
        &std::free);
    quint8 keycode = 0;
    if (xcb_key_symbols_t *symbols = xcb_key_symbols_alloc(conn)) {
        if (xcb_keycode_t *codes = xcb_key_symbols_get_keycode(symbols, XK_Escape)) {
            keycode = codes[0];
            std::free(codes);
        }
        xcb_key_symbols_free(symbols);
    }
    const quint32 root = x11::rootOf(conn);
    if (!version || version->major_version < 2 || !keycode || !root) {
        xcb_disconnect(conn);
        return false;
    }
    struct
    {
        xcb_input_event_mask_t head;
        quint32 mask;
    } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS};
    xcb_generic_error_t *error =
        xcb_request_check(conn, xcb_input_xi_select_events_checked(conn, root, 1, &selection.head));
    if (error) {
        std::free(error);
        xcb_disconnect(conn);
        return false;
    }
    m_own = conn;
    m_xiOpcode = xi->major_opcode;
    m_keycode = keycode;
    m_onEscape = std::move(onEscape);
    m_notifier = new QSocketNotifier(xcb_get_file_descriptor(conn), QSocketNotifier::Read);
    QObject::connect(m_notifier, &QSocketNotifier::activated, m_notifier, [this] { readEvents(); });
    return true;
}

void X11EscapeWatch::readEvents()
{
    bool escape = false;
    while (xcb_generic_event_t *event = xcb_poll_for_event(m_own)) {
        if ((event->response_type & 0x7f) == XCB_GE_GENERIC) {
            auto *generic = reinterpret_cast<xcb_ge_generic_event_t *>(event);
            auto *raw = reinterpret_cast<xcb_input_raw_key_press_event_t *>(event);
            if (generic->extension == m_xiOpcode &&
                generic->event_type == XCB_INPUT_RAW_KEY_PRESS && raw->detail == m_keycode)
                escape = true;
        }
        std::free(event);
    }
    if (escape && m_onEscape) {
        // Not from inside the read: the handler stops the watch, which closes this connection.
        auto handler = m_onEscape;
        QTimer::singleShot(0, qApp, [handler] { handler(); });
    }
}

void X11EscapeWatch::stop()
{
    m_onEscape = nullptr;
    delete m_notifier;
    m_notifier = nullptr;
    if (m_own)
        xcb_disconnect(m_own);
    m_own = nullptr;
}

} // namespace vistrel
