// A minimal clipboard manager for the end-to-end tests: it owns CLIPBOARD_MANAGER, and when a
// program that owns the clipboard exits and asks it to SAVE_TARGETS, it takes the image/png
// (or text) and serves it from then on, as desktop clipboard managers do.
//   vistrel_clipkeeper        runs until killed; prints "ready" once it owns the selection
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

xcb_connection_t *conn;
xcb_window_t win;

xcb_atom_t atom(const char *name)
{
    auto *r = xcb_intern_atom_reply(conn, xcb_intern_atom(conn, 0, uint16_t(strlen(name)), name),
                                    nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(r);
    return a;
}

xcb_generic_event_t *waitFor(uint8_t type)
{
    while (xcb_generic_event_t *e = xcb_wait_for_event(conn)) {
        if ((e->response_type & 0x7f) == type)
            return e;
        free(e);
    }
    return nullptr;
}

void notify(const xcb_selection_request_event_t &req, xcb_atom_t property)
{
    xcb_selection_notify_event_t n = {};
    n.response_type = XCB_SELECTION_NOTIFY;
    n.time = req.time;
    n.requestor = req.requestor;
    n.selection = req.selection;
    n.target = req.target;
    n.property = property;
    xcb_send_event(conn, 0, req.requestor, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char *>(&n));
    xcb_flush(conn);
}

} // namespace

int main()
{
    conn = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(conn)) {
        std::fprintf(stderr, "clipkeeper: no display\n");
        return 1;
    }
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(conn)).data;
    win = xcb_generate_id(conn);
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(conn, XCB_COPY_FROM_PARENT, win, screen->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
    const xcb_atom_t manager = atom("CLIPBOARD_MANAGER"), saveTargets = atom("SAVE_TARGETS"),
                     clipboard = atom("CLIPBOARD"), targets = atom("TARGETS"),
                     png = atom("image/png"), incr = atom("INCR"), kept = atom("_VISTREL_KEPT");
    xcb_set_selection_owner(conn, win, manager, XCB_CURRENT_TIME);
    xcb_flush(conn);
    std::printf("ready\n");
    std::fflush(stdout);

    std::vector<uint8_t> data;
    bool owning = false;
    while (xcb_generic_event_t *e = xcb_wait_for_event(conn)) {
        if ((e->response_type & 0x7f) != XCB_SELECTION_REQUEST) {
            free(e);
            continue;
        }
        const auto req = *reinterpret_cast<xcb_selection_request_event_t *>(e);
        free(e);
        if (req.selection == manager && req.target == saveTargets) {
            // Take the picture from the owner before it goes.
            xcb_convert_selection(conn, win, clipboard, png, kept, XCB_CURRENT_TIME);
            xcb_flush(conn);
            auto *n =
                reinterpret_cast<xcb_selection_notify_event_t *>(waitFor(XCB_SELECTION_NOTIFY));
            const bool got = n && n->property != XCB_ATOM_NONE;
            free(n);
            if (got) {
                auto *p = xcb_get_property_reply(
                    conn,
                    xcb_get_property(conn, 1, win, kept, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 28),
                    nullptr);
                if (p && p->type != incr) {
                    const auto *bytes = static_cast<const uint8_t *>(xcb_get_property_value(p));
                    data.assign(bytes, bytes + xcb_get_property_value_length(p));
                    std::fprintf(stderr, "clipkeeper: kept %zu bytes\n", data.size());
                } else {
                    std::fprintf(stderr, "clipkeeper: incremental transfers are not kept\n");
                }
                free(p);
            }
            notify(req, data.empty() ? xcb_atom_t(XCB_ATOM_NONE) : req.property);
            if (!data.empty()) {
                xcb_set_selection_owner(conn, win, clipboard, XCB_CURRENT_TIME);
                owning = true;
            }
            xcb_flush(conn);
        } else if (req.selection == clipboard && owning && req.target == targets) {
            const xcb_atom_t offered[] = {targets, png};
            xcb_change_property(conn, XCB_PROP_MODE_REPLACE, req.requestor, req.property,
                                XCB_ATOM_ATOM, 32, 2, offered);
            notify(req, req.property);
        } else if (req.selection == clipboard && owning && req.target == png) {
            xcb_change_property(conn, XCB_PROP_MODE_REPLACE, req.requestor, req.property, png, 8,
                                uint32_t(data.size()), data.data());
            notify(req, req.property);
        } else {
            notify(req, XCB_ATOM_NONE);
        }
    }
    return 0;
}
