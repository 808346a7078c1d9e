#include "model/ScrollStitcher.h"

#include <QFont>
#include <QPainter>
#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace vistrel;

namespace {

// A page of text lines as a terminal or an editor shows it: 20 rows a line, dark text on
// white. `text(n)` gives line n; the same text on every line makes the page periodic.
QImage textPage(int w, int lines, const std::function<QString(int)> &text)
{
    QImage page(w, lines * 20, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter p(&page);
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(14);
    font.setHintingPreference(QFont::PreferFullHinting);
    p.setFont(font);
    p.setPen(QColor(30, 30, 30));
    for (int n = 0; n < lines; ++n)
        p.drawText(QRect(6, n * 20, w - 12, 20), Qt::AlignVCenter | Qt::AlignLeft, text(n));
    return page;
}

QImage numberedPage(int w = 480, int lines = 80)
{
    return textPage(w, lines, [](int n) {
        return QStringLiteral("%1  the same words on every line, only the number differs")
            .arg(n, 4);
    });
}

// The frame `h` rows high whose top is row `top` of `page`, with optional noise of up to
// `noise` levels per channel (as a video or smoothed scroll leaves).
QImage frameOf(const QImage &page, int top, int h, int noise = 0, quint32 seed = 1)
{
    QImage frame = page.copy(0, top, page.width(), h);
    if (noise == 0)
        return frame;
    QRandomGenerator rng(seed);
    for (int y = 0; y < frame.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(frame.scanLine(y));
        for (int x = 0; x < frame.width(); ++x) {
            auto jitter = [&](int v) {
                return std::clamp(v + int(rng.bounded(2 * noise + 1)) - noise, 0, 255);
            };
            line[x] = qRgb(jitter(qRed(line[x])), jitter(qGreen(line[x])), jitter(qBlue(line[x])));
        }
    }
    return frame;
}

bool samePixels(const QImage &a, const QImage &b)
{
    return a.convertToFormat(QImage::Format_RGB32) == b.convertToFormat(QImage::Format_RGB32);
}

} // namespace

TEST(ScrollStitcher, TextScrolledByAnyAmountComesOutWholeAndInOrder)
{
    // Numbered lines repeat everything but the number: a shift by whole lines must not fit.
    const QImage page = numberedPage();
    const int h = 300;
    ScrollStitcher s;
    int top = 0;
    EXPECT_EQ(s.addFrame(frameOf(page, top, h)).outcome, ScrollStitcher::Outcome::First);
    // One row, a line and a half, 40 % of the frame, exactly one line, the largest followed.
    for (int step : {1, 30, 120, 20, 7, ScrollStitcher::maxShift(h)}) {
        top += step;
        const auto result = s.addFrame(frameOf(page, top, h));
        EXPECT_EQ(result.outcome, ScrollStitcher::Outcome::Moved) << step;
        EXPECT_EQ(result.shift, step);
    }
    const auto picture = s.compose();
    ASSERT_TRUE(picture);
    EXPECT_TRUE(samePixels(*picture, page.copy(0, 0, page.width(), top + h)));

    // Beyond what can be followed: nothing is appended, and the reference stays, so a frame
    // in reach of it still continues the picture exactly.
    const qint64 before = s.totalHeight();
    EXPECT_EQ(s.addFrame(frameOf(page, top + h - 10, h)).outcome,
              ScrollStitcher::Outcome::Uncertain);
    EXPECT_EQ(s.totalHeight(), before);
    EXPECT_EQ(s.uncertainRun(), 1);
    EXPECT_EQ(s.addFrame(frameOf(page, top + 100, h)).shift, 100);
    EXPECT_TRUE(samePixels(*s.compose(), page.copy(0, 0, page.width(), top + 100 + h)));
}

TEST(ScrollStitcher, RepeatingLinesGiveNoGuess)
{
    // Every line the same: a move by whole lines cannot be told from another, so the frame
    // adds nothing rather than a wrong number of lines.
    const QImage same =
        textPage(480, 60, [](int) { return QStringLiteral("$ make check  # again"); });
    ScrollStitcher s;
    s.add(frameOf(same, 0, 300));
    EXPECT_NE(s.addFrame(frameOf(same, 40, 300)).outcome, ScrollStitcher::Outcome::Moved);
    EXPECT_EQ(s.totalHeight(), 300);

    // A page that repeats but for one line: the overlap with that line decides, also under
    // noise that changes every pixel of every frame.
    const QImage mostly = textPage(480, 60, [](int n) {
        return n == 22 ? QStringLiteral("error: the one line that differs")
                       : QStringLiteral("$ make check  # again");
    });
    for (int noise : {0, 6}) {
        ScrollStitcher t;
        t.add(frameOf(mostly, 200, 300, noise, 1));
        const auto result = t.addFrame(frameOf(mostly, 260, 300, noise, 2));
        EXPECT_EQ(result.outcome, ScrollStitcher::Outcome::Moved) << noise;
        EXPECT_EQ(result.shift, 60) << noise;
    }
}

TEST(ScrollStitcher, NoisyFramesOfNumberedLinesStillLineUp)
{
    const QImage page = numberedPage(640);
    ScrollStitcher s;
    s.add(frameOf(page, 0, 320, 6, 10));
    int top = 0;
    for (int step : {33, 60, 100, 1}) {
        top += step;
        EXPECT_EQ(s.addFrame(frameOf(page, top, 320, 6, quint32(11 + top))).shift, step);
    }
    EXPECT_EQ(s.totalHeight(), top + 320);
}

TEST(ScrollStitcher, ACaretOrAClockThatChangesAddsNoRows)
{
    const QImage page = numberedPage();
    auto withCaret = [](QImage frame, bool on, int y) {
        if (on) {
            QPainter p(&frame);
            p.fillRect(QRect(200, y, 2, 16), Qt::black);            // a blinking text caret
            p.fillRect(QRect(400, 4, 60, 12), QColor(20, 90, 200)); // a clock's changing digits
        }
        return frame;
    };
    ScrollStitcher s;
    s.add(withCaret(frameOf(page, 100, 300), false, 150));
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(s.addFrame(withCaret(frameOf(page, 100, 300), i % 2 == 0, 150)).outcome,
                  ScrollStitcher::Outcome::Still)
            << i;
    EXPECT_EQ(s.totalHeight(), 300);

    // Scrolled while the caret blinks: the move is still found, and exactly.
    const auto moved = s.addFrame(withCaret(frameOf(page, 145, 300), true, 105));
    EXPECT_EQ(moved.outcome, ScrollStitcher::Outcome::Moved);
    EXPECT_EQ(moved.shift, 45);
    // Plain even frames (a blank page) are still too.
    ScrollStitcher blank;
    QImage white(200, 100, QImage::Format_RGB32);
    white.fill(Qt::white);
    blank.add(white);
    EXPECT_EQ(blank.addFrame(white).outcome, ScrollStitcher::Outcome::Still);
}

TEST(ScrollStitcher, RowsUnderAPanelAtTheTopAreLeftOut)
{
    // The panel sits over the top of the area from the second frame on, and its progress text
    // changes every frame; the first frame is taken before it shows.
    const QImage page = numberedPage();
    const int h = 400, panel = 150;
    ScrollStitcher s;
    s.setIgnoredTopRows(panel);
    s.add(frameOf(page, 0, h));
    int top = 0;
    for (int step : {60, 90, 80}) {
        top += step;
        QImage frame = frameOf(page, top, h);
        QPainter p(&frame);
        p.fillRect(QRect(40, 0, 400, panel), QColor(36, 36, 40));
        p.setPen(Qt::white);
        p.drawText(QRect(60, 40, 300, 30), Qt::AlignLeft,
                   QStringLiteral("Captured %1 px").arg(top));
        p.end();
        EXPECT_EQ(s.addFrame(frame).shift, step);
    }
    EXPECT_TRUE(samePixels(*s.compose(), page.copy(0, 0, page.width(), top + h)));
    EXPECT_EQ(ScrollStitcher::maxShift(h, panel), 200);
}

TEST(ScrollStitcher, ComposeEdgeCases)
{
    ScrollStitcher s;
    EXPECT_FALSE(s.compose());
    EXPECT_EQ(s.add(QImage()), 0); // nothing to read: dropped, the next frame is the first
    QImage one(7, 3, QImage::Format_RGB888);
    one.fill(Qt::red);
    EXPECT_EQ(s.add(one), 3);
    ASSERT_TRUE(s.compose());
    EXPECT_TRUE(samePixels(*s.compose(), one));
    // A frame of another size cannot be placed.
    EXPECT_EQ(s.addFrame(QImage(8, 3, QImage::Format_RGB32)).outcome,
              ScrollStitcher::Outcome::Uncertain);
}

namespace {

// Frames of `page` scrolled by `steps` from the top, each passed through `dress` (what the
// screen shows over the page); the stitched picture.
QImage stitched(const QImage &page, int h, const QList<int> &steps,
                const std::function<QImage(QImage, int)> &dress, int *lastTop = nullptr)
{
    ScrollStitcher s;
    int top = 0;
    EXPECT_EQ(s.addFrame(dress(frameOf(page, 0, h), 0)).outcome, ScrollStitcher::Outcome::First);
    for (int step : steps) {
        if (top == page.height() - h)
            break;
        top = std::min(top + step, page.height() - h);
        const auto result = s.addFrame(dress(frameOf(page, top, h), top));
        EXPECT_EQ(result.outcome, ScrollStitcher::Outcome::Moved) << "at " << top;
    }
    if (lastTop)
        *lastTop = top;
    return s.compose().value_or(QImage()).convertToFormat(QImage::Format_RGB32);
}

QList<int> stepsTo(int length, quint32 seed)
{
    QRandomGenerator rng(seed);
    QList<int> steps;
    for (int sum = 0; sum < length; sum += steps.last())
        steps << int(rng.bounded(20, 160));
    return steps;
}

} // namespace

TEST(ScrollStitcher, RowsThatStayAtTheTopAndBottomAreTakenOnceInTheirPlace)
{
    // A fixed header and a fixed 40-row footer (a cookie banner) over 3,400 rows of text.
    const QImage page = numberedPage(480, 170);
    const int h = 360, header = 50, footer = 40;
    auto dress = [&](QImage frame, int) {
        QPainter p(&frame);
        p.fillRect(0, 0, frame.width(), header, QColor(40, 60, 120));
        p.setPen(Qt::white);
        p.drawText(QRect(10, 10, 300, 30), Qt::AlignLeft,
                   QStringLiteral("Site title   Home   About"));
        p.fillRect(0, h - footer, frame.width(), footer, QColor(250, 230, 160));
        p.setPen(Qt::black);
        p.drawText(QRect(10, h - footer + 10, 400, 20), Qt::AlignLeft,
                   QStringLiteral("We use cookies. Accept"));
        return frame;
    };
    int lastTop = 0;
    const QImage picture = stitched(page, h, stepsTo(3300, 7), dress, &lastTop);
    EXPECT_EQ(lastTop, page.height() - h);
    // The header once at the top, the page under it row for row, the footer once at the end.
    const QImage first = dress(frameOf(page, 0, h), 0),
                 last = dress(frameOf(page, lastTop, h), lastTop);
    ASSERT_EQ(picture.height(), lastTop + h);
    EXPECT_TRUE(samePixels(picture.copy(0, 0, page.width(), header),
                           first.copy(0, 0, page.width(), header)));
    EXPECT_TRUE(samePixels(picture.copy(0, header, page.width(), lastTop + h - footer - header),
                           page.copy(0, header, page.width(), lastTop + h - footer - header)));
    EXPECT_TRUE(samePixels(picture.copy(0, lastTop + h - footer, page.width(), footer),
                           last.copy(0, h - footer, page.width(), footer)));

    // A pager's prompt line over a window's edge inside the area: a dark 16-row strip.
    auto edge = [&](QImage frame, int) {
        QPainter p(&frame);
        p.fillRect(0, h - 16, frame.width(), 16, Qt::black);
        p.fillRect(0, h - 36, frame.width(), 20, QColor(0, 120, 0));
        p.setPen(Qt::white);
        p.drawText(QRect(6, h - 36, 300, 20), Qt::AlignVCenter,
                   QStringLiteral("lines 1-17 (press h for help)"));
        return frame;
    };
    const QImage framed = stitched(page, h, stepsTo(3300, 8), edge, &lastTop);
    ASSERT_EQ(framed.height(), lastTop + h);
    EXPECT_TRUE(samePixels(framed.copy(0, 0, page.width(), lastTop + h - 36),
                           page.copy(0, 0, page.width(), lastTop + h - 36)));
    int blackRows = 0;
    for (int y = 0; y < framed.height(); ++y)
        blackRows += framed.pixel(3, y) == qRgb(0, 0, 0) && framed.pixel(200, y) == qRgb(0, 0, 0);
    EXPECT_EQ(blackRows, 16);
}

TEST(ScrollStitcher, AScrollBarMovingAtTheEdgeDoesNotLoseTheContent)
{
    // A bar 14 px wide at the right edge: arrows at both ends, a thumb that moves down as the
    // page moves up.
    const QImage page = numberedPage(480, 170);
    const int h = 300, bar = 14, track = h - 2 * bar;
    const int thumb = std::max(20, track * h / page.height());
    auto dress = [&](QImage frame, int top) {
        QPainter p(&frame);
        const int x = frame.width() - bar;
        p.fillRect(x, 0, bar, h, QColor(235, 235, 235));
        p.fillRect(x + 3, bar + (track - thumb) * top / (page.height() - h), bar - 6, thumb,
                   QColor(120, 120, 120));
        for (const int y : {0, h - bar}) {
            p.fillRect(x, y, bar, bar, QColor(210, 210, 210));
            p.fillRect(x + 4, y + 5, bar - 8, 4, QColor(60, 60, 60));
        }
        return frame;
    };
    int lastTop = 0;
    const QImage picture = stitched(page, h, stepsTo(3300, 9), dress, &lastTop);
    EXPECT_EQ(lastTop, page.height() - h);
    ASSERT_EQ(picture.height(), page.height());
    // The page's own columns row for row; down the bar's column, each arrow once.
    const int keep = page.width() - 48;
    EXPECT_TRUE(
        samePixels(picture.copy(0, 0, keep, page.height()), page.copy(0, 0, keep, page.height())));
    int arrowRows = 0, thumbRows = 0;
    for (int y = 0; y < picture.height(); ++y) {
        const QRgb p = picture.pixel(page.width() - bar / 2, y);
        arrowRows += p == qRgb(60, 60, 60);
        thumbRows += p == qRgb(120, 120, 120);
    }
    EXPECT_LE(arrowRows, 2 * 4);
    EXPECT_LE(thumbRows, thumb);

    // A taller view with the same bar beside a fixed footer: at the end the thumb runs down
    // beside the footer, which still comes out once.
    const int tall = 600, footer = 40, tallTrack = tall - 2 * bar;
    auto withFooter = [&](QImage frame, int top) {
        QPainter p(&frame);
        const int x = frame.width() - bar;
        p.fillRect(x, 0, bar, tall, QColor(235, 235, 235));
        p.fillRect(x + 3, bar + (tallTrack - thumb) * top / (page.height() - tall), bar - 6, thumb,
                   QColor(120, 120, 120));
        p.fillRect(0, tall - footer, x, footer, QColor(250, 220, 140));
        p.drawText(QRect(10, tall - footer + 10, 300, 20), Qt::AlignLeft,
                   QStringLiteral("We use cookies. Accept"));
        return frame;
    };
    const QImage footed = stitched(page, tall, stepsTo(3300, 10), withFooter, &lastTop);
    ASSERT_EQ(footed.height(), page.height());
    EXPECT_TRUE(samePixels(footed.copy(0, 0, keep, page.height() - footer),
                           page.copy(0, 0, keep, page.height() - footer)));
    int footerRows = 0;
    for (int y = 0; y < footed.height(); ++y)
        footerRows += footed.pixel(5, y) == qRgb(250, 220, 140);
    EXPECT_EQ(footerRows, footer);
}
