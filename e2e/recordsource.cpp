// The X11 recording source against the X server DISPLAY names: it draws windows of its own
// (override-redirect, no window manager needed), records areas over them and checks the frames:
// the crop by pixels, the rate, unchanged ticks left out, the pointer drawn in or not, click
// rings, and a screen that changes size. Prints PASS/FAIL lines; the exit status counts failures.
#include "platform/X11Recorder.h"

#include <QCoreApplication>
#include <QImage>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <atomic>
#include <bit>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

using namespace vistrel;
using namespace std::chrono_literals;

namespace {

int failures = 0;

void check(const char *what, bool ok, const QString &detail = {})
{
    std::printf("%s: %s%s%s\n", ok ? "PASS" : "FAIL", what, detail.isEmpty() ? "" : " — ",
                qPrintable(detail));
    std::fflush(stdout);
    if (!ok)
        ++failures;
}

struct Session
{
    std::mutex mutex;
    std::vector<RecordedFrame> frames;
    std::atomic<bool> started{false};
    QString failure;
};

// Records `request` for `length` while `during` runs on this thread.
Session *record(const RecordingRequest &request, std::chrono::milliseconds length,
                const std::function<void(std::chrono::milliseconds at)> &during = {})
{
    auto *session = new Session;
    X11FrameSource source;
    QObject::connect(
        &source, &FrameSource::started, &source, [session] { session->started = true; },
        Qt::DirectConnection);
    QObject::connect(
        &source, &FrameSource::failed, &source,
        [session](const QString &why) {
            const std::lock_guard lock(session->mutex);
            session->failure = why;
        },
        Qt::DirectConnection);
    source.start(request, [session](RecordedFrame frame) {
        const std::lock_guard lock(session->mutex);
        session->frames.push_back(std::move(frame));
    });
    const auto begin = std::chrono::steady_clock::now();
    for (;;) {
        const auto at = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - begin);
        if (at >= length)
            break;
        if (during)
            during(at);
        std::this_thread::sleep_for(5ms);
    }
    source.stop();
    return session;
}

bool ticksIncrease(const std::vector<RecordedFrame> &frames)
{
    for (size_t i = 1; i < frames.size(); ++i)
        if (frames[i].tick <= frames[i - 1].tick)
            return false;
    return true;
}

// The same colour, give or take what a screen of 16 bits per pixel keeps of it.
bool isColour(QRgb pixel, QRgb colour)
{
    return std::abs(qRed(pixel) - qRed(colour)) <= 8 &&
           std::abs(qGreen(pixel) - qGreen(colour)) <= 8 &&
           std::abs(qBlue(pixel) - qBlue(colour)) <= 8;
}

// A colour as a pixel value of the screen's visual (depth 16, 24 or 30).
quint32 channel(int value, quint32 mask)
{
    if (!mask)
        return 0;
    const int shift = std::countr_zero(mask);
    const quint32 max = mask >> shift;
    return ((quint32(value) * max + 127) / 255) << shift;
}

class Desk
{
public:
    Desk()
    {
        m_conn = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_conn)) {
            std::fprintf(stderr, "no X display\n");
            std::exit(2);
        }
        m_screen = xcb_setup_roots_iterator(xcb_get_setup(m_conn)).data;
        for (auto d = xcb_screen_allowed_depths_iterator(m_screen); d.rem; xcb_depth_next(&d))
            for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
                if (v.data->visual_id == m_screen->root_visual)
                    m_visual = *v.data;
    }
    quint32 pixelOf(QRgb colour) const
    {
        return channel(qRed(colour), m_visual.red_mask) |
               channel(qGreen(colour), m_visual.green_mask) |
               channel(qBlue(colour), m_visual.blue_mask);
    }
    ~Desk() { xcb_disconnect(m_conn); }
    QSize size() const { return {m_screen->width_in_pixels, m_screen->height_in_pixels}; }
    xcb_window_t window(QRect rect, QRgb colour)
    {
        const xcb_window_t w = xcb_generate_id(m_conn);
        const uint32_t values[] = {pixelOf(colour), 1};
        xcb_create_window(m_conn, XCB_COPY_FROM_PARENT, w, m_screen->root, int16_t(rect.x()),
                          int16_t(rect.y()), uint16_t(rect.width()), uint16_t(rect.height()), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, m_screen->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(m_conn, w);
        sync();
        return w;
    }
    void paint(xcb_window_t w, QRgb colour)
    {
        const uint32_t value = pixelOf(colour);
        xcb_change_window_attributes(m_conn, w, XCB_CW_BACK_PIXEL, &value);
        xcb_clear_area(m_conn, 0, w, 0, 0, 0, 0);
        xcb_flush(m_conn);
    }
    void pointerTo(QPoint at)
    {
        xcb_test_fake_input(m_conn, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, m_screen->root,
                            int16_t(at.x()), int16_t(at.y()), 0);
        sync();
    }
    void click()
    {
        xcb_test_fake_input(m_conn, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_test_fake_input(m_conn, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        sync();
    }
    void sync()
    {
        std::free(xcb_get_input_focus_reply(m_conn, xcb_get_input_focus(m_conn), nullptr));
    }

private:
    xcb_connection_t *m_conn;
    xcb_screen_t *m_screen;
    xcb_visualtype_t m_visual{};
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    Desk desk;
    const QSize screen = desk.size();
    constexpr QRgb backdrop = 0x202020, red = 0xff0000, blue = 0x0000ff, green = 0x00c000;
    desk.window(QRect(QPoint(), screen), backdrop);
    const xcb_window_t target = desk.window(QRect(150, 80, 100, 60), red);
    const xcb_window_t elsewhere = desk.window(QRect(500, 400, 80, 80), green);
    desk.pointerTo(QPoint(screen.width() - 5, screen.height() - 5)); // away from every area
    std::this_thread::sleep_for(200ms);

    // The display starts 100 pixels into the screen: the area lies at 100+0, 50 of the root.
    RecordingRequest request;
    request.display.displayID = 1;
    request.display.frame = QRectF(0, 0, screen.width() - 100, screen.height());
    request.display.pixelOrigin = QPoint(100, 0);
    request.pixelRect = QRect(0, 50, 200, 120);
    request.fps = 30;
    request.showPointer = false;

    {
        std::unique_ptr<Session> s(record(request, 1500ms));
        check("the source starts", s->started && s->failure.isEmpty(), s->failure);
        check("an unchanged screen gives its first frame only", s->frames.size() == 1,
              QStringLiteral("%1 frames").arg(s->frames.size()));
        if (!s->frames.empty()) {
            const QImage &f = s->frames.front().image;
            check("frames are the area's size, opaque 32-bit",
                  f.size() == QSize(200, 120) && f.format() == QImage::Format_RGB32 &&
                      qAlpha(f.pixel(0, 0)) == 255);
            check("the area is cut out by pixels (the window at 50,30 to 149,89)",
                  isColour(f.pixel(50, 30), red) && isColour(f.pixel(149, 89), red) &&
                      isColour(f.pixel(49, 30), backdrop) && isColour(f.pixel(50, 29), backdrop) &&
                      isColour(f.pixel(150, 89), backdrop) && isColour(f.pixel(149, 90), backdrop));
            check("the first frame is tick 0", s->frames.front().tick == 0);
        }
    }

    {
        // A window that changes 50 times a second: a frame on every tick.
        int shown = 0;
        std::unique_ptr<Session> s(record(request, 2000ms, [&](std::chrono::milliseconds at) {
            if (at.count() / 20 > shown) {
                shown = int(at.count() / 20);
                desk.paint(target, shown % 2 ? blue : red);
            }
        }));
        const size_t n = s->frames.size();
        const qint64 last = n ? s->frames.back().tick : -1;
        check("a changing window gives frames at the rate",
              n >= 54 && n <= 61 && last >= 57 && last <= 60,
              QStringLiteral("%1 frames in 2 s at 30 fps, last tick %2").arg(n).arg(last));
        check("ticks only increase", ticksIncrease(s->frames));
        desk.paint(target, red);
    }

    {
        int shown = 0;
        std::unique_ptr<Session> s(record(request, 1000ms, [&](std::chrono::milliseconds at) {
            if (at.count() / 20 > shown) {
                shown = int(at.count() / 20);
                desk.paint(elsewhere, shown % 2 ? blue : green);
            }
        }));
        check("changes outside the area are left out", s->frames.size() == 1,
              QStringLiteral("%1 frames").arg(s->frames.size()));
    }

    {
        // The pointer over the area (its hot spot at 70,50 of the area): drawn in or not.
        desk.pointerTo(QPoint(170, 100));
        std::this_thread::sleep_for(100ms);
        std::unique_ptr<Session> without(record(request, 300ms));
        request.showPointer = true;
        std::unique_ptr<Session> with(record(request, 300ms));
        if (without->frames.empty() || with->frames.empty()) {
            check("the pointer is drawn in when asked", false, QStringLiteral("no frames"));
        } else {
            const QImage &a = without->frames.front().image, &b = with->frames.front().image;
            int differ = 0, farAway = 0;
            for (int y = 0; y < a.height(); ++y)
                for (int x = 0; x < a.width(); ++x)
                    if (a.pixel(x, y) != b.pixel(x, y)) {
                        ++differ;
                        if (std::abs(x - 70) > 40 || std::abs(y - 50) > 40)
                            ++farAway;
                    }
            check("the pointer is drawn in when asked, and only there", differ > 20 && farAway == 0,
                  QStringLiteral("%1 pixels differ, %2 far from the pointer")
                      .arg(differ)
                      .arg(farAway));
            check("and left out when not", isColour(a.pixel(70, 50), red));
        }
        int moved = 0;
        std::unique_ptr<Session> s(record(request, 1000ms, [&](std::chrono::milliseconds at) {
            if (at.count() / 100 > moved) {
                moved = int(at.count() / 100);
                desk.pointerTo(QPoint(120 + moved * 5, 100));
            }
        }));
        check("a moving pointer counts as a change", s->frames.size() >= 8,
              QStringLiteral("%1 frames").arg(s->frames.size()));
        request.showPointer = false;
    }

    {
        // A click over the backdrop part of the area: a fading ring for about 0.6 s.
        desk.pointerTo(QPoint(130, 130));
        request.markClicks = true;
        bool clicked = false;
        std::unique_ptr<Session> s(record(request, 1500ms, [&](std::chrono::milliseconds at) {
            if (!clicked && at >= 300ms) {
                clicked = true;
                desk.click();
            }
        }));
        request.markClicks = false;
        int ringed = 0;
        for (const RecordedFrame &f : s->frames) {
            bool any = false;
            for (int dx = -30; dx <= 30 && !any; ++dx)
                for (int dy = -30; dy <= 30 && !any; ++dy) {
                    const QRgb q = f.image.pixel(30 + dx, 80 + dy);
                    any = qRed(q) > 0x60 && qGreen(q) > 0x40 && qBlue(q) < 0x30;
                }
            ringed += any;
        }
        const size_t n = s->frames.size();
        check("a click draws a ring that fades over about 0.6 s",
              n >= 14 && n <= 22 && ringed >= 12,
              QStringLiteral("%1 frames, %2 with a ring").arg(n).arg(ringed));
        std::this_thread::sleep_for(100ms);
    }

    if (argc > 1 && QByteArray(argv[1]) == "--resize") {
        // The screen shrinks under the recording: it ends with a reason that names it.
        bool resized = false;
        std::unique_ptr<Session> s(record(request, 2000ms, [&](std::chrono::milliseconds at) {
            if (!resized && at >= 300ms) {
                resized = true;
                std::system(qPrintable(QStringLiteral("xrandr --fb %1x%2 >/dev/null 2>&1")
                                           .arg(screen.width() - 200)
                                           .arg(screen.height() - 100)));
            }
        }));
        check("a display that changes size ends the recording with its reason",
              s->failure.contains(QLatin1String("changed size")), s->failure);
    }
    std::printf("%d failed\n", failures);
    return failures;
}
