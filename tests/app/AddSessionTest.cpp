#include "app/AddSessionController.h"
#include "TestSupport.h"

#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace vistrel;

TEST(AddSession, CountLineButtonsAndReturn)
{
    AddSessionController session;
    int captures = 0, dones = 0;
    session.onCapture = [&] { ++captures; };
    session.onDone = [&] { ++dones; };
    EXPECT_EQ(session.panel(), nullptr); // built on the first show
    session.show();
    ASSERT_TRUE(session.panel());
    EXPECT_TRUE(session.panel()->isVisible());
    EXPECT_EQ(session.countLabel()->text(), "Capture a region from any page");
    EXPECT_EQ(session.captureButton()->text(), "＋ Capture Region");
    EXPECT_EQ(session.doneButton()->text(), "Done");

    // The panel never takes the keyboard, stays above and out of the task bar.
    const Qt::WindowFlags flags = session.panel()->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowDoesNotAcceptFocus);
    EXPECT_TRUE(flags & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_TRUE(session.panel()->testAttribute(Qt::WA_ShowWithoutActivating));

    QTest::keyClick(session.panel(), Qt::Key_Return);
    EXPECT_EQ(captures, 1);
    EXPECT_FALSE(session.panel()->isVisible()); // hidden until the coordinator shows it again

    session.count = 1;
    QWidget *first = session.panel();
    session.show();
    EXPECT_EQ(session.panel(), first); // reused
    EXPECT_EQ(session.countLabel()->text(), "1 added · capture more, or Done");
    session.count = 12;
    EXPECT_EQ(session.label(), "12 added · capture more, or Done");

    session.captureButton()->click();
    EXPECT_EQ(captures, 2);
    session.show();
    session.doneButton()->click();
    EXPECT_EQ(dones, 1);
    session.closePanel();
    EXPECT_EQ(session.panel(), nullptr);
}

TEST(AddSession, SitsCentredAboveTheBottomOfTheUsableArea)
{
    EXPECT_EQ(AddSessionController::placement(QRect(0, 0, 1280, 800)), QRect(470, 664, 340, 92));
    EXPECT_EQ(AddSessionController::placement(QRect(100, 30, 1000, 700)), QRect(430, 594, 340, 92));
}
