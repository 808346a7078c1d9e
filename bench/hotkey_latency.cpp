// Time from a hot-key press (sent with XTest) to a window of the given name being mapped.
//   vistrel_hotkey_latency DIGIT "WINDOW NAME" [RUNS]
// After each run the window is closed the way a window manager would (WM_DELETE_WINDOW),
// or with Escape when it takes the keyboard. Prints min/median/max in milliseconds.
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

xcb_connection_t *conn;
xcb_window_t root;

xcb_atom_t atom(const char *name)
{
    auto *r = xcb_intern_atom_reply(conn, xcb_intern_atom(conn, 0, uint16_t(strlen(name)), name), nullptr);
    xcb_atom_t a = r ? r->atom : 0;
    free(r);
    return a;
}

std::string windowName(xcb_window_t w)
{
    static xcb_atom_t netName = atom("_NET_WM_NAME"), utf8 = atom("UTF8_STRING");
    auto *r = xcb_get_property_reply(conn, xcb_get_property(conn, 0, w, netName, utf8, 0, 256), nullptr);
    std::string s;
    if (r)
        s.assign(static_cast<char *>(xcb_get_property_value(r)), size_t(xcb_get_property_value_length(r)));
    free(r);
    return s;
}

void key(xcb_keycode_t code, bool press)
{
    xcb_test_fake_input(conn, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, code, XCB_CURRENT_TIME, root, 0, 0, 0);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s DIGIT \"WINDOW NAME\" [RUNS]\n", argv[0]);
        return 2;
    }
    const int digit = std::atoi(argv[1]);
    const std::string wanted = argv[2];
    const int runs = argc > 3 ? std::atoi(argv[3]) : 10;
    conn = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(conn))
        return 1;
    root = xcb_setup_roots_iterator(xcb_get_setup(conn)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(conn, root, XCB_CW_EVENT_MASK, &mask);
    const xcb_atom_t protocols = atom("WM_PROTOCOLS"), deleteWindow = atom("WM_DELETE_WINDOW");
    const xcb_keycode_t ctrl = 37, shift = 50, escape = 9, digitKey = xcb_keycode_t(9 + digit);

    std::vector<double> ms;
    for (int run = 0; run < runs; ++run) {
        key(ctrl, true);
        key(shift, true);
        xcb_flush(conn);
        const auto t0 = std::chrono::steady_clock::now();
        key(digitKey, true);
        key(digitKey, false);
        key(shift, false);
        key(ctrl, false);
        xcb_flush(conn);
        xcb_window_t found = 0;
        while (!found) {
            xcb_generic_event_t *e = xcb_wait_for_event(conn);
            if (!e)
                return 1;
            if ((e->response_type & 0x7f) == XCB_MAP_NOTIFY) {
                auto *m = reinterpret_cast<xcb_map_notify_event_t *>(e);
                if (windowName(m->window) == wanted)
                    found = m->window;
            }
            free(e);
        }
        const auto t1 = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
        // Close it and let the app settle before the next press.
        xcb_client_message_event_t msg{};
        msg.response_type = XCB_CLIENT_MESSAGE;
        msg.format = 32;
        msg.window = found;
        msg.type = protocols;
        msg.data.data32[0] = deleteWindow;
        msg.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(conn, 0, found, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char *>(&msg));
        key(escape, true);
        key(escape, false);
        xcb_flush(conn);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%s: runs=%d min=%.1f ms median=%.1f ms max=%.1f ms\n", wanted.c_str(), runs,
                ms.front(), ms[ms.size() / 2], ms.back());
    return 0;
}
