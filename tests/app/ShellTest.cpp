#include "FakeDesktop.h"
#include "FakeScreenRecorder.h"
#include "TestSupport.h"
#include "app/AppShell.h"
#include "app/CaptureCoordinator.h"
#include "app/HotkeyManager.h"
#include "app/Preferences.h"
#include "app/QuitOnSignal.h"
#include "app/RecordingSession.h"
#include "engines/CaptureHistory.h"
#include "ui/AnnotationCanvas.h"
#include "ui/EditorWindowController.h"

#include "ui/HistoryWindow.h"
#include <QApplication>
#include <QFile>

#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>

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

TEST(HotkeyManager, EveryKeyReachesItsCoordinatorCall)
{
    Probe probe;
    HotkeyManager manager;
    manager.registerKeys(&probe.coordinator, probe.desktop);
    EXPECT_EQ(manager.hotKeyRefs(), (QList<quint32>{1, 2, 3, 4, 5}));
    EXPECT_EQ(probe.desktop.grabbed.value(5), 5);
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
    EXPECT_EQ(probe.coordinator.sessions().editors().size(), 1);

    probe.desktop.press(0); // an id nobody registered
    probe.desktop.press(99);
    drain();
    EXPECT_EQ(probe.requests.size(), 3);
    EXPECT_EQ(probe.coordinator.sessions().editors().size(), 1);
}

TEST(HotkeyManager, TakenCombinationIsLeftOutAndTheOthersWork)
{
    Probe probe;
    probe.desktop.takenDigits = {1};
    HotkeyManager manager;
    manager.registerKeys(&probe.coordinator, probe.desktop);
    EXPECT_EQ(manager.hotKeyRefs(), (QList<quint32>{1, 3, 4, 5}));
    EXPECT_FALSE(manager.hasAction(2));
    probe.desktop.press(2);
    probe.desktop.press(1);
    drain();
    EXPECT_EQ(probe.requests.size(), 1);
    EXPECT_TRUE(probe.coordinator.sessions().editors().isEmpty());
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

TEST(AppShell, TheTrayItemStopsARecordingWhileOneRuns)
{
    FakeDesktop desktop;
    FakeScreenRecorder recorder;
    Platform platform = desktop.platform();
    platform.recorder = &recorder;
    QTemporaryDir dir;
    Preferences prefs(dir.filePath("p.conf"));
    AppShell shell(platform, &prefs);
    auto menu = shell.buildMenu();
    QAction *record = menu->actions()[4];
    EXPECT_EQ(record->text(), "Record Screen  (Ctrl+Shift+5)");
    EXPECT_TRUE(record->isEnabled());
    emit shell.coordinator().recording().activeChanged(true);
    EXPECT_EQ(record->text(), "Stop Recording  (Ctrl+Shift+5)");
    emit shell.coordinator().recording().activeChanged(false);
    EXPECT_EQ(record->text(), "Record Screen  (Ctrl+Shift+5)");
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
    EXPECT_EQ(
        titles,
        (QStringList{"Capture Area  (Ctrl+Shift+2)", "Capture Full Screen  (Ctrl+Shift+1)",
                     "Scrolling Capture  (Ctrl+Shift+8)", "Capture Window",
                     "Record Screen  (Ctrl+Shift+5)", "-", "Extract Text (OCR)  (Ctrl+Shift+9)",
                     "Pick Color", "-", "Recent Captures", "Show History…", "-",
                     "Ctrl+Shift+2 area · Ctrl+Shift+1 full · Ctrl+Shift+9 OCR", "-",
                     "Preferences…", "Quit Vistrel"}));
    EXPECT_FALSE(enabled[4]); // this desktop cannot record
    EXPECT_FALSE(enabled[12]);
    EXPECT_TRUE(enabled[0] && enabled[3] && enabled[7] && enabled[9] && enabled[10] &&
                enabled[14] && enabled[15]);
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
    EXPECT_EQ(shell.coordinator().sessions().editors().size(), 1);
}

TEST(AppShell, CtrlQQuitsWhileTheMenuIsOpen)
{
    FakeDesktop desktop;
    AppShell shell(desktop.platform());
    auto menu = shell.buildMenu();
    QAction *quit = menu->actions().last();
    QObject::disconnect(quit, &QAction::triggered, nullptr, nullptr); // keep the test running
    QSignalSpy triggered(quit, &QAction::triggered);
    menu->popup(QPoint(10, 10));
    drain();
    QTest::keyClick(menu.get(), Qt::Key_W, Qt::ControlModifier);
    QTest::keyClick(menu.get(), Qt::Key_Q);
    EXPECT_EQ(triggered.count(), 0);
    QTest::keyClick(menu.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(triggered.count(), 1);
    EXPECT_FALSE(menu->isVisible());
}

TEST(AppShell, HangupTermAndInterruptEndTheLoopAsQuitDoes)
{
    QuitOnSignal handler;
    for (const int signal : {SIGHUP, SIGTERM, SIGINT}) {
        QTimer::singleShot(20, [signal] { ::raise(signal); });
        QTimer::singleShot(5000, [] { QCoreApplication::exit(2); }); // not handled: fail, not hang
        EXPECT_EQ(QCoreApplication::exec(), 0) << signal;
        drain();
    }
}

// WCAG contrast of two colours.
double contrast(QColor a, QColor b)
{
    auto lum = [](QColor c) {
        auto ch = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * ch(c.redF()) + 0.7152 * ch(c.greenF()) + 0.0722 * ch(c.blueF());
    };
    const double x = lum(a), y = lum(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

TEST(AppShell, TrayIconReadsOnLightAndDarkPanels)
{
    const QPixmap icon = AppShell::trayIcon().pixmap(22, 22);
    ASSERT_FALSE(icon.isNull());
    for (QColor panel : {QColor(Qt::white), QColor(0xf0, 0xf0, 0xf0), QColor(Qt::black),
                         QColor(0x40, 0x40, 0x40), QColor(0x2d, 0x2d, 0x2d)}) {
        QImage shown(22, 22, QImage::Format_RGB32);
        shown.fill(panel);
        QPainter(&shown).drawPixmap(0, 0, icon);
        // The icon stands out from the panel over a good part of its area (a dark glyph on a
        // clear background shows nothing on a dark panel)...
        int distinct = 0;
        QList<QColor> colours;
        for (int y = 0; y < 22; ++y)
            for (int x = 0; x < 22; ++x) {
                const QColor c = shown.pixelColor(x, y);
                distinct += contrast(c, panel) >= 3.0;
                colours << c;
            }
        EXPECT_GT(distinct, 22 * 22 / 6) << panel.name().toStdString();
        // ...and its glyph stands out from its own background.
        double best = 1;
        for (const QColor &c : colours)
            best = std::max(best, contrast(c, shown.pixelColor(11, 3)));
        EXPECT_GE(best, 4.5) << panel.name().toStdString();
    }
}

} // namespace

TEST(AppShell, QuitAsksOnceForEveryEditorWithUnsavedMarks)
{
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    FakeDesktop desktop;
    AppShell shell(desktop.platform());
    QImage capture(120, 80, QImage::Format_RGB32);
    capture.fill(Qt::gray);
    for (int i = 0; i < 2; ++i) {
        EditorWindowController *editor = shell.coordinator().sessions().openEditor(capture);
        editor->canvas()->model().setCurrentTool(ToolKind::Step);
        editor->canvas()->model().mouseDown({10, 70});
        editor->canvas()->model().mouseUp({10, 70});
    }
    shell.requestQuit();
    ASSERT_NE(shell.quitQuestion(), nullptr);
    EXPECT_TRUE(shell.quitQuestion()->text().startsWith("2 editors"));
    shell.requestQuit(); // the same question, not a second one
    int questions = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        questions += qobject_cast<QMessageBox *>(w) && w->isVisible() ? 1 : 0;
    EXPECT_EQ(questions, 1);
    shell.quitQuestion()->button(QMessageBox::Cancel)->click();
    drain();
    EXPECT_EQ(shell.coordinator().sessions().editors().size(), 2);
    EXPECT_EQ(shell.coordinator().sessions().unsavedEditors(), 2);
    qunsetenv("XDG_DATA_HOME");
}

TEST(AppShell, QuitStaysAndSaysSoWhenUnsavedMarksCannotBeKept)
{
    // Nothing can be written where the history and the recovery store live, even as root: a
    // file stands where their folders must be.
    QTemporaryDir home;
    ASSERT_TRUE(QFile(home.filePath(".qttest")).open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile(home.filePath("history")).open(QIODevice::WriteOnly));
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", home.path().toLocal8Bit());
    const auto restoreHome = qScopeGuard([oldHome] { qputenv("HOME", oldHome); });
    Preferences preferences(home.filePath("p.conf"));
    FakeDesktop desktop;
    AppShell shell(desktop.platform(), &preferences);
    shell.coordinator().sessions().setHistoryFolder(home.filePath("history"));
    ASSERT_NE(shell.coordinator().sessions().historyRecorder(), nullptr);

    QImage capture(120, 80, QImage::Format_RGB32);
    capture.fill(Qt::gray);
    EditorWindowController *editor = shell.coordinator().sessions().openEditor(capture);
    auto mark = [editor](QPointF at) {
        editor->canvas()->model().setCurrentTool(ToolKind::Step);
        editor->canvas()->model().mouseDown(at);
        editor->canvas()->model().mouseUp(at);
    };
    mark({10, 70});
    shell.coordinator().sessions().historyRecorder()->flush();
    mark({30, 50});
    shell.coordinator().sessions().historyRecorder()->flush();
    drain();
    // The failed writes while editing are said once, with their cause.
    ASSERT_EQ(desktop.warnings.size(), 1);
    EXPECT_TRUE(desktop.warnings.first().second.contains("Not a directory"))
        << desktop.warnings.first().second.toStdString();

    // `vistrel quit` is refused with the reason, and the app asks instead of quitting.
    std::optional<CommandAnswer> answer;
    Command quit;
    quit.kind = Command::Kind::Quit;
    shell.runCommand(quit, [&answer](const CommandAnswer &a) { answer = a; });
    for (int i = 0; i < 50 && !answer; ++i)
        drain();
    ASSERT_TRUE(answer.has_value());
    EXPECT_TRUE(answer->refused.contains("cannot be kept")) << answer->refused.toStdString();
    ASSERT_NE(shell.quitQuestion(), nullptr);
    EXPECT_TRUE(shell.quitQuestion()->text().contains("cannot keep"));
    EXPECT_EQ(shell.coordinator().sessions().unsavedEditors(), 1);
    // The editor still asks before it closes: nothing was taken as kept.
    editor->performClose();
    ASSERT_NE(editor->closeQuestion(), nullptr);
    editor->closeQuestion()->button(QMessageBox::Cancel)->click();

    // The tray's Keep and Quit does the same.
    shell.quitQuestion()->button(QMessageBox::Cancel)->click();
    drain();
    shell.requestQuit();
    ASSERT_NE(shell.quitQuestion(), nullptr);
    shell.quitQuestion()->defaultButton()->click(); // Keep and Quit
    drain();
    ASSERT_NE(shell.quitQuestion(), nullptr);
    EXPECT_TRUE(shell.quitQuestion()->text().contains("cannot keep"));
    EXPECT_EQ(shell.coordinator().sessions().unsavedEditors(), 1);
    shell.quitQuestion()->button(QMessageBox::Cancel)->click();
    drain();
}

TEST(AppShell, AFifoInTheHistoryNeverStopsTheMenuOrTheHistoryWindow)
{
    QTemporaryDir dir;
    FakeDesktop desktop;
    Preferences preferences(dir.filePath("p.conf"));
    AppShell shell(desktop.platform(), &preferences);
    shell.coordinator().sessions().setHistoryFolder(dir.filePath("history"));
    const CaptureHistory history(dir.filePath("history"));
    EditorScene scene;
    scene.image = QImage(64, 48, QImage::Format_RGB32);
    scene.image.fill(Qt::darkGreen);
    const QString good = CaptureHistory::newId(QDateTime::currentDateTimeUtc().addSecs(-60));
    const QString hostile = CaptureHistory::newId();
    ASSERT_TRUE(history.write(good, scene, false, true));
    ASSERT_TRUE(history.write(hostile, scene, false, true));
    const QString fifo = test::fifoInPlaceOf(dir.filePath("history/" + hostile + "/thumbnail.png"));

    // Recent Captures and Show History…, then every icon drawn as a menu or grid draws it.
    QElapsedTimer clock;
    clock.start();
    QList<QIcon> icons;
    {
        test::FifoRelease release(fifo, 3000);
        auto menu = shell.buildMenu();
        emit shell.recentMenu()->aboutToShow();
        HistoryWindow *window = shell.showHistory();
        for (int wait = 0; wait < 100 && window->grid()->item(1)->icon().isNull(); ++wait)
            drain(2);
        for (QAction *a : shell.recentMenu()->actions())
            icons.append(a->icon());
        for (int row = 0; row < window->grid()->count(); ++row)
            icons.append(window->grid()->item(row)->icon());
        for (const QIcon &icon : icons)
            icon.pixmap(32);
        window->close();
    }
    EXPECT_LT(clock.elapsed(), 2000) << "waited on the FIFO";
    // Newest first: the FIFO's entry has no icon, the other its thumbnail.
    ASSERT_EQ(icons.size(), 4);
    EXPECT_TRUE(icons[0].isNull());
    EXPECT_FALSE(icons[1].isNull());
    EXPECT_TRUE(icons[2].isNull());
    EXPECT_FALSE(icons[3].isNull());
}
