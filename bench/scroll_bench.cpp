// Scrolling capture: the stitcher's work per frame on 1600×1000 frames of text, and the frame
// capture itself (a 1600×1000 rectangle of the X screen, when there is one). Each figure is
// printed beside its floor from the same run: reading the frame's bytes once (stitching),
// copying them once (capture). Targets: add(frame:) <= 1 ms, a frame capture <= 5 ms.
#include "model/ScrollStitcher.h"
#include "platform/X11Desktop.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QRandomGenerator>
#include <QScreen>

#include <benchmark/benchmark.h>

#include <cstring>
#include <numeric>

using namespace vistrel;

namespace {

constexpr int frameW = 1600, frameH = 1000;

// A tall page of text as terminals and editors show it (numbered lines of varied words on
// white, 20 rows a line): periodic enough to make matching work for its answer.
const QImage &tallPage()
{
    static const QImage page = [] {
        QImage img(frameW, frameH * 3, QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter p(&img);
        QFont font(QStringLiteral("DejaVu Sans Mono"));
        font.setPixelSize(14);
        p.setFont(font);
        p.setPen(QColor(30, 30, 30));
        QRandomGenerator rng(5);
        const QStringList words = {QStringLiteral("capture"),    QStringLiteral("screen"),
                                   QStringLiteral("the"),        QStringLiteral("scroll"),
                                   QStringLiteral("-rw-r--r--"), QStringLiteral("2026"),
                                   QStringLiteral("stitch"),     QStringLiteral("a"),
                                   QStringLiteral("frame"),      QStringLiteral("of")};
        for (int n = 0; n < img.height() / 20; ++n) {
            QString line = QStringLiteral("%1 ").arg(n, 5);
            const int count = int(rng.bounded(4, 18));
            for (int w = 0; w < count; ++w)
                line += words[int(rng.bounded(words.size()))] + QLatin1Char(' ');
            p.drawText(QRect(8, n * 20, frameW - 16, 20), Qt::AlignVCenter | Qt::AlignLeft, line);
        }
        return img;
    }();
    return page;
}

// Frames as the capture hands them over: their own pixels, 100 rows further down each time.
QList<QImage> frames()
{
    QList<QImage> out;
    for (int i = 0; i < 16; ++i)
        out.append(tallPage().copy(0, (i * 100) % (frameH * 2), frameW, frameH));
    return out;
}

void BM_StitcherAdd(benchmark::State &state)
{
    const QList<QImage> list = frames();
    ScrollStitcher s;
    int i = 0;
    for (auto _ : state) {
        if (i % list.size() == 0)
            s = ScrollStitcher(); // keeps the strips list from growing without end
        benchmark::DoNotOptimize(s.add(list[i % list.size()]));
        ++i;
    }
}
BENCHMARK(BM_StitcherAdd)->Unit(benchmark::kMillisecond);

void BM_Rows(benchmark::State &state)
{
    const QList<QImage> list = frames();
    int i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(ScrollStitcher::rows(list[i++ % list.size()]));
}
BENCHMARK(BM_Rows)->Unit(benchmark::kMillisecond);

void BM_FindShift(benchmark::State &state)
{
    const QList<QImage> list = frames();
    const auto a = ScrollStitcher::rows(list[0]);
    const auto b = ScrollStitcher::rows(list[1]);
    for (auto _ : state)
        benchmark::DoNotOptimize(ScrollStitcher::findShift(a, b));
}
BENCHMARK(BM_FindShift)->Unit(benchmark::kMicrosecond);

// The floor of the stitcher: one read of every byte of a frame that is not in the cache.
void BM_FloorReadFrame(benchmark::State &state)
{
    const QList<QImage> list = frames();
    int i = 0;
    for (auto _ : state) {
        const QImage &f = list[i++ % list.size()];
        const auto *p = reinterpret_cast<const quint64 *>(f.constBits());
        const size_t n = size_t(f.sizeInBytes()) / 8;
        quint64 sum = std::accumulate(p, p + n, quint64(0));
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_FloorReadFrame)->Unit(benchmark::kMillisecond);

X11ScreenSource *source()
{
    static X11ScreenSource s;
    return s.isAvailable() ? &s : nullptr;
}

void BM_FrameCapture(benchmark::State &state)
{
    X11ScreenSource *src = source();
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!src || !screen || screen->geometry().width() < frameW ||
        screen->geometry().height() < frameH) {
        state.SkipWithError("needs an X screen of at least 1600x1000");
        return;
    }
    DisplayInfo d;
    d.displayID = X11ScreenSource::displayIDFor(screen);
    d.frame = screen->geometry();
    d.scale = 1;
    for (auto _ : state) {
        auto frame = src->grabDisplayPixels(d, QRect(100, 40, frameW, frameH));
        if (!frame) {
            state.SkipWithError("the grab failed");
            return;
        }
        benchmark::DoNotOptimize(frame->constBits());
    }
}
BENCHMARK(BM_FrameCapture)->Unit(benchmark::kMillisecond);

// The floor of a capture: one copy of a frame's bytes.
void BM_FloorCopyFrame(benchmark::State &state)
{
    const QList<QImage> list = frames();
    QImage out(frameW, frameH, QImage::Format_RGB32);
    int i = 0;
    for (auto _ : state) {
        const QImage &f = list[i++ % list.size()];
        std::memcpy(out.bits(), f.constBits(), size_t(f.sizeInBytes()));
        benchmark::DoNotOptimize(out.constBits());
    }
}
BENCHMARK(BM_FloorCopyFrame)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    // The capture needs the X server; everything else runs without one.
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
