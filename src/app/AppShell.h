#pragma once

#include "platform/Desktop.h"

#include <QObject>

#include <memory>

class QMenu;
class QSystemTrayIcon;

namespace vistrel {

class CaptureCoordinator;

// The tray icon, its menu and the hot keys; owns the one coordinator of the run.
class AppShell : public QObject
{
    Q_OBJECT
public:
    explicit AppShell(const Platform &platform, QObject *parent = nullptr);
    ~AppShell() override;

    void applicationDidFinishLaunching();

    CaptureCoordinator &coordinator() { return *m_coordinator; }
    QMenu *menu() const { return m_menu.get(); }
    QSystemTrayIcon *statusItem() const { return m_statusItem; }

    static QString shortcutText(int digit);
    std::unique_ptr<QMenu> buildMenu();

private:
    void setupStatusItem();

    Platform m_platform;
    CaptureCoordinator *m_coordinator;
    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon *m_statusItem = nullptr;
};

} // namespace vistrel
