// The beautify render of a 3840×2160 capture and the before/after GIF of two 1920×1080 frames.
// Targets: render <= 150 ms; GIF <= 400 ms. Each figure has a floor measured beside it: the
// least any render must do (fill every output pixel once), and giflib's LZW coding alone of
// frames already indexed.
#include "engines/Beautify.h"
#include "engines/Compare.h"
#include "engines/GifWriter.h"

#include <QBuffer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <ctime>

using namespace vistrel;

namespace {

// Something like a busy desktop: gradients, text-like stripes and noise; thousands of colours.
QImage screenshot(int w, int h, int seed)
{
    QImage img(w, h, QImage::Format_RGB32);
    QRandomGenerator rng(seed);
    for (int y = 0; y < img.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            line[x] = qRgb((x / 7 + seed * 40) % 256, (y / 5) % 256,
                           (y % 24 < 3) ? 30 : int(rng.bounded(40)) + 200);
    }
    return img;
}

// Work on every thread, per iteration: on a busy machine the wall time says little, and the
// work divided by the cores is what an idle one would show.
struct ProcessCpu
{
    std::clock_t start = std::clock();
    void report(benchmark::State &state) const
    {
        state.counters["cpu_ms"] = benchmark::Counter(1000.0 * double(std::clock() - start) /
                                                      CLOCKS_PER_SEC / double(state.iterations()));
    }
};

void BM_BeautifyRender4K(benchmark::State &state)
{
    const Beautifier b(screenshot(3840, 2160, 1));
    QSize size;
    const ProcessCpu cpu;
    for (auto _ : state) {
        const QImage out = b.render();
        size = out.size();
        benchmark::DoNotOptimize(out.constBits());
    }
    cpu.report(state);
    state.SetLabel(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()).toStdString());
}
BENCHMARK(BM_BeautifyRender4K)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BM_FloorFillOutput4K(benchmark::State &state)
{
    const QSize size = Beautifier(screenshot(3840, 2160, 1)).outputSize();
    const ProcessCpu cpu;
    for (auto _ : state) {
        QImage out(size, QImage::Format_ARGB32_Premultiplied);
        out.fill(Qt::white);
        benchmark::DoNotOptimize(out.constBits());
    }
    cpu.report(state);
}
BENCHMARK(BM_FloorFillOutput4K)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();

void BM_BeforeAfterGif1080p(benchmark::State &state)
{
    QTemporaryDir dir;
    const BeforeAfter m(screenshot(1920, 1080, 1), screenshot(1920, 1080, 2));
    const QString path = dir.filePath("ba.gif");
    const ProcessCpu cpu;
    for (auto _ : state)
        if (!m.writeBeforeAfterGIF(path))
            state.SkipWithError("GIF not written");
    cpu.report(state);
    state.SetLabel(QStringLiteral("%1 KB").arg(QFileInfo(path).size() / 1024).toStdString());
}
BENCHMARK(BM_BeforeAfterGif1080p)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BM_FloorGifCodingOnly1080p(benchmark::State &state)
{
    const QList<IndexedFrame> frames{indexFrame(screenshot(1920, 1080, 1)),
                                     indexFrame(screenshot(1920, 1080, 2))};
    const ProcessCpu cpu;
    for (auto _ : state) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!GifWriter::write(buffer, frames, 90, 0))
            state.SkipWithError("GIF not written");
    }
    cpu.report(state);
}
BENCHMARK(BM_FloorGifCodingOnly1080p)->Unit(benchmark::kMillisecond)->MinTime(1.0)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
