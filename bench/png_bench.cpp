// PNG encoding for the clipboard of a busy 1920×1080 desktop picture and of noise (the worst
// case), with the toolkit's own writer beside it as the reference. The output's size is
// printed as a counter. `vistrel_png_bench --write-desktop FILE` writes the desktop picture
// instead (the shell benchmarks put it on the root window); `--picture FILE` adds a picture of
// one's own (the overlay benchmark's plasma fractal, say).
#include "BusyPictures.h"
#include "engines/PngEncoder.h"

#include <QBuffer>
#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <cstring>

using namespace vistrel;

namespace {

void encodeFast(benchmark::State &state, const QImage &picture)
{
    qsizetype bytes = 0;
    for (auto _ : state)
        bytes = encodePngFast(picture).size();
    state.counters["bytes"] = double(bytes);
}

void encodeToolkit(benchmark::State &state, const QImage &picture)
{
    qsizetype bytes = 0;
    for (auto _ : state) {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        picture.save(&out, "PNG");
        bytes = out.size();
    }
    state.counters["bytes"] = double(bytes);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--write-desktop") == 0)
        return bench::busyDesktop().save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
    const QImage desktop = bench::busyDesktop(), noise = bench::noisePicture();
    benchmark::RegisterBenchmark("BM_EncodePng/desktop", encodeFast, desktop)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_EncodePng/noise", encodeFast, noise)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_ToolkitPng/desktop", encodeToolkit, desktop)
        ->Unit(benchmark::kMillisecond);
    if (argc >= 3 && std::strcmp(argv[1], "--picture") == 0) {
        const QImage own(QString::fromLocal8Bit(argv[2]));
        if (own.isNull())
            return 1;
        benchmark::RegisterBenchmark("BM_EncodePng/picture", encodeFast, own)
            ->Unit(benchmark::kMillisecond);
        argc -= 2, argv += 2;
        argv[0] = argv[-2];
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
