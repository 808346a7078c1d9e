#include "platform/PlatformFactory.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace vistrel;
using Desktop = DesktopShortcuts::Desktop;

namespace {

// A compositor's listening socket, and no more.
class ListeningSocket
{
public:
    explicit ListeningSocket(const QString &path)
    {
        const QByteArray file = QFile::encodeName(path);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, file.constData(), size_t(file.size()));
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        m_ok = m_fd >= 0 &&
               ::bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0 &&
               ::listen(m_fd, 4) == 0;
    }
    ~ListeningSocket() { close(); }
    bool ok() const { return m_ok; }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
    bool m_ok = false;
};

} // namespace

TEST(PlatformFactory, TheSessionAndTheToolkitsPluginsFollowTheEnvironment)
{
    struct Case
    {
        Environment environment;
        SessionType session;
        QString display;
        QByteArray toolkit;
        QString socket;
    };
    const Case cases[] = {
        {{.display = ":5"}, SessionType::X11, ":5", "xcb", {}},
        // XWayland's DISPLAY beside a compositor: the compositor's client, with XWayland as
        // the toolkit's fallback.
        {{.display = ":0", .waylandDisplay = "wayland-1", .runtimeDir = "/run/user/1000"},
         SessionType::Wayland,
         "wayland-1",
         "wayland;xcb",
         "/run/user/1000/wayland-1"},
        {{.waylandDisplay = "wayland-0", .sessionType = "tty", .runtimeDir = "/run/user/7"},
         SessionType::Wayland,
         "wayland-0",
         "wayland",
         "/run/user/7/wayland-0"},
        {{.waylandDisplay = "/tmp/nested.sock"},
         SessionType::Wayland,
         "/tmp/nested.sock",
         "wayland",
         "/tmp/nested.sock"},
        // An X11 login with a nested compositor's socket stays on X11.
        {{.display = ":1", .waylandDisplay = "wayland-9", .sessionType = "x11"},
         SessionType::X11,
         ":1",
         "xcb",
         {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(qPrintable(c.environment.display + "|" + c.environment.waylandDisplay));
        const DesktopChoice choice = chooseDesktop(c.environment);
        EXPECT_EQ(choice.session, c.session);
        EXPECT_EQ(choice.display, c.display);
        EXPECT_EQ(choice.toolkitPlatform, c.toolkit);
        EXPECT_EQ(choice.waylandSocket, c.socket);
    }

    const std::pair<QString, Desktop> desktops[] = {{"ubuntu:GNOME", Desktop::Gnome},
                                                    {"KDE", Desktop::Kde},
                                                    {"sway", Desktop::Sway},
                                                    {"XFCE", Desktop::Other},
                                                    {"", Desktop::Other}};
    for (const auto &[name, desktop] : desktops)
        EXPECT_EQ(chooseDesktop({.waylandDisplay = "wayland-0", .currentDesktop = name}).desktop,
                  desktop)
            << qPrintable(name);
}

TEST(PlatformFactory, ADisplayThatDoesNotAnswerIsToldPlainly)
{
    EXPECT_EQ(unreachableReason(chooseDesktop({})),
              "no X display (DISPLAY is not set) and no Wayland display (WAYLAND_DISPLAY is not "
              "set); start Vistrel inside a desktop session.");
    EXPECT_EQ(unreachableReason(chooseDesktop({.display = ":4093"})),
              "cannot open the X display \":4093\".");

    // A compositor's socket: reached while something listens on it, refused once it is gone.
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    const Environment wayland{.waylandDisplay = "wayland-test", .runtimeDir = runtime.path()};
    ListeningSocket compositor(runtime.filePath("wayland-test"));
    ASSERT_TRUE(compositor.ok());
    EXPECT_EQ(unreachableReason(chooseDesktop(wayland)), "");
    compositor.close();
    EXPECT_EQ(unreachableReason(chooseDesktop(wayland)),
              QStringLiteral("cannot reach the Wayland display \"wayland-test\" (%1).")
                  .arg(runtime.filePath("wayland-test")));
    // A path longer than a socket's address can hold is refused, not cut short.
    const QString longName = "/" + QString(200, 'w');
    EXPECT_TRUE(unreachableReason(chooseDesktop({.waylandDisplay = longName}))
                    .startsWith("cannot reach the Wayland display"));
}

TEST(PlatformFactory, AWaylandSessionGetsEveryServiceAndItsLimits)
{
    QString toldWhy;
    DesktopServices services(chooseDesktop({.waylandDisplay = "wayland-0"}),
                             {.hotkeysUnavailable = [&](const QString &why) { toldWhy = why; }});
    const Platform &platform = services.platform();
    EXPECT_TRUE(platform.screens && platform.hotkeys && platform.clipboard &&
                platform.saveChooser && platform.alerts && platform.pointer && platform.escape &&
                platform.colorPicker && platform.windows);
    // What the app adds of its own is left to it.
    EXPECT_FALSE(platform.toasts || platform.pins || platform.keyring);
    EXPECT_EQ(platform.limits.windowCapture, waylandLimits().windowCapture);
    EXPECT_EQ(platform.limits.scrollCapture, waylandLimits().scrollCapture);
    EXPECT_FALSE(platform.limits.windowCapture.isEmpty());
    // No synthetic input, no global Escape, no window manager to ask.
    EXPECT_FALSE(platform.pointer->scrollDown(QPoint(1, 1), 1));
    EXPECT_FALSE(platform.escape->start([] {}));
    EXPECT_EQ(platform.windows->activeWindow(), 0u);
}
