#include "app/AppShell.h"
#include "app/CommandLine.h"
#include "app/InstanceServer.h"
#include "app/Preferences.h"
#include "app/QuitOnSignal.h"
#include "engines/CaptureHistory.h"
#include "engines/SmartNaming.h"
#include "platform/DesktopShortcuts.h"
#include "platform/PortalClient.h"
#include "platform/SecretServiceKeyring.h"
#include "platform/WaylandDesktop.h"
#include "platform/X11Desktop.h"
#include "platform/X11Input.h"
#include "ui/PinWindow.h"
#include "ui/SelectionView.h"
#include "ui/SymbolIcon.h"
#include "ui/ToastHost.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <malloc.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// Qt aborts when it cannot reach the display; say plainly what is wrong instead.
bool checkDisplay()
{
    const char *display = std::getenv("DISPLAY");
    if (!display || !*display) {
        std::fprintf(stderr, "vistrel: no X display (DISPLAY is not set) and no Wayland display "
                             "(WAYLAND_DISPLAY is not set); start Vistrel inside a desktop "
                             "session.\n");
        return false;
    }
    xcb_connection_t *conn = xcb_connect(display, nullptr);
    const bool ok = conn && !xcb_connection_has_error(conn);
    if (conn)
        xcb_disconnect(conn);
    if (!ok)
        std::fprintf(stderr, "vistrel: cannot open the X display \"%s\".\n", display);
    return ok;
}

// The compositor's socket must answer before the toolkit tries it (and aborts when it cannot).
bool checkWaylandDisplay()
{
    const QString name = qEnvironmentVariable("WAYLAND_DISPLAY");
    const QString path = name.startsWith(QLatin1Char('/'))
                             ? name
                             : qEnvironmentVariable("XDG_RUNTIME_DIR") + QLatin1Char('/') + name;
    const QByteArray file = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    bool ok = size_t(file.size()) < sizeof(address.sun_path);
    if (ok) {
        std::memcpy(address.sun_path, file.constData(), size_t(file.size()));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0;
        if (fd >= 0)
            ::close(fd);
    }
    if (!ok)
        std::fprintf(stderr, "vistrel: cannot reach the Wayland display \"%s\" (%s).\n",
                     qPrintable(name), qPrintable(path));
    return ok;
}

// How to have Vistrel's keys where the desktop keeps global shortcuts to itself.
// The commands the desktop's own shortcuts run where it binds none for apps.
QList<vistrel::DesktopShortcuts::Binding> desktopBindings()
{
    const QString program = QCoreApplication::applicationFilePath();
    return {{QStringLiteral("area"), QCoreApplication::translate("main", "Vistrel: Capture Area"),
             program + QStringLiteral(" area"), QStringLiteral("<Control><Shift>2")},
            {QStringLiteral("full"),
             QCoreApplication::translate("main", "Vistrel: Capture Full Screen"),
             program + QStringLiteral(" full"), QStringLiteral("<Control><Shift>1")},
            {QStringLiteral("ocr"), QCoreApplication::translate("main", "Vistrel: Extract Text"),
             program + QStringLiteral(" ocr"), QStringLiteral("<Control><Shift>9")}};
}

// How to bind the desktop's own shortcuts, step by step for the desktop at hand.
QString shortcutAdvice(const QString &why)
{
    using Desktop = vistrel::DesktopShortcuts::Desktop;
    const QString program = QCoreApplication::applicationFilePath();
    QString steps;
    switch (vistrel::DesktopShortcuts::desktopFrom(qEnvironmentVariable("XDG_CURRENT_DESKTOP"))) {
    case Desktop::Gnome:
        steps =
            QCoreApplication::translate(
                "main",
                "In Settings → Keyboard → View and Customise Shortcuts → Custom Shortcuts, add one "
                "shortcut for each command:\n\n"
                "Name \"Vistrel: Capture Area\", command \"%1 area\", shortcut Ctrl+Shift+2\n"
                "Name \"Vistrel: Capture Full Screen\", command \"%1 full\", shortcut "
                "Ctrl+Shift+1\n"
                "Name \"Vistrel: Extract Text\", command \"%1 ocr\", shortcut Ctrl+Shift+9")
                .arg(program);
        break;
    case Desktop::Kde:
        steps =
            QCoreApplication::translate(
                "main",
                "In System Settings → Shortcuts, choose Add New → Command or Script for each "
                "command, "
                "then give it its shortcut:\n\n"
                "\"%1 area\": Ctrl+Shift+2\n\"%1 full\": Ctrl+Shift+1\n\"%1 ocr\": Ctrl+Shift+9")
                .arg(program);
        break;
    case Desktop::Sway:
        steps =
            QCoreApplication::translate(
                "main", "Add these lines to ~/.config/sway/config, then run \"swaymsg reload\":\n\n"
                        "bindsym Ctrl+Shift+2 exec %1 area\nbindsym Ctrl+Shift+1 exec %1 full\n"
                        "bindsym Ctrl+Shift+9 exec %1 ocr")
                .arg(program);
        break;
    case Desktop::Other:
        steps = QCoreApplication::translate(
                    "main", "Bind your desktop's own keyboard shortcuts to these commands:\n\n"
                            "Ctrl+Shift+2: %1 area\nCtrl+Shift+1: %1 full\nCtrl+Shift+9: %1 ocr")
                    .arg(program);
        break;
    }
    return QCoreApplication::translate("main", "Vistrel's hot keys do nothing here. %1\n\n%2")
        .arg(why, steps);
}

// Once: on GNOME, offers to add the desktop's own shortcuts; elsewhere, says how.
void adviseDesktopShortcuts(vistrel::Alerts &alerts, vistrel::Preferences &preferences,
                            const QString &why)
{
    const QString advice = shortcutAdvice(why);
    std::fprintf(stderr, "vistrel: %s\n", qPrintable(advice));
    if (!preferences.firstTimeFor(QStringLiteral("bindDesktopShortcuts")))
        return;
    using vistrel::DesktopShortcuts;
    if (DesktopShortcuts::desktopFrom(qEnvironmentVariable("XDG_CURRENT_DESKTOP")) !=
            DesktopShortcuts::Desktop::Gnome ||
        !DesktopShortcuts::canSetUpGnome())
        return alerts.warn(QStringLiteral("Vistrel"), advice);
    vistrel::Question question;
    question.title = QCoreApplication::translate("main", "Vistrel — Hot Keys");
    question.message = QCoreApplication::translate(
        "main",
        "GNOME does not bind shortcuts for apps, so Vistrel's hot keys do nothing yet. Add them "
        "to GNOME's own keyboard shortcuts now?\n\nCtrl+Shift+2: Capture Area\n"
        "Ctrl+Shift+1: Capture Full Screen\nCtrl+Shift+9: Extract Text\n\n"
        "They appear in Settings → Keyboard → Custom Shortcuts, where you can change or remove "
        "them.");
    question.choices = {QCoreApplication::translate("main", "Add Shortcuts"),
                        QCoreApplication::translate("main", "Not Now")};
    question.defaultChoice = 0;
    question.cancelChoice = 1;
    alerts.ask(question, [&alerts, advice](int choice) {
        if (choice != 0)
            return;
        QString error;
        if (DesktopShortcuts::setUpGnome(desktopBindings(), &error))
            std::fprintf(stderr, "vistrel: added Ctrl+Shift+2, Ctrl+Shift+1 and Ctrl+Shift+9 to "
                                 "GNOME's shortcuts\n");
        else
            alerts.warn(QStringLiteral("Vistrel"),
                        QCoreApplication::translate(
                            "main", "GNOME's shortcuts could not be changed: %1\n\n%2")
                            .arg(error, advice));
    });
}

// The user's language for our texts (built in under :/i18n) and for Qt's own (the standard
// buttons of dialogs), before any window or menu is built; without a file for the language
// the English source texts stay.
void installTranslators()
{
    const QLocale locale;
    // The English forms of texts with a count ("1 frame"), under any other language.
    auto *english = new QTranslator(qApp);
    if (english->load(QStringLiteral(":/i18n/vistrel_en.qm")))
        QCoreApplication::installTranslator(english);
    auto *ours = new QTranslator(qApp);
    if (ours->load(locale, QStringLiteral("vistrel"), QStringLiteral("_"),
                   QStringLiteral(":/i18n")))
        QCoreApplication::installTranslator(ours);
    auto *qt = new QTranslator(qApp);
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
}

// Everything after the platform is chosen: the shell, the command socket, the first command.
int runShell(vistrel::Platform platform, vistrel::Preferences &preferences,
             const vistrel::InstancePaths &paths, const vistrel::Command &command,
             const std::function<void(vistrel::Toasts &)> &withToasts = {})
{
    vistrel::QuitOnSignal quitOnSignal;
    // The app's own messages and pins outside its windows, for as long as any window may use
    // them.
    vistrel::ToastHost toasts;
    vistrel::PinBoard pins;
    // Share's token, when a keyring runs; calls still running when it goes are cancelled.
    vistrel::SecretServiceKeyring keyring;
    platform.toasts = &toasts;
    platform.pins = &pins;
    platform.keyring = &keyring;
    if (withToasts)
        withToasts(toasts);
    vistrel::AppShell shell(platform, &preferences);
    // A signal must not wait on a question: unsaved marks are kept for the next start.
    QObject::connect(&quitOnSignal, &vistrel::QuitOnSignal::quitRequested, &shell,
                     &vistrel::AppShell::quitNow);
    shell.start();
    QTimer::singleShot(0, [] { vistrel::SelectionView::loadFonts(); });
    // Pictures a killed run left for the naming tool; once settled, off the first capture's path.
    QTimer::singleShot(5000, [] { vistrel::SmartNaming::removeLeftovers(60 * 1000); });

    vistrel::InstanceServer server;
    QObject::connect(&server, &vistrel::InstanceServer::commandReceived, &shell,
                     [&shell](const vistrel::Command &c,
                              const vistrel::InstanceServer::Reply &reply,
                              QObject *caller) { shell.runCommand(c, reply, caller); });
    QString listenError;
    if (!server.listen(paths.socket, &listenError))
        std::fprintf(stderr,
                     "vistrel: cannot listen on %s (%s); commands from other vistrel "
                     "processes will not reach this one.\n",
                     qPrintable(paths.socket), qPrintable(listenError));
    // The first command's answer comes on a later turn; a picture it cannot open ends the start.
    shell.runCommand(command, [](const vistrel::CommandAnswer &answer) {
        if (answer.refused.isEmpty())
            return;
        std::fprintf(stderr, "vistrel: %s\n", qPrintable(answer.refused));
        QCoreApplication::exit(1);
    });
    // Naming tools are ended and recognitions finished as the shell goes (its coordinator's),
    // before the toolkit's thread pools.
    return QApplication::exec();
}

int runOnX11(vistrel::Preferences &preferences, const vistrel::InstancePaths &paths,
             const vistrel::Command &command)
{
    vistrel::X11ScreenSource screens;
    vistrel::X11Hotkeys hotkeys;
    vistrel::QtClipboard clipboard;
    // The desktop's own save dialog where a portal offers one, as on Wayland.
    vistrel::PortalClient portal;
    vistrel::QtSaveChooser toolkitSaveChooser;
    vistrel::PortalSaveChooser saveChooser(portal, toolkitSaveChooser);
    vistrel::QtAlerts alerts(&toolkitSaveChooser);
    vistrel::X11PointerInjector pointer;
    vistrel::X11EscapeWatch escape;
    if (!screens.canReadScreen())
        std::fprintf(stderr, "vistrel: the X server does not let Vistrel read the screen; "
                             "captures will fail.\n");
    return runShell({&screens, &hotkeys, &clipboard, &saveChooser, &alerts, &pointer, &escape, {}},
                    preferences, paths, command);
}

// Screen pictures and shortcuts through the desktop portal: a Wayland desktop lets no app
// read the screen or grab keys itself.
int runOnWayland(vistrel::Preferences &preferences, const vistrel::InstancePaths &paths,
                 const vistrel::Command &command)
{
    vistrel::PortalClient portal;
    vistrel::WaylandScreenSource screens(portal);
    vistrel::QtClipboard clipboard;
    vistrel::QtSaveChooser toolkitSaveChooser;
    vistrel::PortalSaveChooser saveChooser(portal, toolkitSaveChooser);
    vistrel::QtAlerts alerts(&toolkitSaveChooser);
    vistrel::RefusingPointer pointer;
    vistrel::RefusingEscapeWatch escape;
    vistrel::PortalColorPicker colorPicker(portal);
    vistrel::WaylandHotkeys hotkeys(portal, [&alerts, &preferences](const QString &why) {
        adviseDesktopShortcuts(alerts, preferences, why);
    });
    hotkeys.describe(1, QCoreApplication::translate("main", "Capture an area"));
    hotkeys.describe(2, QCoreApplication::translate("main", "Capture the full screen"));
    hotkeys.describe(3, QCoreApplication::translate("main", "Copy the text of an area"));
    hotkeys.describe(4, QCoreApplication::translate("main", "Scrolling capture"));
    auto sayAsking = [&screens](vistrel::Toasts &toasts) {
        screens.onAsking = [&toasts](bool asking) {
            if (!asking)
                return toasts.dismiss(); // gone before the picture is taken again
            const QString text = QCoreApplication::translate(
                "main",
                "The desktop is asking whether Vistrel may take screenshots: answer its question.");
            std::fprintf(stderr, "vistrel: %s\n", qPrintable(text));
            toasts.showUntilReplaced(text, {});
        };
    };
    const int status = runShell({&screens, &hotkeys, &clipboard, &saveChooser, &alerts, &pointer,
                                 &escape, vistrel::waylandLimits(), &colorPicker},
                                preferences, paths, command, sayAsking);
    // What we offer on the clipboard goes with us either way (a Wayland clipboard manager
    // copies it when it is offered); withdrawn here, the toolkit frees it too.
    QGuiApplication::clipboard()->clear();
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    // Pictures (8 MiB a screen) always get their own mapping and go back to the system when
    // freed; left alone, the threshold grows past them after the first few and they stay in a
    // heap that keeps its peak.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    // One heap for every thread: a worker's own heap (encoder bands, text detection) keeps its
    // free top after the worker ends, and the trim at idle cannot hand that back.
    mallopt(M_ARENA_MAX, 1);
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    const vistrel::CommandLine line = vistrel::CommandLine::parse(args, QDir::currentPath());
    if (!line.error.isEmpty()) {
        std::fprintf(stderr, "vistrel: %s\nTry \"vistrel --help\".\n", qPrintable(line.error));
        return 2;
    }
    if (line.help) {
        std::fputs(qPrintable(vistrel::CommandLine::usage()), stdout);
        return 0;
    }
    if (line.version) {
        std::printf("vistrel %s\n", VISTREL_VERSION);
        return 0;
    }
    if (line.history) {
        // Read from the files, as the running Vistrel writes them: it need not run.
        QCoreApplication::setApplicationName(QStringLiteral("Vistrel"));
        const vistrel::CaptureHistory history;
        const QList<vistrel::HistoryEntry> entries = history.entries();
        if (entries.isEmpty())
            std::fprintf(stderr, "vistrel: the history holds no capture (%s)\n",
                         qPrintable(history.folder()));
        std::fputs(qPrintable(vistrel::historyListing(entries, history.folder())), stdout);
        return 0;
    }

    // One Vistrel per display: a second start hands its command over and ends.
    const auto session = vistrel::sessionTypeFrom(qEnvironmentVariable("XDG_SESSION_TYPE"),
                                                  qEnvironmentVariable("WAYLAND_DISPLAY"));
    const bool wayland = session == vistrel::SessionType::Wayland;
    QString pathError;
    const auto paths = vistrel::InstancePaths::forDisplay(
        qEnvironmentVariable(wayland ? "WAYLAND_DISPLAY" : "DISPLAY"), &pathError);
    if (paths.socket.isEmpty()) {
        std::fprintf(stderr, "vistrel: %s\n", qPrintable(pathError));
        return 1;
    }
    vistrel::InstanceLock lock(paths.lock);
    if (line.command.output == QLatin1String("-") && ::isatty(STDOUT_FILENO)) {
        std::fputs("vistrel: --output - writes a PNG to standard output, which is a terminal here; "
                   "redirect it to a file or a pipe.\n",
                   stderr);
        return 2;
    }
    if (line.command.scripted()) {
        char self[4096];
        const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
        const QString program =
            n > 0 ? QFile::decodeName(QByteArray(self, int(n))) : QString::fromLocal8Bit(argv[0]);
        return vistrel::InstanceClient::handOverScripted(line.command, lock, paths.socket, program);
    }
    if (const auto status = vistrel::InstanceClient::handOver(line.command, lock, paths.socket))
        return *status;

    if (wayland) {
        if (!checkWaylandDisplay())
            return 1;
        // Through XWayland where the toolkit lacks its Wayland plugin.
        qputenv("QT_QPA_PLATFORM",
                qEnvironmentVariableIsEmpty("DISPLAY") ? "wayland" : "wayland;xcb");
    } else {
        if (!checkDisplay())
            return 1;
        qputenv("QT_QPA_PLATFORM", "xcb"); // hot keys and grabs speak X11
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vistrel"));
    QApplication::setApplicationVersion(QStringLiteral(VISTREL_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setStyle(new vistrel::SymbolStyle);
    installTranslators();
    vistrel::Preferences preferences;
    return wayland ? runOnWayland(preferences, paths, line.command)
                   : runOnX11(preferences, paths, line.command);
}
