// Loaded into xdg-desktop-portal-wlr (LD_PRELOAD) by the Wayland recording flow only. The
// headless compositor renders without a GPU and so offers its screen frames in plain memory
// only; the portal backend (0.7) refuses to share a screen unless the compositor also names a
// DMA-BUF format, although it then shares from plain memory anyway where no DMA-BUF can be
// made. This names one for each frame, the plain-memory frame's own: everything else (the
// portal, its PipeWire stream, the compositor's frames) stays the real thing.
#include <wayland-client.h>

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>

namespace {

// The screencopy frame's events, in the protocol's order.
using Buffer = void (*)(void *, wl_proxy *, uint32_t format, uint32_t width, uint32_t height,
                        uint32_t stride);
using LinuxDmabuf = void (*)(void *, wl_proxy *, uint32_t format, uint32_t width, uint32_t height);
constexpr int frameEvents = 7, bufferEvent = 0, linuxDmabufEvent = 5;

void (*const *original)(void) = nullptr; // the backend's one listener for every frame
void (*wrapped[frameEvents])(void);

uint32_t drmFormat(uint32_t shmFormat)
{
    // wl_shm's two first formats have numbers of their own; the others are DRM's codes.
    if (shmFormat == 0)
        return 0x34325241; // AR24
    if (shmFormat == 1)
        return 0x34325258; // XR24
    return shmFormat;
}

void buffer(void *data, wl_proxy *frame, uint32_t format, uint32_t width, uint32_t height,
            uint32_t stride)
{
    reinterpret_cast<LinuxDmabuf>(original[linuxDmabufEvent])(data, frame, drmFormat(format), width,
                                                              height);
    reinterpret_cast<Buffer>(original[bufferEvent])(data, frame, format, width, height, stride);
}

// The backend runs grim for its screenshots: grim reads its frames unchanged.
[[gnu::constructor]] void keepToTheBackend()
{
    unsetenv("LD_PRELOAD");
}

} // namespace

extern "C" int wl_proxy_add_listener(wl_proxy *proxy, void (**implementation)(void), void *data)
{
    using Real = int (*)(wl_proxy *, void (**)(void), void *);
    static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "wl_proxy_add_listener"));
    if (std::strcmp(wl_proxy_get_class(proxy), "zwlr_screencopy_frame_v1") != 0)
        return real(proxy, implementation, data);
    if (!original) {
        original = implementation;
        std::memcpy(wrapped, implementation, sizeof(wrapped));
        wrapped[bufferEvent] = reinterpret_cast<void (*)(void)>(&buffer);
    }
    return real(proxy, implementation == original ? wrapped : implementation, data);
}
