#include "platform/X11Desktop.h"

#include "platform/X11Connection.h"

#include <QGuiApplication>
#include <QScreen>
#include <QThread>
#include <QWindow>

#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace vistrel {

using x11::atom;
using x11::rootOf;
using x11::toolkitConnection;
using x11::XcbReply;

// --- screens and pictures --------------------------------------------------------------------

X11ScreenSource::X11ScreenSource()
    : m_conn(toolkitConnection()), m_root(rootOf(m_conn)), m_shmSpare(std::make_shared<ShmSpare>())
{
    if (m_conn) {
        m_stackingAtom = atom(m_conn, "_NET_CLIENT_LIST_STACKING");
        m_extentsAtom = atom(m_conn, "_NET_FRAME_EXTENTS");
        m_pidAtom = atom(m_conn, "_NET_WM_PID");
        readServerLayout();
    }
}

quint32 X11ScreenSource::displayIDFor(const QScreen *screen)
{
    return vistrel::displayIDFor(screen);
}

QList<ScreenInfo> X11ScreenSource::screens() const
{
    return toolkitScreens();
}

quint32 X11ScreenSource::primaryDisplayId() const
{
    return toolkitMainDisplayID();
}

qint64 X11ScreenSource::ownPid() const
{
    return qint64(::getpid());
}

Result<ScreenLayout> X11ScreenSource::screenLayout()
{
    if (!m_conn)
        return CaptureError::failed(
            QCoreApplication::translate("X11ScreenSource", "No connection to the X server."));
    ScreenLayout layout;
    layout.displays = toolkitDisplays();

    auto listCookie = xcb_get_property(m_conn, 0, m_root, m_stackingAtom, XCB_ATOM_WINDOW, 0, 4096);
    XcbReply<xcb_get_property_reply_t> list(xcb_get_property_reply(m_conn, listCookie, nullptr));
    if (!list || list->format != 32)
        return layout; // no EWMH window manager: displays only

    const int n = xcb_get_property_value_length(list.get()) / 4;
    const auto *ids = static_cast<const xcb_window_t *>(xcb_get_property_value(list.get()));

    struct Pending
    {
        xcb_window_t id;
        xcb_get_geometry_cookie_t geometry;
        xcb_translate_coordinates_cookie_t position;
        xcb_get_window_attributes_cookie_t attributes;
        xcb_get_property_cookie_t extents, pid;
    };
    std::vector<Pending> pending;
    pending.reserve(n);
    // Bottom-to-top in the property; we want front-most first. All requests go out before
    // the first reply is read, so the list costs one round trip.
    for (int i = n - 1; i >= 0; --i) {
        const xcb_window_t w = ids[i];
        pending.push_back({w, xcb_get_geometry(m_conn, w),
                           xcb_translate_coordinates(m_conn, w, m_root, 0, 0),
                           xcb_get_window_attributes(m_conn, w),
                           xcb_get_property(m_conn, 0, w, m_extentsAtom, XCB_ATOM_CARDINAL, 0, 4),
                           xcb_get_property(m_conn, 0, w, m_pidAtom, XCB_ATOM_CARDINAL, 0, 1)});
    }
    for (const Pending &p : pending) {
        XcbReply<xcb_get_geometry_reply_t> geo(xcb_get_geometry_reply(m_conn, p.geometry, nullptr));
        XcbReply<xcb_translate_coordinates_reply_t> pos(
            xcb_translate_coordinates_reply(m_conn, p.position, nullptr));
        XcbReply<xcb_get_window_attributes_reply_t> attrs(
            xcb_get_window_attributes_reply(m_conn, p.attributes, nullptr));
        XcbReply<xcb_get_property_reply_t> ext(xcb_get_property_reply(m_conn, p.extents, nullptr));
        XcbReply<xcb_get_property_reply_t> pid(xcb_get_property_reply(m_conn, p.pid, nullptr));
        if (!geo || !pos || !attrs)
            continue; // the window went away while we asked

        QRect px(pos->dst_x, pos->dst_y, geo->width, geo->height);
        if (ext && ext->format == 32 && xcb_get_property_value_length(ext.get()) >= 16) {
            const auto *e = static_cast<const quint32 *>(xcb_get_property_value(ext.get()));
            px.adjust(-int(e[0]), -int(e[2]), int(e[1]), int(e[3])); // left, right, top, bottom
        }
        WindowInfo w;
        w.windowID = p.id;
        w.pixelFrame = px;
        w.onScreen = attrs->map_state == XCB_MAP_STATE_VIEWABLE;
        if (pid && pid->format == 32 && xcb_get_property_value_length(pid.get()) >= 4)
            w.ownerPid = *static_cast<const quint32 *>(xcb_get_property_value(pid.get()));
        // Device pixels to points through the display under the window's centre.
        w.frame = QRectF(px);
        for (const DisplayInfo &d : layout.displays) {
            const QRect dpx(d.pixelOrigin, (d.frame.size() * d.scale).toSize());
            if (dpx.contains(px.center())) {
                const QPointF tl =
                    d.frame.topLeft() + QPointF(px.topLeft() - d.pixelOrigin) / d.scale;
                w.frame = QRectF(tl, QSizeF(px.size()) / d.scale);
                break;
            }
        }
        if (w.onScreen)
            layout.windows.append(w);
    }
    return layout;
}

namespace {

// A shared-memory segment the X server writes a picture into: no copy through the socket,
// and for the usual 32-bit layout the picture is used where it lies, with no copy at all.
// When the last picture over it goes, it is kept as the warm spare for the next grab if that
// slot is free (see ShmSpare), and freed otherwise.
class ShmSegment
{
public:
    static std::unique_ptr<ShmSegment> attach(xcb_connection_t *conn, size_t bytes)
    {
        const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (id < 0)
            return nullptr;
        std::unique_ptr<ShmSegment> segment;
        void *addr = shmat(id, nullptr, 0);
        if (addr != reinterpret_cast<void *>(-1)) {
            const xcb_shm_seg_t seg = xcb_generate_id(conn);
            if (xcb_generic_error_t *e =
                    xcb_request_check(conn, xcb_shm_attach_checked(conn, seg, uint32_t(id), 0))) {
                std::free(e); // a remote server: fall back to a plain reply
                shmdt(addr);
            } else {
                segment.reset(new ShmSegment(conn, seg, static_cast<uchar *>(addr), bytes));
            }
        }
        shmctl(id, IPC_RMID, nullptr); // freed with the last detach, also if we crash
        return segment;
    }
    ~ShmSegment()
    {
        xcb_shm_detach(m_conn, m_seg);
        xcb_flush(m_conn);
        shmdt(m_addr);
    }
    ShmSegment(const ShmSegment &) = delete;
    ShmSegment &operator=(const ShmSegment &) = delete;

    uchar *data() const { return m_addr; }
    xcb_shm_seg_t id() const { return m_seg; }
    size_t size() const { return m_size; }

    // Where the segment goes when it is done with.
    void returnTo(const std::shared_ptr<ShmSpare> &spare) { m_spare = spare; }

    // A picture over the segment itself; the segment lives as long as the picture's data.
    static QImage wrap(std::unique_ptr<ShmSegment> segment, QSize size, qsizetype stride)
    {
        uchar *data = segment->data();
        return QImage(
            data, size.width(), size.height(), stride, QImage::Format_RGB32,
            [](void *info) {
                release(std::unique_ptr<ShmSegment>(static_cast<ShmSegment *>(info)));
            },
            segment.release());
    }
    static void release(std::unique_ptr<ShmSegment> segment);

private:
    ShmSegment(xcb_connection_t *conn, xcb_shm_seg_t seg, uchar *addr, size_t size)
        : m_conn(conn), m_addr(addr), m_seg(seg), m_size(size)
    {
    }

    xcb_connection_t *m_conn;
    uchar *m_addr;
    xcb_shm_seg_t m_seg;
    size_t m_size;
    std::weak_ptr<ShmSpare> m_spare;
};

} // namespace

// One segment kept between grabs. A fresh segment's first touch costs page faults on the
// hot-key path (tens of milliseconds for a full screen on a virtual machine); a reused one
// is already mapped on both sides. Only one is kept, so its memory is counted once.
// Pictures may be freed on other threads (an encoder's), hence the lock.
struct ShmSpare
{
    std::mutex lock;
    std::unique_ptr<ShmSegment> segment;

    // The spare when it fits `bytes` without wasting more than half of itself, else nothing.
    std::unique_ptr<ShmSegment> take(size_t bytes)
    {
        const std::lock_guard guard(lock);
        if (segment && segment->size() >= bytes && segment->size() / 2 < bytes)
            return std::move(segment);
        return nullptr;
    }
};

namespace {

void ShmSegment::release(std::unique_ptr<ShmSegment> segment)
{
    if (auto spare = segment->m_spare.lock()) {
        const std::lock_guard guard(spare->lock);
        if (!spare->segment || spare->segment->size() < segment->size())
            std::swap(spare->segment, segment); // the larger one stays warm
    }
    // `segment` is now the one not kept, if any, and is freed here.
}

} // namespace

void X11ScreenSource::readServerLayout()
{
    const xcb_setup_t *setup = xcb_get_setup(m_conn);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    if (!it.rem)
        return;
    const xcb_screen_t *screen = it.data;
    m_depth = screen->root_depth;
    m_layout.msbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
        if (f.data->depth == m_depth) {
            m_layout.bitsPerPixel = f.data->bits_per_pixel;
            m_scanlinePad = f.data->scanline_pad;
        }
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem; xcb_depth_next(&d))
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
            if (v.data->visual_id == screen->root_visual) {
                m_layout.redMask = v.data->red_mask;
                m_layout.greenMask = v.data->green_mask;
                m_layout.blueMask = v.data->blue_mask;
            }
    const xcb_query_extension_reply_t *shm = xcb_get_extension_data(m_conn, &xcb_shm_id);
    m_hasShm = shm && shm->present;
}

Result<QImage> X11ScreenSource::grabRoot(QRect rect)
{
    if (!m_conn)
        return CaptureError::failed(
            QCoreApplication::translate("X11ScreenSource", "No connection to the X server."));
    if (!m_layout.readable())
        return CaptureError::failed(
            QCoreApplication::translate(
                "X11ScreenSource",
                "Vistrel cannot read this screen's pixel format (depth %1, %2 bits per "
                "pixel).")
                .arg(m_depth)
                .arg(m_layout.bitsPerPixel));
    auto geoCookie = xcb_get_geometry(m_conn, m_root);
    XcbReply<xcb_get_geometry_reply_t> geo(xcb_get_geometry_reply(m_conn, geoCookie, nullptr));
    if (!geo)
        return CaptureError::failed(QCoreApplication::translate(
            "X11ScreenSource", "The X server did not describe its screen."));
    const QRect requested = rect;
    rect = rect.intersected(QRect(0, 0, geo->width, geo->height));
    if (rect.isEmpty())
        return CaptureError::failed(QCoreApplication::translate(
            "X11ScreenSource", "The area to capture lies outside the screen."));

    const QPoint at = rect.topLeft() - requested.topLeft();
    const int pad = std::max(m_scanlinePad, 8);
    const qsizetype stride =
        (qsizetype(rect.width()) * m_layout.bitsPerPixel + pad - 1) / pad * pad / 8;
    const auto refused = [](xcb_generic_error_t *error) {
        const int code = error ? error->error_code : 0;
        std::free(error);
        return CaptureError::failed(
            QCoreApplication::translate("X11ScreenSource",
                                        "The X server refused to hand over the screen (error %1).")
                .arg(code));
    };
    auto blank = [&]() -> QImage {
        QImage out(requested.size(), QImage::Format_RGB32);
        if (!out.isNull() && rect != requested)
            out.fill(Qt::black); // parts beyond the screen's edge
        return out;
    };

    if (m_hasShm) {
        const size_t bytes = size_t(stride) * size_t(rect.height());
        std::unique_ptr<ShmSegment> segment = m_shmSpare->take(bytes);
        if (!segment)
            segment = ShmSegment::attach(m_conn, bytes);
        if (segment) {
            segment->returnTo(m_shmSpare);
            auto cookie = xcb_shm_get_image(m_conn, m_root, int16_t(rect.x()), int16_t(rect.y()),
                                            uint16_t(rect.width()), uint16_t(rect.height()), ~0U,
                                            XCB_IMAGE_FORMAT_Z_PIXMAP, segment->id(), 0);
            xcb_generic_error_t *error = nullptr;
            XcbReply<xcb_shm_get_image_reply_t> reply(
                xcb_shm_get_image_reply(m_conn, cookie, &error));
            if (!reply) {
                ShmSegment::release(std::move(segment));
                return refused(error);
            }
            if (rect == requested && m_layout.isPlainRgb32()) {
                makeOpaque(segment->data(), stride, rect.size());
                return ShmSegment::wrap(std::move(segment), rect.size(), stride);
            }
            QImage out = blank();
            if (out.isNull())
                return CaptureError::outOfMemory();
            copyPixels(segment->data(), int(stride), m_layout, out, at, rect.size());
            ShmSegment::release(std::move(segment));
            return out;
        }
    }

    auto cookie =
        xcb_get_image(m_conn, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, int16_t(rect.x()),
                      int16_t(rect.y()), uint16_t(rect.width()), uint16_t(rect.height()), ~0U);
    xcb_generic_error_t *error = nullptr;
    XcbReply<xcb_get_image_reply_t> reply(xcb_get_image_reply(m_conn, cookie, &error));
    if (!reply) {
        if (!error)
            return CaptureError::outOfMemory(); // the reply itself could not be allocated
        return refused(error);
    }
    const int length = xcb_get_image_data_length(reply.get());
    if (length < stride * rect.height())
        return CaptureError::failed(
            QCoreApplication::translate("X11ScreenSource", "The X server sent a short picture."));
    QImage out = blank();
    if (out.isNull())
        return CaptureError::outOfMemory();
    copyPixels(xcb_get_image_data(reply.get()), int(stride), m_layout, out, at, rect.size());
    return out;
}

bool X11ScreenSource::canReadScreen()
{
    // The whole screen, not one pixel: the picture's shared memory is dropped at once and
    // kept warm for the first capture, whose grab would otherwise fault in fresh pages.
    auto geoCookie = xcb_get_geometry(m_conn, m_root);
    XcbReply<xcb_get_geometry_reply_t> geo(xcb_get_geometry_reply(m_conn, geoCookie, nullptr));
    const QRect whole = geo ? QRect(0, 0, geo->width, geo->height) : QRect(0, 0, 1, 1);
    return grabRoot(whole).ok();
}

QRect X11ScreenSource::devicePixelFrame(const QWindow *window)
{
    // The toolkit keeps a screen's top-left at its device position and scales what lies beyond.
    const QScreen *screen = window->screen();
    const qreal ratio = window->devicePixelRatio();
    const QPoint origin = screen ? screen->geometry().topLeft() : QPoint();
    const QRect frame = window->frameGeometry();
    return QRect(origin + (frame.topLeft() - origin) * ratio, frame.size() * ratio);
}

Result<QImage> X11ScreenSource::grabDisplayPixels(const DisplayInfo &display,
                                                  const QRect &pixelRect)
{
    const QRect rootRect = pixelRect.translated(display.pixelOrigin);
    // X11 cannot leave a window out of a root grab: those of our windows that lie over the
    // area step aside for the moment of the grab. Every top-level window of this process is
    // ours, listed by the window manager or not (toasts are not). Overlays stay: they hold the
    // keyboard, and one is only up while no grab runs, except a colour picker's. So does a
    // scrolling capture's panel, whose rows are left out of its frames.
    const OwnWindowsAside aside(
        [&](const QWindow *w) { return devicePixelFrame(w).intersects(rootRect); });
    if (aside.any()) {
        XcbReply<xcb_get_input_focus_reply_t> sync(
            xcb_get_input_focus_reply(m_conn, xcb_get_input_focus(m_conn), nullptr));
        // Other clients repaint what our windows uncovered on their own schedule.
        QThread::msleep(80);
    }
    return grabRoot(rootRect);
}

Result<QImage> X11ScreenSource::grabWindowPixels(const WindowInfo &window, const QSize &pixelSize)
{
    auto image = grabRoot(QRect(window.pixelFrame.topLeft(), window.pixelFrame.size()));
    if (!image)
        return image;
    if (image->size() == pixelSize)
        return image;
    return image->scaled(pixelSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace vistrel
