// A tall page in a Qt scroll area, for the scrolling-capture flows, and the row-by-row
// comparison of a stitched picture with the page.
//
//   vistrel_scrollpage show PAGE.png [SEED]   shows the page (600 × 3600) at 40,40 in a
//       frameless window, writes it to PAGE.png, prints "viewport X Y W H" once it is on
//       screen and "scrolled N" whenever the scroll position changes.
//   vistrel_scrollpage compare SHOT.png PAGE.png   prints "rows M of N match (P %)" and exits
//       0 when at least 99 % of the page's rows are matched exactly, row for row.
//   vistrel_scrollpage rows SHOT.png PAGE.png WIDTH TOLERANCE [BAND [top]]   compares the left
//   WIDTH
//       columns of each row with the page's row of the same number, channels within TOLERANCE
//       (a browser draws text a shade apart on and off screen); prints "rows M of N match
//       (P %)" and, with BAND, how many times the page's last BAND rows (a fixed footer) are in
//       the picture, failing when more than once; exits 0 when at least 99.9 % match. With
//       "top", PAGE is the top of a longer page: the rows of the picture below it are not counted.
//
// Measured on this window under Xvfb: one wheel notch (button 5) scrolls 60 pixels, three
// lines of the scroll bar's 20-pixel single step.
#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QRandomGenerator>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

#include <cstdio>

namespace {

QImage makePage(quint32 seed)
{
    const int w = 600, h = 3600;
    QRandomGenerator rng(seed);
    QImage page(w, h, QImage::Format_RGB32);
    // Sections of random height and colour, textured with 8 × 4 blocks, so that no stretch of
    // the page looks like another...
    int y = 0;
    while (y < h) {
        const int section = 10 + int(rng.bounded(60));
        const QColor base = QColor::fromHsv(int(rng.bounded(360)), 40 + int(rng.bounded(140)),
                                            90 + int(rng.bounded(166)));
        for (int yy = y; yy < std::min(h, y + section); yy += 4)
            for (int x = 0; x < w; x += 8) {
                const QColor c = base.lighter(80 + int(rng.bounded(40)));
                for (int r = yy; r < std::min(h, std::min(y + section, yy + 4)); ++r)
                    for (int xx = x; xx < x + 8; ++xx)
                        page.setPixel(xx, r, c.rgb());
            }
        y += section;
    }
    // ...with lines of text at uneven distances over them, like a document.
    QPainter p(&page);
    QFont font = p.font();
    font.setPixelSize(15);
    p.setFont(font);
    int line = 0;
    for (int ty = 24; ty < h; ty += 20 + int(rng.bounded(16))) {
        p.setPen(rng.bounded(2) ? Qt::black : Qt::white);
        p.drawText(10 + int(rng.bounded(60)), ty,
                   QStringLiteral("Line %1 · the quick brown fox %2")
                       .arg(++line)
                       .arg(rng.bounded(100000)));
    }
    return page;
}

int compare(const QString &shotPath, const QString &pagePath)
{
    const QImage shot = QImage(shotPath).convertToFormat(QImage::Format_RGB32);
    const QImage page = QImage(pagePath).convertToFormat(QImage::Format_RGB32);
    if (shot.isNull() || page.isNull()) {
        std::printf("cannot read the pictures\n");
        return 2;
    }
    int matching = 0;
    const int rows = std::max(shot.height(), page.height());
    if (shot.width() == page.width())
        for (int y = 0; y < std::min(shot.height(), page.height()); ++y)
            if (memcmp(shot.constScanLine(y), page.constScanLine(y), size_t(page.width()) * 4) == 0)
                ++matching;
    const double share = 100.0 * matching / rows;
    std::printf("rows %d of %d match (%.2f %%); picture %dx%d, page %dx%d\n", matching, rows, share,
                shot.width(), shot.height(), page.width(), page.height());
    return share >= 99.0 ? 0 : 1;
}

int rowsMatch(const QString &shotPath, const QString &pagePath, int width, int tolerance, int band,
              bool top)
{
    const QImage shot = QImage(shotPath).convertToFormat(QImage::Format_RGB32);
    const QImage page = QImage(pagePath).convertToFormat(QImage::Format_RGB32);
    if (shot.isNull() || page.isNull() || width < 1 || shot.width() < width ||
        page.width() < width) {
        std::printf("cannot read the pictures, or they are narrower than %d\n", width);
        return 2;
    }
    auto same = [&](const QImage &a, int ya, const QImage &b, int yb) {
        const auto *p = reinterpret_cast<const QRgb *>(a.constScanLine(ya));
        const auto *q = reinterpret_cast<const QRgb *>(b.constScanLine(yb));
        for (int x = 0; x < width; ++x)
            if (std::abs(qRed(p[x]) - qRed(q[x])) > tolerance ||
                std::abs(qGreen(p[x]) - qGreen(q[x])) > tolerance ||
                std::abs(qBlue(p[x]) - qBlue(q[x])) > tolerance)
                return false;
        return true;
    };
    int matching = 0, first = -1;
    for (int y = 0; y < std::min(shot.height(), page.height()); ++y) {
        if (same(shot, y, page, y))
            ++matching;
        else if (first < 0)
            first = y;
    }
    const int rows = top ? page.height() : std::max(shot.height(), page.height());
    const double share = 100.0 * matching / rows;
    std::printf(
        "rows %d of %d match (%.2f %%); picture %dx%d, page %dx%d; first differing row %d\n",
        matching, rows, share, shot.width(), shot.height(), page.width(), page.height(), first);
    if (band > 0 && band < page.height()) {
        int seen = 0;
        for (int y = 0; y + band <= shot.height(); ++y) {
            int k = 0;
            while (k < band && same(shot, y + k, page, page.height() - band + k))
                ++k;
            seen += k == band;
        }
        std::printf("the last %d rows of the page: %d times in the picture\n", band, seen);
        if (seen > 1)
            return 1;
    }
    return share >= 99.9 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 4 && args[1] == "compare")
        return compare(args[2], args[3]);
    if (args.size() >= 6 && args[1] == "rows")
        return rowsMatch(args[2], args[3], args[4].toInt(), args[5].toInt(),
                         args.size() > 6 ? args[6].toInt() : 0,
                         args.size() > 7 && args[7] == "top");
    if (args.size() < 3 || args[1] != "show") {
        std::fprintf(stderr, "usage: vistrel_scrollpage show PAGE.png [SEED] | compare SHOT PAGE | "
                             "rows SHOT PAGE WIDTH "
                             "TOLERANCE [BAND [top]]\n");
        return 2;
    }
    const QImage page = makePage(args.size() > 3 ? args[3].toUInt() : 1);
    if (!page.save(args[2]))
        return 1;

    QScrollArea area;
    area.setWindowTitle(QStringLiteral("Scroll Page"));
    area.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    area.setFrameShape(QFrame::NoFrame);
    area.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    area.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *label = new QLabel;
    label->setPixmap(QPixmap::fromImage(page));
    label->setFixedSize(page.size());
    area.setWidget(label);
    area.resize(page.width() + area.verticalScrollBar()->sizeHint().width(), 640);
    area.move(40, 40);
    QObject::connect(area.verticalScrollBar(), &QScrollBar::valueChanged, [](int v) {
        std::printf("scrolled %d\n", v);
        std::fflush(stdout);
    });
    area.show();
    QTimer::singleShot(700, &area, [&area] {
        const QPoint at = area.viewport()->mapToGlobal(QPoint(0, 0));
        std::printf("viewport %d %d %d %d\n", at.x(), at.y(), area.viewport()->width(),
                    area.viewport()->height());
        std::fflush(stdout);
    });
    return app.exec();
}
