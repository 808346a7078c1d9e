#include "app/Preferences.h"
#include "FakeDesktop.h"
#include "FakeKeyring.h"
#include "TestSupport.h"
#include "app/AppShell.h"
#include "app/BoardSession.h"
#include "app/CaptureCoordinator.h"
#include "app/CaptureFlow.h"
#include "app/HotkeyManager.h"
#include "app/PreferencesWindow.h"
#include "app/ScrollSession.h"
#include "engines/QuickSave.h"
#include "engines/ShareSettings.h"
#include "ui/EditorWindowController.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace vistrel;
using vistrel::test::drain;

namespace {

// A settings file written by hand, a file of its own each time: QSettings may keep a file
// rewritten within the same second and of the same size as it first read it.
struct HandWrittenFile
{
    QTemporaryDir dir;
    QString file;
    int written = 0;
    void write(const QByteArray &text)
    {
        file = dir.filePath(QStringLiteral("vistrel-%1.conf").arg(++written));
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
};

TEST(Preferences, StoredChoicesSurviveAndBadTextFallsBack)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("vistrel/vistrel.conf");
    {
        Preferences prefs(file);
        EXPECT_EQ(prefs.hotkey(1), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_2));
        EXPECT_FALSE(prefs.saveWithoutAsking());
        prefs.setHotkey(1, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_A));
        prefs.setSaveFolder(dir.filePath("shots"));
        prefs.setSaveWithoutAsking(true);
        prefs.setSmartNames(false);
    }
    Preferences again(file);
    EXPECT_EQ(again.hotkey(1), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_A));
    EXPECT_EQ(again.hotkey(2), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_1));
    EXPECT_EQ(again.saveFolder(), dir.filePath("shots"));
    EXPECT_TRUE(again.saveWithoutAsking());
    EXPECT_FALSE(again.smartNames());

    QSettings raw(file, QSettings::IniFormat);
    raw.setValue("hotkeys/3", "Ctrl+Alt+NoSuchKey");
    raw.setValue("hotkeys/4", "Ctrl+A, Ctrl+B");
    raw.sync();
    Preferences edited(file);
    EXPECT_EQ(edited.hotkey(3), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_9));
    EXPECT_EQ(edited.hotkey(4), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_8));

    // Edited by hand: a plain letter, and another action's key, give way to the defaults and
    // are reported; a relative folder is in the home folder, not where Vistrel was started.
    raw.setValue("hotkeys/1", "Ctrl+Shift+1");
    raw.setValue("hotkeys/3", "A");
    raw.setValue("save/folder", "Shots");
    raw.sync();
    Preferences handEdited(file);
    QStringList problems;
    const auto keys = handEdited.resolvedHotkeys(&problems);
    EXPECT_EQ(keys.value(1), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_2));
    EXPECT_EQ(keys.value(2), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_1));
    EXPECT_EQ(keys.value(3), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_9));
    EXPECT_EQ(QSet<QKeySequence>(keys.cbegin(), keys.cend()).size(), keys.size());
    EXPECT_EQ(problems.size(), 3) << problems.join("; ").toStdString();
    EXPECT_EQ(handEdited.saveFolder(), QDir::home().filePath("Shots"));
    raw.setValue("save/folder", "~/Shots/../Pictures");
    raw.sync();
    EXPECT_EQ(Preferences(file).saveFolder(), QDir::home().filePath("Pictures"));
    // A name that starts with ':' is a folder too, not one of the program's resources.
    raw.setValue("save/folder", ":Shots");
    raw.sync();
    EXPECT_EQ(Preferences(file).saveFolder(), QDir::homePath() + "/:Shots");
}

TEST(Preferences, RedactionRulesAreSwitchedInTheWindowAndKept)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("p.conf");
    {
        Preferences prefs(file);
        EXPECT_TRUE(prefs.redactionRules().off.isEmpty()); // every kind is looked for at first
        EXPECT_TRUE(prefs.redactionRules().ownWords.isEmpty());
        PreferencesWindow window(prefs, {}, {});
        const int phones = int(SecretFinder::allKinds().indexOf(SecretKind::Phone));
        ASSERT_TRUE(window.redactionKind(phones));
        EXPECT_EQ(window.redactionKind(phones)->text(), "Phone numbers");
        EXPECT_TRUE(window.redactionKind(phones)->isChecked());
        window.redactionKind(phones)->setChecked(false);
        window.ownWords()->setText(" Falcon, Dana Whitfield ,, ");
    }
    Preferences again(file);
    const SecretRules rules = again.redactionRules();
    EXPECT_EQ(rules.off, QSet<SecretKind>{SecretKind::Phone});
    EXPECT_EQ(rules.ownWords, QStringList({"Falcon", "Dana Whitfield"}));
    PreferencesWindow shown(again, {}, {});
    EXPECT_FALSE(
        shown.redactionKind(int(SecretFinder::allKinds().indexOf(SecretKind::Phone)))->isChecked());
    EXPECT_EQ(shown.ownWords()->text(), "Falcon, Dana Whitfield ,,");
    // The Sharing page reads where the token is kept on a thread of its own: let it end.
    QTest::qWait(200);
}

TEST(Preferences, HandWrittenSettingsAreReadAsAPersonWritesThem)
{
    HandWrittenFile hand;
    QString &file = hand.file;
    auto write = [&hand](const QByteArray &text) { hand.write(text); };

    // Yes-or-no in every usual spelling and case.
    for (const char *off : {"off", "no", "OFF", "False", "0", " No "}) {
        write(QByteArray("[history]\nenabled=") + off + "\n[redaction]\nemails=" + off + "\n");
        const Preferences prefs(file);
        EXPECT_FALSE(prefs.historyEnabled()) << off;
        EXPECT_TRUE(prefs.redactionRules().off.contains(SecretKind::Email)) << off;
        EXPECT_TRUE(prefs.unreadSettings().isEmpty()) << off;
    }
    for (const char *on : {"on", "Yes", "TRUE", "1"}) {
        write(QByteArray("[save]\nwithoutAsking=") + on + "\n[naming]\nsmartNames=" + on + "\n");
        const Preferences prefs(file);
        EXPECT_TRUE(prefs.saveWithoutAsking()) << on;
        EXPECT_TRUE(prefs.unreadSettings().isEmpty()) << on;
    }

    // A word that is neither keeps the default (the history stays on) and is reported.
    write("[history]\nenabled=disabled\n[save]\nwithoutAsking=sometimes\n");
    {
        const Preferences prefs(file);
        EXPECT_TRUE(prefs.historyEnabled());
        EXPECT_FALSE(prefs.saveWithoutAsking());
        EXPECT_EQ(prefs.unreadSettings(),
                  QStringList({"[save] withoutAsking = \"sometimes\" is neither on nor off",
                               "[history] enabled = \"disabled\" is neither on nor off"}));
    }

    // The own words, quoted or not.
    for (const QByteArray &line :
         {QByteArray("ownWordList=alpha, beta"), QByteArray("ownWordList=\"alpha, beta\"")}) {
        write("[redaction]\n" + line + "\n");
        const Preferences prefs(file);
        EXPECT_EQ(prefs.redactionRules().ownWords, QStringList({"alpha", "beta"})) << line.data();
        EXPECT_EQ(prefs.ownWords(), "alpha, beta") << line.data();
    }
    // So are a folder and a hot key with a comma in them.
    write("[save]\nfolder=/tmp/Shots, old\n[hotkeys]\n1=Ctrl+A, Ctrl+B\n");
    const Preferences prefs(file);
    EXPECT_EQ(prefs.saveFolder(), "/tmp/Shots, old");
    QStringList problems;
    EXPECT_EQ(prefs.resolvedHotkeys(&problems).value(1), Preferences::defaultHotkey(1));
    EXPECT_EQ(problems.size(), 1); // said, not silently dropped
}

TEST(Preferences, AHistoryLimitOutOfItsRangeFallsBackToItsDefault)
{
    HandWrittenFile hand;
    QString &file = hand.file;
    auto write = [&hand](const QByteArray &text) { hand.write(text); };
    // Zero, negative, too large or not a number: the default, never the nearest end (a limit
    // of 1 would empty the history at the next capture).
    for (const char *bad : {"0", "-5", "99999999", "many", "1e3"}) {
        write(QByteArray("[history]\nmaxCaptures=") + bad + "\nmaxMegabytes=" + bad + "\n");
        const Preferences prefs(file);
        EXPECT_EQ(prefs.historyMaxEntries(), 100) << bad;
        EXPECT_EQ(prefs.historyMaxMegabytes(), 500) << bad;
        EXPECT_EQ(prefs.unreadSettings().size(), 2) << bad;
    }
    write("[history]\nmaxCaptures=1\nmaxMegabytes= 20\n");
    const Preferences prefs(file);
    EXPECT_EQ(prefs.historyMaxEntries(), 1);
    EXPECT_EQ(prefs.historyMaxMegabytes(), 20);
    EXPECT_TRUE(prefs.unreadSettings().isEmpty());

    // Reported once at start, with the hot keys' message apart.
    write("[history]\nmaxMegabytes=0\n");
    FakeDesktop desktop;
    Preferences started(file);
    AppShell shell(desktop.platform(), &started);
    shell.start();
    drain();
    ASSERT_EQ(desktop.warnings.size(), 1);
    EXPECT_EQ(desktop.warnings[0].first, "Some settings were not understood");
    EXPECT_TRUE(desktop.warnings[0].second.startsWith(
        "[history] maxMegabytes = \"0\" is not a whole number from 1 to 100000 ("))
        << desktop.warnings[0].second.toStdString();
}

TEST(Preferences, RecordingChoicesAreSetInTheWindowAndReadAsWritten)
{
    HandWrittenFile hand;
    hand.write("");
    {
        Preferences prefs(hand.file);
        EXPECT_EQ(prefs.recordingCountdown(), 3);
        EXPECT_EQ(prefs.recordingFps(), 30);
        EXPECT_TRUE(prefs.recordingShowsPointer());
        EXPECT_FALSE(prefs.recordingMarksClicks());
        EXPECT_EQ(prefs.recordingFormat(), "webm");
        PreferencesWindow window(prefs, {}, {});
        window.recordingCountdown()->setValue(0); // no countdown at all is a choice
        window.recordingSixtyFps()->setChecked(true);
        window.recordingShowsPointer()->setChecked(false);
        window.recordingMarksClicks()->setChecked(true);
        window.recordingFormat()->setCurrentIndex(window.recordingFormat()->findData("gif"));
    }
    {
        const Preferences again(hand.file);
        EXPECT_EQ(again.recordingCountdown(), 0);
        EXPECT_EQ(again.recordingFps(), 60);
        EXPECT_FALSE(again.recordingShowsPointer());
        EXPECT_TRUE(again.recordingMarksClicks());
        EXPECT_EQ(again.recordingFormat(), "gif");
        EXPECT_TRUE(again.unreadSettings().isEmpty());
    }
    hand.write("[recording]\ncountdownSeconds=2\nformat= MP4\nfps=60\nshowPointer=no\n");
    {
        const Preferences prefs(hand.file);
        EXPECT_EQ(prefs.recordingCountdown(), 2);
        EXPECT_EQ(prefs.recordingFormat(), "mp4");
        EXPECT_EQ(prefs.recordingFps(), 60);
        EXPECT_FALSE(prefs.recordingShowsPointer());
        EXPECT_TRUE(prefs.unreadSettings().isEmpty());
    }
    // What cannot be read is its default, and said.
    hand.write("[recording]\ncountdownSeconds=-1\nformat=avi\nfps=45\nmarkClicks=maybe\n");
    const Preferences prefs(hand.file);
    EXPECT_EQ(prefs.recordingCountdown(), 3);
    EXPECT_EQ(prefs.recordingFormat(), "webm");
    EXPECT_EQ(prefs.recordingFps(), 30);
    EXPECT_FALSE(prefs.recordingMarksClicks());
    EXPECT_EQ(prefs.unreadSettings().size(), 4) << prefs.unreadSettings().join('\n').toStdString();
}

TEST(Preferences, EnvironmentDecidesSmartNames)
{
    QTemporaryDir dir;
    Preferences prefs(dir.filePath("p.conf"));
    qunsetenv("VISTREL_SMART_NAMES");
    EXPECT_TRUE(prefs.smartNames());
    qputenv("VISTREL_SMART_NAMES", "0");
    EXPECT_FALSE(prefs.smartNames());
    EXPECT_TRUE(prefs.smartNamesFromEnvironment());
    prefs.setSmartNames(false);
    qputenv("VISTREL_SMART_NAMES", "1");
    EXPECT_TRUE(prefs.smartNames());
    qunsetenv("VISTREL_SMART_NAMES");
    EXPECT_FALSE(prefs.smartNames());

    qputenv("VISTREL_SMART_NAMES", "0");
    Preferences shown(dir.filePath("q.conf"));
    PreferencesWindow window(shown, {}, {});
    EXPECT_FALSE(window.smartNames()->isChecked());
    EXPECT_FALSE(window.smartNames()->isEnabled());
    qunsetenv("VISTREL_SMART_NAMES");
}

TEST(Preferences, StartAtLoginWritesAndRemovesTheAutostartEntry)
{
    QTemporaryDir dir;
    Preferences prefs(dir.filePath("vistrel/vistrel.conf"));
    prefs.setProgram("/opt/my apps/vistrel");
    // Tests run in Qt's test mode: the configuration home is a private one.
    const QString entry = Preferences::autostartFile();
    ASSERT_TRUE(entry.endsWith("/autostart/io.vistrel.Vistrel.desktop"));
    QFile::remove(entry);
    EXPECT_FALSE(prefs.startAtLogin());

    PreferencesWindow window(prefs, {}, {});
    window.startAtLogin()->click();
    ASSERT_TRUE(QFile::exists(entry));
    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(text.contains("\nExec=\"/opt/my apps/vistrel\"\n")) << text.toStdString();
    EXPECT_TRUE(prefs.startAtLogin());

    window.startAtLogin()->click();
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_FALSE(prefs.startAtLogin());

    // A place that cannot be written: the box goes back and says why.
    const QString folder = QFileInfo(entry).path();
    QDir(folder).removeRecursively();
    QFile blocker(folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    window.startAtLogin()->click();
    EXPECT_FALSE(window.startAtLogin()->isChecked());
    EXPECT_FALSE(window.message()->text().isEmpty());
    QFile::remove(folder);
}

TEST(QuickSave, NewFilePerCaptureNeverOverwriting)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("shots");
    QImage red(30, 20, QImage::Format_RGB32), blue(30, 20, QImage::Format_RGB32);
    red.fill(Qt::red);
    blue.fill(Qt::blue);
    const QDateTime when(QDate(2026, 12, 7), QTime(1, 2, 3));

    const auto first = QuickSave::saveInFolder(red, folder, when);
    ASSERT_TRUE(first) << first.error().errorDescription().toStdString();
    EXPECT_EQ(*first, folder + "/Vistrel 2026-12-07 at 01.02.03.png");
    const auto second = QuickSave::saveInFolder(blue, folder, when);
    ASSERT_TRUE(second);
    EXPECT_EQ(*second, folder + "/Vistrel 2026-12-07 at 01.02.03 (2).png");
    EXPECT_EQ(QImage(*first).pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(QImage(*second).pixelColor(0, 0), QColor(Qt::blue));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 2); // no leftovers

    // Unwritable: the reason names the place, and nothing is left behind.
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    if (::geteuid() != 0) {
        const auto refused = QuickSave::saveInFolder(red, folder, when);
        ASSERT_FALSE(refused);
        EXPECT_TRUE(refused.error().errorDescription().contains(folder));
    }
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile plain(dir.filePath("file"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    EXPECT_FALSE(QuickSave::saveInFolder(red, dir.filePath("file/sub"), when));
}

TEST(QuickSave, SaveActionWritesWithoutThePanelWhenChosen)
{
    QTemporaryDir dir;
    FakeDesktop desktop;
    Preferences prefs(dir.filePath("p.conf"));
    prefs.setSaveFolder(dir.filePath("shots"));
    CaptureCoordinator coordinator(desktop.platform());
    coordinator.setPreferences(&prefs);
    QImage picture(16, 16, QImage::Format_RGB32);
    picture.fill(Qt::green);

    coordinator.flow().dispatch(picture, SelectionAction::Save);
    EXPECT_EQ(desktop.saveRequests.size(), 1); // asking, as by default

    prefs.setSaveWithoutAsking(true);
    coordinator.flow().dispatch(picture, SelectionAction::Save);
    coordinator.flow().dispatch(picture, SelectionAction::Save);
    QElapsedTimer t;
    t.start();
    while (QDir(dir.filePath("shots")).entryList(QDir::Files).size() < 2 && t.elapsed() < 5000)
        drain(1);
    EXPECT_EQ(QDir(dir.filePath("shots")).entryList(QDir::Files).size(), 2);
    EXPECT_EQ(desktop.saveRequests.size(), 1);

    // A folder that cannot be made: the panel, and the error above it, so the capture is not
    // lost.
    QFile plain(dir.filePath("file"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    prefs.setSaveFolder(dir.filePath("file/shots"));
    coordinator.flow().dispatch(picture, SelectionAction::Save);
    t.restart();
    while ((desktop.saveRequests.size() < 2 || desktop.warnings.isEmpty()) && t.elapsed() < 5000)
        drain(1);
    EXPECT_EQ(desktop.saveRequests.size(), 2);
    ASSERT_FALSE(desktop.warnings.isEmpty());
    // The dialog opens where the last save went, a folder known to take pictures.
    EXPECT_EQ(desktop.saveRequests.last().folder, dir.filePath("shots"));
    EXPECT_TRUE(desktop.warnings.last().second.contains("file/shots"));
}

class QuietOverlay : public SelectionOverlay
{
public:
    void present() override {}
};

struct RebindProbe
{
    QTemporaryDir dir;
    FakeDesktop desktop;
    Preferences prefs{dir.filePath("p.conf")};
    std::unique_ptr<AppShell> shell;
    QList<OverlayRequest> requests;

    RebindProbe()
    {
        desktop.addDisplay(1, QRectF(0, 0, 320, 200), 1.0);
        shell = std::make_unique<AppShell>(desktop.platform(), &prefs);
        shell->coordinator().setOverlayFactory([this](const OverlayRequest &r, auto completion) {
            requests.append(r);
            completion(std::nullopt);
            return new QuietOverlay;
        });
        shell->start();
    }
};

TEST(Preferences, ReboundHotkeyWorksAndTheOldOneIsReleased)
{
    RebindProbe p;
    const QKeyCombination oldKeys = Qt::CTRL | Qt::SHIFT | Qt::Key_2;
    const QKeyCombination newKeys = Qt::CTRL | Qt::ALT | Qt::Key_A;
    EXPECT_TRUE(p.shell->rebindHotkey(1, newKeys).isEmpty());
    p.desktop.pressCombination(oldKeys);
    drain();
    EXPECT_TRUE(p.requests.isEmpty());
    p.desktop.pressCombination(newKeys);
    drain();
    EXPECT_EQ(p.requests.size(), 1);
    EXPECT_EQ(p.prefs.hotkey(1), QKeySequence(newKeys));
    EXPECT_EQ(p.shell->menu()->actions()[0]->text(), "Capture Area  (Ctrl+Alt+A)");
    EXPECT_EQ(p.shell->menu()->actions()[12]->text(),
              "Ctrl+Alt+A area · Ctrl+Shift+1 full · Ctrl+Shift+9 OCR");

    // The next start grabs the stored combination.
    FakeDesktop desktop;
    Preferences stored(p.dir.filePath("p.conf"));
    AppShell restarted(desktop.platform(), &stored);
    restarted.start();
    EXPECT_EQ(desktop.combinations.value(1), newKeys);
    EXPECT_FALSE(desktop.grabbed.contains(1));
    EXPECT_EQ(desktop.grabbed.value(2), 1);
    EXPECT_TRUE(desktop.warnings.isEmpty());

    // A file that gives one combination to two actions: each works on its own key, said once.
    QSettings raw(p.dir.filePath("p.conf"), QSettings::IniFormat);
    raw.setValue("hotkeys/2", "Ctrl+Alt+A");
    raw.sync();
    FakeDesktop another;
    Preferences clashing(p.dir.filePath("p.conf"));
    AppShell clashed(another.platform(), &clashing);
    clashed.start();
    EXPECT_EQ(another.combinations.value(1), Qt::CTRL | Qt::SHIFT | Qt::Key_2);
    EXPECT_EQ(another.combinations.value(2), Qt::CTRL | Qt::SHIFT | Qt::Key_1);
    ASSERT_EQ(another.warnings.size(), 1);
    EXPECT_TRUE(another.warnings[0].second.contains("more than one action"));
}

TEST(Preferences, RefusedCombinationsSayWhyAndKeepTheOldKey)
{
    RebindProbe p;
    const QKeyCombination held = Qt::CTRL | Qt::ALT | Qt::Key_P;
    p.desktop.takenCombinations = {held};
    PreferencesWindow *window = p.shell->showPreferences();
    HotkeyField *field = window->hotkeyField(1);
    ASSERT_TRUE(field);

    QTest::keyClick(field, Qt::Key_P, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_TRUE(window->message()->text().contains("held by another program"));
    EXPECT_TRUE(window->message()->text().contains("Ctrl+Alt+P"));
    EXPECT_EQ(p.prefs.hotkey(1), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_2));
    p.desktop.pressCombination(Qt::CTRL | Qt::SHIFT | Qt::Key_2);
    drain();
    EXPECT_EQ(p.requests.size(), 1); // the old key still works

    QTest::keyClick(field, Qt::Key_B);
    EXPECT_TRUE(window->message()->text().contains("add Ctrl, Alt or Super"));
    QTest::keyClick(field, Qt::Key_1, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(window->message()->text().contains("Capture Full Screen"));

    // Our own hot keys never reach the field as key events (our grab takes them): a press
    // while the field waits is offered to it instead of starting a capture.
    window->activateWindow();
    QApplication::setActiveWindow(window);
    field->setFocus();
    drain();
    if (window->capturingId() == 1u) {
        p.desktop.pressCombination(Qt::CTRL | Qt::SHIFT | Qt::Key_1);
        drain();
        EXPECT_TRUE(window->message()->text().contains("Capture Full Screen"));
        EXPECT_EQ(p.requests.size(), 1);
        EXPECT_TRUE(p.shell->coordinator().sessions().editors().isEmpty());
    } else {
        ADD_FAILURE() << "the preferences window could not take the focus";
    }

    // Shift+digit arrives as a symbol; the field keeps the digit.
    QTest::keyClick(field, Qt::Key_At, Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
    EXPECT_TRUE(window->message()->text().isEmpty()) << window->message()->text().toStdString();
    EXPECT_EQ(p.prefs.hotkey(1), QKeySequence(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_2));
}

// A home of the test's own (~/.vistrel) and no upload settings in the environment.
struct PrivateHome
{
    QTemporaryDir home;
    QByteArray savedHome = qgetenv("HOME");
    QByteArray savedUrl = qgetenv("VISTREL_UPLOAD_URL");
    PrivateHome()
    {
        qputenv("HOME", home.path().toUtf8());
        qunsetenv("VISTREL_UPLOAD_URL");
        qunsetenv("VISTREL_UPLOAD_TOKEN");
    }
    ~PrivateHome()
    {
        qputenv("HOME", savedHome);
        qputenv("VISTREL_UPLOAD_URL", savedUrl);
        qunsetenv("VISTREL_UPLOAD_TOKEN");
    }
};

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

TEST(Preferences, SharingKeepsTheAddressInTheSettingsAndTheTokenInTheKeyring)
{
    PrivateHome home;
    QTemporaryDir dir;
    const QString conf = dir.filePath("vistrel.conf");
    Preferences prefs(conf);
    FakeKeyring keyring;
    PreferencesWindow window(prefs, {}, {}, &keyring);
    window.showPage(PreferencesWindow::Page::Sharing);
    EXPECT_EQ(window.pages()->tabText(window.pages()->currentIndex()), "Sharing");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window.shareTokenNote()->text() == "Not set; the keyring will keep it"; },
        5000))
        << window.shareTokenNote()->text().toStdString();

    // Checked as typed, and said why.
    QTest::keyClicks(window.shareAddress(), "http://share.test/api/upload");
    EXPECT_EQ(window.shareAddressNote()->text(), ShareSettings::insecureText());
    EXPECT_FALSE(window.shareApply()->isEnabled());
    window.shareAddress()->setText("https://share.test/api/upload");
    EXPECT_TRUE(window.shareAddressNote()->text().isEmpty());
    EXPECT_EQ(window.shareToken()->echoMode(), QLineEdit::Password);
    QTest::keyClicks(window.shareToken(), "s3cret-token");
    ASSERT_TRUE(window.shareApply()->isEnabled());
    window.shareApply()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.storingToken(); }, 5000));
    EXPECT_EQ(keyring.secrets().value("upload"), "s3cret-token");
    EXPECT_TRUE(window.shareToken()->text().isEmpty());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window.shareTokenNote()->text() == "Stored in the keyring"; }, 5000));
    EXPECT_TRUE(window.forgetToken()->isEnabled());
    // The address with the other preferences; the token nowhere in them.
    EXPECT_TRUE(readAll(conf).contains("url=https://share.test/api/upload"));
    EXPECT_FALSE(readAll(conf).contains("s3cret"));
    EXPECT_FALSE(QFile::exists(home.home.filePath(".vistrel/share-token")));
    const ShareSettings share(conf, &keyring);
    EXPECT_EQ(share.token().text, "s3cret-token");
    EXPECT_EQ(share.address().text, "https://share.test/api/upload");

    // Forgotten with its button.
    window.forgetToken()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.storingToken(); }, 5000));
    EXPECT_TRUE(keyring.secrets().isEmpty());

    // Without a keyring the token goes to a file only the user can read; closing the window
    // keeps what was typed.
    keyring.isRunning = false;
    {
        PreferencesWindow second(prefs, {}, {}, &keyring);
        EXPECT_EQ(second.shareAddress()->text(), "https://share.test/api/upload");
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return second.shareTokenNote()->text() ==
                       "Not set; it will be kept in ~/.vistrel/share-token (only you can read it)";
            },
            5000));
        QTest::keyClicks(second.shareToken(), "file-token");
        second.show();
        second.close();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !second.storingToken(); }, 5000));
    }
    const QString tokenFile = home.home.filePath(".vistrel/share-token");
    EXPECT_EQ(readAll(tokenFile), "file-token\n");
    struct stat st
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(tokenFile).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // What the environment sets is said to win.
    qputenv("VISTREL_UPLOAD_URL", "https://env.test/api/upload");
    qputenv("VISTREL_UPLOAD_TOKEN", "env-token");
    PreferencesWindow third(prefs, {}, {}, &keyring);
    EXPECT_EQ(third.shareAddress()->text(), "https://share.test/api/upload");
    EXPECT_EQ(third.shareAddressNote()->text(), "VISTREL_UPLOAD_URL is set and overrides this");
    EXPECT_TRUE(
        third.shareTokenNote()->text().contains("VISTREL_UPLOAD_TOKEN is set and overrides this"));
}

TEST(Preferences, ShareWithNothingSetUpOpensTheSharingPage)
{
    PrivateHome home;
    RebindProbe p;
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::white);
    EditorWindowController *editor = p.shell->coordinator().sessions().openEditor(picture);
    ASSERT_TRUE(editor);
    editor->setWordReader([](const QImage &, QObject *, auto done) { done(QList<LayoutLine>()); });
    editor->shareImage();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return p.shell->preferencesWindow() && p.shell->preferencesWindow()->isVisible(); },
        5000));
    EXPECT_TRUE(p.desktop.toastTexts.contains("Quick-share isn't set up yet"));
    PreferencesWindow *window = p.shell->preferencesWindow();
    EXPECT_EQ(window->pages()->currentIndex(), int(PreferencesWindow::Page::Sharing));
    EXPECT_EQ(window->focusWidget(), window->shareAddress());
}

TEST(Preferences, OpensCentredOnThePointersScreenWithItsFolderChooserOnIt)
{
    // The placement on screens side by side: centred, shrunk to fit, kept inside.
    const QRect left(0, 0, 1280, 800), right(1280, 0, 1920, 1080);
    EXPECT_EQ(PreferencesWindow::placement({600, 500}, right, right.center()),
              QRect(1940, 290, 600, 500));
    EXPECT_EQ(PreferencesWindow::placement({2000, 900}, left, left.center()), left);
    EXPECT_EQ(PreferencesWindow::placement({400, 300}, right, QPoint(3190, 10)),
              QRect(2800, 0, 400, 300));
    EXPECT_EQ(PreferencesWindow::placement({400, 300}, left, QPoint(-500, 900)),
              QRect(0, 500, 400, 300));

    RebindProbe p;
    QScreen *screen = QGuiApplication::primaryScreen();
    ASSERT_TRUE(screen);
    const QRect available = screen->availableGeometry();
    QCursor::setPos(screen, available.center() + QPoint(120, 80));
    PreferencesWindow *window = p.shell->showPreferences();
    drain();
    EXPECT_TRUE(available.contains(window->frameGeometry()))
        << window->frameGeometry().x() << "," << window->frameGeometry().y();
    EXPECT_LE((window->geometry().center() - available.center()).manhattanLength(), 2);

    QPushButton *choose = nullptr;
    for (QPushButton *b : window->findChildren<QPushButton *>())
        if (b->text() == "Choose…")
            choose = b;
    ASSERT_TRUE(choose);
    choose->click();
    drain();
    QWidget *chooser = window->folderChooser();
    ASSERT_TRUE(chooser);
    EXPECT_TRUE(chooser->isVisible());
    EXPECT_EQ(chooser->screen(), screen);
    EXPECT_TRUE(available.contains(chooser->frameGeometry()));
    chooser->close();
}

TEST(Preferences, AHotKeyMessageIsShownWhole)
{
    RebindProbe p;
    p.desktop.takenCombinations = {Qt::CTRL | Qt::ALT | Qt::Key_P};
    PreferencesWindow *window = p.shell->showPreferences();
    drain();
    QTest::keyClick(window->hotkeyField(1), Qt::Key_P, Qt::ControlModifier | Qt::AltModifier);
    QLabel *message = window->message();
    ASSERT_TRUE(message->text().endsWith("choose another combination."));
    // At the window's size, and at the narrowest it may be, every line has its room.
    for (int width : {window->width(), window->minimumSizeHint().width()}) {
        window->resize(width, window->height());
        drain();
        EXPECT_GE(message->height(), message->heightForWidth(message->width())) << width;
        const QRect inWindow(message->mapTo(window, QPoint()), message->size());
        EXPECT_TRUE(window->rect().contains(inWindow)) << width;
    }
}

} // namespace

TEST(Preferences, ASettingsFileThatIsAFifoIsNotWaitedOn)
{
    QTemporaryDir dir;
    const QString fifo = test::fifoInPlaceOf(dir.filePath("vistrel.conf"));
    QElapsedTimer clock;
    clock.start();
    {
        test::FifoRelease release(fifo, 3000);
        Preferences preferences(fifo);
        EXPECT_TRUE(preferences.historyEnabled()); // the default
        EXPECT_EQ(preferences.historyMaxEntries(), 100);
    }
    EXPECT_LT(clock.elapsed(), 2000) << "waited on the FIFO";
    EXPECT_FALSE(QFileInfo(fifo).isFile());
}
