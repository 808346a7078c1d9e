#include "platform/X11Recorder.h"

#include "platform/PixelFormat.h"
#include "platform/X11Connection.h"

#include <QCoreApplication>
#include <QPainter>

#include <xcb/damage.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>
#include <xcb/xinput.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <vector>

namespace vistrel {

using x11::XcbReply;
using Clock = std::chrono::steady_clock;

namespace {

// How long a click's ring stays, fading, and how far it grows (in points).
constexpr auto kRingLife = std::chrono::milliseconds(600);
constexpr qreal kRingStart = 6, kRingEnd = 26;
// Buffers handed out to the sink and taken back once it lets go of them.
constexpr size_t kPoolSize = 6;

// A segment of shared memory the server writes the area into.
class Segment
{
public:
    ~Segment()
    {
        if (m_conn && m_id)
            xcb_shm_detach(m_conn, m_id);
        if (m_addr)
            shmdt(m_addr);
    }
    bool attach(xcb_connection_t *conn, size_t bytes)
    {
        const int shmId = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (shmId < 0)
            return false;
        void *addr = shmat(shmId, nullptr, 0);
        if (addr != reinterpret_cast<void *>(-1)) {
            const xcb_shm_seg_t seg = xcb_generate_id(conn);
            if (xcb_generic_error_t *error = xcb_request_check(
                    conn, xcb_shm_attach_checked(conn, seg, uint32_t(shmId), 0))) {
                std::free(error);
                shmdt(addr);
            } else {
                m_conn = conn;
                m_id = seg;
                m_addr = static_cast<uchar *>(addr);
            }
        }
        shmctl(shmId, IPC_RMID, nullptr); // freed with the last detach, also if we crash
        return m_addr != nullptr;
    }
    xcb_shm_seg_t id() const { return m_id; }
    const uchar *data() const { return m_addr; }

private:
    xcb_connection_t *m_conn = nullptr;
    xcb_shm_seg_t m_id = 0;
    uchar *m_addr = nullptr;
};

// Frames handed to the sink, reused once the sink (and whoever it passed them on to) let go.
class FramePool
{
public:
    explicit FramePool(QSize size) : m_size(size) {}
    // A picture only the pool holds: written into without a copy.
    QImage *take()
    {
        for (QImage &image : m_images)
            if (image.isDetached())
                return &image;
        m_images.emplace_back(m_size, QImage::Format_RGB32);
        if (m_images.back().isNull()) {
            m_images.pop_back();
            return nullptr;
        }
        if (m_images.size() > kPoolSize) {
            // All held elsewhere (a slow consumer): this one is not kept.
            m_spare = m_images.back();
            m_images.pop_back();
            return &m_spare;
        }
        return &m_images.back();
    }

private:
    QSize m_size;
    std::vector<QImage> m_images;
    QImage m_spare;
};

struct Ring
{
    QPoint at; // root pixels
    Clock::time_point since;
};

struct Cursor
{
    QPoint topLeft; // root pixels
    QImage image;
    quint32 serial = 0;
    QRect rect() const { return QRect(topLeft, image.size()); }
};

// One recording's connection and what it tracks between ticks.
class Grabber
{
public:
    Grabber(const RecordingRequest &request, QRect rootRect)
        : m_request(request), m_rootRect(rootRect), m_pool(rootRect.size())
    {
    }
    ~Grabber()
    {
        m_segment.reset();
        if (m_conn)
            xcb_disconnect(m_conn);
    }

    // Empty when the connection is ready, the reason otherwise.
    QString open(const QByteArray &displayName);
    // Reads what the server reported since the last tick: whether the area changed, or the
    // reason the recording cannot go on.
    QString poll(Clock::time_point now, bool &changed);
    // The area as it is now, with the pointer and rings drawn in.
    QString grab(Clock::time_point now, QImage &frame);

private:
    void handle(xcb_generic_event_t *event, Clock::time_point now, bool &changed);
    bool readCursor();
    QString grabFailed(xcb_generic_error_t *error);
    QRect rootSize();

    RecordingRequest m_request;
    QRect m_rootRect;
    FramePool m_pool;
    xcb_connection_t *m_conn = nullptr;
    xcb_window_t m_root = 0;
    QSize m_screenSize;
    PixelLayout m_layout;
    int m_scanlinePad = 32;
    qsizetype m_stride = 0;
    std::unique_ptr<Segment> m_segment;
    quint8 m_damageEvent = 0;
    xcb_damage_damage_t m_damage = 0;
    quint8 m_inputOpcode = 0;
    bool m_hasCursor = false;
    Cursor m_cursor;
    std::vector<Ring> m_rings;
};

QString Grabber::open(const QByteArray &displayName)
{
    int screenNumber = 0;
    m_conn = xcb_connect(displayName.isEmpty() ? nullptr : displayName.constData(), &screenNumber);
    if (!m_conn || xcb_connection_has_error(m_conn))
        return QCoreApplication::translate("X11FrameSource",
                                           "Vistrel cannot open the X display to record it.");
    const xcb_setup_t *setup = xcb_get_setup(m_conn);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    if (!it.rem)
        return QCoreApplication::translate("X11FrameSource",
                                           "Vistrel cannot open the X display to record it.");
    const xcb_screen_t *screen = it.data;
    m_root = screen->root;
    m_screenSize = QSize(screen->width_in_pixels, screen->height_in_pixels);

    // The same pixel formats a screenshot reads (depth 16, 24 and 30).
    const int depth = screen->root_depth;
    m_layout.msbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
        if (f.data->depth == depth) {
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
    if (!m_layout.readable())
        return QCoreApplication::translate(
                   "X11FrameSource",
                   "Vistrel cannot record this screen's pixel format (depth %1, %2 bits per "
                   "pixel).")
            .arg(depth)
            .arg(m_layout.bitsPerPixel);
    if (!QRect(QPoint(), m_screenSize).contains(m_rootRect))
        return QCoreApplication::translate("X11FrameSource",
                                           "The area to record lies outside the screen.");
    const int pad = std::max(m_scanlinePad, 8);
    m_stride = (qsizetype(m_rootRect.width()) * m_layout.bitsPerPixel + pad - 1) / pad * pad / 8;

    // A size change of the screen ends the recording rather than recording a wrong area.
    const uint32_t rootEvents = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(m_conn, m_root, XCB_CW_EVENT_MASK, &rootEvents);

    const xcb_query_extension_reply_t *shm = xcb_get_extension_data(m_conn, &xcb_shm_id);
    if (shm && shm->present) {
        m_segment = std::make_unique<Segment>();
        if (!m_segment->attach(m_conn, size_t(m_stride) * size_t(m_rootRect.height())))
            m_segment.reset(); // a server on another machine: plain requests instead
    }

    // Without damage reports every tick is taken.
    const xcb_query_extension_reply_t *damage = xcb_get_extension_data(m_conn, &xcb_damage_id);
    if (damage && damage->present) {
        XcbReply<xcb_damage_query_version_reply_t> version(xcb_damage_query_version_reply(
            m_conn, xcb_damage_query_version(m_conn, 1, 1), nullptr));
        if (version) {
            m_damageEvent = damage->first_event;
            m_damage = xcb_generate_id(m_conn);
            xcb_damage_create(m_conn, m_damage, m_root, XCB_DAMAGE_REPORT_LEVEL_DELTA_RECTANGLES);
        }
    }

    const xcb_query_extension_reply_t *fixes = xcb_get_extension_data(m_conn, &xcb_xfixes_id);
    if (m_request.showPointer && fixes && fixes->present) {
        XcbReply<xcb_xfixes_query_version_reply_t> version(xcb_xfixes_query_version_reply(
            m_conn, xcb_xfixes_query_version(m_conn, 4, 0), nullptr));
        m_hasCursor = version && version->major_version >= 1;
    }

    const xcb_query_extension_reply_t *input = xcb_get_extension_data(m_conn, &xcb_input_id);
    if (m_request.markClicks && input && input->present) {
        // Raw events reach every client that asks on the root since version 2.1.
        XcbReply<xcb_input_xi_query_version_reply_t> version(xcb_input_xi_query_version_reply(
            m_conn, xcb_input_xi_query_version(m_conn, 2, 2), nullptr));
        if (version && (version->major_version > 2 ||
                        (version->major_version == 2 && version->minor_version >= 1))) {
            struct
            {
                xcb_input_event_mask_t head;
                uint32_t mask;
            } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS};
            xcb_input_xi_select_events(m_conn, m_root, 1, &mask.head);
            m_inputOpcode = input->major_opcode;
        }
    }
    if (m_hasCursor)
        readCursor();
    xcb_flush(m_conn);
    return xcb_connection_has_error(m_conn)
               ? QCoreApplication::translate("X11FrameSource",
                                             "The connection to the X server was lost.")
               : QString();
}

QString Grabber::poll(Clock::time_point now, bool &changed)
{
    bool damaged = false;
    while (xcb_generic_event_t *event = xcb_poll_for_event(m_conn)) {
        const quint8 type = event->response_type & 0x7f;
        if (type == XCB_CONFIGURE_NOTIFY) {
            const auto *configure = reinterpret_cast<xcb_configure_notify_event_t *>(event);
            if (configure->window == m_root &&
                QSize(configure->width, configure->height) != m_screenSize) {
                std::free(event);
                return QCoreApplication::translate("X11FrameSource",
                                                   "The display changed size while recording.");
            }
        } else if (m_damage && type == m_damageEvent + XCB_DAMAGE_NOTIFY) {
            const auto *notify = reinterpret_cast<xcb_damage_notify_event_t *>(event);
            damaged = true;
            const QRect area(notify->area.x, notify->area.y, notify->area.width,
                             notify->area.height);
            if (area.intersects(m_rootRect))
                changed = true;
        } else {
            handle(event, now, changed);
        }
        std::free(event);
    }
    if (xcb_connection_has_error(m_conn))
        return QCoreApplication::translate("X11FrameSource",
                                           "The connection to the X server was lost.");
    if (!m_damage)
        changed = true;
    if (damaged) // reported again from here on
        xcb_damage_subtract(m_conn, m_damage, XCB_NONE, XCB_NONE);

    if (m_hasCursor) {
        const QRect before = m_cursor.rect();
        const quint32 serial = m_cursor.serial;
        if (readCursor() && (m_cursor.rect() != before || m_cursor.serial != serial) &&
            (before.intersects(m_rootRect) || m_cursor.rect().intersects(m_rootRect)))
            changed = true;
    }
    // A fading ring changes every frame until it is gone.
    std::erase_if(m_rings, [&](const Ring &r) { return now - r.since > kRingLife; });
    const qreal reach = kRingEnd * m_request.display.scale + 4;
    for (const Ring &ring : m_rings)
        if (QRectF(ring.at - QPointF(reach, reach), QSizeF(2 * reach, 2 * reach))
                .intersects(m_rootRect))
            changed = true;
    return {};
}

void Grabber::handle(xcb_generic_event_t *event, Clock::time_point now, bool &changed)
{
    if ((event->response_type & 0x7f) != XCB_GE_GENERIC || !m_inputOpcode)
        return;
    const auto *generic = reinterpret_cast<xcb_ge_generic_event_t *>(event);
    if (generic->extension != m_inputOpcode || generic->event_type != XCB_INPUT_RAW_BUTTON_PRESS)
        return;
    const auto *press = reinterpret_cast<xcb_input_raw_button_press_event_t *>(event);
    if (press->detail >= 4 && press->detail <= 7)
        return; // wheel steps are not clicks
    XcbReply<xcb_query_pointer_reply_t> pointer(
        xcb_query_pointer_reply(m_conn, xcb_query_pointer(m_conn, m_root), nullptr));
    if (!pointer || !pointer->same_screen)
        return;
    m_rings.push_back({QPoint(pointer->root_x, pointer->root_y), now});
    changed = true;
}

bool Grabber::readCursor()
{
    XcbReply<xcb_xfixes_get_cursor_image_reply_t> reply(
        xcb_xfixes_get_cursor_image_reply(m_conn, xcb_xfixes_get_cursor_image(m_conn), nullptr));
    if (!reply)
        return false;
    const QPoint topLeft(reply->x - reply->xhot, reply->y - reply->yhot);
    if (reply->cursor_serial != m_cursor.serial || m_cursor.image.isNull()) {
        const int w = reply->width, h = reply->height;
        const int length = xcb_xfixes_get_cursor_image_cursor_image_length(reply.get());
        if (w <= 0 || h <= 0 || length < w * h) {
            m_cursor.image = {};
        } else {
            m_cursor.image = QImage(reinterpret_cast<const uchar *>(
                                        xcb_xfixes_get_cursor_image_cursor_image(reply.get())),
                                    w, h, w * 4, QImage::Format_ARGB32_Premultiplied)
                                 .copy();
        }
        m_cursor.serial = reply->cursor_serial;
    }
    m_cursor.topLeft = topLeft;
    return true;
}

QString Grabber::grabFailed(xcb_generic_error_t *error)
{
    const int code = error ? error->error_code : 0;
    std::free(error);
    // The usual reason: the screen shrank under the area (before its notice came in).
    XcbReply<xcb_get_geometry_reply_t> geo(
        xcb_get_geometry_reply(m_conn, xcb_get_geometry(m_conn, m_root), nullptr));
    if (!geo)
        return QCoreApplication::translate("X11FrameSource",
                                           "The connection to the X server was lost.");
    if (QSize(geo->width, geo->height) != m_screenSize)
        return QCoreApplication::translate("X11FrameSource",
                                           "The display changed size while recording.");
    return QCoreApplication::translate("X11FrameSource",
                                       "The X server refused to hand over the screen (error %1).")
        .arg(code);
}

QString Grabber::grab(Clock::time_point now, QImage &frame)
{
    QImage *out = m_pool.take();
    if (!out)
        return QCoreApplication::translate("X11FrameSource",
                                           "There is not enough memory to record this area.");
    const QRect r = m_rootRect;
    if (m_segment) {
        xcb_generic_error_t *error = nullptr;
        XcbReply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(
            m_conn,
            xcb_shm_get_image(m_conn, m_root, int16_t(r.x()), int16_t(r.y()), uint16_t(r.width()),
                              uint16_t(r.height()), ~0U, XCB_IMAGE_FORMAT_Z_PIXMAP, m_segment->id(),
                              0),
            &error));
        if (!reply)
            return grabFailed(error);
        copyPixels(m_segment->data(), int(m_stride), m_layout, *out, QPoint(), r.size());
    } else {
        xcb_generic_error_t *error = nullptr;
        XcbReply<xcb_get_image_reply_t> reply(xcb_get_image_reply(
            m_conn,
            xcb_get_image(m_conn, XCB_IMAGE_FORMAT_Z_PIXMAP, m_root, int16_t(r.x()), int16_t(r.y()),
                          uint16_t(r.width()), uint16_t(r.height()), ~0U),
            &error));
        if (!reply)
            return grabFailed(error);
        if (xcb_get_image_data_length(reply.get()) < m_stride * r.height())
            return QCoreApplication::translate("X11FrameSource",
                                               "The X server sent a short picture.");
        copyPixels(xcb_get_image_data(reply.get()), int(m_stride), m_layout, *out, QPoint(),
                   r.size());
    }

    const bool cursorShown =
        m_hasCursor && !m_cursor.image.isNull() && m_cursor.rect().intersects(r);
    if (cursorShown || !m_rings.empty()) {
        QPainter painter(out);
        painter.translate(-r.topLeft());
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal scale = m_request.display.scale;
        for (const Ring &ring : m_rings) {
            const qreal t =
                std::clamp(std::chrono::duration<qreal>(now - ring.since) / kRingLife, 0.0, 1.0);
            const qreal radius = (kRingStart + (kRingEnd - kRingStart) * t) * scale;
            QColor color(255, 196, 0);
            color.setAlphaF(float(1.0 - t));
            painter.setPen(QPen(color, 3 * scale));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(QPointF(ring.at), radius, radius);
        }
        // The pointer above its rings, as on screen.
        if (cursorShown)
            painter.drawImage(m_cursor.topLeft, m_cursor.image);
    }
    frame = *out; // shared: the pool takes it back once the sink lets go
    return {};
}

} // namespace

X11FrameSource::X11FrameSource(QByteArray displayName) : m_displayName(std::move(displayName)) {}

X11FrameSource::~X11FrameSource()
{
    stop();
}

void X11FrameSource::start(const RecordingRequest &request, Sink sink)
{
    stop();
    m_size = request.pixelRect.isEmpty()
                 ? (request.display.frame.size() * request.display.scale).toSize()
                 : request.pixelRect.size();
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = false;
    }
    m_thread = std::thread(
        [this, request, sink = std::move(sink)]() mutable { run(request, std::move(sink)); });
}

void X11FrameSource::stop()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    // Asked from the sink, the loop ends once it returns; a later stop, or the end, joins it.
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

QSize X11FrameSource::frameSize() const
{
    return m_size;
}

void X11FrameSource::requestFrame()
{
    m_forceFrame = true;
}

void X11FrameSource::run(RecordingRequest request, Sink sink)
{
    const int fps = std::clamp(request.fps, 1, 240);
    const QRect pixelRect =
        request.pixelRect.isEmpty() ? QRect(QPoint(), m_size) : request.pixelRect;
    Grabber grabber(request, pixelRect.translated(request.display.pixelOrigin));
    if (const QString why = grabber.open(m_displayName); !why.isEmpty()) {
        emit failed(why);
        return;
    }

    // Tick n is due at start + n/fps: deadlines are absolute, so waits do not add up to drift.
    const Clock::time_point start = Clock::now();
    const auto due = [&](qint64 tick) {
        return start + std::chrono::nanoseconds(tick * 1'000'000'000LL / fps);
    };
    const auto period = std::chrono::nanoseconds(1'000'000'000LL / fps);
    bool first = true;
    // What was handed out last, and when: after a second without damage reports the area is
    // looked at anyway, in case a client drew in a way the reports missed.
    QImage last;
    qint64 lastTick = 0;
    for (qint64 tick = 0;;) {
        {
            std::unique_lock lock(m_mutex);
            if (m_wake.wait_until(lock, due(tick), [this] { return m_stopping; }))
                return;
        }
        const Clock::time_point now = Clock::now();
        bool changed = first || m_forceFrame.exchange(false);
        if (const QString why = grabber.poll(now, changed); !why.isEmpty()) {
            emit failed(why);
            return;
        }
        const bool verify = !changed && tick - lastTick >= fps;
        if (changed || verify) {
            QImage image;
            if (const QString why = grabber.grab(now, image); !why.isEmpty()) {
                emit failed(why);
                return;
            }
            if (verify && image == last) {
                lastTick = tick;
            } else {
                if (first) {
                    first = false;
                    emit started();
                }
                last = image;
                lastTick = tick;
                sink(RecordedFrame{std::move(image), tick});
            }
        }
        // The next tick that can still begin on time (within half a period): a late grab
        // leaves out the ticks it missed rather than taking them in a burst.
        const Clock::time_point after = Clock::now();
        ++tick;
        if (after > due(tick) + period / 2)
            tick = (after - start) * fps / std::chrono::seconds(1) + 1;
    }
}

std::unique_ptr<FrameSource> X11ScreenRecorder::createSource()
{
    return std::make_unique<X11FrameSource>(m_displayName);
}

} // namespace vistrel
