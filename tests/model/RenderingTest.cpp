#include "model/AnnotationRenderer.h"

#include <QPainter>
#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace vistrel;

namespace {

// A white surface, one model point per pixel.
struct Surface
{
    QImage image;
    explicit Surface(QSize size, QColor fill = Qt::white) : image(size, QImage::Format_ARGB32)
    {
        image.fill(fill);
    }
    void draw(const Annotation &a, const QImage *pixelated = nullptr, QPointF origin = {})
    {
        QPainter p(&image);
        AnnotationRenderer::draw(p, a, pixelated, origin);
    }
    QColor at(double x, double y) const { return image.pixelColor(int(x), int(y)); }
    // Bounding box, in model coordinates, of pixels that differ from `background`.
    QRectF ink(QColor background = Qt::white) const
    {
        int l = INT_MAX, t = INT_MAX, r = -1, b = -1;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y) != background) {
                    l = std::min(l, x), r = std::max(r, x), t = std::min(t, y), b = std::max(b, y);
                }
        if (r < 0)
            return {};
        return QRectF(l, t, r - l + 1, b - t + 1);
    }
};

QImage noise(QSize size)
{
    QImage img(size, QImage::Format_RGB32);
    QRandomGenerator rng(7);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            img.setPixel(x, y, rng.generate() | 0xff000000u);
    return img;
}

} // namespace

TEST(Rendering, HighlightIsItsColourAtThirtyFivePercent)
{
    Surface s({100, 100});
    s.draw(*Annotation::make(ToolKind::Highlight, {20, 20}, {60, 50}, QColor(255, 0, 0), 5));
    const QColor inside = s.at(40, 35);
    EXPECT_EQ(inside.red(), 255);
    EXPECT_NEAR(inside.green(), 255 * 0.65, 1.0);
    EXPECT_NEAR(inside.blue(), 255 * 0.65, 1.0);
    EXPECT_EQ(s.at(10, 35), QColor(Qt::white));
    EXPECT_EQ(s.ink(), QRectF(20, 20, 40, 30));
}

TEST(Rendering, BlurShowsAlignedBlocksOnlyInsideItsRectangle)
{
    const QImage primary = noise({600, 300});
    const QImage pixelated = pixelate(primary);
    Surface s({700, 400});
    const QPointF origin(50, 40); // where the primary image's top-left lies
    {
        QPainter p(&s.image);
        p.drawImage(origin, primary);
    }
    const QImage before = s.image;
    auto blur = Annotation::make(ToolKind::Blur, {153.4, 90.6}, {407.2, 301.3}, Qt::red, 5);
    s.draw(*blur, &pixelated, origin);

    const QRectF r = blur->boundingRect();
    for (int y = 0; y < s.image.height(); ++y) {
        for (int x = 0; x < s.image.width(); ++x) {
            const QPointF model(x + 0.5, y + 0.5);
            const bool inside = r.adjusted(1, 1, -1, -1).contains(model);
            const bool outside = !r.adjusted(-1, -1, 1, 1).contains(model);
            if (inside) {
                // Image pixel under this surface pixel, in the pixelated copy.
                const int ix = x - 50, iy = y - 40;
                ASSERT_EQ(s.image.pixel(x, y), pixelated.pixel(ix, iy)) << x << "," << y;
            } else if (outside) {
                ASSERT_EQ(s.image.pixel(x, y), before.pixel(x, y)) << x << "," << y;
            }
        }
    }
}

TEST(Rendering, BlurOverNothingOfTheImageShowsNoPixelation)
{
    const QImage pixelated = pixelate(noise({60, 30}));
    Surface s({200, 100});
    s.draw(*Annotation::make(ToolKind::Blur, {120, 10}, {180, 90}, Qt::red, 5), &pixelated, {0, 0});
    EXPECT_TRUE(s.ink().isNull());
}

TEST(Rendering, BlurWithoutAPixelatedCopyIsSolidBlack)
{
    Surface s({100, 100});
    s.draw(*Annotation::make(ToolKind::Blur, {10, 10}, {40, 30}, Qt::red, 5));
    EXPECT_EQ(s.at(25, 20), QColor(Qt::black));
    EXPECT_EQ(s.ink(), QRectF(10, 10, 30, 20));
}

TEST(Rendering, StepShowsItsNumberCentredInsideAWhiteRing)
{
    Surface s({100, 100});
    auto step = Annotation::make(ToolKind::Step, {50, 50}, {50, 50}, QColor(0, 0, 200), 5);
    step->stepNumber = 12;
    s.draw(*step);
    // Badge 35 across; the ring's 2-point stroke is centred 1.5 inside the edge (radius 16).
    // Probes name the pixel whose centre lies half a pixel down and right of the point.
    EXPECT_EQ(s.at(50 + 15, 50), QColor(Qt::white));
    EXPECT_EQ(s.at(50, 50 - 16), QColor(Qt::white));
    EXPECT_EQ(s.at(50 - 13, 50), QColor(0, 0, 200));
    EXPECT_EQ(s.at(50 + 12, 50), QColor(0, 0, 200));
    EXPECT_EQ(s.at(50 - 40, 50), QColor(Qt::white)); // background
    // The white digits sit in the middle of the badge.
    int l = 100, r = 0, t = 100, b = 0, count = 0;
    for (int y = 36; y < 64; ++y)
        for (int x = 36; x < 64; ++x) {
            const QColor c = s.image.pixelColor(x, y);
            if (c.red() > 200 && c.green() > 200 && std::hypot(x + 0.5 - 50, y + 0.5 - 50) < 13) {
                l = std::min(l, x), r = std::max(r, x), t = std::min(t, y), b = std::max(b, y);
                ++count;
            }
        }
    ASSERT_GT(count, 20);
    EXPECT_NEAR((l + r + 1) / 2.0, 50, 1.5);
    EXPECT_NEAR((t + b + 1) / 2.0, 50, 2.0);
    EXPECT_GT(r - l, 8); // two digits, not one
}

TEST(Rendering, PenNeedsTwoPoints)
{
    Surface s({50, 50});
    auto pen = Annotation::make(ToolKind::Pen, {20, 20}, {20, 20}, Qt::black, 6);
    pen->points = {{20, 20}};
    s.draw(*pen);
    EXPECT_TRUE(s.ink().isNull());
    pen->points.append({30, 20});
    s.draw(*pen);
    // One segment with round caps reaching half the width past each end.
    const QRectF ink = s.ink();
    EXPECT_NEAR(ink.left(), 17, 1);
    EXPECT_NEAR(ink.right(), 33, 1);
    EXPECT_EQ(s.at(30 + 1, 20), QColor(Qt::black));
}

TEST(Rendering, TextInkStaysInsideItsBox)
{
    for (const QString &text :
         {QStringLiteral("Hello"), QStringLiteral("Quick jumpy fox"), QString()}) {
        Surface s({320, 100});
        auto mark = Annotation::make(ToolKind::Text, {10, 20}, {10, 20}, Qt::black, 5);
        mark->text = text;
        mark->fontSize = 24;
        s.draw(*mark);
        const QRectF box = mark->boundingRect();
        const QRectF ink = s.ink();
        ASSERT_FALSE(ink.isNull());
        EXPECT_TRUE(box.adjusted(-1, -1, 1, 1).contains(ink)) << text.toStdString();
        EXPECT_GT(ink.width(), box.width() * 0.8);
        EXPECT_GT(ink.height(), box.height() * 0.5);
    }
}

TEST(Rendering, ShapesStrokeTheirBoxAndSelectAndCropDrawNothing)
{
    Surface s({100, 100});
    s.draw(*Annotation::make(ToolKind::Select, {10, 10}, {90, 90}, Qt::black, 5));
    s.draw(*Annotation::make(ToolKind::Crop, {10, 10}, {90, 90}, Qt::black, 5));
    EXPECT_TRUE(s.ink().isNull());
    s.draw(*Annotation::make(ToolKind::Rect, {20, 20}, {80, 60}, Qt::black, 4));
    EXPECT_EQ(s.ink(), QRectF(18, 18, 64, 44)); // the stroke straddles the edge
    EXPECT_EQ(s.at(50, 40), QColor(Qt::white));
    Surface e({100, 100});
    e.draw(*Annotation::make(ToolKind::Ellipse, {20, 20}, {80, 60}, Qt::black, 4));
    EXPECT_EQ(e.at(50, 40), QColor(Qt::white));
    EXPECT_EQ(e.at(20, 40), QColor(Qt::black));
    EXPECT_EQ(e.at(21, 22), QColor(Qt::white)); // the corner is outside the oval
}

TEST(Pixelation, BlockSizeFollowsTheLongerSide)
{
    EXPECT_EQ(pixelBlockSize({600, 300}), 10);
    EXPECT_EQ(pixelBlockSize({120, 80}), 8);
    EXPECT_EQ(pixelBlockSize({300, 3000}), 50);
}

TEST(Pixelation, BlocksAreUniformAverages)
{
    const QImage src = noise({600, 300});
    const QImage out = pixelate(src);
    ASSERT_EQ(out.size(), src.size());
    for (int by = 0; by < 30; ++by)
        for (int bx = 0; bx < 60; ++bx) {
            const QRgb first = out.pixel(bx * 10, by * 10);
            long sum = 0;
            for (int y = 0; y < 10; ++y)
                for (int x = 0; x < 10; ++x) {
                    ASSERT_EQ(out.pixel(bx * 10 + x, by * 10 + y), first);
                    sum += qRed(src.pixel(bx * 10 + x, by * 10 + y));
                }
            ASSERT_NEAR(qRed(first), sum / 100.0, 0.51);
        }
    // Blocks at the ragged edge are cropped to the image.
    const QImage odd = pixelate(noise({125, 83}));
    EXPECT_EQ(odd.size(), QSize(125, 83));
    EXPECT_EQ(odd.pixel(124, 82), odd.pixel(120, 80));
}

TEST(Pixelation, FailureGivesBackTheSource)
{
    EXPECT_TRUE(pixelate(QImage()).isNull());
    QImage flat(50, 40, QImage::Format_ARGB32_Premultiplied);
    flat.fill(QColor(10, 20, 30));
    EXPECT_EQ(pixelate(flat), flat);
}

TEST(Pixelation, PartsHoldTheSamePixelsAsTheWholeCopyAndOnlyTheirBlocks)
{
    // A tall picture with blocks of 50 × 50 (ragged at the right and bottom edges), in the
    // format pixelated copies come in and in one they are converted from.
    const QImage tall = noise({333, 3001});
    for (const QImage &src : {tall, tall.convertToFormat(QImage::Format_RGB888)}) {
        const QImage whole = pixelate(src);
        PixelatedPicture parts(src);
        const QRect areas[] = {{10, 10, 5, 5},   {40, 40, 30, 30},   {0, 2950, 333, 51},
                               {300, 5, 40, 40}, {-20, -20, 60, 60}, {120, 1000, 100, 600}};
        for (const QRect &area : areas) {
            const PixelatedPicture::Part part = parts.cover(area);
            ASSERT_FALSE(part.image.isNull());
            // Whole blocks that hold the area and a pixel around it, within the picture.
            EXPECT_TRUE(part.rect().contains(area.adjusted(-1, -1, 1, 1).intersected(src.rect())));
            EXPECT_TRUE(src.rect().contains(part.rect()));
            EXPECT_EQ(part.at.x() % 50, 0);
            EXPECT_EQ(part.at.y() % 50, 0);
            EXPECT_EQ(part.image, whole.copy(part.rect()))
                << "area " << area.x() << "," << area.y();
        }
        EXPECT_TRUE(parts.cover({400, 10, 5, 5}).image.isNull()); // outside the picture
        // Asked again, an area inside what is made costs nothing more.
        const qint64 made = parts.bytes();
        parts.cover({130, 1100, 20, 20});
        EXPECT_EQ(parts.bytes(), made);
        EXPECT_LT(made, qint64(whole.sizeInBytes()) / 3);
    }
}
