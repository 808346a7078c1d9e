// Records an area of a Wayland desktop through the ScreenCast portal while a window of its own
// moves a square across it, then checks every frame by its pixels: the area cut where it was
// asked, the square where it was at that moment, ticks rising, the last picture there.
//
//   castprobe SECONDS X Y WIDTH HEIGHT [FOLDER]    (FOLDER: the frames are kept there as PNG)
//   castprobe --expect-failure PATTERN SECONDS X Y WIDTH HEIGHT   (the reason it must fail with)
//
// Exits 0 when every check passed; prints each check and what it saw.
#include "platform/PortalClient.h"
#include "platform/PortalScreenCast.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <QRasterWindow>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>

using namespace vistrel;

namespace {

constexpr int side = 40;                  // the square's size
constexpr double speed = 120;             // pixels a second
constexpr QRgb squareColour = 0xff0000ff; // a blue the backdrop never has

qint64 steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Every place of the backdrop has its own colour, so a frame cut at the wrong place shows.
QRgb backdropAt(int x, int y)
{
    return qRgb(x & 255, y & 255, ((x >> 8) << 4) | (y >> 8));
}

std::atomic<qint64> motionStart{0}; // 0: the square waits at its first place

// The square's left edge at a steady-clock time; it stops `stopAt` pixels on.
struct Path
{
    int x0 = 0, y0 = 0, travel = 0;
    int xAt(qint64 ns) const
    {
        const qint64 start = motionStart.load();
        if (start == 0 || ns <= start)
            return x0;
        return x0 + int(std::min<double>(travel, (ns - start) / 1e9 * speed));
    }
};

class Page : public QRasterWindow
{
public:
    Page(QSize size, Path path) : m_path(path)
    {
        m_backdrop = QImage(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                m_backdrop.setPixel(x, y, backdropAt(x, y));
        setTitle(QStringLiteral("castprobe"));
        auto *tick = new QTimer(this);
        connect(tick, &QTimer::timeout, this, [this] {
            const int x = m_path.xAt(steadyNs());
            if (x != m_drawnX)
                update();
        });
        tick->start(8);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.drawImage(0, 0, m_backdrop);
        m_drawnX = m_path.xAt(steadyNs());
        p.fillRect(m_drawnX, m_path.y0, side, side, QColor::fromRgb(squareColour));
    }

private:
    Path m_path;
    QImage m_backdrop;
    int m_drawnX = -1;
};

struct Arrived
{
    RecordedFrame frame;
    qint64 ns = 0;
};

int failures = 0;
void check(bool ok, const QString &what)
{
    std::printf("%s: %s\n", ok ? "PASS" : "FAIL", qPrintable(what));
    std::fflush(stdout);
    failures += ok ? 0 : 1;
}

// Where the square is in a frame of the area at `area`: the bounding box of the pixels that
// are not the backdrop's; empty where all are. `clean` is false where a pixel is neither.
QRect squareIn(const QImage &frame, QPoint area, bool *clean)
{
    QRect box;
    *clean = true;
    for (int y = 0; y < frame.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(frame.constScanLine(y));
        for (int x = 0; x < frame.width(); ++x) {
            if (line[x] == backdropAt(area.x() + x, area.y() + y))
                continue;
            if (line[x] != squareColour)
                *clean = false;
            box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString expectFailure;
    if (args.value(0) == QLatin1String("--expect-failure")) {
        expectFailure = args.value(1);
        args = args.mid(2);
    }
    if (args.size() < 5) {
        std::fprintf(stderr, "usage: castprobe [--expect-failure TEXT] SECONDS X Y W H [FOLDER]\n");
        return 2;
    }
    const double seconds = args[0].toDouble();
    const QRect area(args[1].toInt(), args[2].toInt(), args[3].toInt(), args[4].toInt());
    const QString keep = args.value(5);

    QScreen *screen = QGuiApplication::primaryScreen();
    DisplayInfo display;
    display.frame = screen->geometry();
    display.scale = screen->devicePixelRatio();
    // The square crosses the area's middle from near its left edge and stops short of the
    // right one before the recording ends: the desktop then sends nothing, and the last
    // picture must still be there.
    Path path{area.x() + 10, area.y() + area.height() / 2 - side / 2,
              int(std::min<double>(area.width() - side - 20, speed * seconds * 0.6))};
    Page page(screen->size(), path);
    page.showFullScreen();

    PortalClient portal;
    PortalScreenCast recorder(portal);
    check(recorder.desktopChoosesSource(), QStringLiteral("the portal's chooser picks the source"));
    std::unique_ptr<FrameSource> source = recorder.createSource();
    std::mutex mutex;
    QList<Arrived> frames;
    bool sinkAfterStop = false;
    bool stopped = false;
    qint64 askedNs = 0;
    QString failure;

    RecordingRequest request;
    request.display = display;
    request.pixelRect = area;
    request.fps = 30;
    request.showPointer = false;
    QObject::connect(source.get(), &FrameSource::failed, &app, [&](const QString &why) {
        failure = why;
        app.quit();
    });
    QObject::connect(source.get(), &FrameSource::started, &app, [&] {
        motionStart = steadyNs() + 300000000; // a still start first: the crop is checked alone
        // Once the square has stopped, a frame is asked for (as after a pause): the desktop
        // sends none for a still picture, the source hands on its last one again.
        QTimer::singleShot(int(seconds * 1000) - 400, &app, [&] {
            askedNs = steadyNs();
            source->requestFrame();
        });
        QTimer::singleShot(int(seconds * 1000), &app, [&] {
            source->stop();
            {
                std::lock_guard lock(mutex);
                stopped = true;
            }
            // Anything handed on from here on would be a sink call after stop returned.
            QTimer::singleShot(500, &app, &QCoreApplication::quit);
        });
    });
    // Once the window is on the screen.
    QTimer::singleShot(1000, &app, [&] {
        source->start(request, [&](RecordedFrame frame) {
            std::lock_guard lock(mutex);
            if (stopped)
                sinkAfterStop = true;
            frames.append({std::move(frame), steadyNs()});
        });
    });
    QTimer::singleShot(int(seconds * 1000) + 30000, &app, [&] {
        failure = QStringLiteral("no answer within 30 s");
        app.quit();
    });
    app.exec();

    if (!expectFailure.isEmpty()) {
        const QRegularExpression expected(expectFailure, QRegularExpression::CaseInsensitiveOption);
        check(!failure.isEmpty() && failure.contains(expected),
              QStringLiteral("the recording fails with \"%1\" (%2)").arg(expectFailure, failure));
        return failures ? 1 : 0;
    }
    check(failure.isEmpty(), QStringLiteral("the recording runs (%1)").arg(failure));
    check(!sinkAfterStop, QStringLiteral("no frame is handed on after stop() returned"));
    check(source->frameSize() == area.size(),
          QStringLiteral("the frames are the area's size (%1×%2)")
              .arg(source->frameSize().width())
              .arg(source->frameSize().height()));
    check(!frames.isEmpty(), QStringLiteral("frames arrive (%1)").arg(frames.size()));
    if (frames.isEmpty())
        return 1;
    if (!keep.isEmpty()) {
        QDir().mkpath(keep);
        for (const Arrived &a : std::as_const(frames))
            a.frame.image.save(QStringLiteral("%1/frame-%2.png")
                                   .arg(keep)
                                   .arg(a.frame.tick, 4, 10, QLatin1Char('0')));
    }

    // Tick 0 is the first frame's: it was handed on as it arrived.
    const qint64 origin = frames.first().ns;
    bool rising = frames.first().frame.tick == 0, sized = true, clean = true, whole = true;
    int misplaced = 0;
    double worst = 0;
    for (int i = 0; i < frames.size(); ++i) {
        const RecordedFrame &f = frames[i].frame;
        if (i > 0 && f.tick <= frames[i - 1].frame.tick)
            rising = false;
        if (f.image.size() != area.size() || f.image.format() != QImage::Format_RGB32) {
            sized = false;
            continue;
        }
        bool pure = true;
        const QRect box = squareIn(f.image, area.topLeft(), &pure);
        clean = clean && pure;
        if (box.size() != QSize(side, side)) {
            whole = false;
            continue;
        }
        // Where the square was when the tick began: the frame shows it no earlier and at most
        // a few ticks (the desktop's own delay) later.
        const qint64 tickNs = origin + qint64(f.tick * 1e9 / request.fps);
        const int expected = path.xAt(tickNs) - area.x();
        const double lag = (expected - box.x()) / speed; // seconds the picture is behind
        worst = std::max(worst, std::abs(lag));
        if (lag < -0.1 || lag > 0.25 || box.y() != path.y0 - area.y())
            ++misplaced;
    }
    check(rising, QStringLiteral("ticks start at 0 and rise, never repeated"));
    check(sized, QStringLiteral("every frame is an RGB32 picture of %1×%2")
                     .arg(area.width())
                     .arg(area.height()));
    check(clean, QStringLiteral("every pixel is the backdrop's at its place or the square's: "
                                "the area is cut where it was asked"));
    check(whole, QStringLiteral("the square is whole in every frame"));
    check(misplaced == 0, QStringLiteral("the square is where it was at each frame's tick "
                                         "(%1 misplaced; worst lag %2 s)")
                              .arg(misplaced)
                              .arg(worst, 0, 'f', 3));
    // While the square moves, the desktop sends a frame for almost every tick; before and
    // after, nothing changes and it sends (almost) nothing.
    const qint64 lastTick = frames.last().frame.tick;
    const qint64 firstMoving = (motionStart.load() - origin) * request.fps / 1000000000 + 1;
    const qint64 lastMoving = firstMoving + qint64(path.travel / speed * request.fps) - 1;
    int moving = 0;
    for (const Arrived &a : std::as_const(frames))
        moving += a.frame.tick >= firstMoving && a.frame.tick <= lastMoving ? 1 : 0;
    check(moving >= (lastMoving - firstMoving + 1) * 0.7,
          QStringLiteral("while the square moves, most ticks have a frame (%1 of %2)")
              .arg(moving)
              .arg(lastMoving - firstMoving + 1));
    check(lastTick <= qint64(seconds * request.fps) + 2,
          QStringLiteral("no tick lies beyond the recording's %1 s (last %2)")
              .arg(seconds)
              .arg(lastTick));
    bool settledClean = true;
    const QRect last = squareIn(frames.last().frame.image, area.topLeft(), &settledClean);
    check(last.x() == path.x0 + path.travel - area.x(),
          QStringLiteral("the last frame shows the square where it stopped (x %1, expected %2)")
              .arg(last.x())
              .arg(path.x0 + path.travel - area.x()));
    const qint64 askedTick = (askedNs - origin) * request.fps / 1000000000;
    check(frames.size() >= 2 && frames.last().frame.tick >= askedTick &&
              frames.last().frame.tick <= askedTick + 2 &&
              frames.last().frame.image == frames[frames.size() - 2].frame.image,
          QStringLiteral("a frame asked for once the picture is still comes at once "
                         "(asked in tick %1, last %2)")
              .arg(askedTick)
              .arg(lastTick));
    std::printf("%lld frames, last tick %lld\n", qlonglong(frames.size()), qlonglong(lastTick));
    return failures ? 1 : 0;
}
