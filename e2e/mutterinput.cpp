// Input for a headless GNOME Shell, which has no input devices of its own: a remote-desktop
// session of mutter's that moves, presses, releases and types as told.
//   vistrel_mutterinput WIDTH HEIGHT [move X Y | down | up | key KEYSYM... | type TEXT | wait
//   MS]...
// Positions are in the stage's WIDTH×HEIGHT coordinates. `key` presses the keysyms (names as
// in XStringToKeysym: Escape, Control_L, 2) in order and releases them in reverse; `type` types
// plain ASCII text.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QThread>

#include <X11/keysym.h>

#include <cstdio>
#include <cstdlib>
#include <map>

namespace {

const QString service = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
const QString sessionInterface = QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session");

QString sessionPath;

bool call(const QString &method, const QVariantList &args = {})
{
    QDBusMessage m = QDBusMessage::createMethodCall(service, sessionPath, sessionInterface, method);
    m.setArguments(args);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(m);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        std::fprintf(stderr, "mutterinput: %s: %s\n", qPrintable(method),
                     qPrintable(reply.errorMessage()));
        return false;
    }
    return true;
}

uint keysymNamed(const QString &name)
{
    static const std::map<QString, uint> names{
        {QStringLiteral("Escape"), XK_Escape},   {QStringLiteral("Return"), XK_Return},
        {QStringLiteral("Shift_L"), XK_Shift_L}, {QStringLiteral("Control_L"), XK_Control_L},
        {QStringLiteral("Alt_L"), XK_Alt_L},     {QStringLiteral("Tab"), XK_Tab},
        {QStringLiteral("Super_L"), XK_Super_L},
    };
    if (auto it = names.find(name); it != names.end())
        return it->second;
    if (name.size() == 1 && name.at(0).unicode() < 0x80)
        return name.at(0).unicode(); // Latin-1 keysyms are their characters
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: vistrel_mutterinput WIDTH HEIGHT [move X Y | down | up | key "
                             "KEYSYM... | wait MS]...\n");
        return 2;
    }
    const double width = args.at(0).toDouble(), height = args.at(1).toDouble();
    const QDBusMessage created = QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall(service, QStringLiteral("/org/gnome/Mutter/RemoteDesktop"),
                                       service, QStringLiteral("CreateSession")));
    if (created.type() == QDBusMessage::ErrorMessage || created.arguments().isEmpty()) {
        std::fprintf(stderr, "mutterinput: no remote-desktop session: %s\n",
                     qPrintable(created.errorMessage()));
        return 1;
    }
    sessionPath = created.arguments().first().value<QDBusObjectPath>().path();
    if (!call(QStringLiteral("Start")))
        return 1;
    // The session's keyboard comes with its first key, and that key is lost: a harmless one.
    call(QStringLiteral("NotifyKeyboardKeysym"), {uint(XK_Shift_L), true});
    call(QStringLiteral("NotifyKeyboardKeysym"), {uint(XK_Shift_L), false});
    bool ok = true;
    for (int i = 2; i < args.size() && ok; ++i) {
        const QString &word = args.at(i);
        if (word == QLatin1String("move") && i + 2 < args.size()) {
            // Only relative motion without a screencast: from the bottom-right corner, since the
            // top-left one is GNOME's hot corner.
            const double x = args.at(++i).toDouble(), y = args.at(++i).toDouble();
            ok = call(QStringLiteral("NotifyPointerMotionRelative"), {width * 4, height * 4}) &&
                 call(QStringLiteral("NotifyPointerMotionRelative"),
                      {x - (width - 1), y - (height - 1)});
        } else if (word == QLatin1String("down") || word == QLatin1String("up")) {
            ok = call(QStringLiteral("NotifyPointerButton"),
                      {int(0x110), word == QLatin1String("down")});
        } else if (word == QLatin1String("wait") && i + 1 < args.size()) {
            QThread::msleep(args.at(++i).toULong());
        } else if (word == QLatin1String("key")) {
            QList<uint> keys;
            while (i + 1 < args.size() && keysymNamed(args.at(i + 1)))
                keys.append(keysymNamed(args.at(++i)));
            for (uint k : keys)
                ok = ok && call(QStringLiteral("NotifyKeyboardKeysym"), {k, true});
            for (auto it = keys.crbegin(); it != keys.crend(); ++it)
                ok = ok && call(QStringLiteral("NotifyKeyboardKeysym"), {*it, false});
        } else if (word == QLatin1String("type") && i + 1 < args.size()) {
            for (const QChar c : args.at(++i)) {
                ok = ok &&
                     call(QStringLiteral("NotifyKeyboardKeysym"), {uint(c.unicode()), true}) &&
                     call(QStringLiteral("NotifyKeyboardKeysym"), {uint(c.unicode()), false});
                QThread::msleep(10);
            }
        } else {
            std::fprintf(stderr, "mutterinput: cannot read \"%s\"\n", qPrintable(word));
            ok = false;
        }
        QThread::msleep(30); // let the compositor take each step in turn
    }
    call(QStringLiteral("Stop"));
    return ok ? 0 : 1;
}
