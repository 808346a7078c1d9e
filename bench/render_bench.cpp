// Pixelating a 4K screenshot and drawing 500 mixed marks into a 4K export.
// Targets: pixelation <= 25 ms; 500 marks <= 30 ms.
#include "model/AnnotationRenderer.h"

#include <QGuiApplication>
#include <QPainter>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

using namespace vistrel;

namespace {

QImage screenshot()
{
    // Something like a busy desktop: gradients, text-like stripes and noise.
    QImage img(3840, 2160, QImage::Format_RGB32);
    QRandomGenerator rng(1);
    for (int y = 0; y < img.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            line[x] =
                qRgb((x / 7) % 256, (y / 5) % 256, (y % 24 < 3) ? 30 : int(rng.bounded(40)) + 200);
    }
    return img;
}

QList<AnnotationRef> mixedMarks(int count)
{
    QRandomGenerator rng(2);
    const QList<ToolKind> kinds = {ToolKind::Arrow,   ToolKind::Line, ToolKind::Rect,
                                   ToolKind::Ellipse, ToolKind::Pen,  ToolKind::Highlight,
                                   ToolKind::Text,    ToolKind::Step, ToolKind::Blur};
    QList<AnnotationRef> marks;
    for (int i = 0; i < count; ++i) {
        const QPointF a(rng.bounded(3600), rng.bounded(2000));
        const QPointF b = a + QPointF(rng.bounded(240) - 120, rng.bounded(160) - 80);
        auto m = Annotation::make(kinds[i % kinds.size()], a, b,
                                  QColor::fromHsv(i * 7 % 360, 220, 230), 5);
        if (m->kind == ToolKind::Pen)
            for (int k = 0; k < 30; ++k)
                m->points.append(a + QPointF(k * 4, (k % 5) * 3));
        if (m->kind == ToolKind::Arrow && i % 2)
            m->control = (a + b) / 2 + QPointF(0, 40);
        m->text = QStringLiteral("Note %1").arg(i);
        m->stepNumber = i;
        marks.append(m);
    }
    return marks;
}

void BM_Pixelate4K(benchmark::State &state)
{
    const QImage img = screenshot();
    for (auto _ : state)
        benchmark::DoNotOptimize(pixelate(img));
}
BENCHMARK(BM_Pixelate4K)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void BM_Draw500Marks4K(benchmark::State &state)
{
    const QImage base = screenshot();
    const QImage pixelated = pixelate(base);
    const auto marks = mixedMarks(500);
    QImage target = base.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        QPainter p(&target);
        for (const auto &m : marks)
            AnnotationRenderer::draw(p, *m, &pixelated);
    }
    if (qEnvironmentVariableIsSet("VISTREL_BENCH_DUMP"))
        target.save(qEnvironmentVariable("VISTREL_BENCH_DUMP"));
}
BENCHMARK(BM_Draw500Marks4K)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
