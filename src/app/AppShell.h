#pragma once

#include "app/CommandLine.h"
#include "app/PreferencesPage.h"
#include "engines/EditablePng.h"
#include "platform/Desktop.h"
#include "ui/HistoryWindow.h"

#include <QImage>
#include <QKeyCombination>
#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QIcon;
class QMenu;

class QSystemTrayIcon;

namespace vistrel {

class CaptureCoordinator;
class HotkeyManager;
class Preferences;
class PreferencesWindow;

// The tray icon, its menu and the hot keys; owns the one coordinator of the run.
class AppShell : public QObject
{
    Q_OBJECT
public:
    // Without `preferences`, the user's own (~/.config/vistrel) are used.
    explicit AppShell(const Platform &platform, Preferences *preferences = nullptr,
                      QObject *parent = nullptr);
    ~AppShell() override;

    void start();
    // The tray's Quit: asks once when editors have unsaved marks.
    void requestQuit();
    // Keeps unsaved marks for the next start and quits (`vistrel quit`, Keep and Quit). When
    // they cannot be kept, it stays, asks to save them instead and returns why.
    QString keepAndQuit();
    // Quits without asking, keeping what unsaved marks it can (signals: they cannot wait).
    void quitNow();
    QMessageBox *quitQuestion() const { return m_quitQuestion; }

    CaptureCoordinator &coordinator() { return *m_coordinator; }
    Preferences &preferences() { return *m_preferences; }
    HotkeyManager &hotkeys();
    QMenu *menu() const { return m_menu.get(); }
    QSystemTrayIcon *tray() const { return m_tray; }

    // The text of a hot key as it is bound now.
    QString hotkeyText(quint32 id) const;
    std::unique_ptr<QMenu> buildMenu();

    // A command from the command line or another `vistrel` process: the menu's entry points,
    // after the command's delay. `done` runs on a later turn of the loop with why the command
    // cannot run (a picture that cannot be read), or an empty string once it is scheduled. A
    // script's capture waits on `caller`: when it goes, its delay stops and its overlay closes.
    void runCommand(const Command &command, std::function<void(const CommandAnswer &)> done = {},
                    QObject *caller = nullptr);

    // Moves a hot key to a new combination, stores it and updates the menu's texts; returns
    // why it was refused, or an empty string.
    QString rebindHotkey(quint32 id, QKeyCombination combination);
    // Opens Preferences (centred on the screen with the pointer when it was closed), on `page`
    // when given, else on the page it showed last.
    PreferencesWindow *showPreferences(std::optional<PreferencesPage> page = std::nullopt);
    PreferencesWindow *preferencesWindow() const;
    HistoryWindow *showHistory();
    // The tray's "Recent Captures", filled from the history each time it opens.
    QMenu *recentMenu() const { return m_recentMenu; }
    static constexpr int recentCount = 10;

    static QIcon trayIcon();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setupTrayIcon();
    void schedule(const Command &command, const QList<EditablePng::Read> &pictures,
                  std::function<void(const CommandAnswer &)> done = {}, QObject *caller = nullptr);
    void refreshShortcutTexts();
    void fillRecentMenu();
    void askToSaveUnkept(const QString &why);

    Platform m_platform;
    std::unique_ptr<HotkeyManager> m_hotkeys;
    std::unique_ptr<Preferences> m_ownPreferences;
    Preferences *m_preferences;
    CaptureCoordinator *m_coordinator;
    QPointer<QMessageBox> m_quitQuestion;
    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon *m_tray = nullptr;
    QAction *m_quitAction = nullptr;
    QHash<quint32, QAction *> m_hotkeyActions; // menu items that name a hot key
    QAction *m_infoLine = nullptr;
    bool m_recordingRuns = false; // the tray's Record Screen reads Stop Recording
    QPointer<PreferencesWindow> m_preferencesWindow;
    QPointer<HistoryWindow> m_historyWindow;
    QMenu *m_recentMenu = nullptr;
};

} // namespace vistrel
