#include "engines/CaptureService.h"
#include "FakeDesktop.h"

#include <gtest/gtest.h>

using namespace vistrel;

TEST(CaptureService, DisplayPictureIsPointsTimesScale)
{
    FakeDesktop desktop;
    const DisplayInfo d = desktop.addDisplay(1, QRectF(0, 0, 1512, 982), 2.0);
    CaptureService service(desktop);
    auto image = service.captureDisplay(d);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSize(3024, 1964));
}

TEST(CaptureService, RectangleDropsTheFractionBeforeScaling)
{
    FakeDesktop desktop;
    const DisplayInfo d = desktop.addDisplay(1, QRectF(0, 0, 400, 300), 2.0);
    CaptureService service(desktop);
    auto image = service.captureRect(QRectF(10, 10, 100.9, 50.5), d);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSize(200, 100));
    // The picture starts where the rectangle starts, in device pixels.
    EXPECT_EQ(*image, desktop.display(1)->picture.copy(20, 20, 200, 100));
}

TEST(CaptureService, FractionalScalesCaptureWhatTheScreenShows)
{
    EXPECT_EQ(CaptureService::pixelRect(QRectF(0, 0, 101, 40), 1.25), QRect(0, 0, 126, 50));
    EXPECT_EQ(CaptureService::pixelRect(QRectF(10, 10, 100.9, 40), 1.5), QRect(15, 15, 150, 60));
    FakeDesktop desktop;
    const DisplayInfo d = desktop.addDisplay(1, QRectF(0, 0, 1536, 864), 1.25);
    CaptureService service(desktop);
    EXPECT_EQ(service.captureDisplay(d)->size(), QSize(1920, 1080));
    EXPECT_EQ(service.scaleFactor(d), 1.25); // not truncated to 1
}

TEST(CaptureService, ScaleFactorFallsBackToTheMainScreenThenTwo)
{
    FakeDesktop desktop;
    desktop.addDisplay(1, QRectF(0, 0, 100, 100), 3.0);
    const DisplayInfo unlisted =
        desktop.addDisplay(2, QRectF(100, 0, 100, 100), 1.0, Qt::gray, false);
    CaptureService service(desktop);
    EXPECT_EQ(service.scaleFactor(unlisted), 3.0);

    FakeDesktop none;
    CaptureService bare(none);
    EXPECT_EQ(bare.scaleFactor(DisplayInfo{5, QRectF(0, 0, 10, 10), 1, {}}), 2.0);
}

TEST(CaptureService, WindowsAreSizedByTheMainScreen)
{
    FakeDesktop desktop;
    desktop.addDisplay(1, QRectF(0, 0, 400, 300), 1.0);
    desktop.addDisplay(2, QRectF(400, 0, 400, 300), 2.0);
    const WindowInfo w = desktop.addWindow(9, QRectF(450, 10, 100.7, 60), 1);
    CaptureService service(desktop);
    auto image = service.captureWindow(w);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->size(), QSize(100, 60));
}

TEST(CaptureService, EmptyRectangleIsAnErrorNotAnEmptyPicture)
{
    FakeDesktop desktop;
    const DisplayInfo d = desktop.addDisplay(1, QRectF(0, 0, 400, 300), 1.0);
    CaptureService service(desktop);
    auto image = service.captureRect(QRectF(5, 5, 0.6, 10), d);
    ASSERT_FALSE(image);
    EXPECT_FALSE(image.error().errorDescription().isEmpty());
}

TEST(CaptureService, CutsFromTheFrozenPictureStayTheirOwn)
{
    FakeDesktop desktop;
    const DisplayInfo d = desktop.addDisplay(1, QRectF(0, 0, 400, 300), 1.0);
    CaptureService service(desktop);
    QImage frozen = desktop.display(1)->picture.copy();
    const QImage before = frozen.copy();

    auto cut = service.cutRect(QRectF(30, 20, 100, 50), d, frozen);
    ASSERT_TRUE(cut);
    frozen = QImage(); // the cut outlives the frozen picture it came from
    EXPECT_EQ(*cut, before.copy(30, 20, 100, 50));
    QImage edited = *cut;
    edited.fill(Qt::red); // changing a cut leaves the picture it came from alone
    auto again = service.cutRect(QRectF(30, 20, 100, 50), d, before);
    ASSERT_TRUE(again);
    EXPECT_EQ(*again, before.copy(30, 20, 100, 50));
    EXPECT_EQ(*cut, before.copy(30, 20, 100, 50));

    // Beyond the picture's edge: black there.
    auto over = service.cutRect(QRectF(350, 250, 100, 100), d, before);
    ASSERT_TRUE(over);
    EXPECT_EQ(over->pixel(10, 10), before.pixel(360, 260));
    EXPECT_EQ(over->pixel(80, 80), qRgb(0, 0, 0));
}
