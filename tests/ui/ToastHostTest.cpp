#include "ui/ToastHost.h"
#include "FakeDesktop.h"
#include "TestSupport.h"
#include "ui/Notifier.h"

#include <gtest/gtest.h>

using namespace vistrel;
using vistrel::test::drain;

TEST(ToastHost, PlacementFollowsTheVisibleFrame)
{
    // 200 × 18 text on a 1440 × 900 frame starting at y 25 (a top panel).
    const QRect r = Toast::placement(QSize(200, 18), QRect(0, 25, 1440, 900));
    EXPECT_EQ(r.size(), QSize(244, 40));
    EXPECT_EQ(r.center().x(), 720 - 1); // centred (integer rect centre rounds down)
    EXPECT_EQ(r.y() + r.height(), 25 + 900 - 135);

    // A text wider than the screen (a 10 KB link) stays on it, elided.
    const QRect wide = Toast::placement(QSize(32000, 18), QRect(0, 25, 1440, 900));
    EXPECT_GE(wide.left(), 0);
    EXPECT_LE(wide.right(), 1440);
}

TEST(ToastHost, NewToastReplacesTheOldAndOnlyTheNewestTimerActs)
{
    ToastHost host;
    host.show("first");
    QPointer<Toast> first = host.current();
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(first->testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(first->windowFlags() & Qt::WindowDoesNotAcceptFocus);
    EXPECT_TRUE(first->windowFlags() & Qt::WindowTransparentForInput);

    host.show("second");
    QPointer<Toast> second = host.current();
    EXPECT_NE(first, second);
    drain();
    // Gone at once, no fade, and its timers with it: they cannot close the second.
    EXPECT_FALSE(first);
    EXPECT_TRUE(second->isVisible());

    // The second goes by itself.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !second; }, 5000));
    EXPECT_EQ(host.current(), nullptr);
}

TEST(ToastHost, AToastThatStaysGoesWithItsHost)
{
    QPointer<Toast> shown;
    int clicks = 0;
    {
        ToastHost host;
        host.showUntilReplaced("working", [&] { ++clicks; });
        shown = host.current();
        ASSERT_TRUE(shown);
        EXPECT_TRUE(shown->clickable());
    }
    EXPECT_FALSE(shown);
    EXPECT_EQ(clicks, 0);
}

TEST(Notifier, ErrorReturnsAtOnceAndShowsOneBoxTitledVistrel)
{
    FakeDesktop desktop;
    const QString longText = QString("A long failure description. ").repeated(20);
    Notifier::error(&desktop, longText);
    EXPECT_TRUE(desktop.warnings.isEmpty());
    drain();
    ASSERT_EQ(desktop.warnings.size(), 1);
    EXPECT_EQ(desktop.warnings[0].first, "Vistrel");
    EXPECT_EQ(desktop.warnings[0].second, longText);

    // What the user cancelled is not reported, and without alerts nothing is.
    Notifier::error(&desktop, CaptureError::cancelled());
    Notifier::error(nullptr, CaptureError::failed(QStringLiteral("nobody to tell")));
    Notifier::error(&desktop, CaptureError::failed(QStringLiteral("told")));
    drain();
    ASSERT_EQ(desktop.warnings.size(), 2);
    EXPECT_EQ(desktop.warnings[1].second, "told");
}
