// What the recording preview asks of the reader for each frame it shows: `frameAt` on a
// 1920×1080 WebM played in order (what playback does) and at random places (dragging the
// position or a trim handle), and the same jumps in an 800×600 GIF, whose frames build on the
// ones before. Beside them, the floor: one copy of a 1920×1080 frame's bytes. The preview
// decodes on a thread of its own either way; these say how many frames it can show.
#include "engines/RecordingReader.h"
#include "engines/RecordingWriter.h"

#include <QGuiApplication>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

using namespace vistrel;

namespace {

// A busy desktop-like picture with a square that moves each frame.
QImage frameAt(QSize size, int tick)
{
    QImage img(size, QImage::Format_RGB32);
    QRandomGenerator rng(7);
    for (int y = 0; y < img.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            line[x] =
                qRgb((x / 7) % 256, (y / 5) % 256, (y % 24 < 3) ? 30 : int(rng.bounded(40)) + 200);
    }
    QPainter(&img).fillRect(tick * 12 % size.width(), size.height() / 3, 120, 120, Qt::red);
    return img;
}

QString recording(const QString &path, RecordingFormat format, QSize size, int frames)
{
    auto encoder = FrameEncoder::create(format);
    EncoderSettings settings;
    settings.format = format;
    settings.size = size;
    settings.path = path;
    if (const QString error = encoder->open(settings); !error.isEmpty()) {
        std::fprintf(stderr, "cannot record: %s\n", qPrintable(error));
        std::exit(1);
    }
    for (int tick = 0; tick < frames; ++tick)
        encoder->add(frameAt(size, tick), tick);
    encoder->finish(frames);
    return path;
}

QTemporaryDir &folder()
{
    static QTemporaryDir dir;
    return dir;
}

const QString &webm()
{
    static const QString path =
        recording(folder().filePath("bench.webm"), RecordingFormat::WebM, {1920, 1080}, 90);
    return path;
}

const QString &gif()
{
    static const QString path =
        recording(folder().filePath("bench.gif"), RecordingFormat::Gif, {800, 600}, 90);
    return path;
}

void playInOrder(benchmark::State &state, const QString &path)
{
    RecordingReader reader;
    if (!reader.open(path).isEmpty())
        return state.SkipWithError("cannot open the recording");
    const QList<qint64> times = reader.frameTimesMs();
    qsizetype i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(reader.frameAt(times[i]).constBits());
        i = (i + 1) % times.size();
    }
}

void jumpAround(benchmark::State &state, const QString &path)
{
    RecordingReader reader;
    if (!reader.open(path).isEmpty())
        return state.SkipWithError("cannot open the recording");
    QRandomGenerator rng(3);
    for (auto _ : state)
        benchmark::DoNotOptimize(
            reader.frameAt(qint64(rng.bounded(int(reader.durationMs())))).constBits());
}

void BM_WebM1080pInOrder(benchmark::State &state)
{
    playInOrder(state, webm());
}

void BM_WebM1080pJumps(benchmark::State &state)
{
    jumpAround(state, webm());
}

void BM_Gif800x600InOrder(benchmark::State &state)
{
    playInOrder(state, gif());
}

void BM_Gif800x600Jumps(benchmark::State &state)
{
    jumpAround(state, gif());
}

void BM_Floor1080pFrameCopy(benchmark::State &state)
{
    const QImage frame = frameAt({1920, 1080}, 0);
    for (auto _ : state) {
        QImage copy = frame.copy();
        benchmark::DoNotOptimize(copy.constBits());
    }
}

} // namespace

BENCHMARK(BM_WebM1080pInOrder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WebM1080pJumps)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Gif800x600InOrder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Gif800x600Jumps)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Floor1080pFrameCopy)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
