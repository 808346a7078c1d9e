#include "output/ClipboardTools.h"
#include "platform/FakeDesktop.h"

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
