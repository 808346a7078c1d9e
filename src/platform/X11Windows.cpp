#include "platform/X11Windows.h"

#include "platform/X11Connection.h"

#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace vistrel {

using x11::atom;
using x11::rootOf;
using x11::toolkitConnection;

namespace {

quint32 cardinalProperty(xcb_connection_t *conn, xcb_window_t window, xcb_atom_t property,
                         xcb_atom_t type, quint32 fallback)
{
    auto cookie = xcb_get_property(conn, 0, window, property, type, 0, 1);
    xcb_get_property_reply_t *r = xcb_get_property_reply(conn, cookie, nullptr);
    quint32 value = fallback;
    if (r && r->format == 32 && xcb_get_property_value_length(r) >= 4)
        value = *static_cast<const quint32 *>(xcb_get_property_value(r));
    std::free(r);
    return value;
}

} // namespace

void X11WindowManager::keepOnEveryDesktop(QWidget *window)
{
    xcb_connection_t *conn = toolkitConnection();
    if (!conn || !window)
        return;
    const xcb_window_t id = xcb_window_t(window->winId());
    const xcb_atom_t state = atom(conn, "_NET_WM_STATE");
    const xcb_atom_t states[] = {
        atom(conn, "_NET_WM_STATE_STICKY"), atom(conn, "_NET_WM_STATE_ABOVE"),
        atom(conn, "_NET_WM_STATE_SKIP_TASKBAR"), atom(conn, "_NET_WM_STATE_SKIP_PAGER")};
    xcb_change_property(conn, XCB_PROP_MODE_REPLACE, id, state, XCB_ATOM_ATOM, 32, 4, states);
    const quint32 everyDesktop = 0xFFFFFFFF;
    xcb_change_property(conn, XCB_PROP_MODE_REPLACE, id, atom(conn, "_NET_WM_DESKTOP"),
                        XCB_ATOM_CARDINAL, 32, 1, &everyDesktop);
    if (window->isVisible()) {
        // A mapped window changes its state through the window manager.
        const xcb_window_t root = rootOf(conn);
        for (int i = 0; i < 4; i += 2) {
            xcb_client_message_event_t ev{};
            ev.response_type = XCB_CLIENT_MESSAGE;
            ev.format = 32;
            ev.window = id;
            ev.type = state;
            ev.data.data32[0] = 1; // add
            ev.data.data32[1] = states[i];
            ev.data.data32[2] = states[i + 1];
            ev.data.data32[3] = 2;
            xcb_send_event(conn, 0, root,
                           XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT |
                               XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                           reinterpret_cast<const char *>(&ev));
        }
    }
    xcb_flush(conn);
}

quint32 X11WindowManager::activeWindow() const
{
    xcb_connection_t *conn = toolkitConnection();
    if (!conn)
        return 0;
    return cardinalProperty(conn, rootOf(conn), atom(conn, "_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW,
                            0);
}

void X11WindowManager::activate(quint32 window)
{
    xcb_connection_t *conn = toolkitConnection();
    if (!conn || !window)
        return;
    xcb_client_message_event_t ev{};
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = window;
    ev.type = atom(conn, "_NET_ACTIVE_WINDOW");
    ev.data.data32[0] = 2; // from a pager: the window manager does not second-guess it
    ev.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(conn, 0, rootOf(conn),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&ev));
    xcb_flush(conn);
}

qint64 X11WindowManager::windowPid(quint32 window) const
{
    xcb_connection_t *conn = toolkitConnection();
    if (!conn || !window)
        return -1;
    const quint32 pid =
        cardinalProperty(conn, window, atom(conn, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 0);
    return pid ? qint64(pid) : -1;
}

} // namespace vistrel
