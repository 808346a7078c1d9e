// Holds Control+Shift+<digit> on the root window the way another desktop tool would, and
// prints "pressed" each time the combination arrives. Used to test hot-key conflicts.
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

int main(int argc, char **argv)
{
    const int digit = argc > 1 ? std::atoi(argv[1]) : 1;
    xcb_connection_t *conn = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(conn))
        return 1;
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(conn)).data->root;
    const xcb_keycode_t key = xcb_keycode_t(9 + digit);
    const uint16_t base = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT;
    const uint16_t locks[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                              XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
    for (uint16_t lock : locks) {
        if (xcb_generic_error_t *e = xcb_request_check(
                conn, xcb_grab_key_checked(conn, 1, root, base | lock, key, XCB_GRAB_MODE_ASYNC,
                                           XCB_GRAB_MODE_ASYNC))) {
            std::fprintf(stderr, "keygrab: cannot grab\n");
            std::free(e);
            return 1;
        }
    }
    std::printf("ready\n");
    std::fflush(stdout);
    while (xcb_generic_event_t *e = xcb_wait_for_event(conn)) {
        if ((e->response_type & 0x7f) == XCB_KEY_PRESS) {
            std::printf("pressed\n");
            std::fflush(stdout);
        }
        std::free(e);
    }
    return 0;
}
