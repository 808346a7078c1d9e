// The floor for the hot-key benchmarks: the least an X client can do on a hot key, in the same
// conditions as the app. It holds Control+Shift+DIGIT and keeps a full-screen window named
// "Vistrel Bench Floor"; each press maps it, and it is filled with a dimmed grey when exposed.
// WM_DELETE_WINDOW or Escape unmaps it again.
//   vistrel_hotkey_floor DIGIT
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    auto *r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : 0;
    free(r);
    return a;
}

} // namespace

int main(int argc, char **argv)
{
    const int digit = argc > 1 ? std::atoi(argv[1]) : 5;
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 1;
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_keycode_t key = xcb_keycode_t(9 + digit), escape = 9;
    const uint16_t mods = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT;
    if (xcb_request_check(c, xcb_grab_key_checked(c, 1, screen->root, mods, key,
                                                  XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC))) {
        std::fprintf(stderr, "Control+Shift+%d is held by another client\n", digit);
        return 1;
    }
    const xcb_atom_t protocols = atom(c, "WM_PROTOCOLS"),
                     deleteWindow = atom(c, "WM_DELETE_WINDOW");
    const xcb_atom_t netName = atom(c, "_NET_WM_NAME"), utf8 = atom(c, "UTF8_STRING");
    const char name[] = "Vistrel Bench Floor";
    const xcb_gcontext_t gc = xcb_generate_id(c);
    const uint32_t grey = 0x404040;
    xcb_create_gc(c, gc, screen->root, XCB_GC_FOREGROUND, &grey);
    const xcb_window_t window = xcb_generate_id(c);
    const uint32_t values[] = {1, XCB_EVENT_MASK_EXPOSURE | XCB_EVENT_MASK_KEY_PRESS};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, screen->width_in_pixels,
                      screen->height_in_pixels, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, netName, utf8, 8, sizeof name - 1, name);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, protocols, XCB_ATOM_ATOM, 32, 1,
                        &deleteWindow);
    bool shown = false;
    auto close = [&] {
        if (!shown)
            return;
        xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
        xcb_unmap_window(c, window);
        shown = false;
    };
    // The window exists on the server before anyone is told to measure.
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    std::printf("ready\n");
    std::fflush(stdout);

    while (xcb_generic_event_t *e = xcb_wait_for_event(c)) {
        switch (e->response_type & 0x7f) {
        case XCB_KEY_PRESS: {
            const auto *k = reinterpret_cast<xcb_key_press_event_t *>(e);
            if (k->detail == escape) {
                close();
            } else if (k->detail == key && !shown) {
                xcb_map_window(c, window);
                xcb_grab_keyboard(c, 1, window, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC,
                                  XCB_GRAB_MODE_ASYNC);
                shown = true;
            }
            break;
        }
        case XCB_EXPOSE: {
            const auto *x = reinterpret_cast<xcb_expose_event_t *>(e);
            if (x->window == window) {
                const xcb_rectangle_t all{0, 0, screen->width_in_pixels, screen->height_in_pixels};
                xcb_poly_fill_rectangle(c, window, gc, 1, &all);
            }
            break;
        }
        case XCB_CLIENT_MESSAGE: {
            const auto *m = reinterpret_cast<xcb_client_message_event_t *>(e);
            if (m->type == protocols && m->data.data32[0] == deleteWindow)
                close();
            break;
        }
        }
        free(e);
        xcb_flush(c);
    }
    return 0;
}
