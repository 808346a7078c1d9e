#include "engines/Beautify.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace vistrel;
using vistrel::test::channelDistance;
using vistrel::test::solid;

TEST(Beautify, OutputSizeFollowsPaddingAtFullPixels)
{
    Beautifier small(solid(1000, 600, Qt::blue));
    EXPECT_DOUBLE_EQ(small.padding, 48);
    EXPECT_EQ(small.render().size(), QSize(1096, 696));

    Beautifier large(solid(4000, 3000, Qt::blue));
    EXPECT_DOUBLE_EQ(large.padding, 210);
    EXPECT_EQ(large.render().size(), QSize(4420, 3420));

    // A fractional padding is truncated, not rounded up.
    Beautifier odd(solid(750, 750, Qt::blue)); // 52.5
    EXPECT_EQ(odd.render().size(), QSize(855, 855));
}

TEST(Beautify, CardGradientAndShadowByPixels)
{
    const QColor fill(20, 90, 200);
    Beautifier b(solid(1000, 600, fill));
    const QImage out = b.render();
    // The picture is kept 1:1 inside the card.
    EXPECT_EQ(out.pixel(48 + 500, 48 + 300), fill.rgb());
    EXPECT_EQ(out.pixel(48 + 30, 48 + 300), fill.rgb());
    // Sunset runs from the top-left corner to the bottom-right one.
    EXPECT_LE(channelDistance(out.pixel(0, 0), QColor(0xFF6B6B)), 3);
    EXPECT_LE(channelDistance(out.pixel(1095, 695), QColor(0xFFD93D)), 3);
    // Rounded corners: the card's corner pixel is not the picture.
    EXPECT_GT(channelDistance(out.pixel(48, 48), fill), 40);

    // On one flat colour the shadow shows alone: below the card, not far away.
    const QColor grey(200, 200, 200);
    b.colors = {grey, grey};
    b.cornerRadius = 0;
    const QImage flat = b.render();
    EXPECT_EQ(flat.pixel(48, 48), fill.rgb()); // square corners
    const QRgb below = flat.pixel(548, 48 + 600 + 8);
    const QRgb above = flat.pixel(548, 48 - 8);
    EXPECT_LT(qRed(below), 200 - 30);
    EXPECT_LT(qRed(below), qRed(above));
    EXPECT_EQ(flat.pixel(0, 0), grey.rgb());
    EXPECT_EQ(flat.pixel(1095, 0), grey.rgb());
}
