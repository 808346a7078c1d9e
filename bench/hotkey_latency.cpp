// Time from a hot-key press (sent with XTest) to a window of the given name being mapped, and
// to its first paint: the first X DAMAGE report on that window after it was mapped, i.e. the
// moment its pixels reach the screen.
//   vistrel_hotkey_latency DIGIT "WINDOW NAME" [RUNS]
// After each run the window is closed the way a window manager would (WM_DELETE_WINDOW),
// or with Escape when it takes the keyboard. Prints first/min/median/max in milliseconds for
// "mapped" and "painted"; "first" is the first, cold, run.
#include <xcb/damage.h>
#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

xcb_connection_t *conn;
xcb_window_t root;
uint8_t damageEvent;
std::set<xcb_window_t> watched;

xcb_atom_t atom(const char *name)
{
    auto *r = xcb_intern_atom_reply(conn, xcb_intern_atom(conn, 0, uint16_t(strlen(name)), name),
                                    nullptr);
    xcb_atom_t a = r ? r->atom : 0;
    free(r);
    return a;
}

std::string windowName(xcb_window_t w)
{
    static xcb_atom_t netName = atom("_NET_WM_NAME"), utf8 = atom("UTF8_STRING");
    auto *r =
        xcb_get_property_reply(conn, xcb_get_property(conn, 0, w, netName, utf8, 0, 256), nullptr);
    std::string s;
    if (r)
        s.assign(static_cast<char *>(xcb_get_property_value(r)),
                 size_t(xcb_get_property_value_length(r)));
    free(r);
    return s;
}

// Map and damage reports for a window, wherever a window manager puts it. Windows are watched
// as they are created, before the app can map them.
void watch(xcb_window_t w)
{
    if (!watched.insert(w).second)
        return;
    const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(conn, w, XCB_CW_EVENT_MASK, &mask);
    xcb_damage_create(conn, xcb_generate_id(conn), w, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
}

void key(xcb_keycode_t code, bool press)
{
    xcb_test_fake_input(conn, press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, code, XCB_CURRENT_TIME, root,
                        0, 0, 0);
}

double ms(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

void report(const std::string &name, const char *what, std::vector<double> v)
{
    const double first = v.front();
    std::sort(v.begin(), v.end());
    std::printf("%s %-8s first=%.1f min=%.1f median=%.1f max=%.1f ms (%zu runs)\n", name.c_str(),
                what, first, v.front(), v[v.size() / 2], v.back(), v.size());
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
    const int runs = argc > 3 ? std::atoi(argv[3]) : 20;
    conn = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(conn))
        return 1;
    root = xcb_setup_roots_iterator(xcb_get_setup(conn)).data->root;
    const xcb_query_extension_reply_t *damage = xcb_get_extension_data(conn, &xcb_damage_id);
    if (!damage || !damage->present) {
        std::fprintf(stderr, "the X server has no DAMAGE extension\n");
        return 1;
    }
    damageEvent = damage->first_event;
    free(xcb_damage_query_version_reply(conn, xcb_damage_query_version(conn, 1, 1), nullptr));
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(conn, root, XCB_CW_EVENT_MASK, &mask);
    // Windows that exist already (an app may keep its overlay and only hide it), one level down
    // too for the ones a window manager has framed.
    if (auto *tree = xcb_query_tree_reply(conn, xcb_query_tree(conn, root), nullptr)) {
        const xcb_window_t *top = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
            watch(top[i]);
            if (auto *sub = xcb_query_tree_reply(conn, xcb_query_tree(conn, top[i]), nullptr)) {
                const xcb_window_t *inner = xcb_query_tree_children(sub);
                for (int j = 0; j < xcb_query_tree_children_length(sub); ++j)
                    watch(inner[j]);
                free(sub);
            }
        }
        free(tree);
    }
    xcb_flush(conn);
    const xcb_atom_t protocols = atom("WM_PROTOCOLS"), deleteWindow = atom("WM_DELETE_WINDOW");
    const xcb_keycode_t ctrl = 37, shift = 50, escape = 9, digitKey = xcb_keycode_t(9 + digit);

    std::vector<double> mapped, painted;
    for (int run = 0; run < runs; ++run) {
        key(ctrl, true);
        key(shift, true);
        xcb_flush(conn);
        const auto t0 = Clock::now();
        key(digitKey, true);
        key(digitKey, false);
        key(shift, false);
        key(ctrl, false);
        xcb_flush(conn);
        xcb_window_t found = 0;
        Clock::time_point mappedAt, paintedAt;
        bool painted_ = false;
        while (!painted_) {
            xcb_generic_event_t *e = xcb_poll_for_event(conn);
            if (!e) {
                if (xcb_connection_has_error(conn))
                    return 1;
                if (Clock::now() - t0 > std::chrono::seconds(10)) {
                    std::fprintf(stderr, "no \"%s\" painted within 10 s\n", wanted.c_str());
                    return 1;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(100));
                continue;
            }
            const auto now = Clock::now();
            const uint8_t type = e->response_type & 0x7f;
            if (type == XCB_CREATE_NOTIFY) {
                watch(reinterpret_cast<xcb_create_notify_event_t *>(e)->window);
                xcb_flush(conn);
            } else if (type == XCB_MAP_NOTIFY && !found) {
                auto *m = reinterpret_cast<xcb_map_notify_event_t *>(e);
                if (windowName(m->window) == wanted) {
                    found = m->window;
                    mappedAt = now;
                }
            } else if (type == damageEvent + XCB_DAMAGE_NOTIFY) {
                auto *d = reinterpret_cast<xcb_damage_notify_event_t *>(e);
                // Report the next change too.
                xcb_damage_subtract(conn, d->damage, XCB_NONE, XCB_NONE);
                xcb_flush(conn);
                // A window mapped before we watched it shows up with its first paint.
                if (!found && windowName(d->drawable) == wanted) {
                    found = d->drawable;
                    mappedAt = now;
                }
                if (found && d->drawable == found) {
                    paintedAt = now;
                    painted_ = true;
                }
            }
            free(e);
        }
        mapped.push_back(ms(t0, mappedAt));
        painted.push_back(ms(t0, paintedAt));
        // Close it and let the app settle before the next press.
        xcb_client_message_event_t msg{};
        msg.response_type = XCB_CLIENT_MESSAGE;
        msg.format = 32;
        msg.window = found;
        msg.type = protocols;
        msg.data.data32[0] = deleteWindow;
        msg.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(conn, 0, found, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char *>(&msg));
        key(escape, true);
        key(escape, false);
        xcb_flush(conn);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        // Drop what the closing caused; new windows still get watched.
        while (xcb_generic_event_t *e = xcb_poll_for_event(conn)) {
            if ((e->response_type & 0x7f) == XCB_CREATE_NOTIFY)
                watch(reinterpret_cast<xcb_create_notify_event_t *>(e)->window);
            else if ((e->response_type & 0x7f) == damageEvent + XCB_DAMAGE_NOTIFY)
                xcb_damage_subtract(conn, reinterpret_cast<xcb_damage_notify_event_t *>(e)->damage,
                                    XCB_NONE, XCB_NONE);
            free(e);
        }
        xcb_flush(conn);
    }
    report(wanted, "mapped", mapped);
    report(wanted, "painted", painted);
    return 0;
}
