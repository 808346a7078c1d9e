// Pointer and keys for a virtual KWin session, which has no input devices of its own: KWin's
// fake-input protocol (offered to any client when KWin runs without its permission checks).
//   vistrel_kwininput [move X Y | down | up | keys CODE[+CODE...] | wait MS]...
// Positions are in the compositor's logical coordinates; keys are Linux key codes, pressed in
// the order given and released in the reverse order (29+42+3 is Ctrl+Shift+2).
#include "fake-input-client-protocol.h"

#include <wayland-client.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t leftButton = 0x110; // BTN_LEFT
constexpr uint32_t keyboardKeySince = 4;

struct Globals
{
    org_kde_kwin_fake_input *input = nullptr;
    uint32_t version = 0;
};

void global(void *data, wl_registry *registry, uint32_t name, const char *interface,
            uint32_t version)
{
    auto *g = static_cast<Globals *>(data);
    if (!std::strcmp(interface, org_kde_kwin_fake_input_interface.name) && !g->input) {
        g->version = std::min<uint32_t>(version, org_kde_kwin_fake_input_interface.version);
        g->input = static_cast<org_kde_kwin_fake_input *>(
            wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, g->version));
    }
}

void globalRemove(void *, wl_registry *, uint32_t) {}

std::vector<uint32_t> keyCodes(const std::string &text)
{
    std::vector<uint32_t> codes;
    std::stringstream parts(text);
    std::string part;
    while (std::getline(parts, part, '+')) {
        char *end = nullptr;
        const unsigned long code = std::strtoul(part.c_str(), &end, 10);
        if (part.empty() || *end)
            return {};
        codes.push_back(uint32_t(code));
    }
    return codes;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: %s [move X Y | down | up | keys CODE[+CODE...] | wait MS]...\n",
                     argv[0]);
        return 2;
    }
    wl_display *display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "vistrel_kwininput: no Wayland display\n");
        return 1;
    }
    Globals g;
    wl_registry *registry = wl_display_get_registry(display);
    static const wl_registry_listener listener = {global, globalRemove};
    wl_registry_add_listener(registry, &listener, &g);
    wl_display_roundtrip(display);
    if (!g.input) {
        std::fprintf(stderr, "vistrel_kwininput: the compositor offers no fake input "
                             "(KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 offers it)\n");
        return 1;
    }
    org_kde_kwin_fake_input_authenticate(g.input, "Vistrel tests",
                                         "end-to-end tests drive the pointer");
    wl_display_roundtrip(display);

    int status = 0;
    for (int i = 1; i < argc && status == 0; ++i) {
        const std::string step = argv[i];
        if (step == "move" && i + 2 < argc) {
            const double x = std::atof(argv[i + 1]), y = std::atof(argv[i + 2]);
            i += 2;
            org_kde_kwin_fake_input_pointer_motion_absolute(g.input, wl_fixed_from_double(x),
                                                            wl_fixed_from_double(y));
        } else if (step == "down" || step == "up") {
            org_kde_kwin_fake_input_button(g.input, leftButton, step == "down" ? 1u : 0u);
        } else if (step == "keys" && i + 1 < argc && g.version >= keyboardKeySince) {
            const std::vector<uint32_t> codes = keyCodes(argv[++i]);
            if (codes.empty()) {
                std::fprintf(stderr, "vistrel_kwininput: cannot read the keys \"%s\"\n", argv[i]);
                status = 2;
                break;
            }
            for (uint32_t code : codes) {
                org_kde_kwin_fake_input_keyboard_key(g.input, code, 1);
                wl_display_roundtrip(display);
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
            }
            for (auto it = codes.rbegin(); it != codes.rend(); ++it) {
                org_kde_kwin_fake_input_keyboard_key(g.input, *it, 0);
                wl_display_roundtrip(display);
                std::this_thread::sleep_for(std::chrono::milliseconds(30));
            }
        } else if (step == "wait" && i + 1 < argc) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[++i])));
            continue;
        } else {
            std::fprintf(stderr, "vistrel_kwininput: cannot read \"%s\"%s\n", step.c_str(),
                         step == "keys" ? " (this KWin takes no keys)" : "");
            status = 2;
            break;
        }
        wl_display_roundtrip(display);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    org_kde_kwin_fake_input_destroy(g.input);
    wl_registry_destroy(registry);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return status;
}
