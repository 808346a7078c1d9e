// The second client of the Copy benchmark: it is told by the X server (XFIXES) the moment the
// clipboard changes owner, asks the new owner for image/png at once and reads it whole
// (incremental transfers too). It prints when the last byte arrived (CLOCK_REALTIME, ns) and
// the size, then exits; owners that offer no PNG are skipped. No polling, so the figure is the
// owner's and the transfer's, not a reader's start-up.
//   vistrel_clipwatch        prints "ready" once it watches, then "<ns> <bytes>"
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

xcb_connection_t *conn;

xcb_atom_t atom(const char *name)
{
    auto *r = xcb_intern_atom_reply(conn, xcb_intern_atom(conn, 0, uint16_t(strlen(name)), name),
                                    nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(r);
    return a;
}

long long nowNs()
{
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

// The property's whole value, deleted once read.
bool take(xcb_window_t win, xcb_atom_t property, xcb_atom_t *type, std::vector<uint8_t> &out)
{
    auto *p = xcb_get_property_reply(
        conn, xcb_get_property(conn, 1, win, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 28),
        nullptr);
    if (!p)
        return false;
    *type = p->type;
    const auto *bytes = static_cast<const uint8_t *>(xcb_get_property_value(p));
    out.assign(bytes, bytes + xcb_get_property_value_length(p));
    free(p);
    xcb_flush(conn);
    return true;
}

} // namespace

int main()
{
    conn = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(conn)) {
        std::fprintf(stderr, "clipwatch: no display\n");
        return 1;
    }
    const xcb_query_extension_reply_t *fixes = xcb_get_extension_data(conn, &xcb_xfixes_id);
    if (!fixes || !fixes->present) {
        std::fprintf(stderr, "clipwatch: the X server has no XFIXES extension\n");
        return 1;
    }
    free(xcb_xfixes_query_version_reply(conn, xcb_xfixes_query_version(conn, 5, 0), nullptr));
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(conn)).data;
    const xcb_window_t win = xcb_generate_id(conn);
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(conn, XCB_COPY_FROM_PARENT, win, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
    const xcb_atom_t clipboard = atom("CLIPBOARD"), png = atom("image/png"), incr = atom("INCR"),
                     got = atom("_VISTREL_CLIPWATCH");
    xcb_xfixes_select_selection_input(conn, win, clipboard,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER);
    xcb_flush(conn);
    std::printf("ready\n");
    std::fflush(stdout);

    enum { Waiting, Asked, Incremental } state = Waiting;
    std::vector<uint8_t> data, chunk;
    while (xcb_generic_event_t *e = xcb_wait_for_event(conn)) {
        const uint8_t type = e->response_type & 0x7f;
        if (type == fixes->first_event + XCB_XFIXES_SELECTION_NOTIFY) {
            auto *n = reinterpret_cast<xcb_xfixes_selection_notify_event_t *>(e);
            if (n->owner != XCB_NONE) {
                xcb_convert_selection(conn, win, clipboard, png, got, n->selection_timestamp);
                xcb_flush(conn);
                state = Asked;
            }
        } else if (type == XCB_SELECTION_NOTIFY && state == Asked) {
            auto *n = reinterpret_cast<xcb_selection_notify_event_t *>(e);
            xcb_atom_t valueType = XCB_ATOM_NONE;
            if (n->property == XCB_ATOM_NONE || !take(win, got, &valueType, data)) {
                state = Waiting; // no PNG from this owner
            } else if (valueType == incr) {
                data.clear();
                state = Incremental;
            } else if (data.size() > 8 && std::memcmp(data.data() + 1, "PNG", 3) == 0) {
                std::printf("%lld %zu\n", nowNs(), data.size());
                return 0;
            } else {
                state = Waiting;
            }
        } else if (type == XCB_PROPERTY_NOTIFY && state == Incremental) {
            auto *n = reinterpret_cast<xcb_property_notify_event_t *>(e);
            xcb_atom_t valueType = XCB_ATOM_NONE;
            if (n->atom == got && n->state == XCB_PROPERTY_NEW_VALUE &&
                take(win, got, &valueType, chunk)) {
                if (chunk.empty()) {
                    if (data.size() > 8 && std::memcmp(data.data() + 1, "PNG", 3) == 0) {
                        std::printf("%lld %zu\n", nowNs(), data.size());
                        return 0;
                    }
                    state = Waiting;
                } else {
                    data.insert(data.end(), chunk.begin(), chunk.end());
                }
            }
        }
        free(e);
    }
    return 1;
}
