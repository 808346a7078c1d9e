#include "platform/PortalScreenCast.h"

#include <gtest/gtest.h>

using namespace vistrel;

namespace {

constexpr qint64 ms = 1000000;

QImage picture(int n)
{
    QImage image(1, 1, QImage::Format_RGB32);
    image.fill(QColor(n, 0, 0));
    return image;
}

int pictureOf(const RecordedFrame &frame)
{
    return qRed(frame.image.pixel(0, 0));
}

} // namespace

// At 30 fps a tick lasts 33.3 ms: a second frame within one is held for the next tick, and a
// newer frame replaces it; the last picture of a burst is never lost, no tick comes twice.
TEST(CastPacer, KeepsOneFrameATickAndTheLastPictureOfABurst)
{
    CastPacer pacer(30);
    const qint64 t0 = 5000 * ms; // any steady clock
    auto out = pacer.offer(t0, picture(1));
    ASSERT_EQ(out.size(), 1);
    EXPECT_EQ(out[0].tick, 0);
    EXPECT_FALSE(pacer.dueAt());

    // Same tick: held until tick 1 begins (at 33.34 ms).
    EXPECT_TRUE(pacer.offer(t0 + 10 * ms, picture(2)).isEmpty());
    ASSERT_TRUE(pacer.dueAt());
    EXPECT_EQ(*pacer.dueAt(), t0 + 33333334);
    EXPECT_FALSE(pacer.due(t0 + 33 * ms));
    auto held = pacer.due(t0 + 34 * ms);
    ASSERT_TRUE(held);
    EXPECT_EQ(held->tick, 1);
    EXPECT_EQ(pictureOf(*held), 2);

    // A frame arriving in tick 1 after the held one took it waits for tick 2, where a frame of
    // tick 2 itself replaces it.
    EXPECT_TRUE(pacer.offer(t0 + 40 * ms, picture(3)).isEmpty());
    out = pacer.offer(t0 + 70 * ms, picture(4));
    ASSERT_EQ(out.size(), 1);
    EXPECT_EQ(out[0].tick, 2);
    EXPECT_EQ(pictureOf(out[0]), 4);

    // Held, then a frame ticks later: the held one keeps the next tick, the new one its own.
    EXPECT_TRUE(pacer.offer(t0 + 80 * ms, picture(5)).isEmpty());
    out = pacer.offer(t0 + 210 * ms, picture(6));
    ASSERT_EQ(out.size(), 2);
    EXPECT_EQ(out[0].tick, 3);
    EXPECT_EQ(pictureOf(out[0]), 5);
    EXPECT_EQ(out[1].tick, 6); // 210 ms: ticks 4 and 5 are gaps (nothing changed)

    // At the end, the held frame on its tick.
    EXPECT_TRUE(pacer.offer(t0 + 215 * ms, picture(7)).isEmpty());
    held = pacer.takeHeld();
    ASSERT_TRUE(held);
    EXPECT_EQ(held->tick, 7);
    EXPECT_FALSE(pacer.takeHeld());
}

// A desktop sending at its own rate (60 Hz with jitter, then 24 Hz) into 30 fps and 60 fps:
// ticks rise strictly, none lies ahead of its time, and each frame is late by at most a tick.
TEST(CastPacer, MapsAnyDesktopRateToRisingTicks)
{
    for (int fps : {30, 60}) {
        for (double hz : {60.0, 24.0, 144.0}) {
            CastPacer pacer(fps);
            qint64 last = -1;
            int delivered = 0;
            auto take = [&](const RecordedFrame &f, qint64 now) {
                EXPECT_GT(f.tick, last) << fps << " fps, " << hz << " Hz";
                EXPECT_LE(f.tick, pacer.tickAt(now));
                last = f.tick;
                ++delivered;
            };
            const qint64 t0 = 1000 * ms;
            for (int i = 0; i < int(hz * 2); ++i) {
                const qint64 now = t0 + qint64(i * 1e9 / hz) + (i % 3) * ms; // jitter
                if (auto due = pacer.dueAt(); due && *due <= now)
                    take(*pacer.due(*due), *due);
                for (const RecordedFrame &f : pacer.offer(now, picture(i % 256)))
                    take(f, now);
            }
            if (auto f = pacer.takeHeld())
                take(*f, t0 + 3000 * ms);
            // Two seconds: about min(hz, fps) × 2 frames.
            EXPECT_GE(delivered, int(std::min<double>(hz, fps) * 2) - 3) << fps << " " << hz;
            EXPECT_LE(last, 2 * fps + 1);
        }
    }
}

// The stream shows the display at its device size, or scaled (at its logical size): the area,
// in device pixels, is cut at the stream's own scale.
TEST(CastCrop, CutsTheAreaAtTheStreamsScale)
{
    DisplayInfo display;
    display.frame = QRectF(1280, 0, 1280, 800); // the second display: its place does not count
    display.scale = 2;
    const QRect area(200, 100, 640, 480); // device pixels of a 2560×1600 display

    EXPECT_EQ(castCropRect(area, display, QSize(2560, 1600)), area);
    EXPECT_EQ(castCropRect(area, display, QSize(1280, 800)), QRect(100, 50, 320, 240));
    display.scale = 1.5; // 1920×1200 device pixels, streamed at its logical size
    EXPECT_EQ(castCropRect(QRect(300, 150, 600, 300), display, QSize(1280, 800)),
              QRect(200, 100, 400, 200));

    // All of it where no area is given; cut at the stream's edge; nothing where outside.
    EXPECT_EQ(castCropRect(QRect(), display, QSize(1280, 800)), QRect(0, 0, 1280, 800));
    display.scale = 1;
    EXPECT_EQ(castCropRect(QRect(1200, 700, 200, 200), display, QSize(1280, 800)),
              QRect(1200, 700, 80, 100));
    EXPECT_TRUE(castCropRect(QRect(1300, 0, 50, 50), display, QSize(1280, 800)).isEmpty());
}

// The stream names its pixels by byte order; the fourth byte is padding, whatever it holds.
// Rows may be longer than the picture.
TEST(CastFrame, ConvertsBothByteOrdersAndCutsTheArea)
{
    const int width = 3, height = 2, stride = 16; // 12 bytes of pixels, 4 of padding a row
    const uchar bgrx[stride * height] = {
        0x10, 0x20, 0x30, 0x00, 0x00, 0x00, 0xff, 0x7f, 0x01, 0x02, 0x03, 0x04, 9, 9, 9, 9,
        0xff, 0x00, 0x00, 0x00, 0x00, 0xff, 0x00, 0x00, 0xaa, 0xbb, 0xcc, 0xdd, 9, 9, 9, 9};
    for (auto order : {CastPixelOrder::BGRx, CastPixelOrder::RGBx}) {
        const bool bgr = order == CastPixelOrder::BGRx;
        const QImage all =
            castFrameImage(bgrx, QSize(width, height), stride, order, QRect(0, 0, width, height));
        ASSERT_EQ(all.format(), QImage::Format_RGB32);
        ASSERT_EQ(all.size(), QSize(width, height));
        EXPECT_EQ(all.pixel(0, 0), bgr ? qRgb(0x30, 0x20, 0x10) : qRgb(0x10, 0x20, 0x30));
        EXPECT_EQ(all.pixel(1, 0), bgr ? qRgb(0xff, 0, 0) : qRgb(0, 0, 0xff));
        EXPECT_EQ(all.pixel(2, 1), bgr ? qRgb(0xcc, 0xbb, 0xaa) : qRgb(0xaa, 0xbb, 0xcc));
        for (int y = 0; y < height; ++y) // opaque in the stored bytes too
            for (int x = 0; x < width; ++x)
                EXPECT_EQ(reinterpret_cast<const QRgb *>(all.constScanLine(y))[x] >> 24, 0xffu);

        const QImage cut =
            castFrameImage(bgrx, QSize(width, height), stride, order, QRect(1, 1, 2, 1));
        ASSERT_EQ(cut.size(), QSize(2, 1));
        EXPECT_EQ(cut.pixel(0, 0), bgr ? qRgb(0, 0xff, 0) : qRgb(0, 0xff, 0));
        EXPECT_EQ(cut.pixel(1, 0), all.pixel(2, 1));
    }
    // A cut beyond the frame, or rows shorter than the picture, give nothing.
    EXPECT_TRUE(
        castFrameImage(bgrx, QSize(width, height), stride, CastPixelOrder::BGRx, QRect(2, 1, 2, 1))
            .isNull());
    EXPECT_TRUE(
        castFrameImage(bgrx, QSize(width, height), 8, CastPixelOrder::BGRx, QRect(0, 0, 1, 1))
            .isNull());
}
