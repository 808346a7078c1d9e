#include "platform/PortalScreenCast.h"

#include "platform/PortalClient.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QPointer>

#include <pipewire/pipewire.h>
#include <spa/param/format-utils.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>

#include <fcntl.h>
#include <unistd.h>

namespace vistrel {

// --- the plain parts ---------------------------------------------------------------------

CastPacer::CastPacer(int fps) : m_fps(std::max(1, fps)) {}

qint64 CastPacer::tickAt(qint64 ns) const
{
    const qint64 elapsed = ns - m_origin.value_or(ns);
    return elapsed <= 0 ? 0 : elapsed * m_fps / 1000000000;
}

qint64 CastPacer::tickStart(qint64 tick) const
{
    // The first nanosecond whose tick is `tick`.
    return m_origin.value_or(0) + (tick * 1000000000 + m_fps - 1) / m_fps;
}

QList<RecordedFrame> CastPacer::offer(qint64 ns, QImage image)
{
    if (!m_origin)
        m_origin = ns;
    QList<RecordedFrame> out;
    const qint64 tick = tickAt(ns);
    if (tick <= m_lastTick) { // this tick has its frame: the newest waits for the next one
        m_held = std::move(image);
        return out;
    }
    // A held frame keeps its own tick when there is one free before this frame's.
    if (m_held && m_lastTick + 1 < tick)
        out.append({*std::move(m_held), m_lastTick + 1});
    m_held.reset();
    m_last = image;
    m_wanted = false;
    out.append({std::move(image), tick});
    m_lastTick = tick;
    return out;
}

std::optional<RecordedFrame> CastPacer::due(qint64 ns)
{
    const qint64 tick = tickAt(ns);
    if (tick <= m_lastTick)
        return std::nullopt;
    if (m_held)
        return takeHeld();
    if (!m_wanted || m_last.isNull())
        return std::nullopt;
    m_wanted = false;
    m_lastTick = tick;
    return RecordedFrame{m_last, tick};
}

std::optional<qint64> CastPacer::dueAt() const
{
    if (!m_held && (!m_wanted || m_last.isNull()))
        return std::nullopt;
    return tickStart(m_lastTick + 1);
}

std::optional<RecordedFrame> CastPacer::takeHeld()
{
    if (!m_held)
        return std::nullopt;
    RecordedFrame frame{*std::move(m_held), ++m_lastTick};
    m_held.reset();
    m_last = frame.image;
    m_wanted = false;
    return frame;
}

QRect castCropRect(const QRect &pixelRect, const DisplayInfo &display, const QSize &streamSize)
{
    const QRect stream(QPoint(0, 0), streamSize);
    if (pixelRect.isEmpty())
        return stream;
    // `pixelRect` is in the display's device pixels (its logical size times its scale); the
    // stream may come at another size (some desktops share a scaled screen at its logical
    // size): the area is cut by the stream's pixels per device pixel.
    const QSizeF device = display.frame.size() * display.scale;
    const double sx = device.width() > 0 ? streamSize.width() / device.width() : 1.0;
    const double sy = device.height() > 0 ? streamSize.height() / device.height() : 1.0;
    const int left = int(std::lround(pixelRect.left() * sx));
    const int top = int(std::lround(pixelRect.top() * sy));
    const int right = int(std::lround((pixelRect.left() + pixelRect.width()) * sx));
    const int bottom = int(std::lround((pixelRect.top() + pixelRect.height()) * sy));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)).intersected(stream);
}

QImage castFrameImage(const uchar *data, const QSize &size, int stride, CastPixelOrder order,
                      const QRect &crop)
{
    if (!data || crop.isEmpty() || !QRect(QPoint(0, 0), size).contains(crop) ||
        stride < size.width() * 4)
        return {};
    QImage image(crop.size(), QImage::Format_RGB32);
    if (image.isNull())
        return {};
    // Byte by byte: the stream names its pixels by byte order, whatever the machine's.
    const int red = order == CastPixelOrder::BGRx ? 2 : 0;
    const int blue = 2 - red;
    for (int y = 0; y < crop.height(); ++y) {
        const uchar *in = data + qsizetype(crop.top() + y) * stride + crop.left() * 4;
        auto *out = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < crop.width(); ++x, in += 4)
            out[x] = qRgb(in[red], in[1], in[blue]);
    }
    return image;
}

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString castInterface = QStringLiteral("org.freedesktop.portal.ScreenCast");
const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");

// What the portal's source types and cursor modes are called (bit masks).
constexpr uint sourceMonitor = 1;
constexpr uint sourceWindow = 2;
constexpr uint cursorHidden = 1;
constexpr uint cursorEmbedded = 2;

qint64 steadyNow()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The stream the portal shares: its PipeWire node, and whether it shows a window.
struct SharedStream
{
    uint node = 0;
    bool window = false;
};

// `windowsOffered`: whether the portal shares windows at all. Some backends (the wlr one)
// call every screen they share a window; a portal that offers no windows shares none.
std::optional<SharedStream> firstStream(const QVariantMap &results, bool windowsOffered)
{
    const QVariant value = results.value(QStringLiteral("streams"));
    if (value.userType() != qMetaTypeId<QDBusArgument>())
        return std::nullopt;
    const QDBusArgument arg = value.value<QDBusArgument>();
    std::optional<SharedStream> first;
    arg.beginArray();
    while (!arg.atEnd()) {
        uint node = 0;
        QVariantMap properties;
        arg.beginStructure();
        arg >> node >> properties;
        arg.endStructure();
        const uint type = properties.value(QStringLiteral("source_type")).toUInt();
        if (!first)
            first = SharedStream{node, windowsOffered && type == sourceWindow};
    }
    arg.endArray();
    return first;
}

QString pathText(const QVariant &value)
{
    if (value.userType() == qMetaTypeId<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}

} // namespace

// --- the PipeWire stream -----------------------------------------------------------------

// The stream's own thread (PipeWire's thread loop) receives the frames, cuts them and hands
// them on; everything it tells the GUI thread goes through the two callbacks, queued.
class CastStream
{
public:
    struct Setup
    {
        RecordingRequest request;
        bool wholeSource = false; // a window: all of it, not an area of a display
        FrameSource::Sink sink;
        std::function<void()> started;
        std::function<void(QString)> failed;
    };

    explicit CastStream(Setup setup) : m_setup(std::move(setup)), m_pacer(m_setup.request.fps)
    {
        static std::once_flag once;
        std::call_once(once, [] { pw_init(nullptr, nullptr); });
    }

    ~CastStream() { close(); }

    // Connects to the portal's PipeWire remote `fd` (taken over) and asks for `node`'s frames.
    QString open(int fd, uint node)
    {
        m_loop = pw_thread_loop_new("vistrel-cast", nullptr);
        if (!m_loop) {
            ::close(fd);
            return QCoreApplication::translate("PortalScreenCast", "PipeWire could not start.");
        }
        m_context = pw_context_new(pw_thread_loop_get_loop(m_loop), nullptr, 0);
        if (!m_context || pw_thread_loop_start(m_loop) < 0) {
            ::close(fd);
            return QCoreApplication::translate("PortalScreenCast", "PipeWire could not start.");
        }
        pw_thread_loop_lock(m_loop);
        const QString why = connect(fd, node);
        pw_thread_loop_unlock(m_loop);
        return why;
    }

    // Ends the stream; no sink call runs once this returns. The frame held for the next tick
    // is handed on first: it is the last picture the desktop showed.
    void close()
    {
        if (!m_loop)
            return;
        pw_thread_loop_lock(m_loop);
        if (!m_closed)
            if (auto held = m_pacer.takeHeld())
                m_setup.sink(std::move(*held));
        m_closed = true;
        if (m_timer)
            pw_loop_destroy_source(pw_thread_loop_get_loop(m_loop), m_timer);
        m_timer = nullptr;
        if (m_stream) {
            spa_hook_remove(&m_streamListener);
            pw_stream_disconnect(m_stream);
            pw_stream_destroy(m_stream);
            m_stream = nullptr;
        }
        if (m_registry) {
            spa_hook_remove(&m_registryListener);
            pw_proxy_destroy(reinterpret_cast<pw_proxy *>(m_registry));
            m_registry = nullptr;
        }
        if (m_core) {
            spa_hook_remove(&m_coreListener);
            pw_core_disconnect(m_core);
            m_core = nullptr;
        }
        pw_thread_loop_unlock(m_loop);
        pw_thread_loop_stop(m_loop);
        if (m_context)
            pw_context_destroy(m_context);
        pw_thread_loop_destroy(m_loop);
        m_context = nullptr;
        m_loop = nullptr;
    }

    QSize frameSize() const
    {
        std::lock_guard lock(m_sizeMutex);
        return m_crop.size();
    }

    void requestFrame()
    {
        if (!m_loop)
            return;
        pw_thread_loop_lock(m_loop);
        if (!m_closed && m_timer) {
            m_pacer.requestFrame();
            armTimer();
        }
        pw_thread_loop_unlock(m_loop);
    }

private:
    QString connect(int fd, uint node)
    {
        m_core = pw_context_connect_fd(m_context, fd, nullptr, 0);
        if (!m_core)
            return QCoreApplication::translate("PortalScreenCast",
                                               "Cannot reach the desktop's PipeWire stream: %1")
                .arg(QString::fromLocal8Bit(strerror(errno)));
        static const pw_core_events coreEvents = [] {
            pw_core_events e{};
            e.version = PW_VERSION_CORE_EVENTS;
            e.error = [](void *self, uint32_t id, int, int res, const char *message) {
                if (id == PW_ID_CORE)
                    static_cast<CastStream *>(self)->fail(
                        QCoreApplication::translate("PortalScreenCast",
                                                    "The desktop's PipeWire stream ended: %1")
                            .arg(QString::fromUtf8(message ? message : strerror(-res))));
            };
            return e;
        }();
        pw_core_add_listener(m_core, &m_coreListener, &coreEvents, this);

        // The shared node going away (the desktop stopped sharing, or its backend quit) leaves
        // the stream merely paused: it is watched for.
        m_node = node;
        m_registry = pw_core_get_registry(m_core, PW_VERSION_REGISTRY, 0);
        static const pw_registry_events registryEvents = [] {
            pw_registry_events e{};
            e.version = PW_VERSION_REGISTRY_EVENTS;
            e.global_remove = [](void *self, uint32_t id) {
                auto *stream = static_cast<CastStream *>(self);
                if (id == stream->m_node)
                    stream->fail(QCoreApplication::translate(
                        "PortalScreenCast", "The desktop stopped sharing the screen."));
            };
            return e;
        }();
        if (m_registry)
            pw_registry_add_listener(m_registry, &m_registryListener, &registryEvents, this);

        m_stream =
            pw_stream_new(m_core, "Vistrel recording",
                          pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                            "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr));
        if (!m_stream)
            return QCoreApplication::translate("PortalScreenCast",
                                               "PipeWire could not open a stream.");
        static const pw_stream_events streamEvents = [] {
            pw_stream_events e{};
            e.version = PW_VERSION_STREAM_EVENTS;
            e.state_changed = [](void *self, pw_stream_state, pw_stream_state state,
                                 const char *error) {
                static_cast<CastStream *>(self)->stateChanged(state, error);
            };
            e.param_changed = [](void *self, uint32_t id, const spa_pod *param) {
                static_cast<CastStream *>(self)->paramChanged(id, param);
            };
            e.process = [](void *self) { static_cast<CastStream *>(self)->process(); };
            return e;
        }();
        pw_stream_add_listener(m_stream, &m_streamListener, &streamEvents, this);

        m_timer = pw_loop_add_timer(
            pw_thread_loop_get_loop(m_loop),
            [](void *self, uint64_t) { static_cast<CastStream *>(self)->timerFired(); }, this);

        // Plain memory only (a frame is read by the processor, not a GPU), in the byte orders
        // converted here; any size and rate the desktop has, at most the recording's rate.
        uint8_t buffer[1024];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
        spa_pod_frame object, choice;
        spa_pod_builder_push_object(&b, &object, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
        spa_pod_builder_prop(&b, SPA_FORMAT_mediaType, 0);
        spa_pod_builder_id(&b, SPA_MEDIA_TYPE_video);
        spa_pod_builder_prop(&b, SPA_FORMAT_mediaSubtype, 0);
        spa_pod_builder_id(&b, SPA_MEDIA_SUBTYPE_raw);
        spa_pod_builder_prop(&b, SPA_FORMAT_VIDEO_format, 0);
        spa_pod_builder_push_choice(&b, &choice, SPA_CHOICE_Enum, 0);
        spa_pod_builder_id(&b, SPA_VIDEO_FORMAT_BGRx); // the preferred one, then all
        for (uint32_t f : {SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBx,
                           SPA_VIDEO_FORMAT_RGBA})
            spa_pod_builder_id(&b, f);
        spa_pod_builder_pop(&b, &choice);
        spa_pod_builder_prop(&b, SPA_FORMAT_VIDEO_size, 0);
        spa_pod_builder_push_choice(&b, &choice, SPA_CHOICE_Range, 0);
        spa_pod_builder_rectangle(&b, 1920, 1080);
        spa_pod_builder_rectangle(&b, 1, 1);
        spa_pod_builder_rectangle(&b, 16384, 16384);
        spa_pod_builder_pop(&b, &choice);
        spa_pod_builder_prop(&b, SPA_FORMAT_VIDEO_framerate, 0);
        spa_pod_builder_push_choice(&b, &choice, SPA_CHOICE_Range, 0);
        spa_pod_builder_fraction(&b, 0, 1);
        spa_pod_builder_fraction(&b, 0, 1);
        spa_pod_builder_fraction(&b, 360, 1);
        spa_pod_builder_pop(&b, &choice);
        spa_pod_builder_prop(&b, SPA_FORMAT_VIDEO_maxFramerate, 0);
        spa_pod_builder_push_choice(&b, &choice, SPA_CHOICE_Range, 0);
        spa_pod_builder_fraction(&b, uint32_t(std::max(1, m_setup.request.fps)), 1);
        spa_pod_builder_fraction(&b, 1, 1);
        spa_pod_builder_fraction(&b, 360, 1);
        spa_pod_builder_pop(&b, &choice);
        const spa_pod *params[] = {static_cast<const spa_pod *>(spa_pod_builder_pop(&b, &object))};
        const int res = pw_stream_connect(
            m_stream, PW_DIRECTION_INPUT, node,
            pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), params, 1);
        if (res < 0)
            return QCoreApplication::translate(
                       "PortalScreenCast", "Cannot connect to the desktop's PipeWire stream: %1")
                .arg(QString::fromLocal8Bit(strerror(-res)));
        return {};
    }

    // On the stream's thread, from here on.
    void fail(const QString &why)
    {
        if (m_closed)
            return;
        m_closed = true; // nothing more is handed on
        if (m_stream)
            pw_stream_set_active(m_stream, false);
        m_setup.failed(why);
    }

    void stateChanged(pw_stream_state state, const char *error)
    {
        if (state == PW_STREAM_STATE_ERROR)
            fail(QCoreApplication::translate("PortalScreenCast",
                                             "The desktop's PipeWire stream failed: %1")
                     .arg(QString::fromUtf8(error ? error : "")));
        else if (state == PW_STREAM_STATE_UNCONNECTED && m_connected)
            fail(QCoreApplication::translate("PortalScreenCast",
                                             "The desktop stopped sharing the screen."));
        else if (state == PW_STREAM_STATE_PAUSED || state == PW_STREAM_STATE_STREAMING)
            m_connected = true;
        // Frames flow now, or as soon as the picture changes: the recording has begun.
        if (state == PW_STREAM_STATE_STREAMING && !m_closed)
            markStarted();
    }

    void paramChanged(uint32_t id, const spa_pod *param)
    {
        if (id != SPA_PARAM_Format || !param || m_closed)
            return;
        uint32_t mediaType = 0, mediaSubtype = 0;
        spa_video_info_raw info{};
        if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 ||
            mediaType != SPA_MEDIA_TYPE_video || mediaSubtype != SPA_MEDIA_SUBTYPE_raw ||
            spa_format_video_raw_parse(param, &info) < 0)
            return fail(QCoreApplication::translate("PortalScreenCast",
                                                    "The desktop's stream is not plain video."));
        switch (info.format) {
        case SPA_VIDEO_FORMAT_BGRx:
        case SPA_VIDEO_FORMAT_BGRA:
            m_order = CastPixelOrder::BGRx;
            break;
        case SPA_VIDEO_FORMAT_RGBx:
        case SPA_VIDEO_FORMAT_RGBA:
            m_order = CastPixelOrder::RGBx;
            break;
        default:
            return fail(QCoreApplication::translate(
                "PortalScreenCast", "The desktop's stream has pixels Vistrel cannot read."));
        }
        const QSize size(int(info.size.width), int(info.size.height));
        if (!m_streamSize.isEmpty() && size != m_streamSize)
            return fail(
                m_setup.wholeSource
                    ? QCoreApplication::translate("PortalScreenCast",
                                                  "The recorded window changed size.")
                    : QCoreApplication::translate(
                          "PortalScreenCast", "The recorded screen changed size (%1×%2 to %3×%4).")
                          .arg(m_streamSize.width())
                          .arg(m_streamSize.height())
                          .arg(size.width())
                          .arg(size.height()));
        const QRect crop = m_setup.wholeSource ? QRect(QPoint(0, 0), size)
                                               : castCropRect(m_setup.request.pixelRect,
                                                              m_setup.request.display, size);
        if (crop.isEmpty())
            return fail(QCoreApplication::translate(
                "PortalScreenCast",
                "The recorded area lies outside the screen the desktop shares."));
        m_streamSize = size;
        {
            std::lock_guard lock(m_sizeMutex);
            m_crop = crop;
        }
        uint8_t buffer[256];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
        spa_pod_frame object;
        spa_pod_builder_push_object(&b, &object, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers);
        spa_pod_builder_prop(&b, SPA_PARAM_BUFFERS_dataType, 0);
        spa_pod_builder_int(&b, (1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr));
        const spa_pod *params[] = {static_cast<const spa_pod *>(spa_pod_builder_pop(&b, &object))};
        pw_stream_update_params(m_stream, params, 1);
    }

    void process()
    {
        // The newest frame only: older ones queued behind it are stale already.
        pw_buffer *newest = nullptr;
        while (pw_buffer *b = pw_stream_dequeue_buffer(m_stream)) {
            if (newest)
                pw_stream_queue_buffer(m_stream, newest);
            newest = b;
        }
        if (!newest)
            return;
        const qint64 now = steadyNow();
        QImage image;
        const spa_buffer *buffer = newest->buffer;
        if (!m_closed && buffer->n_datas > 0 && !m_streamSize.isEmpty()) {
            const spa_data &d = buffer->datas[0];
            const bool plain = d.type == SPA_DATA_MemFd || d.type == SPA_DATA_MemPtr;
            const bool whole =
                d.chunk && !(d.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) && d.chunk->size > 0;
            if (plain && whole && d.data && d.chunk->offset < d.maxsize) {
                const int stride = d.chunk->stride > 0 ? d.chunk->stride : m_streamSize.width() * 4;
                const qsizetype needed =
                    qsizetype(stride) * (m_streamSize.height() - 1) + m_streamSize.width() * 4;
                if (qsizetype(d.maxsize - d.chunk->offset) >= needed)
                    image = castFrameImage(static_cast<const uchar *>(d.data) + d.chunk->offset,
                                           m_streamSize, stride, m_order, m_crop);
            }
        }
        pw_stream_queue_buffer(m_stream, newest);
        if (image.isNull())
            return;
        for (RecordedFrame &frame : m_pacer.offer(now, std::move(image)))
            handOn(std::move(frame));
        armTimer();
    }

    void timerFired()
    {
        if (m_closed)
            return;
        if (auto frame = m_pacer.due(steadyNow()))
            handOn(std::move(*frame));
        armTimer();
    }

    void armTimer()
    {
        // Wakes at the next tick while a frame is held; the steady clock is the loop's own.
        const std::optional<qint64> at = m_pacer.dueAt();
        timespec value{};
        if (at) {
            value.tv_sec = *at / 1000000000;
            value.tv_nsec = std::max<qint64>(1, *at % 1000000000);
        }
        pw_loop_update_timer(pw_thread_loop_get_loop(m_loop), m_timer, &value, nullptr, true);
    }

    void markStarted()
    {
        if (!m_started)
            m_setup.started();
        m_started = true;
    }

    void handOn(RecordedFrame frame)
    {
        markStarted();
        m_setup.sink(std::move(frame));
    }

    Setup m_setup;
    CastPacer m_pacer;
    pw_thread_loop *m_loop = nullptr;
    pw_context *m_context = nullptr;
    pw_core *m_core = nullptr;
    pw_stream *m_stream = nullptr;
    pw_registry *m_registry = nullptr;
    uint32_t m_node = 0;
    spa_hook m_registryListener{};
    spa_source *m_timer = nullptr;
    spa_hook m_coreListener{};
    spa_hook m_streamListener{};
    QSize m_streamSize;
    CastPixelOrder m_order = CastPixelOrder::BGRx;
    mutable std::mutex m_sizeMutex;
    QRect m_crop; // written on the stream's thread only, under the mutex: read by frameSize()
    bool m_closed = false;
    bool m_connected = false;
    bool m_started = false;
};

// --- the portal session ------------------------------------------------------------------

namespace {

class PortalCastSource : public FrameSource
{
    Q_OBJECT
public:
    explicit PortalCastSource(PortalClient &portal) : m_portal(portal), m_bus(portal.bus()) {}
    ~PortalCastSource() override { stop(); }

    void start(const RecordingRequest &request, Sink sink) override
    {
        // Clicks are not marked: a Wayland desktop tells no app of presses outside its windows.
        m_request = request;
        m_sink = std::move(sink);
        m_running = true;
        // What the portal offers decides what is asked of it.
        QDBusMessage getAll = QDBusMessage::createMethodCall(
            portalService, portalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("GetAll"));
        getAll << castInterface;
        auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(getAll, 10000), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this](QDBusPendingCallWatcher *w) {
                    w->deleteLater();
                    if (!m_running)
                        return;
                    const QDBusPendingReply<QVariantMap> reply = *w;
                    if (reply.isError() || !reply.value().contains(QStringLiteral("version")))
                        return fail(QCoreApplication::translate(
                                        "PortalScreenCast",
                                        "This desktop has no screen recording portal (%1). "
                                        "Install xdg-desktop-portal and your desktop's portal "
                                        "backend (xdg-desktop-portal-gnome, -kde or -wlr).")
                                        .arg(castInterface));
                    createSession(reply.value());
                });
    }

    void stop() override
    {
        m_running = false;
        if (m_stream) {
            m_stream->close();
            m_lastSize = m_stream->frameSize();
            m_stream.reset();
        }
        closeSession();
    }

    QSize frameSize() const override { return m_stream ? m_stream->frameSize() : m_lastSize; }

    // The desktop sends nothing while nothing changes: the last picture is handed on again.
    void requestFrame() override
    {
        if (m_stream)
            m_stream->requestFrame();
    }

private slots:
    void sessionClosed(const QVariantMap &)
    {
        m_session.clear(); // closed already
        fail(QCoreApplication::translate("PortalScreenCast",
                                         "The desktop ended the screen sharing session."));
    }

private:
    // Each answer of the portal arrives here only while the recording is still wanted.
    template <typename F> PortalClient::Answer step(const QString &what, F next)
    {
        QPointer<PortalCastSource> self(this);
        return [self, what, next](Result<QVariantMap> answer) {
            if (!self)
                return;
            if (!self->m_running) { // stopped meanwhile: a session opened late is closed
                const QString late =
                    answer ? pathText(answer->value(QStringLiteral("session_handle"))) : QString();
                if (!late.isEmpty())
                    self->m_bus.asyncCall(QDBusMessage::createMethodCall(
                        portalService, late, sessionInterface, QStringLiteral("Close")));
                return;
            }
            if (!answer) {
                if (answer.error().kind() == CaptureError::Kind::Cancelled)
                    return self->fail(QCoreApplication::translate(
                        "PortalScreenCast",
                        "The recording was cancelled: the desktop's screen sharing was not "
                        "allowed."));
                return self->fail(
                    QCoreApplication::translate("PortalScreenCast", "The desktop refused to %1: %2")
                        .arg(what, answer.error().errorDescription()));
            }
            next(*answer);
        };
    }

    void createSession(const QVariantMap &offered)
    {
        const uint types = offered.value(QStringLiteral("AvailableSourceTypes")).toUInt();
        m_windowsOffered = types & sourceWindow;
        const uint cursors = offered.value(QStringLiteral("AvailableCursorModes")).toUInt();
        const QString token = QStringLiteral("vistrel_cast%1").arg(++s_sessions);
        m_portal.request(
            castInterface, QStringLiteral("CreateSession"), {},
            {{QStringLiteral("session_handle_token"), token}},
            step(QCoreApplication::translate("PortalScreenCast", "open a screen sharing session"),
                 [this, types, cursors](const QVariantMap &a) {
                     m_session = pathText(a.value(QStringLiteral("session_handle")));
                     if (m_session.isEmpty())
                         return fail(QCoreApplication::translate(
                             "PortalScreenCast", "The desktop opened no screen sharing session."));
                     m_bus.connect(portalService, m_session, sessionInterface,
                                   QStringLiteral("Closed"), this,
                                   SLOT(sessionClosed(QVariantMap)));
                     selectSources(types, cursors);
                 }),
            30000);
    }

    void selectSources(uint types, uint cursors)
    {
        QVariantMap options{{QStringLiteral("types"), sourceMonitor | (types & sourceWindow)},
                            {QStringLiteral("multiple"), false}};
        // The pointer drawn into the frames where asked and offered; left out otherwise.
        if (m_request.showPointer && (cursors & cursorEmbedded))
            options.insert(QStringLiteral("cursor_mode"), cursorEmbedded);
        else if (cursors & cursorHidden)
            options.insert(QStringLiteral("cursor_mode"), cursorHidden);
        m_portal.request(
            castInterface, QStringLiteral("SelectSources"),
            {QVariant::fromValue(QDBusObjectPath(m_session))}, options,
            step(QCoreApplication::translate("PortalScreenCast", "choose what to share"),
                 [this](const QVariantMap &) { begin(); }),
            30000);
    }

    void begin()
    {
        // The desktop may show its chooser now: the user takes as long as they like.
        m_portal.request(
            castInterface, QStringLiteral("Start"),
            {QVariant::fromValue(QDBusObjectPath(m_session)), QString()}, {},
            step(QCoreApplication::translate("PortalScreenCast", "share the screen"),
                 [this](const QVariantMap &answer) {
                     const auto stream = firstStream(answer, m_windowsOffered);
                     if (!stream)
                         return fail(QCoreApplication::translate(
                             "PortalScreenCast", "The desktop shared no screen or window."));
                     openRemote(*stream);
                 }),
            0);
    }

    void openRemote(SharedStream stream)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(portalService, portalPath, castInterface,
                                                           QStringLiteral("OpenPipeWireRemote"));
        call << QVariant::fromValue(QDBusObjectPath(m_session)) << QVariantMap();
        auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, 10000), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this, stream](QDBusPendingCallWatcher *w) {
                    w->deleteLater();
                    if (!m_running)
                        return;
                    const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
                    const int fd =
                        reply.isError() || !reply.value().isValid()
                            ? -1
                            : ::fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 3);
                    if (fd < 0)
                        return fail(QCoreApplication::translate(
                                        "PortalScreenCast",
                                        "The desktop gave no access to its PipeWire stream: %1")
                                        .arg(reply.isError()
                                                 ? reply.error().message()
                                                 : QString::fromLocal8Bit(strerror(errno))));
                    openStream(fd, stream);
                });
    }

    void openStream(int fd, SharedStream shared)
    {
        CastStream::Setup setup;
        setup.request = m_request;
        setup.wholeSource = shared.window;
        setup.sink = m_sink;
        // Told from the stream's thread, acted on in ours while the recording is still wanted.
        // The stream's thread ends before this source does (stop() joins it).
        setup.started = [this] {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (m_running)
                        emit started();
                },
                Qt::QueuedConnection);
        };
        setup.failed = [this](const QString &why) {
            QMetaObject::invokeMethod(
                this, [this, why] { fail(why); }, Qt::QueuedConnection);
        };
        m_stream = std::make_unique<CastStream>(std::move(setup));
        const QString why = m_stream->open(fd, shared.node);
        if (!why.isEmpty())
            fail(why);
    }

    void fail(const QString &why)
    {
        if (!m_running)
            return;
        stop();
        emit failed(why);
    }

    void closeSession()
    {
        if (m_session.isEmpty())
            return;
        m_bus.disconnect(portalService, m_session, sessionInterface, QStringLiteral("Closed"), this,
                         SLOT(sessionClosed(QVariantMap)));
        m_bus.asyncCall(QDBusMessage::createMethodCall(portalService, m_session, sessionInterface,
                                                       QStringLiteral("Close")));
        m_session.clear();
    }

    static inline int s_sessions = 0;
    PortalClient &m_portal;
    QDBusConnection m_bus;
    RecordingRequest m_request;
    Sink m_sink;
    bool m_running = false;
    bool m_windowsOffered = false;
    QSize m_lastSize; // the frames' size, still told once stopped
    QString m_session;
    std::unique_ptr<CastStream> m_stream;
};

} // namespace

std::unique_ptr<FrameSource> PortalScreenCast::createSource()
{
    return std::make_unique<PortalCastSource>(m_portal);
}

} // namespace vistrel

#include "PortalScreenCast.moc"
