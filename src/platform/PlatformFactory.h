#pragma once

#include "platform/Desktop.h"
#include "platform/DesktopShortcuts.h"
#include "platform/WaylandDesktop.h"

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace vistrel {

class PortalClient;

// What the process is told of its desktop session: its environment.
struct Environment
{
    QString display{};        // DISPLAY
    QString waylandDisplay{}; // WAYLAND_DISPLAY: a name under the runtime folder, or a path
    QString sessionType{};    // XDG_SESSION_TYPE
    QString runtimeDir{};     // XDG_RUNTIME_DIR
    QString currentDesktop{}; // XDG_CURRENT_DESKTOP

    static Environment ofProcess();
};

// The desktop Vistrel runs on, told by the environment alone: nothing is reached yet.
struct DesktopChoice
{
    SessionType session = SessionType::X11;
    // The display this Vistrel serves (one Vistrel per display): the Wayland display's name
    // in a Wayland session, the X display's otherwise.
    QString display;
    // Where the compositor listens, in a Wayland session.
    QString waylandSocket;
    // The toolkit's platform plugins, in the order they are tried (QT_QPA_PLATFORM).
    QByteArray toolkitPlatform;
    DesktopShortcuts::Desktop desktop = DesktopShortcuts::Desktop::Other;
};

DesktopChoice chooseDesktop(const Environment &environment);

// Why the chosen display does not answer, or empty when it does. The toolkit aborts on a
// display it cannot reach: this is asked first, so the user is told plainly instead.
QString unreachableReason(const DesktopChoice &choice);

// The desktop's services for a chosen session, built once the toolkit runs on it. The
// platform it hands out lacks only what the app shows of its own (toasts, pins) and the
// keyring; every service lives as long as this.
class DesktopServices : public QObject
{
    Q_OBJECT
public:
    struct Options
    {
        // Where the desktop binds fewer global keys than were asked for, once, with the
        // reason: the user can still bind the desktop's own keys to Vistrel's commands.
        std::function<void(const QString &why)> hotkeysUnavailable{};
        // Shown by the desktop beside each global key, where it lists them (hot-key id → text).
        QMap<quint32, QString> hotkeyDescriptions{};
    };

    DesktopServices(const DesktopChoice &choice, const Options &options);
    ~DesktopServices() override;

    const Platform &platform() const { return m_platform; }
    SessionType session() const { return m_session; }

signals:
    // True while the desktop is probably asking the user whether Vistrel may take
    // screenshots, false once it has answered.
    void askingUser(bool asking);

private:
    void buildX11(const QString &display);
    void buildWayland(const Options &options);

    SessionType m_session;
    // First in, last out: the portal outlives every service that asks it.
    std::unique_ptr<PortalClient> m_portal;
    std::unique_ptr<ScreenSource> m_screens;
    std::unique_ptr<GlobalHotkeys> m_hotkeys;
    std::unique_ptr<Clipboard> m_clipboard;
    std::unique_ptr<SaveChooser> m_toolkitSaveChooser;
    std::unique_ptr<SaveChooser> m_saveChooser;
    std::unique_ptr<Alerts> m_alerts;
    std::unique_ptr<PointerInjector> m_pointer;
    std::unique_ptr<EscapeWatch> m_escape;
    std::unique_ptr<ColorPicker> m_colorPicker;
    std::unique_ptr<WindowManager> m_windows;
    std::unique_ptr<ScreenRecorder> m_recorder;
    Platform m_platform;
};

} // namespace vistrel
