#include "app/AppShell.h"
#include "app/CaptureCoordinator.h"
#include "app/HotkeyManager.h"
#include "platform/FakeDesktop.h"
#include "TestSupport.h"

#include <QMenu>

#include <gtest/gtest.h>

using namespace vistrel;
using vistrel::test::drain;

namespace {

class CountingOverlay : public SelectionOverlay
{
public:
    void present() override {}
};

struct Probe
{
    FakeDesktop desktop;
    CaptureCoordinator coordinator{desktop.platform()};
    QList<OverlayRequest> requests;

    Probe()
    {
        desktop.addDisplay(1, QRectF(0, 0, 320, 200), 1.0);
        coordinator.setOverlayFactory([this](const OverlayRequest &r, auto completion) {
            requests.append(r);
            completion(std::nullopt); // finish at once so each key can be tried in turn
            return new CountingOverlay;
        });
    }
};

TEST(HotkeyManager, SignatureAndTable)
{
    EXPECT_EQ(HotkeyManager::fourCharCode("Vstl"), 0x5673746cu);
    const auto &rows = HotkeyManager::table();
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[0].id, 1u);
    EXPECT_EQ(rows[0].digit, 2);
    EXPECT_EQ(rows[1].digit, 1);
    EXPECT_EQ(rows[2].digit, 9);
    EXPECT_EQ(rows[3].digit, 8);
}

TEST(HotkeyManager, EveryKeyReachesItsCoordinatorCall)
{
    Probe probe;
    HotkeyManager manager;
    manager.registerKeys(&probe.coordinator, probe.desktop);
    EXPECT_EQ(manager.hotKeyRefs(), (QList<quint32>{1, 2, 3, 4}));
    EXPECT_EQ(probe.desktop.grabbed.value(1), 2);

    probe.desktop.press(1);
    drain();
    ASSERT_EQ(probe.requests.size(), 1);
    EXPECT_FALSE(probe.requests.last().immediateAction);

    probe.desktop.press(3);
    drain();
    ASSERT_EQ(probe.requests.size(), 2);
    EXPECT_EQ(probe.requests.last().immediateAction, SelectionAction::Ocr);

    probe.desktop.press(4);
    drain();
    ASSERT_EQ(probe.requests.size(), 3);
    EXPECT_EQ(probe.requests.last().immediateAction, SelectionAction::Scroll);

    probe.desktop.press(2);
    drain();
    EXPECT_EQ(probe.coordinator.editors().size(), 1);

    probe.desktop.press(0); // an id nobody registered
    probe.desktop.press(99);
    drain();
    EXPECT_EQ(probe.requests.size(), 3);
    EXPECT_EQ(probe.coordinator.editors().size(), 1);
}

TEST(HotkeyManager, TakenCombinationIsLeftOutAndTheOthersWork)
{
    Probe probe;
    probe.desktop.takenDigits = {1};
    HotkeyManager manager;
    manager.registerKeys(&probe.coordinator, probe.desktop);
    EXPECT_EQ(manager.hotKeyRefs(), (QList<quint32>{1, 3, 4}));
    EXPECT_FALSE(manager.hasAction(2));
    probe.desktop.press(2);
    probe.desktop.press(1);
    drain();
    EXPECT_EQ(probe.requests.size(), 1);
    EXPECT_TRUE(probe.coordinator.editors().isEmpty());
}

TEST(HotkeyManager, ActionsDoNothingOnceTheCoordinatorIsGone)
{
    FakeDesktop desktop;
    HotkeyManager manager;
    {
        CaptureCoordinator coordinator(desktop.platform());
        manager.registerKeys(&coordinator, desktop);
    }
    desktop.press(1);
    drain();
    EXPECT_EQ(desktop.contentFetches, 0);
}

TEST(AppShell, MenuItemsInOrder)
{
    FakeDesktop desktop;
    AppShell shell(desktop.platform());
    auto menu = shell.buildMenu();
    QStringList titles;
    QList<bool> enabled;
    for (QAction *a : menu->actions()) {
        titles << (a->isSeparator() ? QStringLiteral("-") : a->text());
        enabled << a->isEnabled();
    }
    EXPECT_EQ(titles, (QStringList{"Capture Area  (Ctrl+Shift+2)", "Capture Full Screen  (Ctrl+Shift+1)",
                                   "Scrolling Capture  (Ctrl+Shift+8)", "Capture Window", "-",
                                   "Extract Text (OCR)  (Ctrl+Shift+9)", "Pick Color", "-",
                                   "Ctrl+Shift+2 area · Ctrl+Shift+1 full · Ctrl+Shift+9 OCR",
                                   "-", "Quit Vistrel"}));
    EXPECT_FALSE(enabled[8]);
    EXPECT_TRUE(enabled[0] && enabled[3] && enabled[6] && enabled[10]);
    EXPECT_EQ(menu->actions().last()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
}

TEST(AppShell, MenuCommandsOnlyQueueWork)
{
    FakeDesktop desktop;
    desktop.addDisplay(1, QRectF(0, 0, 320, 200), 1.0);
    AppShell shell(desktop.platform());
    auto menu = shell.buildMenu();
    menu->actions()[1]->trigger(); // Capture Full Screen
    EXPECT_EQ(desktop.contentFetches, 0);
    drain();
    EXPECT_EQ(desktop.contentFetches, 1);
    EXPECT_EQ(shell.coordinator().editors().size(), 1);
}

} // namespace
