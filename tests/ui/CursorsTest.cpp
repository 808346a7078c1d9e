#include "ui/Cursors.h"

#include <QPainter>

#include <gtest/gtest.h>

using namespace vistrel;

TEST(Cursors, GlyphPointersAreOutlinedWithTheHotSpotInTheMiddle)
{
    const auto c = Cursors::symbolCursor("draw-arrow", 16);
    ASSERT_TRUE(c);
    const QImage img = c->pixmap().toImage();
    EXPECT_EQ(img.size(), QSize(22, 22));
    EXPECT_EQ(c->hotSpot(), QPoint(11, 11));
    bool white = false, black = false;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor px = img.pixelColor(x, y);
            if (px.alpha() == 255 && px.red() == 255)
                white = true;
            if (px.alpha() == 255 && px.red() == 0)
                black = true;
        }
    EXPECT_TRUE(white && black);
    EXPECT_EQ(Cursors::move().hotSpot(), QPoint(12, 12));
}

TEST(Cursors, MissingGlyphsFallBack)
{
    EXPECT_FALSE(Cursors::symbolCursor("no.such.symbol", 16));
    EXPECT_EQ(Cursors::tool(ToolKind::Rect).shape(), Qt::CrossCursor);
    EXPECT_EQ(Cursors::tool(ToolKind::Text).shape(), Qt::IBeamCursor);
    EXPECT_EQ(Cursors::tool(ToolKind::Select).shape(), Qt::ArrowCursor);
    EXPECT_EQ(Cursors::tool(ToolKind::Pen).shape(), Qt::BitmapCursor);
    EXPECT_EQ(&Cursors::penCursor(), &Cursors::penCursor()); // built once
}

TEST(Cursors, TintKeepsAlpha)
{
    QImage img(4, 1, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    img.setPixelColor(1, 0, QColor(10, 200, 30, 255));
    img.setPixelColor(2, 0, QColor(10, 200, 30, 128));
    const QImage t = Cursors::tinted(img, Qt::white);
    EXPECT_EQ(t.pixelColor(0, 0).alpha(), 0);
    EXPECT_EQ(t.pixelColor(1, 0), QColor(Qt::white));
    EXPECT_NEAR(t.pixelColor(2, 0).alpha(), 128, 1);
    EXPECT_EQ(t.pixelColor(2, 0).red(), 255);
}
