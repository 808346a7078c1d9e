#include "app/AppShell.h"
#include "app/QuitOnSignal.h"
#include "output/Notifier.h"
#include "platform/X11Desktop.h"
#include "platform/X11Input.h"

#include <QApplication>

#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

namespace {

const char *const usage =
    "Usage: vistrel [--help] [--version]\n"
    "\n"
    "Vistrel lives in the system tray and answers these keys anywhere on the desktop:\n"
    "  Ctrl+Shift+2  capture an area        Ctrl+Shift+1  capture the full screen\n"
    "  Ctrl+Shift+9  extract text (OCR)     Ctrl+Shift+8  scrolling capture\n"
    "\n"
    "Environment:\n"
    "  VISTREL_KEEP_CAPTURES=DIR  also write every captured picture to DIR\n";

// Qt aborts when it cannot reach the display; say plainly what is wrong instead.
bool checkDisplay()
{
    const char *display = std::getenv("DISPLAY");
    if (!display || !*display) {
        if (std::getenv("WAYLAND_DISPLAY"))
            std::fprintf(stderr, "vistrel: this Wayland session has no X server (DISPLAY is not "
                                 "set); Vistrel needs X11 or XWayland.\n");
        else
            std::fprintf(stderr, "vistrel: no X display (DISPLAY is not set); start Vistrel "
                                 "inside an X11 session.\n");
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

// The text recognizer's OpenMP runtime reads its thread limit once, when the process starts;
// unlimited it is several times slower on small machines. Vistrel runs recognitions side by
// side itself, so it starts over once with the limit in place.
void limitRecognizerThreads(char **argv)
{
    if (std::getenv("OMP_THREAD_LIMIT"))
        return;
    setenv("OMP_THREAD_LIMIT", "1", 1);
    execv("/proc/self/exe", argv);
    // Could not start over: recognition is slower, everything else works.
}

} // namespace

int main(int argc, char **argv)
{
    limitRecognizerThreads(argv);
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(usage, stdout);
            return 0;
        }
        if (!std::strcmp(argv[i], "--version") || !std::strcmp(argv[i], "-v")) {
            std::printf("vistrel %s\n", VISTREL_VERSION);
            return 0;
        }
        std::fprintf(stderr, "vistrel: unknown option \"%s\"\n\n%s", argv[i], usage);
        return 2;
    }
    if (!checkDisplay())
        return 1;
    qputenv("QT_QPA_PLATFORM", "xcb"); // hot keys and grabs speak X11

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vistrel"));
    QApplication::setApplicationVersion(QStringLiteral(VISTREL_VERSION));
    QApplication::setQuitOnLastWindowClosed(false);

    vistrel::X11ScreenSource screens;
    vistrel::X11Hotkeys hotkeys;
    vistrel::QtClipboard clipboard;
    vistrel::QtSaveChooser saveChooser;
    vistrel::QtAlerts alerts;
    vistrel::X11PointerInjector pointer;
    vistrel::X11EscapeWatch escape;
    vistrel::Notifier::install(&alerts);
    if (!screens.canReadScreen())
        std::fprintf(stderr, "vistrel: the X server does not let Vistrel read the screen; "
                             "captures will fail.\n");

    vistrel::QuitOnSignal quitOnSignal;
    vistrel::AppShell shell(
        vistrel::Platform{&screens, &hotkeys, &clipboard, &saveChooser, &alerts, &pointer, &escape});
    shell.applicationDidFinishLaunching();
    return app.exec();
}
