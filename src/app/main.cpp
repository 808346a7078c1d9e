#include "app/AppShell.h"
#include "app/CommandLine.h"
#include "app/InstanceServer.h"
#include "app/Preferences.h"
#include "app/QuitOnSignal.h"
#include "app/ShortcutAdvice.h"
#include "engines/CaptureHistory.h"
#include "engines/SmartNaming.h"
#include "platform/Memory.h"
#include "platform/PlatformFactory.h"
#include "platform/SecretServiceKeyring.h"
#include "ui/PinWindow.h"
#include "ui/SelectionView.h"
#include "ui/SymbolIcon.h"
#include "ui/ToastHost.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

#include <cstdio>
#include <memory>

#include <unistd.h>

namespace {

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

// Keeps the user told while the desktop asks whether Vistrel may take screenshots.
void sayWhileAsking(vistrel::DesktopServices &desktop, vistrel::Toasts &toasts)
{
    QObject::connect(&desktop, &vistrel::DesktopServices::askingUser, [&toasts](bool asking) {
        if (!asking)
            return toasts.dismiss(); // gone before the picture is taken again
        const QString text = QCoreApplication::translate(
            "main",
            "The desktop is asking whether Vistrel may take screenshots: answer its question.");
        std::fprintf(stderr, "vistrel: %s\n", qPrintable(text));
        toasts.showUntilReplaced(text, {});
    });
}

} // namespace

int main(int argc, char **argv)
{
    vistrel::tuneHeapForPictures();
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
    const vistrel::DesktopChoice desktop =
        vistrel::chooseDesktop(vistrel::Environment::ofProcess());
    QString pathError;
    const auto paths = vistrel::InstancePaths::forDisplay(desktop.display, &pathError);
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

    if (const QString why = vistrel::unreachableReason(desktop); !why.isEmpty()) {
        std::fprintf(stderr, "vistrel: %s\n", qPrintable(why));
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", desktop.toolkitPlatform);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vistrel"));
    QApplication::setApplicationVersion(QStringLiteral(VISTREL_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setStyle(new vistrel::SymbolStyle);
    installTranslators();
    vistrel::Preferences preferences;
    std::unique_ptr<vistrel::DesktopServices> services;
    const auto tellHowToBindKeys = [&](const QString &why) {
        vistrel::adviseDesktopShortcuts(*services->platform().alerts, preferences, desktop.desktop,
                                        why);
    };
    services = std::make_unique<vistrel::DesktopServices>(
        desktop, vistrel::DesktopServices::Options{
                     .hotkeysUnavailable = tellHowToBindKeys,
                     .hotkeyDescriptions = {
                         {1, QCoreApplication::translate("main", "Capture an area")},
                         {2, QCoreApplication::translate("main", "Capture the full screen")},
                         {3, QCoreApplication::translate("main", "Copy the text of an area")},
                         {4, QCoreApplication::translate("main", "Scrolling capture")},
                         {5, QCoreApplication::translate("main", "Record the screen")}}});
    return runShell(services->platform(), preferences, paths, line.command,
                    [&services](vistrel::Toasts &toasts) { sayWhileAsking(*services, toasts); });
}
