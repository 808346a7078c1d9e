// The canvas's painting and flattened export, checked against pictures built here.
#include "ui/AnnotationCanvas.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace vistrel;

namespace {

QImage noise(QSize size, quint32 seed)
{
    QImage img(size, QImage::Format_RGB32);
    QRandomGenerator rng(seed);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            img.setPixel(x, y, rng.generate() | 0xff000000u);
    return img;
}

TextBoxDetection noText()
{
    return [](const QImage &, QObject *, std::function<void(QList<QRectF>)> done) { done({}); };
}

AnnotationRef mark(ToolKind kind, QPointF a, QPointF b, QColor colour = Qt::red, double width = 5)
{
    return Annotation::make(kind, a, b, colour, width);
}

// The export's pixel at a canvas point.
QRgb at(const QImage &img, const QRectF &area, double x, double y)
{
    return img.pixel(int(std::floor(x - area.left())), int(std::floor(y - area.top())));
}

// Whether the export shows `source` one to one with its top-left at canvas point `origin`.
bool showsUnchanged(const QImage &img, const QRectF &area, const QImage &source, QPointF origin,
                    const QRect &only = QRect())
{
    const QRect part = only.isNull() ? source.rect() : only;
    const int dx = int(origin.x() - area.left());
    const int dy = int(origin.y() - area.top());
    for (int y = part.top(); y <= part.bottom(); ++y)
        for (int x = part.left(); x <= part.right(); ++x)
            if ((img.pixel(x + dx, y + dy) | 0xff000000u) != source.pixel(x, y))
                return false;
    return true;
}

} // namespace

TEST(CanvasRender, ExportOfACaptureAloneIsThePicture)
{
    const QImage picture = noise({300, 200}, 3);
    AnnotationCanvas canvas(picture, {}, noText());
    const QImage out = canvas.renderComposite(false);
    ASSERT_EQ(out.size(), QSize(300, 200));
    EXPECT_EQ(out.convertToFormat(QImage::Format_RGB32), picture);
}

TEST(CanvasRender, OutsideTheImagesIsTransparentOrWhite)
{
    // Large enough to be painted in bands, into a bitmap of more than 8 MiB.
    const QImage picture = noise({1900, 1100}, 4);
    // A highlight in the picture and a line that starts 30 points left of it.
    AnnotationCanvas canvas(picture,
                            {mark(ToolKind::Highlight, {100, 1050}, {140, 1010}, QColor(0, 0, 255)),
                             mark(ToolKind::Line, {-30, 950}, {60, 950}, Qt::black, 2)},
                            noText());
    const QRectF area = canvas.exportRect();
    ASSERT_EQ(area, QRectF(-36, -6, 1942, 1112));
    for (bool opaque : {false, true}) {
        const QImage out = canvas.renderComposite(opaque);
        ASSERT_EQ(out.size(), QSize(1942, 1112));
        const QRgb outside = at(out, area, -20, 1000); // left of the picture, off the line
        EXPECT_EQ(outside, opaque ? 0xffffffffu : 0u);
        // The picture shows unchanged away from the marks.
        EXPECT_TRUE(showsUnchanged(out, area, picture, {0, 0}, QRect(200, 0, 1700, 1100)));
        // Highlight: blue at 35 % over the picture's own pixel.
        const QRgb under = picture.pixel(120, 1029);
        const QRgb shown = at(out, area, 120.5, 1029.5);
        EXPECT_NEAR(qRed(shown), qRed(under) * 0.65, 1.5);
        EXPECT_NEAR(qGreen(shown), qGreen(under) * 0.65, 1.5);
        EXPECT_NEAR(qBlue(shown), qBlue(under) * 0.65 + 255 * 0.35, 1.5);
        // The line outside the picture is drawn on the background.
        EXPECT_EQ(at(out, area, -20, 949.5), 0xff000000u);
    }
}

TEST(CanvasRender, BlurPixelatesThePrimaryImageOnlyNotAPlacedOne)
{
    const QImage primary = noise({300, 200}, 5);
    const QImage placed = noise({100, 50}, 6);
    AnnotationCanvas canvas(primary, {}, noText());
    canvas.addImage(placed); // one to one at (340, 0)
    ASSERT_EQ(canvas.extraImages().first()->frame, QRectF(340, 0, 100, 50));
    canvas.setCurrentTool(ToolKind::Blur);
    canvas.model().mouseDown({290, 100});
    canvas.model().mouseDragged({420, 1});
    canvas.model().mouseUp({420, 1});
    ASSERT_EQ(canvas.annotations().size(), 1);

    const QRectF area = canvas.exportRect();
    const QImage out = canvas.renderComposite(true);
    EXPECT_TRUE(showsUnchanged(out, area, placed, {340, 0}));
    // Inside the blur over the primary image: 8-pixel blocks (300 / 60 < 8) from the image's
    // top-left, each the average of its pixels. Block column 36 (x 288…295), row 1 (y 8…15).
    int r = 0, g = 0, b = 0;
    for (int y = 8; y < 16; ++y)
        for (int x = 288; x < 296; ++x) {
            const QRgb p = primary.pixel(x, y);
            r += qRed(p), g += qGreen(p), b += qBlue(p);
        }
    const QRgb block = at(out, area, 290.5, 12.5);
    EXPECT_NEAR(qRed(block), r / 64.0, 1.0);
    EXPECT_NEAR(qGreen(block), g / 64.0, 1.0);
    EXPECT_NEAR(qBlue(block), b / 64.0, 1.0);
    // Outside the blur the primary image is untouched.
    EXPECT_TRUE(showsUnchanged(out, area, primary, {0, 0}, QRect(0, 0, 280, 200)));
}

TEST(CanvasRender, LegendIsPartOfTheExport)
{
    auto step = mark(ToolKind::Step, {50, 150}, {50, 150}, QColor(0, 160, 0));
    step->caption = QStringLiteral("Here");
    AnnotationCanvas canvas(noise({300, 200}, 7), {step}, noText());
    const QRectF panel = *canvas.model().captionPanelRect();
    EXPECT_EQ(panel, QRectF(328, 0, 360, 200));
    const QRectF area = canvas.exportRect();
    EXPECT_EQ(area, QRectF(-6, -6, 700, 212));
    const QImage out = canvas.renderComposite(false);
    EXPECT_EQ(at(out, area, 660, 180), 0xffffffffu); // the card is white
    EXPECT_EQ(at(out, area, 320, 100), 0u);          // the gap is not
    // The row badge: a circle of 28 in the step's colour, 20 in and below the title block.
    EXPECT_EQ(at(out, area, 352.5, 75.5), qRgb(0, 160, 0)); // left of its number
}

TEST(CanvasRender, ScreenShowsTilesDotsAndRedrawsPartsIdentically)
{
    AnnotationCanvas canvas(noise({100, 80}, 8), {mark(ToolKind::Rect, {10, 70}, {60, 30})},
                            noText());
    canvas.setCurrentTool(ToolKind::Select);
    canvas.model().mouseDown({10, 50}); // selects the rectangle: decorations too
    canvas.model().mouseUp({10, 50});
    canvas.setViewportSize(QSizeF(2100, 2080)); // the whole canvas, content in the middle
    const QSize size = canvas.size();
    ASSERT_EQ(size, QSize(2100, 2080));
    QImage full(size, QImage::Format_ARGB32_Premultiplied);
    canvas.render(&full);
    // Dots on the absolute 28-point lattice, plain background between them.
    auto pixel = [&](const QImage &img, double x, double y) {
        return QColor(img.pixel(int(x), int(y)));
    };
    const QColor background = CanvasModel::canvasColor();
    EXPECT_EQ(pixel(full, 28 * 10 + 14, 2080 - 28 * 10 - 14).rgb(), background.rgb());
    EXPECT_LT(pixel(full, 28 * 10, 2080 - 28 * 10).red(), background.red());
    // A tile shadow darkens the background just below the picture, not far away from it.
    EXPECT_LT(pixel(full, 1050, 1085).red(), background.red() - 3);

    // Any part redrawn alone matches the whole.
    for (QRect part :
         {QRect(13, 17, 101, 93), QRect(990, 960, 150, 170), QRect(1001, 2003, 77, 31)}) {
        QImage piece(part.size(), QImage::Format_ARGB32_Premultiplied);
        piece.fill(Qt::magenta);
        canvas.render(&piece, QPoint(), QRegion(part));
        EXPECT_EQ(piece, full.copy(part)) << part.x() << "," << part.y();
    }
}
