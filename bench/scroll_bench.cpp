// Scrolling capture: the stitcher's work per frame on 1600×1000 frames, and the frame
// capture itself (a 1600×1000 rectangle of the X screen, when there is one). Each figure is
// printed beside its floor from the same run: reading the frame's bytes once (stitching),
// copying them once (capture). Targets: add(frame:) <= 1 ms, a frame capture <= 5 ms.
#include "platform/X11Desktop.h"
#include "scroll/ScrollStitcher.h"

#include <QApplication>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QScreen>

#include <benchmark/benchmark.h>

#include <cstring>
#include <numeric>

using namespace vistrel;

namespace {

constexpr int frameW = 1600, frameH = 1000;

const QImage &tallPage()
{
    static const QImage page = [] {
        QImage img(frameW, frameH * 3, QImage::Format_RGB32);
        QRandomGenerator rng(5);
        for (int y = 0; y < img.height(); y += 4)
            for (int x = 0; x < img.width(); x += 8) {
                const QRgb c = qRgb(rng.bounded(256), rng.bounded(256), rng.bounded(256));
                for (int yy = y; yy < y + 4; ++yy)
                    std::fill_n(reinterpret_cast<QRgb *>(img.scanLine(yy)) + x, 8, c);
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

void BM_Signature(benchmark::State &state)
{
    const QList<QImage> list = frames();
    int i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(ScrollStitcher::signature(list[i++ % list.size()]));
}
BENCHMARK(BM_Signature)->Unit(benchmark::kMillisecond);

void BM_BestShift(benchmark::State &state)
{
    const QList<QImage> list = frames();
    const auto a = *ScrollStitcher::signature(list[0]);
    const auto b = *ScrollStitcher::signature(list[1]);
    for (auto _ : state)
        benchmark::DoNotOptimize(ScrollStitcher::bestShift(a, b));
}
BENCHMARK(BM_BestShift)->Unit(benchmark::kMicrosecond);

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
    if (!src || !screen || screen->geometry().width() < frameW || screen->geometry().height() < frameH) {
        state.SkipWithError("needs an X screen of at least 1600x1000");
        return;
    }
    DisplayInfo d;
    d.displayID = X11ScreenSource::displayIDFor(screen);
    d.frame = screen->geometry();
    d.scale = 1;
    for (auto _ : state) {
        auto frame = src->grabDisplayPixels(d, QRect(100, 40, frameW, frameH), {});
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
