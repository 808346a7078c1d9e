#include "FakeDesktop.h"
#include "TestSupport.h"
#include "ui/SelectionOverlayController.h"
#include "ui/SelectionToolbar.h"
#include "ui/SelectionView.h"

#include <QApplication>
#include <QBackingStore>
#include <QGuiApplication>
#include <QScreen>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace vistrel;
using vistrel::test::drain;

namespace {

struct Overlay
{
    FakeDesktop desktop;
    QList<std::optional<SelectionOutcome>> outcomes;
    std::unique_ptr<SelectionOverlayController> controller;

    explicit Overlay(int displays, bool windowPicking = false, OverlayWindowPool *pool = nullptr,
                     bool pickColor = false, bool offersRecording = false)
    {
        desktop.screen = QGuiApplication::primaryScreen();
        const QSize size = desktop.screen->geometry().size();
        for (int i = 0; i < displays; ++i)
            desktop.addDisplay(quint32(10 + i), QRectF(QPointF(0, 0), QSizeF(size)), 1.0);
        OverlayRequest request;
        request.layout = *desktop.screenLayout();
        request.windowPicking = windowPicking;
        request.pickColor = pickColor;
        request.offersRecording = offersRecording;
        for (const auto &d : request.layout.displays)
            request.displayImages.insert(d.displayID, desktop.display(d.displayID)->picture);
        controller = std::make_unique<SelectionOverlayController>(
            request, [this](auto outcome) { outcomes.append(outcome); }, desktop, pool);
    }
    SelectionView *view(int i) { return controller->windows().value(i); }
};

void press(SelectionView *v, QPointF widgetPoint, QEvent::Type type, Qt::MouseButtons buttons)
{
    QMouseEvent e(type, widgetPoint, v->mapToGlobal(widgetPoint), Qt::LeftButton, buttons,
                  Qt::NoModifier);
    QCoreApplication::sendEvent(v, &e);
}

void dragOn(SelectionView *v, QPointF from, QPointF to)
{
    press(v, from, QEvent::MouseButtonPress, Qt::LeftButton);
    press(v, (from + to) / 2, QEvent::MouseMove, Qt::LeftButton);
    press(v, to, QEvent::MouseMove, Qt::LeftButton);
    press(v, to, QEvent::MouseButtonRelease, Qt::NoButton);
}

} // namespace

TEST(SelectionOverlay, TheFirstOutcomeOfAnyScreenClosesEveryWindow)
{
    Overlay o(2);
    o.controller->present();
    ASSERT_EQ(o.controller->windows().size(), 2);
    QPointer<SelectionView> first = o.view(0), second = o.view(1);
    EXPECT_TRUE(first->isVisible() && second->isVisible());

    dragOn(second, {100, 100}, {300, 250});
    ASSERT_TRUE(second->hasToolbar());
    auto *copy = second->toolbar()->findChild<QToolButton *>("Copy");
    ASSERT_TRUE(copy);
    copy->click();
    ASSERT_EQ(o.outcomes.size(), 1);
    ASSERT_TRUE(o.outcomes[0]);
    const auto &rect = std::get<RectSelection>(o.outcomes[0]->result);
    EXPECT_EQ(rect.display.displayID, 11u);
    EXPECT_EQ(rect.rect, QRectF(100, 100, 200, 150));
    EXPECT_EQ(o.outcomes[0]->action, SelectionAction::Copy);
    EXPECT_TRUE(o.controller->windows().isEmpty());
    drain();
    ASSERT_TRUE(first && second); // kept for the next capture, hidden
    EXPECT_FALSE(first->isVisible() || second->isVisible());
    o.controller.reset();
    EXPECT_FALSE(first || second);
}

TEST(SelectionOverlay, AKeptWindowStartsTheNextCaptureAfresh)
{
    OverlayWindowPool pool(1000);
    QPointer<SelectionView> kept;
    auto copyArea = [](SelectionView *v) {
        dragOn(v, {50, 50}, {150, 120});
        ASSERT_TRUE(v->hasToolbar());
        v->toolbar()->findChild<QToolButton *>("Copy")->click();
    };
    {
        Overlay o(1, false, &pool);
        o.controller->present();
        kept = o.view(0);
        copyArea(kept);
        ASSERT_EQ(o.outcomes.size(), 1);
        EXPECT_FALSE(kept->isVisible());
        EXPECT_EQ(kept->hexAtCursor(3, 4), "#------"); // the frozen picture is let go
    }
    drain();
    ASSERT_TRUE(kept);

    Overlay o(1, false, &pool);
    o.controller->present();
    ASSERT_EQ(o.view(0), kept.data());
    EXPECT_TRUE(kept->isVisible());
    EXPECT_FALSE(kept->hasToolbar());
    EXPECT_EQ(kept->model().state(), SelectionModel::State::Idle);
    EXPECT_EQ(kept->cursor().shape(), Qt::CrossCursor);
    const QImage &picture = o.desktop.display(10)->picture;
    EXPECT_EQ(kept->hexAtCursor(3, 4), QColor(picture.pixel(3, 4)).name().toUpper());
    // Ended by this capture, reported to this capture.
    copyArea(kept);
    ASSERT_EQ(o.outcomes.size(), 1);
    ASSERT_TRUE(o.outcomes[0]);
    EXPECT_EQ(o.outcomes[0]->action, SelectionAction::Copy);
    EXPECT_EQ(pool.size(), 1);
    // Once captures stop, its backing store (a screenful of pixels) goes; the window stays
    // for the next capture, which paints it at its full size again.
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return kept && kept->backingStore()->size() == QSize(1, 1); }, 5000));
    ASSERT_TRUE(kept);
    EXPECT_EQ(pool.size(), 1);
    Overlay next(1, false, &pool);
    next.controller->present();
    ASSERT_EQ(next.view(0), kept.data());
    drain();
    EXPECT_EQ(kept->backingStore()->size(), kept->size());
    EXPECT_EQ(kept->hexAtCursor(3, 4),
              QColor(next.desktop.display(10)->picture.pixel(3, 4)).name().toUpper());
}

TEST(SelectionOverlay, PreparedWindowsServeTheFirstCapture)
{
    OverlayWindowPool pool(1000);
    pool.prepare({QGuiApplication::primaryScreen()});
    pool.prepare({QGuiApplication::primaryScreen()}); // once per screen
    ASSERT_EQ(pool.size(), 1);
    Overlay o(1, false, &pool);
    const auto made = QApplication::topLevelWidgets();
    o.controller->present();
    SelectionView *view = o.view(0);
    ASSERT_TRUE(view);
    EXPECT_TRUE(made.contains(view)); // made ahead, not at the hot key
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(view->model().state(), SelectionModel::State::Idle);
    const QImage &picture = o.desktop.display(10)->picture;
    EXPECT_EQ(view->hexAtCursor(3, 4), QColor(picture.pixel(3, 4)).name().toUpper());
    EXPECT_EQ(pool.size(), 1);
}

TEST(SelectionOverlay, EscapeCancelsAndReturnPressesEdit)
{
    {
        Overlay o(2);
        o.controller->present();
        QTest::keyClick(o.view(1), Qt::Key_Escape);
        ASSERT_EQ(o.outcomes.size(), 1);
        EXPECT_FALSE(o.outcomes[0]);
        EXPECT_TRUE(o.controller->windows().isEmpty());
    }
    {
        Overlay o(1);
        o.controller->present();
        QTest::keyClick(o.view(0), Qt::Key_Return); // no toolbar yet: nothing
        EXPECT_TRUE(o.outcomes.isEmpty());
        dragOn(o.view(0), {50, 50}, {150, 120});
        QTest::keyClick(o.view(0), Qt::Key_Return);
        ASSERT_EQ(o.outcomes.size(), 1);
        EXPECT_EQ(o.outcomes[0]->action, SelectionAction::Edit);
    }
}

TEST(SelectionOverlay, RecordIsOfferedWhereTheDesktopRecords)
{
    for (const bool offered : {false, true}) {
        Overlay o(1, false, nullptr, false, offered);
        o.controller->present();
        dragOn(o.view(0), {50, 50}, {250, 170});
        ASSERT_TRUE(o.view(0)->hasToolbar());
        auto *record = o.view(0)->toolbar()->findChild<QToolButton *>("Record");
        ASSERT_EQ(record != nullptr, offered);
        if (!offered)
            continue;
        record->click();
        ASSERT_EQ(o.outcomes.size(), 1);
        EXPECT_EQ(o.outcomes[0]->action, SelectionAction::Record);
        EXPECT_EQ(std::get<RectSelection>(o.outcomes[0]->result).rect, QRectF(50, 50, 200, 120));
    }
}

TEST(SelectionOverlay, AColourPickSaysTheColourOnceBeforeItEnds)
{
    for (const bool escape : {false, true}) {
        Overlay o(1, false, nullptr, true);
        QList<std::optional<QColor>> colours;
        QObject::connect(o.controller.get(), &SelectionOverlay::colorPicked,
                         [&](std::optional<QColor> c) {
                             EXPECT_TRUE(o.outcomes.isEmpty()) << "the colour comes first";
                             colours.append(c);
                         });
        o.controller->present();
        SelectionView *view = o.view(0);
        ASSERT_TRUE(view);
        if (escape) {
            QTest::keyClick(view, Qt::Key_Escape);
        } else {
            press(view, {3, 4}, QEvent::MouseButtonPress, Qt::LeftButton);
            press(view, {3, 4}, QEvent::MouseButtonRelease, Qt::NoButton);
        }
        QTest::keyClick(view, Qt::Key_Escape); // after the end: nothing more
        ASSERT_EQ(colours.size(), 1);
        if (escape)
            EXPECT_FALSE(colours[0]);
        else
            EXPECT_EQ(colours[0], QColor(o.desktop.display(10)->picture.pixel(3, 4)));
        ASSERT_EQ(o.outcomes.size(), 1);
        EXPECT_FALSE(o.outcomes[0]);
        EXPECT_TRUE(o.controller->windows().isEmpty());
    }
}

TEST(SelectionOverlay, NoScreenMeansNoOutcomeDuringPresent)
{
    Overlay o(1);
    o.desktop.screen = nullptr;
    o.controller->present();
    ASSERT_EQ(o.outcomes.size(), 1);
    EXPECT_FALSE(o.outcomes[0]);
}

TEST(SelectionOverlay, ToolbarButtonsAndCancel)
{
    Overlay o(1);
    o.controller->present();
    SelectionView *v = o.view(0);
    dragOn(v, {50, 50}, {150, 120});
    QStringList names;
    for (auto *b : v->toolbar()->findChildren<QToolButton *>()) {
        names << b->objectName() + ":" + QString::number(b->geometry().x()) + "/" +
                     QString::number(b->geometry().width());
        EXPECT_FALSE(b->icon().isNull()) << b->objectName().toStdString();
    }
    EXPECT_EQ(names, (QStringList{"Edit:6/66", "Copy:78/58", "Save:142/58", "Pin:206/58",
                                  "Cancel:270/30"}));
    EXPECT_EQ(v->toolbar()->size(), QSize(306, 46));
    v->toolbarAction(9); // no such action: nothing
    EXPECT_TRUE(o.outcomes.isEmpty());
    v->toolbar()->findChild<QToolButton *>("Cancel")->click();
    ASSERT_EQ(o.outcomes.size(), 1);
    EXPECT_FALSE(o.outcomes[0]);
}

TEST(SelectionOverlay, LongerTitlesWidenTheirButtonsAndThePanel)
{
    const test::LongerTexts longer({QStringLiteral("vistrel::SelectionToolbar")});
    Overlay o(1);
    o.controller->present();
    SelectionView *v = o.view(0);
    const QPointF middle(v->width() / 2.0, v->height() / 2.0);
    dragOn(v, middle - QPointF(50, 35), middle + QPointF(50, 35));
    QWidget *toolbar = v->toolbar();
    ASSERT_TRUE(toolbar);
    const int longerBy = QFontMetrics(toolbar->findChild<QToolButton *>("Edit")->font())
                             .horizontalAdvance(QStringLiteral("wwwwww"));
    const QList<std::pair<const char *, int>> englishWidths{
        {"Edit", 66}, {"Copy", 58}, {"Save", 58}, {"Pin", 58}};
    int previousRight = 0;
    for (const auto &[name, englishWidth] : englishWidths) {
        auto *b = toolbar->findChild<QToolButton *>(name);
        ASSERT_TRUE(b) << name;
        EXPECT_EQ(b->text(), QString::fromLatin1(name) + "wwwwww");
        EXPECT_GE(b->width(), englishWidth + longerBy) << name;
        EXPECT_GT(b->x(), previousRight) << name;
        previousRight = b->geometry().right();
    }
    auto *cancel = toolbar->findChild<QToolButton *>("Cancel");
    EXPECT_GT(cancel->x(), previousRight);
    EXPECT_TRUE(toolbar->rect().contains(cancel->geometry()));
    EXPECT_GT(toolbar->width(), SelectionToolbar::panelSize.width() + 4 * longerBy - 1);
    // Still centred under the selection, and on the screen.
    EXPECT_TRUE(v->rect().contains(toolbar->geometry()));
    EXPECT_NEAR(toolbar->geometry().center().x(), middle.x(), 1);
}

TEST(SelectionView, HexAtCursorAndPartialRepaints)
{
    Overlay o(1);
    o.controller->present();
    SelectionView *v = o.view(0);
    const QImage &picture = o.desktop.display(10)->picture;
    EXPECT_EQ(v->hexAtCursor(3, 4), QColor(picture.pixel(3, 4)).name().toUpper());
    EXPECT_EQ(v->hexAtCursor(-1, 4), "#------");
    EXPECT_EQ(v->hexAtCursor(3, picture.height()), "#------");

    // A pointer move touches the loupe and the hint, never the whole screen.
    press(v, {200, 200}, QEvent::MouseMove, Qt::NoButton);
    const QRect changed = v->decoratedRegion().boundingRect();
    EXPECT_GT(changed.width() * changed.height(), 0);
    EXPECT_LT(double(v->decoratedRegion().rectCount()), 10);
    qint64 area = 0;
    for (const QRect &r : v->decoratedRegion())
        area += qint64(r.width()) * r.height();
    EXPECT_LT(area, qint64(v->width()) * v->height() / 5);
}

TEST(SelectionView, PaintsDimmedOutsideAndClearInsideTheHole)
{
    Overlay o(1);
    o.controller->present();
    SelectionView *v = o.view(0);
    dragOn(v, {100, 100}, {300, 250});
    const QImage shot = v->grab().toImage();
    const QImage &picture = o.desktop.display(10)->picture;
    const QColor inside = shot.pixelColor(200, 180), outside = shot.pixelColor(400, 400);
    EXPECT_EQ(inside, picture.pixelColor(200, 180));
    const QColor original = picture.pixelColor(400, 400);
    EXPECT_NEAR(outside.red(), original.red() * 0.7, 1.5);
    EXPECT_NEAR(outside.green(), original.green() * 0.7, 1.5);
}
