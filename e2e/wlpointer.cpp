// A pointer for a headless Wayland compositor, which has no input devices of its own: a
// virtual pointer (the wlr virtual-pointer protocol) that moves, presses and releases as told.
//   vistrel_wlpointer WIDTH HEIGHT [move X Y | down | up | wait MS]...
// Positions are in the WIDTH×HEIGHT layout of the compositor's outputs.
#include <wayland-client.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

extern const wl_interface virtualPointerInterface;

namespace {

// The two interfaces, as the protocol defines them (requests only; neither has events).
const wl_interface *createTypes[] = {&wl_seat_interface, &virtualPointerInterface};
const wl_interface *noTypes[5] = {};
const wl_message managerRequests[] = {
    {"create_virtual_pointer", "?on", createTypes},
    {"destroy", "", noTypes},
};
const wl_message pointerRequests[] = {
    {"motion", "uff", noTypes},   {"motion_absolute", "uuuuu", noTypes},
    {"button", "uuu", noTypes},   {"axis", "uuf", noTypes},
    {"frame", "", noTypes},       {"axis_source", "u", noTypes},
    {"axis_stop", "uu", noTypes}, {"axis_discrete", "uufi", noTypes},
    {"destroy", "", noTypes},
};
const wl_interface managerInterface = {
    "zwlr_virtual_pointer_manager_v1", 1, 2, managerRequests, 0, nullptr};

enum Request : uint32_t { MotionAbsolute = 1, Button = 2, Frame = 4, Destroy = 8 };
constexpr uint32_t leftButton = 0x110; // BTN_LEFT

struct Globals
{
    wl_seat *seat = nullptr;
    wl_proxy *manager = nullptr;
};

void global(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t)
{
    auto *g = static_cast<Globals *>(data);
    if (!std::strcmp(interface, wl_seat_interface.name) && !g->seat)
        g->seat = static_cast<wl_seat *>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (!std::strcmp(interface, managerInterface.name))
        g->manager =
            static_cast<wl_proxy *>(wl_registry_bind(registry, name, &managerInterface, 1));
}

void globalRemove(void *, wl_registry *, uint32_t) {}

uint32_t now()
{
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace

const wl_interface virtualPointerInterface = {"zwlr_virtual_pointer_v1", 1, 9,
                                              pointerRequests,           0, nullptr};

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s WIDTH HEIGHT [move X Y | down | up | wait MS]...\n",
                     argv[0]);
        return 2;
    }
    const uint32_t width = uint32_t(std::atoi(argv[1])), height = uint32_t(std::atoi(argv[2]));
    wl_display *display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "vistrel_wlpointer: no Wayland display\n");
        return 1;
    }
    Globals g;
    wl_registry *registry = wl_display_get_registry(display);
    static const wl_registry_listener listener = {global, globalRemove};
    wl_registry_add_listener(registry, &listener, &g);
    wl_display_roundtrip(display);
    if (!g.manager) {
        std::fprintf(stderr, "vistrel_wlpointer: the compositor offers no virtual pointer\n");
        return 1;
    }
    wl_proxy *pointer =
        wl_proxy_marshal_constructor(g.manager, 0, &virtualPointerInterface, g.seat, nullptr);
    wl_display_roundtrip(display);
    // Clients learn of the new pointer a moment after it appears.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    for (int i = 3; i < argc; ++i) {
        const std::string step = argv[i];
        if (step == "move" && i + 2 < argc) {
            const uint32_t x = uint32_t(std::atoi(argv[i + 1])),
                           y = uint32_t(std::atoi(argv[i + 2]));
            i += 2;
            wl_proxy_marshal(pointer, MotionAbsolute, now(), x, y, width, height);
        } else if (step == "down" || step == "up") {
            wl_proxy_marshal(pointer, Button, now(), leftButton, step == "down" ? 1u : 0u);
        } else if (step == "wait" && i + 1 < argc) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[++i])));
            continue;
        } else {
            std::fprintf(stderr, "vistrel_wlpointer: cannot read \"%s\"\n", step.c_str());
            return 2;
        }
        wl_proxy_marshal(pointer, Frame);
        wl_display_roundtrip(display);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    wl_proxy_marshal(pointer, Destroy);
    wl_proxy_destroy(pointer);
    wl_proxy_destroy(g.manager); // its destroy request is only needed by a long-lived client
    if (g.seat)
        wl_seat_destroy(g.seat);
    wl_registry_destroy(registry);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
