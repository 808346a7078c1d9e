// The cost of one pointer move over a 1920×1080 selection overlay: the event plus the
// repaint it causes. Target: <= 4 ms per move.
#include "ui/SelectionView.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

using namespace vistrel;

namespace {

QImage busyScreen()
{
    QImage img(1920, 1080, QImage::Format_RGB32);
    QRandomGenerator rng(3);
    for (int y = 0; y < img.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            line[x] = qRgb((x / 3) % 256, (y / 2) % 256, int(rng.bounded(256)));
    }
    return img;
}

std::unique_ptr<SelectionView> makeView()
{
    SelectionModel::Setup setup;
    setup.display = DisplayInfo{1, QRectF(0, 0, 1920, 1080), 1.0, {}};
    WindowInfo w;
    w.windowID = 2;
    w.frame = QRectF(400, 300, 800, 500);
    w.ownerPid = 9;
    setup.windows = {w};
    auto view = std::make_unique<SelectionView>(setup, busyScreen(), 1.0);
    view->setGeometry(0, 0, 1920, 1080);
    view->show();
    QCoreApplication::processEvents();
    return view;
}

void move(SelectionView &view, QPointF p, Qt::MouseButtons buttons)
{
    QMouseEvent e(QEvent::MouseMove, p, p, Qt::NoButton, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(&view, &e);
    // Paint what the move invalidated, now.
    QCoreApplication::sendPostedEvents(&view, QEvent::UpdateRequest);
}

void BM_PointerMoveIdle(benchmark::State &state)
{
    auto view = makeView();
    int i = 0;
    for (auto _ : state) {
        const double t = (i++ % 400) / 400.0;
        move(*view, QPointF(100 + 1700 * t, 100 + 850 * t), Qt::NoButton);
    }
}
BENCHMARK(BM_PointerMoveIdle)->Unit(benchmark::kMillisecond);

void BM_PointerDragDrawing(benchmark::State &state)
{
    auto view = makeView();
    QMouseEvent down(QEvent::MouseButtonPress, QPointF(200, 200), QPointF(200, 200), Qt::LeftButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view.get(), &down);
    int i = 0;
    for (auto _ : state) {
        const double t = (i++ % 400) / 400.0;
        move(*view, QPointF(300 + 1500 * t, 300 + 700 * t), Qt::LeftButton);
    }
}
BENCHMARK(BM_PointerDragDrawing)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
