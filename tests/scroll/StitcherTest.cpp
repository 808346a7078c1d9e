#include "scroll/ScrollStitcher.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace vistrel;

namespace {

// A tall picture of smooth but never-repeating content: random colours every 4 rows and
// 8 columns, blended in between, so every row differs and fractional movements still match
// their nearest signature row.
QImage tallPicture(int w, int h, quint32 seed = 7)
{
    QRandomGenerator rng(seed);
    const int gw = w / 8 + 2, gh = h / 4 + 2;
    std::vector<QRgb> grid(size_t(gw * gh));
    for (auto &c : grid)
        c = qRgb(rng.bounded(256), rng.bounded(256), rng.bounded(256));
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        const int gy = y / 4;
        const double fy = (y % 4) / 4.0;
        for (int x = 0; x < w; ++x) {
            const int gx = x / 8;
            const double fx = (x % 8) / 8.0;
            auto at = [&](int i, int j) { return grid[size_t(j * gw + i)]; };
            auto mix = [&](int (*ch)(QRgb)) {
                const double top = ch(at(gx, gy)) * (1 - fx) + ch(at(gx + 1, gy)) * fx;
                const double bottom = ch(at(gx, gy + 1)) * (1 - fx) + ch(at(gx + 1, gy + 1)) * fx;
                return int(top * (1 - fy) + bottom * fy);
            };
            img.setPixel(x, y, qRgb(mix(qRed), mix(qGreen), mix(qBlue)));
        }
    }
    return img;
}

// Frames of height `h` cut from `tall` at each of the given top offsets.
ScrollStitcher stitch(const QImage &tall, int h, const QList<int> &offsets)
{
    ScrollStitcher s;
    for (int top : offsets)
        s.add(tall.copy(0, top, tall.width(), h));
    return s;
}

bool samePixels(const QImage &a, const QImage &b)
{
    return a.convertToFormat(QImage::Format_RGB32) == b.convertToFormat(QImage::Format_RGB32);
}

ScrollStitcher::Signature filled(int value)
{
    ScrollStitcher::Signature s;
    s.fill(quint8(value));
    return s;
}

} // namespace

TEST(ScrollStitcher, ComposesTheTallPictureFromFramesAtKnownShifts)
{
    // 512 rows: one signature row is exactly 2 pixels, so even shifts are found exactly.
    const QImage tall = tallPicture(200, 3000);
    const QList<int> offsets = {0, 40, 100, 100, 230, 486, 742, 998, 1250, 1500, 1756, 2012, 2268, 2488};
    ScrollStitcher s = stitch(tall, 512, offsets);
    ASSERT_EQ(s.totalHeight(), 2488 + 512);
    EXPECT_EQ(s.strips().size(), 13); // the repeated frame adds nothing
    const auto out = s.compose();
    ASSERT_TRUE(out);
    EXPECT_EQ(out->size(), QSize(200, 3000));
    EXPECT_TRUE(samePixels(*out, tall));
    // compose() does not change the stitcher.
    EXPECT_TRUE(samePixels(*s.compose(), tall));
}

TEST(ScrollStitcher, OddFrameHeightsRoundTheBandToTheNearestPixel)
{
    // 333 rows: 13 pixels are 9.99 signature rows, found as 10 and turned back into 13.
    const QImage tall = tallPicture(160, 900, 11);
    QList<int> offsets;
    for (int top = 0; top + 333 <= 900; top += 13)
        offsets.append(top);
    ScrollStitcher s = stitch(tall, 333, offsets);
    const int last = offsets.last();
    ASSERT_EQ(s.totalHeight(), last + 333);
    EXPECT_TRUE(samePixels(*s.compose(), tall.copy(0, 0, 160, last + 333)));

    EXPECT_EQ(ScrollStitcher::bandHeight(40, 1000), 156); // 156.25
    EXPECT_EQ(ScrollStitcher::bandHeight(128, 1000), 500);
    EXPECT_EQ(ScrollStitcher::bandHeight(1, 640), 3); // 2.5 rounds away from zero
    EXPECT_EQ(ScrollStitcher::bandHeight(1, 639), 2);
}

TEST(ScrollStitcher, OneRowShiftKeepsA3PixelBandOnlyFrom640Rows)
{
    const QImage tall = tallPicture(64, 1400, 3);
    ScrollStitcher tall640 = stitch(tall, 640, {0, 3, 6});
    EXPECT_EQ(tall640.totalHeight(), 646);
    EXPECT_TRUE(samePixels(*tall640.compose(), tall.copy(0, 0, 64, 646)));

    // 639 rows: the 2-pixel band is dropped, but each frame still becomes the reference, so
    // later frames are matched against it and not against the first.
    ScrollStitcher low = stitch(tall, 639, {0, 2, 4});
    EXPECT_EQ(low.totalHeight(), 639);
    EXPECT_EQ(low.strips().size(), 1);
    low.add(tall.copy(0, 104, 64, 639)); // 100 pixels past the last frame
    EXPECT_EQ(low.totalHeight(), 639 + 100);
}

TEST(ScrollStitcher, AJumpBeyondTheSearchAddsNothingAndBecomesTheReference)
{
    const QImage tall = tallPicture(128, 2000, 5);
    ScrollStitcher s = stitch(tall, 512, {0, 100, 600});
    EXPECT_EQ(s.totalHeight(), 612);
    EXPECT_EQ(s.strips().size(), 2);
    s.add(tall.copy(0, 700, 128, 512)); // matched against the jumped frame
    EXPECT_EQ(s.totalHeight(), 712);
    const QImage out = *s.compose();
    // Rows 0..611 are the content up to the jump; the last band is the bottom of frame 700.
    EXPECT_TRUE(samePixels(out.copy(0, 0, 128, 612), tall.copy(0, 0, 128, 612)));
    EXPECT_TRUE(samePixels(out.copy(0, 612, 128, 100), tall.copy(0, 1112, 128, 100)));
}

TEST(ScrollStitcher, IdenticalFramesAddNothingEvenOnUniformContent)
{
    // Shift 1 matches a uniform frame perfectly, but nothing moved: no band of repeated rows.
    QImage grey(300, 1000, QImage::Format_RGB32);
    grey.fill(qRgb(90, 90, 90));
    ScrollStitcher s;
    s.add(grey);
    EXPECT_EQ(s.add(grey), 1000);
    EXPECT_EQ(s.add(grey), 1000);
    EXPECT_EQ(s.strips().size(), 1);
    // Slightly different uniform content still matches at the smallest shift.
    QImage lighter(300, 1000, QImage::Format_RGB32);
    lighter.fill(qRgb(95, 95, 95));
    EXPECT_EQ(s.add(lighter), 1004); // round(1000 / 256) = 4
}

TEST(ScrollStitcher, ShiftSearchTiesAndTheAcceptanceLimit)
{
    EXPECT_EQ(ScrollStitcher::bestShift(filled(0), filled(15)), 1); // mean 15 is a match
    EXPECT_EQ(ScrollStitcher::bestShift(filled(0), filled(16)), std::nullopt);

    // Rows alternating 0 and 100: every even shift matches perfectly; the smallest wins.
    ScrollStitcher::Signature stripes;
    for (int i = 0; i < 4096; ++i)
        stripes[size_t(i)] = (i / 16) % 2 ? 100 : 0;
    EXPECT_EQ(ScrollStitcher::bestShift(stripes, stripes), 2);

    // Integer means: at shift 1 a total of 2463 over 2464 values counts as mean 0 and ties
    // with the perfect match at shift 2, so shift 1 wins.
    ScrollStitcher::Signature prev = filled(0);
    for (int c = 0; c < 16; ++c)
        prev[size_t(52 * 16 + c)] = c ? 154 : 153; // row 52 is compared only at shift 1
    EXPECT_EQ(ScrollStitcher::bestShift(prev, filled(0)), 1);
}

TEST(ScrollStitcher, SignatureAveragesLuminanceOverEachCell)
{
    QImage red(64, 512, QImage::Format_RGB32);
    red.fill(qRgb(255, 0, 0));
    EXPECT_EQ(ScrollStitcher::signature(red)->at(0), 76); // 0.299 × 255
    QImage rows(64, 512, QImage::Format_RGB32);
    for (int y = 0; y < 512; ++y)
        for (int x = 0; x < 64; ++x)
            rows.setPixel(x, y, y % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    rows.setPixel(0, 0, qRgb(0, 0, 255));
    const auto sig = ScrollStitcher::signature(rows);
    EXPECT_EQ(sig->at(17), 128);              // two rows of four pixels: 127.5 rounds up
    EXPECT_EQ(sig->at(0), 131); // (29.07 + 4 × 255) / 8: blue among three black, four white
    // Other pixel formats give the same signature.
    EXPECT_EQ(ScrollStitcher::signature(rows.convertToFormat(QImage::Format_RGB888)), sig);
    EXPECT_FALSE(ScrollStitcher::signature(QImage()));
}

TEST(ScrollStitcher, ComposeEdgeCases)
{
    ScrollStitcher s;
    EXPECT_FALSE(s.compose());
    EXPECT_EQ(s.add(QImage()), 0); // no signature: dropped, the next frame is the first
    QImage first(100, 300, QImage::Format_RGB32);
    first.fill(qRgb(10, 20, 30));
    EXPECT_EQ(s.add(first), 300);
    EXPECT_EQ(s.width(), 100);
    EXPECT_TRUE(samePixels(*s.compose(), first));

    // A narrower frame's band is stretched to the first frame's width.
    QImage narrow(50, 300, QImage::Format_RGB32);
    narrow.fill(qRgb(10, 20, 30));
    narrow.setPixel(0, 0, qRgb(200, 200, 200)); // not quite the same picture
    EXPECT_EQ(s.add(narrow), 300); // shift 1 on 300 rows: a band of 1 pixel is dropped
    QImage narrowTall(50, 1000, QImage::Format_RGB32);
    narrowTall.fill(qRgb(200, 20, 30));
    s.add(narrowTall); // no match against the dark frame: reference only
    narrowTall.setPixel(0, 999, qRgb(0, 0, 0));
    EXPECT_EQ(s.add(narrowTall), 304);
    const QImage out = *s.compose();
    EXPECT_EQ(out.size(), QSize(100, 304));
    EXPECT_EQ(out.pixel(99, 302), qRgb(200, 20, 30));
    EXPECT_EQ(out.pixel(0, 302), qRgb(200, 20, 30));
}
