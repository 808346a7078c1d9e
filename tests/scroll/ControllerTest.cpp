#include "scroll/ScrollCaptureController.h"
#include "platform/FakeDesktop.h"
#include "TestSupport.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace vistrel;

namespace {

// Wakes the loops by hand: `advance` runs everything that falls due, in order.
class FakeClock : public LoopClock
{
public:
    void after(int ms, QObject *context, std::function<void()> wake) override
    {
        m_pending.push_back({m_now + ms, m_seq++, context, std::move(wake)});
    }
    void advance(qint64 ms)
    {
        const qint64 until = m_now + ms;
        for (;;) {
            auto next = std::min_element(m_pending.begin(), m_pending.end(), [](auto &a, auto &b) {
                return a.due != b.due ? a.due < b.due : a.seq < b.seq;
            });
            if (next == m_pending.end() || next->due > until)
                break;
            Wake w = std::move(*next);
            m_pending.erase(next);
            m_now = w.due;
            if (w.context)
                w.wake();
        }
        m_now = until;
    }

private:
    struct Wake
    {
        qint64 due;
        quint64 seq;
        QPointer<QObject> context;
        std::function<void()> wake;
    };
    qint64 m_now = 0;
    quint64 m_seq = 0;
    std::vector<Wake> m_pending;
};

QImage page(int w, int h)
{
    QRandomGenerator rng(42);
    QImage img(w, h, QImage::Format_RGB32);
    // Rows of blocks 4 high with random colours: never repeats, matches to the pixel.
    for (int y = 0; y < h; y += 4) {
        for (int x = 0; x < w; x += 8) {
            const QRgb c = qRgb(rng.bounded(256), rng.bounded(256), rng.bounded(256));
            for (int yy = y; yy < std::min(h, y + 4); ++yy)
                for (int xx = x; xx < std::min(w, x + 8); ++xx)
                    img.setPixel(xx, yy, c);
        }
    }
    return img;
}

class ScrollControllerTest : public ::testing::Test
{
protected:
    // A page `pageHeight` tall shown through a rectangle at (100, 50) of the given height;
    // each wheel notch moves it 60 pixels, as a Qt scroll area does.
    void showPage(int pageHeight, int rectHeight)
    {
        display = desktop.addDisplay(1, QRectF(0, 0, 800, std::max(600, rectHeight + 100)), 1.0);
        tall = page(200, pageHeight);
        rect = QRectF(100, 50, 200, rectHeight);
        desktop.onScrollDown = [this](int notches) {
            offset = std::min(offset + notches * 60, tall.height() - int(rect.height()));
            paint();
        };
        paint();
    }
    void paint()
    {
        QPainter p(&desktop.display(1)->picture);
        p.drawImage(rect.topLeft(), tall.copy(0, offset, 200, int(rect.height())));
    }
    std::unique_ptr<ScrollCaptureController> make()
    {
        auto c = std::make_unique<ScrollCaptureController>(
            rect, display, desktop.platform(),
            [this](std::optional<QImage> image) {
                ++finishes;
                result = image;
            },
            clock);
        c->buildHUD();
        return c;
    }

    FakeDesktop desktop;
    FakeClock clock;
    DisplayInfo display;
    QImage tall;
    QRectF rect;
    int offset = 0;
    int finishes = 0;
    std::optional<QImage> result;
};

bool samePixels(const QImage &a, const QImage &b)
{
    return a.convertToFormat(QImage::Format_RGB32) == b.convertToFormat(QImage::Format_RGB32);
}

} // namespace

TEST_F(ScrollControllerTest, LabelChangesEveryFramePreviewEveryThird)
{
    showPage(1200, 400);
    auto c = make();
    EXPECT_EQ(c->heightLabel()->text(), "Captured 0 px");
    c->start();
    EXPECT_EQ(c->tick(), 1);
    EXPECT_EQ(c->heightLabel()->text(), "Captured 400 px \u00b7 1 frames");
    clock.advance(160);
    EXPECT_TRUE(c->previewView()->pixmap().isNull());
    offset = 100;
    paint();
    clock.advance(160); // third frame: 100 new rows, and the first preview
    EXPECT_EQ(c->heightLabel()->text(), "Captured 500 px \u00b7 2 frames");
    ASSERT_FALSE(c->previewView()->pixmap().isNull());
    const qint64 first = c->previewView()->pixmap().cacheKey();
    clock.advance(160 * 2);
    EXPECT_EQ(c->previewView()->pixmap().cacheKey(), first);
    clock.advance(160);
    EXPECT_NE(c->previewView()->pixmap().cacheKey(), first);
    EXPECT_EQ(c->tick(), 6);
    EXPECT_EQ(finishes, 0);
}

TEST_F(ScrollControllerTest, ScrollAmountsAndWheelNotches)
{
    EXPECT_EQ(ScrollCaptureController::scrollAmount(80), 60); // 44 is under the minimum
    EXPECT_EQ(ScrollCaptureController::scrollAmount(400), 220);
    EXPECT_EQ(ScrollCaptureController::wheelNotches(220, 400), 3); // 180 of 200 followable
    // 550 of 1000 would be 9 notches, 540 pixels: past the half frame the stitcher can match.
    EXPECT_EQ(ScrollCaptureController::wheelNotches(550, 1000), 8);
    EXPECT_EQ(ScrollCaptureController::wheelNotches(60, 80), 1);
}

TEST_F(ScrollControllerTest, AutoScrollStitchesThePageAndFinishesWhenItStopsGrowing)
{
    showPage(1200, 400);
    auto c = make();
    c->start();
    c->toggleAuto();
    EXPECT_EQ(c->autoButton()->text(), "Stop (Esc)");
    ASSERT_EQ(desktop.pointerMoves.size(), 1);
    EXPECT_EQ(desktop.pointerMoves[0], QPoint(200, 250)); // the rectangle's centre
    EXPECT_TRUE(desktop.escapeHandler);
    for (int i = 0; i < 100 && !finishes; ++i)
        clock.advance(20);
    // Four flat checks after the page ended, not before.
    EXPECT_EQ(finishes, 0);
    clock.advance(20000);
    ASSERT_EQ(finishes, 1);
    ASSERT_TRUE(result);
    EXPECT_TRUE(samePixels(*result, tall));
    // 800 pixels to scroll at 180 a step: 5 steps that moved, then 4 flat checks.
    EXPECT_EQ(desktop.wheelTurns.size(), 9);
    EXPECT_EQ(desktop.wheelTurns[0], std::make_pair(QPoint(200, 250), 3));
    EXPECT_FALSE(c->running());
    EXPECT_FALSE(c->hud());
    EXPECT_FALSE(desktop.escapeHandler);
}

TEST_F(ScrollControllerTest, AutoScrollFinishesAfterAHundredSteps)
{
    // 256 high: 140 points a step, 2 notches of 60, 120 pixels; the page never ends.
    showPage(256 + 130 * 120, 256);
    auto c = make();
    c->start();
    c->toggleAuto();
    clock.advance(250 + 99 * 340);
    EXPECT_EQ(finishes, 0);
    clock.advance(340);
    ASSERT_EQ(finishes, 1);
    EXPECT_EQ(desktop.wheelTurns.size(), 100);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->height(), 256 + 100 * 120);
    EXPECT_TRUE(samePixels(*result, tall.copy(0, 0, 200, result->height())));
}

TEST_F(ScrollControllerTest, EscapeStopsScrollingOnlyAndCancelFinishesOnce)
{
    showPage(3000, 400);
    auto c = make();
    c->start();
    c->toggleAuto();
    clock.advance(250 + 340);
    EXPECT_EQ(desktop.wheelTurns.size(), 2);
    desktop.pressEscapeAnywhere();
    EXPECT_FALSE(c->autoScrolling());
    EXPECT_EQ(c->autoButton()->text(), "Auto Scroll");
    EXPECT_FALSE(desktop.escapeHandler); // no Escape watch while scrolling by hand
    clock.advance(2000);
    EXPECT_EQ(desktop.wheelTurns.size(), 2);
    EXPECT_TRUE(c->running());
    EXPECT_EQ(finishes, 0);

    // On again: a fresh count, and an Escape watch again; then Cancel in the middle of it.
    c->toggleAuto();
    EXPECT_EQ(c->autoSteps(), 0);
    clock.advance(250 + 340);
    EXPECT_EQ(c->autoSteps(), 2);
    c->cancelButton()->click();
    EXPECT_EQ(finishes, 1);
    EXPECT_FALSE(result);
    clock.advance(5000);
    EXPECT_EQ(finishes, 1);
    EXPECT_EQ(desktop.wheelTurns.size(), 4);
    EXPECT_FALSE(desktop.escapeHandler);
}

TEST_F(ScrollControllerTest, DoneBeforeAnyFrameHandsBackNothing)
{
    showPage(1200, 400);
    desktop.display(1)->failGrab = true;
    auto c = make();
    c->start();
    clock.advance(1000);
    EXPECT_EQ(c->tick(), 0);
    c->finishAction();
    EXPECT_EQ(finishes, 1);
    EXPECT_FALSE(result);
}

TEST(ScrollControlPanel, StaysClearOfTheCapturedRectangle)
{
    const QRectF visible(0, 0, 1280, 800);
    const QSizeF panel(432, 150);
    // Nowhere near the bottom: centred, 40 above the bottom edge.
    EXPECT_EQ(ScrollCaptureController::panelOrigin(visible, {100, 50, 300, 300}, panel),
              QPointF(424, 610));
    // A tall rectangle over the bottom middle: beside it, on the right.
    EXPECT_EQ(ScrollCaptureController::panelOrigin(visible, {40, 40, 600, 640}, panel),
              QPointF(652, 610));
    // The whole screen: nowhere.
    EXPECT_EQ(ScrollCaptureController::panelOrigin(visible, visible, panel), std::nullopt);
}
