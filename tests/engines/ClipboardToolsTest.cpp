#include "engines/ClipboardTools.h"
#include "FakeDesktop.h"
#include "engines/PngEncoder.h"

#include <gtest/gtest.h>

using namespace vistrel;

TEST(ClipboardTools, CopyPutsLosslessPngOnlyAndNothingForANullImage)
{
    FakeDesktop desktop;
    QImage image(37, 23, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgba(x * 7, y * 11, (x * y) % 256, 255));
    ASSERT_TRUE(ClipboardTools::copy(desktop, image));
    ASSERT_EQ(desktop.clipboardFormats.size(), 1);
    EXPECT_EQ(desktop.clipboardFormats[0].first, "image/png");
    const QImage back = QImage::fromData(desktop.clipboardFormats[0].second, "PNG");
    EXPECT_EQ(back.convertToFormat(QImage::Format_ARGB32), image);

    EXPECT_FALSE(ClipboardTools::copy(desktop, QImage()));
    EXPECT_EQ(desktop.clipboardWrites, 1);
}

TEST(ColorTools, HexStringRoundsHalfUp)
{
    EXPECT_EQ(ColorTools::hexString(QColor(255, 0, 0)), "#FF0000");
    EXPECT_EQ(ColorTools::hexString(QColor::fromRgbF(0.5f, 0.0f, 1.0f)), "#8000FF");
    EXPECT_EQ(ColorTools::hexString(QColor::fromHsvF(0.0f, 1.0f, 1.0f)), "#FF0000");
    EXPECT_EQ(ColorTools::hexString(QColor::fromCmykF(0, 1, 1, 0)), "#FF0000");
    EXPECT_EQ(ColorTools::hexString(QColor(18, 52, 86, 10)), "#123456"); // alpha is not shown
}

TEST(PngEncoder, BandsJoinIntoOnePictureThatDecodesExactly)
{
    // Odd sizes, translucent pixels and more bands than one: every row must come back.
    for (const QSize size : {QSize(1, 1), QSize(333, 1), QSize(97, 211), QSize(640, 480)}) {
        for (bool alpha : {false, true}) {
            QImage image(size, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x)
                    image.setPixel(x, y,
                                   qRgba((x * 31 + y) % 256, (y * 17) % 256, (x ^ y) % 256,
                                         alpha ? (x * 5 + y * 3) % 256 : 255));
            for (int bands : {1, 3}) {
                const QByteArray png = encodePngFast(image, bands);
                const QImage back = QImage::fromData(png, "PNG");
                ASSERT_FALSE(back.isNull()) << size.width() << "x" << size.height();
                EXPECT_EQ(back.convertToFormat(image.format()), image)
                    << size.width() << "x" << size.height() << " alpha " << alpha << " bands "
                    << bands;
            }
        }
    }
    // Noise between flat parts: the writer changes how it compresses along the way.
    QImage mixed(300, 700, QImage::Format_RGB32);
    quint32 seed = 1;
    for (int y = 0; y < mixed.height(); ++y)
        for (int x = 0; x < mixed.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            const bool noisy = (y / 150) % 2 == 1;
            mixed.setPixel(x, y, noisy ? (seed >> 8) | 0xff000000u : qRgb(240, 240, 240 - y / 8));
        }
    for (int bands : {1, 2}) {
        const QImage back = QImage::fromData(encodePngFast(mixed, bands), "PNG");
        EXPECT_EQ(back.convertToFormat(QImage::Format_RGB32), mixed) << "bands " << bands;
    }
    // Premultiplied pictures are stored straight.
    QImage pre(4, 4, QImage::Format_ARGB32_Premultiplied);
    pre.fill(QColor(200, 100, 50, 128));
    EXPECT_EQ(QImage::fromData(encodePngFast(pre), "PNG").pixelColor(1, 1).alpha(), 128);
}
