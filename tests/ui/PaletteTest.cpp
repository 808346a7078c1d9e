#include "ui/Palette.h"
#include "TestSupport.h"
#include "model/Annotation.h"
#include "model/ToolKind.h"
#include "ui/CenteringClipView.h"

#include <QPushButton>
#include <QScrollBar>
#include <QSvgRenderer>

#include <gtest/gtest.h>

using namespace vistrel;

TEST(Palette, MarksTheSwatchCloseToTheCurrentColourOnly)
{
    EXPECT_EQ(Palette::colors().size(), 12);
    EXPECT_EQ(Annotation::defaultColor(), Palette::colors()[1]);
    for (const QColor &c : {QColor("#EF4444"), QColor("#F04545"), QColor("#F34848")}) {
        PaletteGridView grid(c);
        EXPECT_EQ(grid.markedIndex(), 1) << c.name().toStdString();
        EXPECT_TRUE(grid.swatches()[1]->styleSheet().contains("3px"));
        EXPECT_TRUE(grid.swatches()[0]->styleSheet().contains("1px"));
    }
    PaletteGridView off(QColor("#F54A4A"));
    EXPECT_EQ(off.markedIndex(), -1);
    EXPECT_FALSE(Palette::isApprox(QColor("#EF4444"), QColor()));
    // Alpha does not count.
    EXPECT_TRUE(Palette::isApprox(QColor(239, 68, 68, 10), QColor("#EF4444")));
}

TEST(Palette, GridGeometryPutsIndexZeroTopLeft)
{
    PaletteGridView grid(Annotation::defaultColor());
    EXPECT_EQ(grid.size(), QSize(244, 92));
    EXPECT_EQ(grid.swatches()[0]->geometry(), QRect(12, 12, 30, 30));
    EXPECT_EQ(grid.swatches()[7]->geometry(), QRect(50, 50, 30, 30));
}

TEST(PaletteColorButton, PickRunsOnceClosesAndAReclickOnlyCloses)
{
    PaletteColorButton button(Annotation::defaultColor());
    button.resize(34, 30);
    button.show();
    QList<QColor> picks;
    QObject::connect(&button, &PaletteColorButton::picked,
                     [&](const QColor &c) { picks.append(c); });

    QTest::mouseClick(&button, Qt::LeftButton);
    ASSERT_TRUE(button.popover());
    ASSERT_TRUE(button.grid());
    EXPECT_EQ(button.grid()->markedIndex(), 1);
    QTest::mouseClick(button.grid()->swatches()[6], Qt::LeftButton);
    test::drain();
    ASSERT_EQ(picks.size(), 1);
    EXPECT_EQ(picks[0], QColor("#3B82F6"));
    EXPECT_EQ(button.selectedColor(), QColor("#3B82F6"));
    EXPECT_FALSE(button.popover());

    // Opens again with the new colour marked; a click on the button closes it, no pick.
    QTest::mouseClick(&button, Qt::LeftButton);
    ASSERT_TRUE(button.popover());
    EXPECT_EQ(button.grid()->markedIndex(), 6);
    QTest::mouseClick(&button, Qt::LeftButton);
    test::drain();
    EXPECT_FALSE(button.popover());
    EXPECT_EQ(picks.size(), 1);
}

TEST(CenteringClipView, SmallDocumentsStayCentredInEachDirection)
{
    CenteringClipView view;
    view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.resize(1000, 600);
    auto *doc = new QWidget;
    doc->setFixedSize(400, 2000);
    view.setWidget(doc);
    view.show();
    test::drain();

    // Narrow: 300 empty points on each side, and horizontal scrolling changes nothing.
    EXPECT_EQ(view.visibleRect().x(), -300);
    view.scrollTo(QPointF(200, 500));
    EXPECT_EQ(view.visibleRect().x(), -300);
    // Tall: it scrolls vertically as usual.
    EXPECT_EQ(view.visibleRect().y(), 500);
    EXPECT_EQ(view.visibleRect().size(), QSizeF(1000, 600));

    // Growing past the view scrolls; shrinking again jumps back to the middle.
    doc->setFixedSize(3000, 300);
    view.centerOn(QPointF(1500, 150));
    EXPECT_EQ(view.visibleRect().x(), 1000);
    EXPECT_EQ(view.visibleRect().y(), -150);
    doc->setFixedSize(200, 100);
    view.centerOn(QPointF(100, 50));
    EXPECT_EQ(view.visibleRect().topLeft(), QPointF(-400, -250));
}

TEST(ToolKind, EveryToolHasAnIcon)
{
    for (ToolKind k : allToolKinds()) {
        QSvgRenderer icon(iconPath(k));
        EXPECT_TRUE(icon.isValid()) << iconPath(k).toStdString();
    }
}
