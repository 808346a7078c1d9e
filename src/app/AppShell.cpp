#include "app/AppShell.h"

#include "app/CaptureCoordinator.h"
#include "app/HotkeyManager.h"

#include <QApplication>
#include <QKeySequence>
#include <QMenu>
#include <QSystemTrayIcon>

#include <cstdio>

namespace vistrel {

AppShell::AppShell(const Platform &platform, QObject *parent)
    : QObject(parent), m_platform(platform), m_coordinator(new CaptureCoordinator(platform, this))
{
}

AppShell::~AppShell() = default;

QString AppShell::shortcutText(int digit)
{
    return QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key(Qt::Key_0 + digit))
        .toString(QKeySequence::NativeText);
}

void AppShell::applicationDidFinishLaunching()
{
    setupStatusItem();
    if (m_platform.hotkeys)
        HotkeyManager::shared().registerKeys(m_coordinator, *m_platform.hotkeys);
}

void AppShell::setupStatusItem()
{
    m_menu = buildMenu();
    m_statusItem = new QSystemTrayIcon(QIcon(QStringLiteral(":/icons/camera.viewfinder.svg")), this);
    m_statusItem->setToolTip(QStringLiteral("Vistrel"));
    m_statusItem->setContextMenu(m_menu.get());
    // A left click opens the same menu: the icon has nothing else to do.
    connect(m_statusItem, &QSystemTrayIcon::activated, this, [this](auto reason) {
        if (reason == QSystemTrayIcon::Trigger)
            m_menu->popup(QCursor::pos());
    });
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        std::fprintf(stderr, "vistrel: no system tray found; the hot keys still work, and the "
                             "icon appears when a tray starts.\n");
    // Shown either way: the icon docks by itself when a tray host appears later.
    m_statusItem->show();
}

std::unique_ptr<QMenu> AppShell::buildMenu()
{
    auto menu = std::make_unique<QMenu>();
    // Menu commands only queue work; the coordinator does it on the next turn of the loop.
    CaptureCoordinator *c = m_coordinator;
    auto item = [&](const QString &title, std::function<void()> action) {
        QAction *a = menu->addAction(title);
        connect(a, &QAction::triggered, this, [action] { action(); });
        return a;
    };
    const QString sp = QStringLiteral("  ");
    item(QStringLiteral("Capture Area") + sp + "(" + shortcutText(2) + ")",
         [c] { c->startAreaCapture(false); });
    item(QStringLiteral("Capture Full Screen") + sp + "(" + shortcutText(1) + ")",
         [c] { c->captureFullScreen(); });
    item(QStringLiteral("Scrolling Capture") + sp + "(" + shortcutText(8) + ")",
         [c] { c->startScrollCapture(); });
    item(QStringLiteral("Capture Window"), [c] { c->startWindowCapture(); });
    menu->addSeparator();
    item(QStringLiteral("Extract Text (OCR)") + sp + "(" + shortcutText(9) + ")",
         [c] { c->startAreaCapture(true); });
    item(QStringLiteral("Pick Color"), [c] { c->startColorPick(); });
    menu->addSeparator();
    QAction *info = menu->addAction(QStringLiteral("%1 area · %2 full · %3 OCR")
                                        .arg(shortcutText(2), shortcutText(1), shortcutText(9)));
    info->setEnabled(false);
    menu->addSeparator();
    QAction *quit = item(QStringLiteral("Quit Vistrel"), [] { QApplication::quit(); });
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setShortcutContext(Qt::WidgetWithChildrenShortcut); // live while the menu is open
    return menu;
}

} // namespace vistrel
