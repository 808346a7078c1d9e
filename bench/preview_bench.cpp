// The memory of the preview card a scrolling capture opens in, for a 1600×20000 picture (a
// long page), on the X display it runs on: PSS before the card, once it is painted, once a
// blur mark is drawn on it, and the peak while Copy makes its picture. The floor is the
// picture itself, which the card must hold.   vistrel_preview_bench [WIDTH HEIGHT]
#include "ui/PreviewCardController.h"
#include "ui/SymbolIcon.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QRandomGenerator>
#include <QWidget>

#include <malloc.h>

#include <cstdio>

using namespace vistrel;

namespace {

qint64 field(const char *path, const QByteArray &name)
{
    QFile f(QString::fromLatin1(path));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(name))
            return line.mid(name.size()).trimmed().split(' ').first().toLongLong();
    return -1;
}

double pssMiB()
{
    return field("/proc/self/smaps_rollup", "Pss:") / 1024.0;
}
double peakMiB()
{
    return field("/proc/self/status", "VmHWM:") / 1024.0;
}
void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

void settle(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    malloc_trim(0); // as the app does once a capture's work is done
}

// A long page as a stitched capture comes out: text-like rows on coloured sections.
QImage longPage(int w, int h)
{
    QImage page(w, h, QImage::Format_ARGB32_Premultiplied);
    QRandomGenerator rng(7);
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(page.scanLine(y));
        const QRgb base = qRgb(200 + (y / 400) % 50, 210, 230 - (y / 300) % 60);
        const bool textRow = y % 24 > 6 && y % 24 < 18;
        for (int x = 0; x < w; ++x)
            line[x] = textRow && (x / 9 + y / 24) % 7 != 0 && rng.bounded(3) == 0 ? qRgb(30, 30, 40)
                                                                                  : base;
    }
    return page;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setStyle(new SymbolStyle);
    const int w = argc > 2 ? std::atoi(argv[1]) : 1600, h = argc > 2 ? std::atoi(argv[2]) : 20000;
    {
        // The toolkit's own first-window costs are not the card's.
        QWidget warm;
        warm.resize(200, 100);
        warm.show();
        settle(300);
    }
    QImage picture = longPage(w, h);
    const double pictureMiB = double(picture.sizeInBytes()) / (1 << 20);
    settle(200);
    const double before = pssMiB();
    std::printf(
        "preview card of a %d×%d picture: PSS before %.1f MiB (the picture itself: %.1f MiB)\n", w,
        h, before, pictureMiB);

    QElapsedTimer t;
    t.start();
    auto *card = new PreviewCardController(picture, Platform{});
    picture = QImage(); // the card's now, as in the app
    card->showWindow();
    settle(800);
    const double open = pssMiB();
    std::printf(
        "  card open and painted: PSS %.1f MiB, %+.1f MiB (floor: +0, the card holds the picture "
        "it was given)\n",
        open, open - before);

    // A blur mark over a few lines near the top, drawn as a user would in Mark mode.
    card->setMode(PreviewCard::Mode::Mark);
    card->pickTool(ToolKind::Blur);
    PreviewCardCanvas *canvas = card->canvas();
    const double s = canvas->model().displayScale();
    canvas->model().mouseDown(QPointF(100, 100) * s);
    canvas->model().mouseDragged(QPointF(700, 260) * s);
    canvas->model().mouseUp();
    canvas->update();
    settle(500);
    const double marked = pssMiB();
    std::printf("  one 600×160 blur mark drawn: PSS %.1f MiB, %+.1f MiB over the open card (floor: "
                "+0.0, the pixels under the mark)\n",
                marked, marked - open);

    resetPeak();
    const double peakBefore = peakMiB();
    t.restart();
    const auto composite = card->croppedComposite();
    const double ms = double(t.nsecsElapsed()) / 1e6;
    const double peak = peakMiB();
    std::printf(
        "  Copy's picture (%dx%d) made in %.0f ms, peak RSS %+.1f MiB (floor: +%.1f MiB, the "
        "picture it hands over)\n",
        composite ? composite->width() : 0, composite ? composite->height() : 0, ms,
        peak - peakBefore, pictureMiB);
    delete card;
    return 0;
}
