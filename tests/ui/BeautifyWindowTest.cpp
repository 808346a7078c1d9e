#include "FakeDesktop.h"
#include "TestSupport.h"
#include "ui/BeautifyWindowController.h"
#include "ui/CompareWindowController.h"
#include "ui/SideWindow.h"

#include <QAbstractButton>
#include <QPointer>
#include <QSlider>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vistrel;
using vistrel::test::channelDistance;
using vistrel::test::drain;
using vistrel::test::solid;

TEST(Beautify, SideWindowSizes)
{
    const QSizeF visible(1400, 900);
    // Small pictures are shown at 1:1, the window never narrower than its bar needs.
    EXPECT_EQ(sideWindowContentSize(QSizeF(300, 200), visible, 48, 520), QSizeF(520, 248));
    // Large ones fit in 70 % of the width and 75 % of the height (less the bar).
    const QSizeF big = sideWindowContentSize(QSizeF(4420, 3420), visible, 54, 560);
    EXPECT_NEAR(big.height(), 900 * 0.75, 0.01);
    EXPECT_NEAR(big.width(), 4420 * (900 * 0.75 - 54) / 3420, 0.01);
}

TEST(BeautifyWindow, PresetsSlidersAndCopyAtAnyMagnification)
{
    FakeDesktop desktop;
    BeautifyWindowController c(solid(1000, 600, Qt::darkCyan), desktop.platform());
    EXPECT_EQ(c.window()->windowTitle(), "Vistrel — Beautify");
    ASSERT_EQ(c.swatches().size(), 7);
    EXPECT_EQ(c.swatches()[2]->toolTip(), "Grape");
    EXPECT_TRUE(c.swatches()[0]->styleSheet().contains("3px"));

    c.swatches()[2]->click();
    EXPECT_EQ(c.selectedPreset(), 2);
    EXPECT_TRUE(c.swatches()[2]->styleSheet().contains("3px"));
    EXPECT_TRUE(c.swatches()[0]->styleSheet().contains("1px"));
    const QImage grape = c.view()->render();
    EXPECT_LE(channelDistance(grape.pixel(0, 0), QColor(0x8E2DE2)), 3);
    EXPECT_LE(channelDistance(grape.pixel(grape.width() - 1, grape.height() - 1), QColor(0x4A00E0)),
              3);

    c.paddingSlider()->setValue(100);
    EXPECT_EQ(c.view()->render().size(), QSize(1200, 800));
    c.radiusSlider()->setValue(0);
    EXPECT_DOUBLE_EQ(c.view()->beautifier().cornerRadius, 0);

    c.view()->setMagnification(0.25);
    EXPECT_EQ(c.view()->size(), QSize(300, 200));
    c.copyImg();
    ASSERT_EQ(desktop.clipboardFormats.size(), 1);
    EXPECT_EQ(QImage::fromData(desktop.clipboardFormats[0].second).size(), QSize(1200, 800));
    EXPECT_EQ(desktop.toastTexts, QStringList{"Copied"});
}

TEST(BeautifyWindow, LargePaddingStaysUntilTheSliderMoves)
{
    FakeDesktop desktop;
    BeautifyWindowController c(solid(6000, 4000, Qt::gray), desktop.platform());
    EXPECT_DOUBLE_EQ(c.view()->beautifier().padding, 280);
    EXPECT_EQ(c.paddingSlider()->value(), 260);
    EXPECT_DOUBLE_EQ(c.view()->beautifier().padding, 280);
    c.paddingSlider()->setValue(100);
    EXPECT_DOUBLE_EQ(c.view()->beautifier().padding, 100);
}

TEST(BeautifyWindow, SaveWritesThePngAtFullSize)
{
    QTemporaryDir dir;
    FakeDesktop desktop;
    BeautifyWindowController c(solid(400, 300, Qt::red), desktop.platform());
    desktop.saveAnswer = dir.filePath("card.png");
    c.save();
    ASSERT_EQ(desktop.saveRequests.size(), 1);
    EXPECT_TRUE(desktop.saveRequests[0].suggestedName.startsWith("Vistrel "));
    EXPECT_TRUE(desktop.saveRequests[0].suggestedName.endsWith(".png"));
    EXPECT_EQ(desktop.saveRequests[0].nameFilters.size(), 1);
    for (int i = 0; i < 100 && !QFile::exists(desktop.saveAnswer); ++i)
        drain();
    EXPECT_EQ(QImage(desktop.saveAnswer).size(), QSize(496, 396));
}

TEST(SideWindows, EscapeAndCtrlWCloseThemWhereverTheFocusIs)
{
    FakeDesktop desktop;
    auto closesWith = [](QWidget *window, QWidget *focus, QKeyCombination keys) {
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window))
            return false;
        if (focus)
            focus->setFocus();
        QPointer<QWidget> shown(window); // a side window on its own goes once closed
        QTest::keyClick(focus ? focus : window, keys.key(), keys.keyboardModifiers());
        drain();
        return !shown || !shown->isVisible();
    };
    const QKeyCombination escape(Qt::Key_Escape), ctrlW(Qt::CTRL | Qt::Key_W);
    BeautifyWindowController beautify(solid(400, 300, Qt::red), desktop.platform());
    CompareWindowController compare(solid(300, 200, Qt::red), solid(100, 100, Qt::blue),
                                    desktop.platform());
    EXPECT_TRUE(closesWith(beautify.window(), beautify.paddingSlider(), escape));
    EXPECT_TRUE(closesWith(beautify.window(), beautify.swatches()[1], ctrlW));
    EXPECT_TRUE(closesWith(compare.window(), nullptr, escape));
    EXPECT_TRUE(closesWith(compare.window(), nullptr, ctrlW));

    // Other keys, and W without Control, leave them open.
    EXPECT_FALSE(closesWith(compare.window(), nullptr, QKeyCombination(Qt::Key_W)));
    EXPECT_FALSE(
        closesWith(beautify.window(), beautify.radiusSlider(), QKeyCombination(Qt::Key_Left)));
    EXPECT_TRUE(beautify.window()->isVisible());

    // Closing by key lets a side window whose editor is gone go, as the close button does.
    QPointer<CompareWindowController> kept = new CompareWindowController(
        solid(300, 200, Qt::red), solid(100, 100, Qt::blue), desktop.platform());
    kept->showWindow();
    keepUntilClosed(kept, kept->window());
    EXPECT_TRUE(closesWith(kept->window(), nullptr, escape));
    drain();
    EXPECT_FALSE(kept);
}
