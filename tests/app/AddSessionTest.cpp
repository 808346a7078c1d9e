#include "TestSupport.h"
#include "app/AddSessionController.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace vistrel;

TEST(AddSession, CountLineButtonsAndReturn)
{
    AddSessionController session;
    int captures = 0, dones = 0;
    QObject::connect(&session, &AddSessionController::captureAsked, [&] { ++captures; });
    QObject::connect(&session, &AddSessionController::doneAsked, [&] { ++dones; });
    EXPECT_EQ(session.panel(), nullptr); // built on the first show
    session.show();
    ASSERT_TRUE(session.panel());
    EXPECT_TRUE(session.panel()->isVisible());
    EXPECT_EQ(session.countLabel()->text(), "Capture a region from any page");
    EXPECT_EQ(session.captureButton()->text(), "Capture Region");
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

TEST(AddSession, CaptureButtonShowsAPlusBeforeItsTitleAndNoMissingGlyph)
{
    AddSessionController session;
    session.show();
    QPushButton *button = session.captureButton();
    ASSERT_TRUE(button);
    // Every character of the title is one the button's font has.
    const QFontMetrics fm(button->font());
    for (const QChar ch : button->text())
        EXPECT_TRUE(fm.inFont(ch)) << "U+" << QString::number(ch.unicode(), 16).toStdString();

    // The plus is what the icon adds: the pixels that differ from the button with a blank icon
    // of the same size (the title in the same place) form a cross.
    const QImage with = button->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QIcon icon = button->icon();
    QPixmap blank(button->iconSize());
    blank.fill(Qt::transparent);
    button->setIcon(QIcon(blank));
    const QImage without = button->grab().toImage().convertToFormat(QImage::Format_RGB32);
    button->setIcon(icon);
    ASSERT_EQ(with.size(), without.size());
    QRect changed;
    for (int y = 0; y < with.height(); ++y)
        for (int x = 0; x < with.width(); ++x)
            if (with.pixel(x, y) != without.pixel(x, y))
                changed |= QRect(x, y, 1, 1);
    ASSERT_FALSE(changed.isEmpty()) << "no icon drawn";
    // A square about 14 points wide, before the title.
    EXPECT_NEAR(changed.width(), 14, 4);
    EXPECT_NEAR(changed.height(), 14, 4);
    EXPECT_LT(changed.right(), with.width() / 2);
    const QColor ink = button->palette().color(QPalette::ButtonText);
    auto inky = [&](int x, int y) {
        const QColor c = with.pixelColor(x, y);
        return std::abs(c.red() - ink.red()) + std::abs(c.green() - ink.green()) +
                   std::abs(c.blue() - ink.blue()) <
               120;
    };
    const QPoint mid = changed.center();
    // Ink along the middle row and column, none in the corners: a plus, not a box.
    EXPECT_TRUE(inky(mid.x(), changed.top() + 3) && inky(mid.x(), changed.bottom() - 3));
    EXPECT_TRUE(inky(changed.left() + 3, mid.y()) && inky(changed.right() - 3, mid.y()));
    for (const QPoint corner :
         {changed.topLeft(), changed.topRight(), changed.bottomLeft(), changed.bottomRight()})
        EXPECT_FALSE(inky(corner.x() + (corner.x() == changed.left() ? 1 : -1),
                          corner.y() + (corner.y() == changed.top() ? 1 : -1)));
    session.closePanel();
}
