#include "engines/Compare.h"
#include "TestSupport.h"
#include "engines/GifWriter.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gif_lib.h>
#include <gtest/gtest.h>

using namespace vistrel;
using vistrel::test::drain;
using vistrel::test::solid;

namespace {

// A picture of exactly `colours` colours in small tiles.
QImage tiles(int w, int h, int colours)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int i = ((y / 4) * (w / 4) + x / 4) % colours;
            img.setPixel(x, y, qRgb((i * 37) % 256, (i * 91 + 7) % 256, i));
        }
    return img;
}

struct DecodedGif
{
    QList<QImage> frames;
    QList<int> delays;
    int loopCount = -1;
};

// Reads a GIF back with giflib, frame by frame, with its delays and loop count.
DecodedGif decodeGif(const QString &path)
{
    DecodedGif out;
    int error = 0;
    GifFileType *gif = DGifOpenFileName(path.toLocal8Bit().constData(), &error);
    if (!gif)
        return out;
    if (DGifSlurp(gif) == GIF_OK) {
        for (int i = 0; i < gif->ImageCount; ++i) {
            const SavedImage &s = gif->SavedImages[i];
            const ColorMapObject *map =
                s.ImageDesc.ColorMap ? s.ImageDesc.ColorMap : gif->SColorMap;
            QImage frame(s.ImageDesc.Width, s.ImageDesc.Height, QImage::Format_RGB32);
            for (int y = 0; y < frame.height(); ++y)
                for (int x = 0; x < frame.width(); ++x) {
                    const GifColorType c = map->Colors[s.RasterBits[y * frame.width() + x]];
                    frame.setPixel(x, y, qRgb(c.Red, c.Green, c.Blue));
                }
            out.frames.append(frame);
            GraphicsControlBlock gcb;
            out.delays.append(DGifSavedExtensionToGCB(gif, i, &gcb) == GIF_OK ? gcb.DelayTime : -1);
            for (int e = 0; e + 1 < s.ExtensionBlockCount; ++e) {
                const ExtensionBlock &b = s.ExtensionBlocks[e];
                if (b.Function == APPLICATION_EXT_FUNC_CODE && b.ByteCount == 11 &&
                    !memcmp(b.Bytes, "NETSCAPE2.0", 11)) {
                    const ExtensionBlock &sub = s.ExtensionBlocks[e + 1];
                    out.loopCount = sub.Bytes[1] | (sub.Bytes[2] << 8);
                }
            }
        }
    }
    DGifCloseFile(gif, &error);
    return out;
}

} // namespace

TEST(Compare, SplitKeepsTheBeforeSizeAndFitsTheAfter)
{
    BeforeAfter m(solid(1600, 1000, Qt::red), solid(800, 800, Qt::blue));
    QImage split = m.renderSplit();
    ASSERT_EQ(split.size(), QSize(1600, 1000));
    // The after picture grows to 1000 × 1000 in the middle (x 300…1300), right of x 800.
    EXPECT_EQ(split.pixel(790, 500), QColor(Qt::red).rgb());
    EXPECT_EQ(split.pixel(810, 500), QColor(Qt::blue).rgb());
    EXPECT_EQ(split.pixel(1290, 2), QColor(Qt::blue).rgb());
    EXPECT_EQ(split.pixel(1310, 500), QColor(Qt::red).rgb());

    m.moveDivider(0, 400);
    split = m.renderSplit();
    EXPECT_EQ(split.pixel(290, 500), QColor(Qt::red).rgb());
    EXPECT_EQ(split.pixel(310, 500), QColor(Qt::blue).rgb());
}

TEST(Compare, GifHasTwoLoopingFramesWithExactColours)
{
    QTemporaryDir dir;
    const QImage before = tiles(120, 80, 256);
    BeforeAfter m(before, solid(60, 60, QColor(10, 200, 30)));
    const QString path = dir.filePath("ba.gif");
    ASSERT_TRUE(m.writeBeforeAfterGIF(path));
    const DecodedGif gif = decodeGif(path);
    ASSERT_EQ(gif.frames.size(), 2);
    EXPECT_EQ(gif.delays, (QList<int>{90, 90}));
    EXPECT_EQ(gif.loopCount, 0);
    EXPECT_EQ(gif.frames[0], before.convertToFormat(QImage::Format_RGB32));
    // The square after picture is fitted in the middle, white at the sides.
    EXPECT_EQ(gif.frames[1].size(), QSize(120, 80));
    EXPECT_EQ(gif.frames[1].pixel(5, 40), qRgb(255, 255, 255));
    EXPECT_EQ(gif.frames[1].pixel(114, 40), qRgb(255, 255, 255));
    EXPECT_EQ(gif.frames[1].pixel(60, 40), qRgb(10, 200, 30));
}

// How far an indexed picture is from the original as the eye sees it: the mean channel error
// of 4 × 4 block averages.
double blockError(const QImage &want, const std::function<QRgb(int, int)> &got)
{
    double total = 0;
    int blocks = 0;
    for (int by = 0; by + 4 <= want.height(); by += 4)
        for (int bx = 0; bx + 4 <= want.width(); bx += 4) {
            int d[3] = {};
            for (int y = by; y < by + 4; ++y)
                for (int x = bx; x < bx + 4; ++x) {
                    const QRgb a = want.pixel(x, y), b = got(x, y);
                    d[0] += qRed(a) - qRed(b);
                    d[1] += qGreen(a) - qGreen(b);
                    d[2] += qBlue(a) - qBlue(b);
                }
            total += (std::abs(d[0]) + std::abs(d[1]) + std::abs(d[2])) / 48.0;
            ++blocks;
        }
    return total / blocks;
}

TEST(Compare, ManyColoursAreQuantisedBetterThanGiflib)
{
    // Smooth gradients in all three channels, as in a photo or a beautified card.
    QImage img(256, 192, QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            img.setPixel(x, y, qRgb(x, (y * 4 / 3) % 256, (x + 2 * y) % 256));
    const IndexedFrame frame = indexFrame(img);
    EXPECT_FALSE(frame.exact);
    EXPECT_LE(frame.palette.size(), 256);
    const double ours = blockError(img, [&](int x, int y) {
        return frame.palette[uchar(frame.indices[y * img.width() + x])];
    });

    // giflib's own quantiser keeps 5 bits a channel.
    const int n = img.width() * img.height();
    std::vector<GifByteType> r(n), g(n), b(n), out(n);
    for (int i = 0; i < n; ++i) {
        const QRgb c = img.pixel(i % img.width(), i / img.width());
        r[i] = qRed(c), g[i] = qGreen(c), b[i] = qBlue(c);
    }
    int mapSize = 256;
    std::vector<GifColorType> map(256);
    ASSERT_EQ(GifQuantizeBuffer(img.width(), img.height(), &mapSize, r.data(), g.data(), b.data(),
                                out.data(), map.data()),
              GIF_OK);
    const double giflib = blockError(img, [&](int x, int y) {
        const GifColorType c = map[out[y * img.width() + x]];
        return qRgb(c.Red, c.Green, c.Blue);
    });
    EXPECT_LT(ours, 2.0);
    EXPECT_LT(ours, giflib * 0.5) << "giflib " << giflib;

    const IndexedFrame few = indexFrame(tiles(64, 64, 200));
    EXPECT_TRUE(few.exact);
    EXPECT_EQ(few.palette.size(), 200);
}

TEST(Compare, FailedGifLeavesNoFileAndKeepsTheOldOne)
{
    QTemporaryDir dir;
    BeforeAfter m(solid(40, 30, Qt::red), solid(40, 30, Qt::blue));
    EXPECT_FALSE(m.writeBeforeAfterGIF(dir.filePath("missing/ba.gif")));
    EXPECT_FALSE(QFile::exists(dir.filePath("missing/ba.gif")));

    const QString path = dir.filePath("ba.gif");
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("earlier");
    old.close();
    BeforeAfter empty(solid(40, 30, Qt::red), QImage());
    EXPECT_FALSE(empty.writeBeforeAfterGIF(path));
    QFile kept(path);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "earlier");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"ba.gif"});
}
