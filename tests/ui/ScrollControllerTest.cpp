#include "FakeDesktop.h"
#include "TestSupport.h"
#include "ui/ScrollCaptureController.h"

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
    // each wheel notch moves it `notch` pixels (60 in a Qt scroll area, about 95 in xterm).
    void showPage(int pageHeight, int rectHeight, int notch = 60)
    {
        display = desktop.addDisplay(1, QRectF(0, 0, 800, std::max(600, rectHeight + 100)), 1.0);
        tall = page(200, pageHeight);
        rect = QRectF(100, 50, 200, rectHeight);
        desktop.onScrollDown = [this, notch](int notches) {
            offset = std::min(offset + notches * notch, tall.height() - int(rect.height()));
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

TEST_F(ScrollControllerTest, AutoScrollLearnsTheNotchAndKeepsEveryRow)
{
    // An xterm-like 95 pixels a notch: the first notch is measured, and every later step
    // moves at most 40 % of the 400 rows (one notch), so nothing is ever skipped.
    showPage(1300, 400, 95);
    auto c = make();
    c->start();
    c->toggleAuto();
    EXPECT_EQ(c->autoButton()->text(), "Stop (Esc)");
    EXPECT_TRUE(desktop.escapeHandler);
    EXPECT_TRUE(desktop.pointerMoves.isEmpty()); // the pointer is not taken at the start
    clock.advance(20000);
    ASSERT_EQ(finishes, 1);
    ASSERT_TRUE(result);
    EXPECT_TRUE(samePixels(*result, tall));
    EXPECT_EQ(c->pixelsPerNotch(), 95);
    ASSERT_GE(desktop.wheelTurns.size(), 10);
    // The pointer was elsewhere: the wheel turns at the rectangle's centre, a notch at a time.
    for (const auto &turn : desktop.wheelTurns)
        EXPECT_EQ(turn, std::make_pair(QPoint(200, 250), 1));
    EXPECT_EQ(ScrollCaptureController::notchesForStep(60, 1000), 6);
    EXPECT_FALSE(c->running());
    EXPECT_FALSE(c->panel());
    EXPECT_FALSE(desktop.escapeHandler);
}

TEST_F(ScrollControllerTest, TheWheelTurnsUnderTheUsersPointerWhichStaysTheirs)
{
    showPage(3000, 400);
    auto c = make();
    c->start();
    desktop.pointerAt = QPoint(150, 400); // over the rectangle, off centre
    c->toggleAuto();
    clock.advance(250 + 340);
    ASSERT_EQ(desktop.wheelTurns.size(), 2);
    EXPECT_EQ(desktop.wheelTurns[0].first, QPoint(150, 400));
    EXPECT_TRUE(desktop.pointerMoves.isEmpty());
    // Over the panel, about to click Stop: the wheel turns at the centre and the pointer is
    // straight back on the panel.
    const QPoint onPanel = c->panel()->geometry().center();
    desktop.pointerAt = onPanel;
    clock.advance(340);
    ASSERT_EQ(desktop.wheelTurns.size(), 3);
    EXPECT_EQ(desktop.wheelTurns[2].first, QPoint(200, 250));
    EXPECT_EQ(desktop.pointerAt, onPanel);
    EXPECT_EQ(desktop.pointerMoves, QList<QPoint>{onPanel});
}

TEST_F(ScrollControllerTest, ANotchTooBigForTheAreaIsSaidNotGuessed)
{
    // 80 rows followed of a 100-row area, 95 pixels a notch: every frame after the first
    // notch is beyond reach.
    showPage(3000, 100, 95);
    auto c = make();
    c->start();
    c->toggleAuto();
    clock.advance(5000);
    EXPECT_EQ(finishes, 0);
    EXPECT_FALSE(c->autoScrolling());
    EXPECT_TRUE(c->hintLabel()->text().contains("drag a taller area"))
        << c->hintLabel()->text().toStdString();
    EXPECT_EQ(c->stitcher().totalHeight(), 100); // nothing appended by guess
}

TEST_F(ScrollControllerTest, ContentThatDoesNotScrollIsSaidAndTheCaptureGoesOn)
{
    showPage(3000, 400);
    desktop.onScrollDown = nullptr;
    auto still = make();
    still->start();
    still->toggleAuto();
    clock.advance(20000);
    EXPECT_EQ(finishes, 0);
    EXPECT_TRUE(still->running());
    EXPECT_TRUE(still->hintLabel()->text().startsWith("Nothing scrolled"));
}

TEST_F(ScrollControllerTest, AutoScrollGoesOnToTheEndOfTheContent)
{
    // 256 rows: 102 followed a step, one notch of 60; 150 steps to the end.
    showPage(256 + 150 * 60, 256);
    auto c = make();
    c->start();
    c->toggleAuto();
    clock.advance(250 + 160 * 340);
    ASSERT_EQ(finishes, 1);
    ASSERT_TRUE(result);
    EXPECT_TRUE(samePixels(*result, tall));
}

TEST_F(ScrollControllerTest, AtTheTallestPictureKeptAutoScrollStopsAndSaysSo)
{
    // A page that goes on past 16384 rows: scrolling stops there, the panel says so and what
    // was kept, and Done keeps exactly that.
    ASSERT_EQ(ScrollStitcher::maxHeight(200), 16384);
    EXPECT_EQ(ScrollStitcher::maxHeight(8192), 8192);
    showPage(20000, 256);
    auto c = make();
    c->start();
    c->toggleAuto();
    clock.advance(250 + 300 * 340);
    EXPECT_EQ(finishes, 0);
    EXPECT_FALSE(c->autoScrolling());
    EXPECT_TRUE(c->hintLabel()->text().contains("16384 px"))
        << c->hintLabel()->text().toStdString();
    EXPECT_EQ(c->stitcher().totalHeight(), 16384);
    const auto turns = desktop.wheelTurns.size();
    clock.advance(5000);
    EXPECT_EQ(desktop.wheelTurns.size(), turns);
    c->doneButton()->click();
    ASSERT_EQ(finishes, 1);
    ASSERT_TRUE(result);
    EXPECT_TRUE(samePixels(*result, tall.copy(0, 0, 200, 16384)));
}

TEST_F(ScrollControllerTest, EscapeStopsScrollingOnlyAndCancelFinishesOnce)
{
    showPage(3000, 400);
    auto c = make();
    c->start();
    c->toggleAuto();
    clock.advance(250 + 340);
    EXPECT_EQ(desktop.wheelTurns.size(), 2);
    EXPECT_EQ(c->hintLabel()->text(), "Scrolling… Esc stops, Done ends");
    desktop.pressEscapeAnywhere();
    EXPECT_FALSE(c->autoScrolling());
    EXPECT_EQ(c->autoButton()->text(), "Auto Scroll");
    EXPECT_EQ(c->hintLabel()->text(), "Scroll the content, or use Auto");
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

TEST_F(ScrollControllerTest, WithoutRoomThePanelSitsOverTheTopRowsAfterTheFirstFrame)
{
    display = desktop.addDisplay(1, QRectF(0, 0, 800, 600), 1.0);
    tall = page(800, 3000);
    rect = QRectF(0, 0, 800, 600);
    auto c = make();
    EXPECT_TRUE(c->panelOverlapsRect());
    EXPECT_FALSE(c->panel()->isVisible()); // not in the first frame
    EXPECT_GE(c->stitcher().ignoredTopRows(), ScrollCaptureController::panelSize.height());
    c->start();
    EXPECT_TRUE(c->panel()->isVisible());
    EXPECT_LE(c->panel()->geometry().bottom(), c->stitcher().ignoredTopRows());
}
