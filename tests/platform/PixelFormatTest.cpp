#include "platform/PixelFormat.h"

#include <gtest/gtest.h>

using namespace vistrel;

// Screens of depth 16 and 30 lay their pixels out differently from the usual 24: each must
// come out as the same colours.
TEST(PixelFormat, ReadsSixteenTwentyFourAndThirtyBitScreens)
{
    const QColor expected[] = {QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 0, 255),
                               QColor(255, 255, 255), QColor(0, 0, 0)};
    // RGB565, little-endian, rows padded to 4 bytes (5 pixels = 10 bytes → 12).
    const quint16 rgb565[] = {0xf800, 0x07e0, 0x001f, 0xffff, 0x0000, 0};
    // 10 bits a channel in 32 bits.
    const quint32 rgb30[] = {0x3ff00000, 0x000ffc00, 0x000003ff, 0x3fffffff, 0};
    // 24 bits in 32.
    const quint32 rgb24[] = {0xff0000, 0x00ff00, 0x0000ff, 0xffffff, 0};

    struct Case
    {
        const void *data;
        int stride;
        PixelLayout layout;
    } cases[] = {
        {rgb565, 12, {16, 0xf800, 0x07e0, 0x001f}},
        {rgb30, 20, {32, 0x3ff00000, 0x000ffc00, 0x000003ff}},
        {rgb24, 20, {}},
    };
    for (const Case &c : cases) {
        QImage out(7, 3, QImage::Format_RGB32);
        out.fill(Qt::gray);
        ASSERT_TRUE(copyPixels(static_cast<const uchar *>(c.data), c.stride, c.layout, out,
                               QPoint(2, 1), QSize(5, 1)));
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(out.pixelColor(2 + x, 1), expected[x]) << c.layout.bitsPerPixel << " x " << x;
            // Opaque in memory too: drawn onto a surface with alpha, a capture must not vanish.
            EXPECT_EQ(reinterpret_cast<const quint32 *>(out.constScanLine(1))[2 + x] >> 24, 0xffu);
        }
        EXPECT_EQ(out.pixelColor(0, 0), QColor(Qt::gray)); // nothing else touched
    }
    // A mid value widens proportionally: 5 bits of 16 → 132.
    const quint16 mid = 0x8000;
    QImage one(1, 1, QImage::Format_RGB32);
    ASSERT_TRUE(copyPixels(reinterpret_cast<const uchar *>(&mid), 4, {16, 0xf800, 0x07e0, 0x001f},
                           one, {}, {1, 1}));
    EXPECT_EQ(qRed(one.pixel(0, 0)), 132);

    // Layouts this does not read are refused, not guessed.
    EXPECT_FALSE(copyPixels(reinterpret_cast<const uchar *>(&mid), 4, {8, 0xe0, 0x1c, 0x03}, one,
                            {}, {1, 1}));
}
