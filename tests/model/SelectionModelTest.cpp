#include "model/SelectionModel.h"

#include <gtest/gtest.h>

using namespace vistrel;
using Handle = SelectionModel::Handle;
using State = SelectionModel::State;
using Cursor = SelectionModel::Cursor;

namespace {

// A 1280 × 800 display at the global origin.
SelectionModel::Setup screen(QList<WindowInfo> windows = {}, bool picking = false,
                             std::optional<SelectionAction> immediate = std::nullopt)
{
    SelectionModel::Setup s;
    s.display = DisplayInfo{7, QRectF(0, 0, 1280, 800), 1.0, {}};
    s.windows = std::move(windows);
    s.ownPid = 100;
    s.windowPicking = picking;
    s.immediateAction = immediate;
    return s;
}

WindowInfo window(quint32 id, QRectF frameTopDown, std::optional<qint64> pid = 5,
                  bool onScreen = true)
{
    WindowInfo w;
    w.windowID = id;
    w.frame = frameTopDown;
    w.ownerPid = pid;
    w.onScreen = onScreen;
    return w;
}

SelectionModel adjusting(QRectF selection)
{
    SelectionModel m(screen());
    m.setSelection(selection);
    m.setState(State::Adjusting);
    return m;
}

} // namespace

TEST(SelectionModel, DragFinishesIntoAdjustingWithTheToolbar)
{
    SelectionModel m(screen());
    auto r = m.mouseDown({100, 700});
    EXPECT_TRUE(r.dropToolbar);
    EXPECT_EQ(m.state(), State::Drawing);
    m.mouseDragged({50, 500});
    // Not clamped while drawing: the drag may leave the screen.
    m.mouseDragged({-20, -100});
    EXPECT_EQ(m.selection(), QRectF(-20, -100, 120, 800));
    r = m.mouseUp({-20, -100});
    EXPECT_TRUE(r.showToolbar);
    EXPECT_FALSE(r.report);
    EXPECT_EQ(m.state(), State::Adjusting);

    const auto done = m.complete(SelectionAction::Copy);
    ASSERT_TRUE(done.report && done.outcome);
    const auto &rect = std::get<RectSelection>(done.outcome->result);
    // Display points: the top edge lies 100 above the screen.
    EXPECT_EQ(rect.rect, QRectF(-20, -100, 120, 800));
    EXPECT_EQ(rect.display.displayID, 7u);
    EXPECT_EQ(done.outcome->action, SelectionAction::Copy);
}

TEST(SelectionModel, ADragToTheLastPixelTakesTheWholeScreen)
{
    // The pointer stops on the last pixel: x 1279 and the bottom row, y 799.
    for (double scale : {1.0, 2.0}) {
        auto setup = screen();
        setup.display.scale = scale;
        SelectionModel m(setup);
        const double last = 1.0 / scale;
        m.mouseDown({0, 0});
        m.mouseDragged({1280 - last, 800 - last});
        EXPECT_EQ(m.selection(), QRectF(0, 0, 1280, 800)) << scale;
        m.mouseDragged({1280 - 2 * last - 0.5, 800 - 2 * last - 0.5}); // short of the edge
        EXPECT_EQ(m.selection(), QRectF(0, 0, 1280 - 2 * last - 0.5, 800 - 2 * last - 0.5));
    }
}

TEST(SelectionModel, TinyDragWithoutAWindowReturnsToIdle)
{
    SelectionModel m(screen());
    m.mouseDown({100, 700});
    m.mouseDragged({104, 650});
    const auto r = m.mouseUp({104, 650});
    EXPECT_FALSE(r.report);
    EXPECT_FALSE(r.showToolbar);
    EXPECT_EQ(m.state(), State::Idle);
    EXPECT_TRUE(m.selection().isNull());
}

TEST(SelectionModel, ClickSelectsTheWindowFrameCutToTheScreen)
{
    // A window hanging off the right edge; top-down frame (1200, 100, 200, 300).
    SelectionModel m(screen({window(1, QRectF(1200, 100, 200, 300))}));
    m.mouseMoved({1250, 200});
    ASSERT_TRUE(m.hoveredWindow());
    EXPECT_EQ(*m.windowRectInView(), QRectF(1200, 100, 200, 300));
    m.mouseDown({1250, 200});
    const auto r = m.mouseUp({1250, 200});
    EXPECT_TRUE(r.showToolbar);
    EXPECT_EQ(m.selection(), QRectF(1200, 100, 80, 300));

    // With an immediate action the frame goes out at once.
    SelectionModel ocr(
        screen({window(1, QRectF(100, 100, 200, 300))}, false, SelectionAction::Ocr));
    ocr.mouseMoved({150, 200});
    ocr.mouseDown({150, 200});
    const auto done = ocr.mouseUp({150, 200});
    ASSERT_TRUE(done.report && done.outcome);
    EXPECT_EQ(std::get<RectSelection>(done.outcome->result).rect, QRectF(100, 100, 200, 300));
    EXPECT_EQ(done.outcome->action, SelectionAction::Ocr);
}

TEST(SelectionModel, HoveredWindowIsKeptWhileDrawing)
{
    SelectionModel m(
        screen({window(1, QRectF(0, 0, 400, 400)), window(2, QRectF(600, 0, 400, 400))}));
    m.mouseMoved({100, 100});
    EXPECT_EQ(m.hoveredWindow()->windowID, 1u);
    m.mouseDown({100, 100});
    m.mouseMoved({700, 100}); // no button: still in drawing, nothing re-picked
    EXPECT_EQ(m.hoveredWindow()->windowID, 1u);
}

TEST(SelectionModel, PressingAHandleAndReleasingChangesNothing)
{
    auto m = adjusting(QRectF(100, 600, 200, 100));
    auto r = m.mouseDown({300, 600}); // tr
    EXPECT_FALSE(r.dropToolbar);
    EXPECT_EQ(m.activeHandle(), Handle::TR);
    m.mouseUp({300, 600});
    EXPECT_EQ(m.selection(), QRectF(100, 600, 200, 100));
    EXPECT_EQ(m.activeHandle(), Handle::None);

    r = m.mouseDown({700, 100}); // outside: a new drag starts
    EXPECT_TRUE(r.dropToolbar);
    EXPECT_EQ(m.state(), State::Drawing);
}

TEST(SelectionModel, DraggingAHandleResizesAndMovesTheToolbar)
{
    auto m = adjusting(QRectF(100, 600, 200, 100));
    m.mouseDown({100, 700}); // bl
    const auto r = m.mouseDragged({90, 720});
    EXPECT_TRUE(r.moveToolbar);
    EXPECT_EQ(r.cursor, Cursor::DiagonalNESW);
    EXPECT_EQ(m.selection(), QRectF(90, 600, 210, 120));
}

TEST(SelectionModel, HitHandleOrderAndReach)
{
    auto m = adjusting(QRectF(100, 600, 200, 100));
    EXPECT_EQ(m.hitHandle({100, 700}), Handle::BL);
    EXPECT_EQ(m.hitHandle({300, 700}), Handle::BR);
    EXPECT_EQ(m.hitHandle({100, 600}), Handle::TL);
    EXPECT_EQ(m.hitHandle({307, 593}), Handle::TR); // 9.9 away
    EXPECT_EQ(m.hitHandle({200, 705}), Handle::Bottom);
    EXPECT_EQ(m.hitHandle({200, 595}), Handle::Top);
    EXPECT_EQ(m.hitHandle({100, 650}), Handle::Left);
    EXPECT_EQ(m.hitHandle({300, 650}), Handle::Right);
    EXPECT_EQ(m.hitHandle({140, 700}), Handle::Move); // on the edge, away from its middle
    EXPECT_EQ(m.hitHandle({308, 592}), Handle::None); // 11.3 away
    EXPECT_EQ(m.hitHandle({50, 750}), Handle::None);
}

TEST(SelectionModel, ResizeNeverFlipsAndClampsInOrder)
{
    auto m = adjusting(QRectF(100, 600, 100, 100));
    m.adjust(Handle::Left, {200, 0});
    EXPECT_EQ(m.selection(), QRectF(300, 600, 10, 100));
    m.adjust(Handle::Left, {2000, 0});
    EXPECT_EQ(m.selection().x(), 1270); // bounds width − 10
    EXPECT_EQ(m.selection().width(), 10);

    auto bottom = adjusting(QRectF(100, 600, 100, 100));
    bottom.adjust(Handle::Bottom, {0, -500});
    EXPECT_EQ(bottom.selection(), QRectF(100, 600, 100, 10));

    auto none = adjusting(QRectF(100.5, 697, 3, 3)); // under the minimum, untouched
    none.adjust(Handle::None, {10, -10});
    EXPECT_EQ(none.selection(), QRectF(100.5, 697, 3, 3));

    // Wider than the screen: the second clamp wins and x goes negative.
    auto wide = adjusting(QRectF(0, 700, 1300, 100));
    wide.adjust(Handle::Move, {5, 0});
    EXPECT_EQ(wide.selection().x(), -20);
}

TEST(SelectionModel, MovingStopsAtTheEdgeAndComesBackAtOnce)
{
    auto m = adjusting(QRectF(1000, 100, 200, 100));
    m.adjust(Handle::Move, {500, -500});
    EXPECT_EQ(m.selection(), QRectF(1080, 0, 200, 100));
    m.adjust(Handle::Move, {-30, 30});
    EXPECT_EQ(m.selection(), QRectF(1050, 30, 200, 100));
}

TEST(SelectionModel, WindowPickingOrderAndExclusions)
{
    SelectionModel::Setup s = screen({window(1, QRectF(0, 0, 300, 300), 100),          // ours
                                      window(2, QRectF(0, 0, 300, 300), 5, false),     // hidden
                                      window(3, QRectF(0, 0, 300, 300), std::nullopt), // no owner
                                      window(4, QRectF(0, 0, 600, 600), 6)},
                                     true);
    SelectionModel m(s);
    EXPECT_EQ(m.windowUnder({10, 10})->windowID, 3u);
    EXPECT_EQ(m.windowUnder({500, 500})->windowID, 4u);
    EXPECT_FALSE(m.windowUnder({700, 700}));

    // A second display to the right: view points are relative to it.
    s.display.frame = QRectF(1280, 0, 1280, 800);
    s.windows = {window(9, QRectF(1300, 50, 100, 100))};
    SelectionModel right(s);
    EXPECT_EQ(right.windowUnder({50, 100})->windowID, 9u);
    right.mouseMoved({50, 100});
    EXPECT_EQ(*right.windowRectInView(), QRectF(20, 50, 100, 100));
}

TEST(SelectionModel, WindowPickingReportsTheClickedWindowOrCancels)
{
    SelectionModel m(screen({window(4, QRectF(0, 0, 600, 600))}, true));
    EXPECT_FALSE(m.mouseDown({10, 10}).dropToolbar);
    m.mouseMoved({10, 10});
    auto r = m.mouseUp({10, 10});
    ASSERT_TRUE(r.report && r.outcome);
    EXPECT_EQ(std::get<WindowInfo>(r.outcome->result).windowID, 4u);
    EXPECT_EQ(r.outcome->action, SelectionAction::Edit);
    EXPECT_EQ(m.state(), State::Idle);

    m.mouseMoved({1000, 790});
    r = m.mouseUp({1000, 790});
    EXPECT_TRUE(r.report);
    EXPECT_FALSE(r.outcome);
}

TEST(SelectionModel, CompletingNeedsMoreThanFourPoints)
{
    auto m = adjusting(QRectF(10, 10, 4, 100));
    EXPECT_TRUE(m.complete(SelectionAction::Edit).report);
    EXPECT_FALSE(m.complete(SelectionAction::Edit).outcome);
    m.setSelection(QRectF(10, 10, 4.5, 4.5));
    EXPECT_TRUE(m.complete(SelectionAction::Pin).outcome);
}

TEST(SelectionModel, Cursors)
{
    auto m = adjusting(QRectF(100, 600, 200, 100));
    EXPECT_EQ(m.cursorFor({100, 700}, false), Cursor::DiagonalNESW);
    EXPECT_EQ(m.cursorFor({300, 700}, false), Cursor::DiagonalNWSE);
    EXPECT_EQ(m.cursorFor({100, 650}, false), Cursor::Horizontal);
    EXPECT_EQ(m.cursorFor({200, 600}, false), Cursor::Vertical);
    EXPECT_EQ(m.cursorFor({150, 650}, false), Cursor::Move);
    EXPECT_EQ(m.cursorFor({600, 200}, false), Cursor::Crosshair);
    EXPECT_EQ(m.cursorFor({150, 650}, true), Cursor::Arrow);
    SelectionModel picking(screen({}, true));
    EXPECT_EQ(picking.cursorFor({150, 150}, false), Cursor::Arrow);
}

TEST(SelectionPlacement, Toolbar)
{
    const QSizeF bounds(1280, 800), bar(306, 46);
    // Below, centred.
    EXPECT_EQ(SelectionModel::toolbarOrigin(QRectF(400, 400, 200, 100), bounds, bar),
              QPointF(347, 510));
    // Near the bottom: above it. Near the left edge: kept 8 in.
    EXPECT_EQ(SelectionModel::toolbarOrigin(QRectF(0, 680, 100, 100), bounds, bar),
              QPointF(8, 624));
    // Near the right edge.
    EXPECT_EQ(SelectionModel::toolbarOrigin(QRectF(1200, 400, 80, 100), bounds, bar).x(),
              1280 - 306 - 8);
    // Taller than the room: across its middle.
    EXPECT_EQ(SelectionModel::toolbarOrigin(QRectF(100, 20, 200, 760), bounds, bar),
              QPointF(47, 377));
}

TEST(SelectionPlacement, SizeBadge)
{
    EXPECT_EQ(SelectionModel::dimensionText(QRectF(0, 0, 100, 50), 2), "200 × 100");
    EXPECT_EQ(SelectionModel::dimensionText(QRectF(0, 0, 100.7, 50.9), 1), "100 × 50");
    const QSizeF bounds(1280, 800), text(60, 15);
    EXPECT_EQ(SelectionModel::dimensionBadge(QRectF(100, 600, 200, 100), text, bounds),
              QRectF(100, 573, 72, 21));
    // Near the top: under the lower edge.
    EXPECT_EQ(SelectionModel::dimensionBadge(QRectF(100, 20, 200, 180), text, bounds),
              QRectF(100, 206, 72, 21));
    // Never under the toolbar: a selection as tall as the screen has it across its middle.
    const QRectF full(0, 0, 1280, 800);
    const QRectF bar(SelectionModel::toolbarOrigin(full, bounds, {306, 46}), QSizeF(306, 46));
    const QRectF badge = SelectionModel::dimensionBadge(full, text, bounds, bar);
    EXPECT_FALSE(badge.intersects(bar));
    EXPECT_TRUE(full.contains(badge));
    // The toolbar below a selection at the top: the badge stays clear of it.
    const QRectF top(100, 4, 300, 196);
    const QRectF bar2(SelectionModel::toolbarOrigin(top, bounds, {306, 46}), QSizeF(306, 46));
    EXPECT_FALSE(SelectionModel::dimensionBadge(top, text, bounds, bar2).intersects(bar2));
}

TEST(SelectionPlacement, Loupe)
{
    const QSizeF bounds(1280, 800);
    EXPECT_EQ(SelectionModel::loupeBox({100, 700}, bounds), QRectF(122, 560, 118, 118));
    // Lower-right corner of the screen: to the left.
    EXPECT_EQ(SelectionModel::loupeBox({1250, 780}, bounds).topLeft(), QPointF(1110, 640));
    // Near the top: below.
    EXPECT_EQ(SelectionModel::loupeBox({100, 100}, bounds).topLeft(), QPointF(122, 146));

    // 14.75 points around the pointer, in pixels, cut by the picture at the edge.
    EXPECT_EQ(SelectionModel::loupeSample({100, 100}, 1, QSize(1280, 800)), QRect(92, 92, 16, 16));
    EXPECT_EQ(SelectionModel::loupeSample({2, 2}, 1, QSize(1280, 800)), QRect(0, 0, 10, 10));
    EXPECT_EQ(SelectionModel::loupeSample({100, 100}, 2, QSize(2560, 1600)),
              QRect(185, 185, 30, 30));
    EXPECT_EQ(SelectionModel::pixelUnder({10.6, 99.8}, 2), QPoint(21, 199));
}
