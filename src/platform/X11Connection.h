#pragma once

#include <QtGlobal>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace vistrel::x11 {

struct FreeDeleter
{
    void operator()(void *p) const { std::free(p); }
};
// A reply of the server, freed with the owner.
template <class T> using XcbReply = std::unique_ptr<T, FreeDeleter>;

// The toolkit's own connection to the X server; none on other platforms.
xcb_connection_t *toolkitConnection();
// The root window of the first screen (the one the toolkit opens); 0 without a connection.
quint32 rootOf(xcb_connection_t *conn);
// The atom of `name`, created if missing: the window manager may start after us and set it later.
xcb_atom_t atom(xcb_connection_t *conn, const char *name);

} // namespace vistrel::x11
