// The recording benchmark's helpers (bench/record_bench.sh):
//   vistrel_record_bench picture
//       a full-screen window with a desktop-like picture that changes at 30 fps: a moving
//       square, a frame counter, a growing line of text and a progress bar
//   vistrel_record_bench record FILE SECONDS [X Y W H]
//       the area through the platform's X11 source at 30 fps into the engines' RecordingWriter
//   vistrel_record_bench convert IN OUT
//       the whole of IN re-encoded as OUT's type through trimRecording
//   vistrel_record_bench gif IN OUT
//       every frame of IN (a lossless recording) through the GIF encoder at 15 fps
//   vistrel_record_bench timed SECONDS -- COMMAND...
//       runs COMMAND, interrupts it after SECONDS (0: lets it end by itself), and tells how
//       long it took to end after that, its whole time and the processor time it used
// Each prints "key=value" figures on its last line.
#include "engines/GifRecording.h"
#include "engines/RecordingReader.h"
#include "engines/RecordingWriter.h"
#include "platform/X11Recorder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace vistrel;

namespace {

double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class Picture : public QWidget
{
public:
    Picture()
    {
        setWindowTitle(QStringLiteral("Vistrel Record Bench"));
        setAttribute(Qt::WA_OpaquePaintEvent);
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, &Picture::step);
        m_timer.start(1000 / 30);
    }

protected:
    void resizeEvent(QResizeEvent *) override { m_background = QPixmap(); }
    void paintEvent(QPaintEvent *event) override
    {
        if (m_background.size() != size())
            paintBackground();
        QPainter p(this);
        p.setClipRegion(event->region());
        p.drawPixmap(0, 0, m_background);
        // The frame counter, top left.
        QFont big = font();
        big.setPixelSize(64);
        big.setBold(true);
        p.setFont(big);
        p.setPen(QColor(30, 30, 30));
        p.drawText(counterRect(), Qt::AlignLeft | Qt::AlignVCenter, QString::number(m_frame));
        // A line being typed, a few characters a second.
        QFont text = font();
        text.setPixelSize(18);
        p.setFont(text);
        p.drawText(typingRect(), Qt::AlignLeft | Qt::AlignVCenter, typed());
        // A progress bar.
        const QRect bar = barRect();
        p.fillRect(bar, QColor(220, 220, 220));
        p.fillRect(QRect(bar.topLeft(), QSize(bar.width() * (m_frame % 300) / 300, bar.height())),
                   QColor(40, 120, 220));
        // A turning colour wheel: a spinner, or a video in a page.
        const QRect wheel = wheelRect();
        QConicalGradient colours(wheel.center(), double(m_frame * 6 % 360));
        for (int i = 0; i <= 6; ++i)
            colours.setColorAt(i / 6.0, QColor::fromHsv(i * 60 % 360, 200, 230));
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(colours);
        p.drawEllipse(wheel);
        p.setRenderHint(QPainter::Antialiasing, false);
        // The square.
        p.fillRect(squareRect(), QColor(220, 60, 40));
    }

private:
    QRect counterRect() const { return QRect(140, 130, 300, 80); }
    QRect typingRect() const { return QRect(140, 240, 700, 30); }
    QRect barRect() const { return QRect(140, 290, 600, 16); }
    QRect wheelRect() const { return QRect(700, 500, 160, 160); }
    QRect squareRect() const
    {
        const double t = m_frame / 30.0;
        const int x = int(width() / 2 + (width() / 2 - 120) * std::sin(t * 0.9));
        const int y = int(height() / 2 + (height() / 2 - 120) * std::sin(t * 1.3));
        return QRect(x - 40, y - 40, 80, 80);
    }
    QString typed() const
    {
        static const QString line = QStringLiteral(
            "The quick brown fox jumps over the lazy dog while the recording goes on and on. ");
        return line.left(int(m_frame / 3 % line.size()));
    }
    void step()
    {
        QRegion changed = counterRect() | typingRect() | barRect() | wheelRect() | squareRect();
        ++m_frame;
        changed |= squareRect();
        update(changed);
    }
    void paintBackground()
    {
        m_background = QPixmap(size());
        QPainter p(&m_background);
        p.fillRect(rect(), QColor(236, 239, 244));
        QLinearGradient header(0, 0, width(), 0);
        header.setColorAt(0, QColor(40, 70, 120));
        header.setColorAt(1, QColor(90, 40, 110));
        p.fillRect(QRect(0, 0, width(), 90), header);
        p.fillRect(QRect(100, 110, 820, 700), Qt::white);
        p.fillRect(QRect(1000, 110, 820, 700), QColor(250, 250, 250));
        QFont text = font();
        text.setPixelSize(15);
        p.setFont(text);
        p.setPen(QColor(60, 60, 60));
        for (int i = 0; i < 26; ++i)
            p.drawText(QPoint(1020, 150 + i * 24),
                       QStringLiteral("%1  static text of a document, line %2 of many lines")
                           .arg(i * 7 % 13)
                           .arg(i));
        for (int i = 0; i < 14; ++i)
            p.drawText(QPoint(140, 350 + i * 24),
                       QStringLiteral("Paragraph %1: words that do not change at all.").arg(i));
    }

    QTimer m_timer;
    QPixmap m_background;
    qint64 m_frame = 0;
};

// The app's own path: the platform's X11 source (XShm grabs paced at 30 fps, unchanged ticks
// left out) into RecordingWriter.
int record(const QString &path, double seconds, QRect area)
{
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return std::fprintf(stderr, "no X display\n"), 1;
    xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    RecordingRequest request;
    request.display.frame = QRectF(0, 0, screen->width_in_pixels, screen->height_in_pixels);
    request.fps = 30;
    request.showPointer = false; // as ffmpeg's -draw_mouse 0
    request.pixelRect = area;
    xcb_disconnect(c);

    X11FrameSource source;
    const auto format = recordingFormatFor(path);
    EncoderSettings settings;
    settings.format = format.value_or(RecordingFormat::WebM);
    settings.size = area.isEmpty() ? request.display.frame.size().toSize() : area.size();
    settings.fps = request.fps;
    settings.path = path;
    RecordingWriter writer(FrameEncoder::create(settings.format),
                           RecordingWriter::queueFramesFor(settings.size));
    if (const QString error = writer.start(settings); !error.isEmpty())
        return std::fprintf(stderr, "%s\n", qPrintable(error)), 1;

    QEventLoop loop;
    QString error;
    std::atomic<qint64> delivered{0}, lastTick{-1};
    QObject::connect(&source, &FrameSource::failed, &loop, [&](const QString &why) {
        error = why;
        loop.quit();
    });
    const double cpuBefore = cpuSeconds(RUSAGE_SELF);
    QElapsedTimer clock;
    clock.start();
    source.start(request, [&](RecordedFrame frame) {
        ++delivered;
        lastTick = frame.tick;
        writer.push(frame.image, frame.tick);
    });
    QTimer::singleShot(int(seconds * 1000), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    source.stop();
    const qint64 endTick =
        std::max<qint64>(lastTick + 1, qRound64(double(clock.elapsed()) * request.fps / 1000));

    QElapsedTimer stop;
    stop.start();
    double stopMs = 0;
    RecordingStats stats;
    QObject::connect(&writer, &RecordingWriter::finished, &loop,
                     [&](const QString &e, const RecordingStats &s) {
                         stopMs = double(stop.nsecsElapsed()) / 1e6;
                         if (error.isEmpty())
                             error = e;
                         stats = s;
                         loop.quit();
                     });
    writer.finish(endTick);
    loop.exec();
    const double cpu = cpuSeconds(RUSAGE_SELF) - cpuBefore;
    RecordingReader reader;
    const QString readError = reader.open(path);
    std::printf("delivered=%lld written=%lld dropped=%lld ticks=%lld cpu_s=%.2f cpu_per_s=%.3f "
                "size=%lld stop_ms=%.0f duration_ms=%lld error=%s\n",
                qint64(delivered), stats.framesWritten, stats.framesDropped, endTick, cpu,
                cpu * request.fps / double(endTick), QFileInfo(path).size(), stopMs,
                reader.durationMs(),
                error.isEmpty() && readError.isEmpty() ? "none" : qPrintable(error + readError));
    return error.isEmpty() ? 0 : 1;
}

int toGif(const QString &in, const QString &out)
{
    RecordingReader reader;
    if (const QString error = reader.open(in); !error.isEmpty())
        return std::fprintf(stderr, "%s\n", qPrintable(error)), 1;
    constexpr int fps = 30;
    GifRecordingEncoder encoder;
    EncoderSettings settings;
    settings.format = RecordingFormat::Gif;
    settings.size = reader.size();
    settings.fps = fps;
    settings.gifMaxFps = 15;
    settings.path = out;
    if (const QString error = encoder.open(settings); !error.isEmpty())
        return std::fprintf(stderr, "%s\n", qPrintable(error)), 1;
    QElapsedTimer decoding;
    qint64 decodeNs = 0, encodeNs = 0;
    QElapsedTimer total;
    total.start();
    const double cpuBefore = cpuSeconds(RUSAGE_SELF);
    qint64 frames = 0, lastTick = -1;
    for (qint64 ms : reader.frameTimesMs()) {
        decoding.start();
        const QImage frame = reader.frameAt(ms);
        decodeNs += decoding.nsecsElapsed();
        const qint64 tick = (ms * fps + 500) / 1000;
        if (frame.isNull() || tick <= lastTick)
            continue;
        decoding.start();
        if (const QString error = encoder.add(frame, tick); !error.isEmpty())
            return std::fprintf(stderr, "%s\n", qPrintable(error)), 1;
        encodeNs += decoding.nsecsElapsed();
        lastTick = tick;
        ++frames;
    }
    decoding.start();
    const QString error = encoder.finish((reader.durationMs() * fps + 500) / 1000);
    encodeNs += decoding.nsecsElapsed();
    std::printf("frames_in=%lld encode_ms=%.0f decode_ms=%.0f cpu_s=%.2f size=%lld error=%s\n",
                frames, double(encodeNs) / 1e6, double(decodeNs) / 1e6,
                cpuSeconds(RUSAGE_SELF) - cpuBefore, QFileInfo(out).size(),
                error.isEmpty() ? "none" : qPrintable(error));
    return error.isEmpty() ? 0 : 1;
}

int timed(double seconds, char **argv)
{
    QElapsedTimer wall;
    wall.start();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[0], argv);
        _exit(127);
    }
    int status = 0;
    double stopMs = 0;
    if (seconds > 0) {
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        QElapsedTimer stop;
        stop.start();
        kill(child, SIGINT);
        waitpid(child, &status, 0);
        stopMs = double(stop.nsecsElapsed()) / 1e6;
    } else {
        waitpid(child, &status, 0); // ends by itself
    }
    std::printf("stop_ms=%.0f wall_ms=%lld cpu_s=%.2f exit=%d\n", stopMs, wall.elapsed(),
                cpuSeconds(RUSAGE_CHILDREN), WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (mode == QLatin1String("timed") && argc > 4)
        return timed(std::atof(argv[2]), argv + 4);
    if (mode == QLatin1String("picture")) {
        QApplication app(argc, argv);
        Picture picture;
        picture.setGeometry(QGuiApplication::primaryScreen()->geometry());
        picture.showFullScreen();
        return app.exec();
    }
    QCoreApplication app(argc, argv); // no display needed: grabs go through xcb
    if (mode == QLatin1String("record") && argc >= 4) {
        QRect area;
        if (argc >= 8)
            area = QRect(atoi(argv[4]), atoi(argv[5]), atoi(argv[6]), atoi(argv[7]));
        return record(QString::fromLocal8Bit(argv[2]), std::atof(argv[3]), area);
    }
    if (mode == QLatin1String("convert") && argc >= 4) {
        RecordingReader reader;
        reader.open(QString::fromLocal8Bit(argv[2]));
        QElapsedTimer t;
        t.start();
        const QString error =
            trimRecording(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), 0,
                          reader.durationMs());
        std::printf("ms=%lld cpu_s=%.2f size=%lld error=%s\n", t.elapsed(), cpuSeconds(RUSAGE_SELF),
                    QFileInfo(QString::fromLocal8Bit(argv[3])).size(),
                    error.isEmpty() ? "none" : qPrintable(error));
        return error.isEmpty() ? 0 : 1;
    }
    if (mode == QLatin1String("gif") && argc >= 4)
        return toGif(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    std::fprintf(stderr,
                 "usage: %s picture | record FILE SECONDS [X Y W H] | gif IN OUT | "
                 "timed SECONDS -- COMMAND...\n",
                 argv[0]);
    return 2;
}
