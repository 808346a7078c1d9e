#include "platform/PlatformFactory.h"

#include "platform/PortalClient.h"
#include "platform/PortalScreenCast.h"
#include "platform/QtDesktop.h"
#include "platform/X11Desktop.h"
#include "platform/X11Input.h"
#include "platform/X11Recorder.h"
#include "platform/X11Windows.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace vistrel {

namespace {

bool x11Answers(const QString &display)
{
    xcb_connection_t *conn = xcb_connect(display.toLocal8Bit().constData(), nullptr);
    const bool ok = conn && !xcb_connection_has_error(conn);
    if (conn)
        xcb_disconnect(conn);
    return ok;
}

bool socketAnswers(const QString &path)
{
    const QByteArray file = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (file.isEmpty() || size_t(file.size()) >= sizeof(address.sun_path))
        return false;
    std::memcpy(address.sun_path, file.constData(), size_t(file.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool ok =
        fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok;
}

} // namespace

Environment Environment::ofProcess()
{
    return {.display = qEnvironmentVariable("DISPLAY"),
            .waylandDisplay = qEnvironmentVariable("WAYLAND_DISPLAY"),
            .sessionType = qEnvironmentVariable("XDG_SESSION_TYPE"),
            .runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR"),
            .currentDesktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP")};
}

DesktopChoice chooseDesktop(const Environment &environment)
{
    DesktopChoice choice;
    choice.session = sessionTypeFrom(environment.sessionType, environment.waylandDisplay);
    choice.desktop = DesktopShortcuts::desktopFrom(environment.currentDesktop);
    if (choice.session == SessionType::Wayland) {
        choice.display = environment.waylandDisplay;
        choice.waylandSocket =
            environment.waylandDisplay.startsWith(QLatin1Char('/'))
                ? environment.waylandDisplay
                : environment.runtimeDir + QLatin1Char('/') + environment.waylandDisplay;
        // Through XWayland where the toolkit lacks its Wayland plugin.
        choice.toolkitPlatform = environment.display.isEmpty() ? "wayland" : "wayland;xcb";
    } else {
        choice.display = environment.display;
        choice.toolkitPlatform = "xcb"; // hot keys and grabs speak X11
    }
    return choice;
}

QString unreachableReason(const DesktopChoice &choice)
{
    if (choice.session == SessionType::Wayland) {
        if (socketAnswers(choice.waylandSocket))
            return {};
        return QStringLiteral("cannot reach the Wayland display \"%1\" (%2).")
            .arg(choice.display, choice.waylandSocket);
    }
    if (choice.display.isEmpty())
        return QStringLiteral("no X display (DISPLAY is not set) and no Wayland display "
                              "(WAYLAND_DISPLAY is not set); start Vistrel inside a desktop "
                              "session.");
    if (x11Answers(choice.display))
        return {};
    return QStringLiteral("cannot open the X display \"%1\".").arg(choice.display);
}

DesktopServices::DesktopServices(const DesktopChoice &choice, const Options &options)
    : m_session(choice.session)
{
    // The desktop's own save dialog where a portal offers one, on either session type.
    m_portal = std::make_unique<PortalClient>();
    auto toolkitSaveChooser = std::make_unique<QtSaveChooser>();
    m_alerts = std::make_unique<QtAlerts>(toolkitSaveChooser.get());
    m_saveChooser = std::make_unique<PortalSaveChooser>(*m_portal, *toolkitSaveChooser);
    m_toolkitSaveChooser = std::move(toolkitSaveChooser);
    m_clipboard = std::make_unique<QtClipboard>();
    if (m_session == SessionType::Wayland)
        buildWayland(options);
    else
        buildX11(choice.display);
    m_platform = {.screens = m_screens.get(),
                  .hotkeys = m_hotkeys.get(),
                  .clipboard = m_clipboard.get(),
                  .saveChooser = m_saveChooser.get(),
                  .alerts = m_alerts.get(),
                  .pointer = m_pointer.get(),
                  .escape = m_escape.get(),
                  .limits = m_session == SessionType::Wayland ? waylandLimits() : SessionLimits{},
                  .colorPicker = m_colorPicker.get(),
                  .windows = m_windows.get(),
                  .recorder = m_recorder.get()};
}

DesktopServices::~DesktopServices()
{
    // What we offer on the clipboard goes with us either way (a Wayland clipboard manager
    // copies it when it is offered); withdrawn here, the toolkit frees it too.
    if (m_session == SessionType::Wayland)
        QGuiApplication::clipboard()->clear();
}

void DesktopServices::buildX11(const QString &display)
{
    auto screens = std::make_unique<X11ScreenSource>();
    if (!screens->canReadScreen())
        std::fprintf(stderr, "vistrel: the X server does not let Vistrel read the screen; "
                             "captures will fail.\n");
    m_screens = std::move(screens);
    m_hotkeys = std::make_unique<X11Hotkeys>();
    m_pointer = std::make_unique<X11PointerInjector>();
    m_escape = std::make_unique<X11EscapeWatch>();
    m_windows = std::make_unique<X11WindowManager>();
    // Frames come from the display the toolkit opened.
    m_recorder = std::make_unique<X11ScreenRecorder>(display.toLocal8Bit());
}

// Screen pictures and shortcuts through the desktop portal: a Wayland desktop lets no app
// read the screen or grab keys itself.
void DesktopServices::buildWayland(const Options &options)
{
    auto screens = std::make_unique<WaylandScreenSource>(*m_portal);
    connect(screens.get(), &WaylandScreenSource::askingUser, this, &DesktopServices::askingUser);
    m_screens = std::move(screens);
    auto hotkeys = std::make_unique<WaylandHotkeys>(*m_portal, options.hotkeysUnavailable);
    for (auto it = options.hotkeyDescriptions.cbegin(); it != options.hotkeyDescriptions.cend();
         ++it)
        hotkeys->describe(it.key(), it.value());
    m_hotkeys = std::move(hotkeys);
    m_pointer = std::make_unique<RefusingPointer>();
    m_escape = std::make_unique<RefusingEscapeWatch>();
    m_colorPicker = std::make_unique<PortalColorPicker>(*m_portal);
    // Recordings through the ScreenCast portal, whose chooser may pick the screen or window.
    m_recorder = std::make_unique<PortalScreenCast>(*m_portal);
    // Where the toolkit went through XWayland, the X11 window manager still places our panels.
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        m_windows = std::make_unique<X11WindowManager>();
    else
        m_windows = std::make_unique<QtWindowManager>();
}

} // namespace vistrel
