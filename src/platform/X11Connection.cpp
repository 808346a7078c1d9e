#include "platform/X11Connection.h"

#include <QGuiApplication>

#include <cstring>

namespace vistrel::x11 {

xcb_connection_t *toolkitConnection()
{
    auto *x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

quint32 rootOf(xcb_connection_t *conn)
{
    if (!conn)
        return 0;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(conn));
    return it.rem ? it.data->root : 0;
}

xcb_atom_t atom(xcb_connection_t *conn, const char *name)
{
    auto cookie = xcb_intern_atom(conn, 0, uint16_t(std::strlen(name)), name);
    XcbReply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(conn, cookie, nullptr));
    return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
}

} // namespace vistrel::x11
