#include "platform/WaylandExport.h"

#include <QGuiApplication>
#include <QWindow>

#ifdef VISTREL_XDG_FOREIGN
#include <QtGui/qpa/qplatformnativeinterface.h>

#include <wayland-client.h>

#include "xdg-foreign-unstable-v1-client-protocol.h"
#include "xdg-foreign-unstable-v2-client-protocol.h"

#include <cstring>
#endif

namespace vistrel {

#ifdef VISTREL_XDG_FOREIGN

namespace {

// The exporter on the toolkit's own connection, on a queue of ours so the toolkit's dispatching
// never sees our events.
struct Exporter
{
    wl_display *display = nullptr;
    wl_event_queue *queue = nullptr;
    zxdg_exporter_v2 *exporter = nullptr;
    zxdg_exporter_v1 *exporterV1 = nullptr; // GNOME 43 has only this one
};

void global(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t)
{
    auto *e = static_cast<Exporter *>(data);
    if (std::strcmp(interface, zxdg_exporter_v2_interface.name) == 0 && !e->exporter)
        e->exporter = static_cast<zxdg_exporter_v2 *>(
            wl_registry_bind(registry, name, &zxdg_exporter_v2_interface, 1));
    if (std::strcmp(interface, zxdg_exporter_v1_interface.name) == 0 && !e->exporterV1)
        e->exporterV1 = static_cast<zxdg_exporter_v1 *>(
            wl_registry_bind(registry, name, &zxdg_exporter_v1_interface, 1));
}

void globalRemove(void *, wl_registry *, uint32_t) {}

const wl_registry_listener registryListener{global, globalRemove};

Exporter *exporter()
{
    static Exporter *made = [] {
        auto *e = new Exporter;
        QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
        if (!native || !QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
            return e;
        e->display = static_cast<wl_display *>(native->nativeResourceForIntegration("wl_display"));
        if (!e->display)
            return e;
        e->queue = wl_display_create_queue(e->display);
        auto *wrapper = static_cast<wl_display *>(wl_proxy_create_wrapper(e->display));
        wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(wrapper), e->queue);
        wl_registry *registry = wl_display_get_registry(wrapper);
        wl_proxy_wrapper_destroy(wrapper);
        wl_registry_add_listener(registry, &registryListener, e);
        wl_display_roundtrip_queue(e->display, e->queue);
        wl_registry_destroy(registry);
        return e;
    }();
    return made;
}

void exportedHandle(void *data, zxdg_exported_v2 *, const char *handle)
{
    *static_cast<QString *>(data) = QString::fromUtf8(handle);
}

void exportedHandleV1(void *data, zxdg_exported_v1 *, const char *handle)
{
    *static_cast<QString *>(data) = QString::fromUtf8(handle);
}

const zxdg_exported_v2_listener exportedListener{exportedHandle};
const zxdg_exported_v1_listener exportedListenerV1{exportedHandleV1};

} // namespace

struct WaylandWindowExport::Exported
{
    zxdg_exported_v2 *object = nullptr;
    zxdg_exported_v1 *objectV1 = nullptr;
};

std::shared_ptr<WaylandWindowExport> WaylandWindowExport::of(QWindow *window)
{
    Exporter *e = exporter();
    if (!window || (!e->exporter && !e->exporterV1))
        return nullptr;
    auto *surface = static_cast<wl_surface *>(
        QGuiApplication::platformNativeInterface()->nativeResourceForWindow("surface", window));
    if (!surface)
        return nullptr;
    QString handle;
    auto *exported = new Exported;
    if (e->exporter) {
        exported->object = zxdg_exporter_v2_export_toplevel(e->exporter, surface);
        zxdg_exported_v2_add_listener(exported->object, &exportedListener, &handle);
    } else {
        exported->objectV1 = zxdg_exporter_v1_export(e->exporterV1, surface);
        zxdg_exported_v1_add_listener(exported->objectV1, &exportedListenerV1, &handle);
    }
    // The handle comes with the compositor's next answer.
    for (int i = 0; i < 3 && handle.isEmpty(); ++i)
        if (wl_display_roundtrip_queue(e->display, e->queue) < 0)
            break;
    auto made = std::shared_ptr<WaylandWindowExport>(new WaylandWindowExport(exported, handle));
    return handle.isEmpty() ? nullptr : made;
}

WaylandWindowExport::~WaylandWindowExport()
{
    if (m_exported && m_exported->object)
        zxdg_exported_v2_destroy(m_exported->object);
    if (m_exported && m_exported->objectV1)
        zxdg_exported_v1_destroy(m_exported->objectV1);
    if (m_exported && (m_exported->object || m_exported->objectV1))
        wl_display_flush(exporter()->display);
    delete m_exported;
}

#else

struct WaylandWindowExport::Exported
{
};

std::shared_ptr<WaylandWindowExport> WaylandWindowExport::of(QWindow *)
{
    return nullptr;
}

WaylandWindowExport::~WaylandWindowExport()
{
    delete m_exported;
}

#endif

WaylandWindowExport::WaylandWindowExport(Exported *exported, QString handle)
    : m_exported(exported), m_handle(std::move(handle))
{
}

} // namespace vistrel
