#include "platform/DesktopShortcuts.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

namespace vistrel {

namespace {

const QString mediaKeys = QStringLiteral("org.gnome.settings-daemon.plugins.media-keys");
const QString customSchema =
    QStringLiteral("org.gnome.settings-daemon.plugins.media-keys.custom-keybinding");
const QString customFolder =
    QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/");

// One gsettings call; its output, or the reason it failed.
bool gsettings(const QStringList &args, QString *output, QString *error)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    p.start(QStringLiteral("gsettings"), args);
    if (!p.waitForStarted(5000) || !p.waitForFinished(5000)) {
        p.kill();
        p.waitForFinished(1000);
        if (error)
            *error = QCoreApplication::translate("DesktopShortcuts", "gsettings did not run: %1")
                         .arg(p.errorString());
        return false;
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        if (error)
            *error = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
        return false;
    }
    if (output)
        *output = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    return true;
}

// A GVariant string, quoted as gsettings reads it.
QString quoted(const QString &text)
{
    QString out = text;
    out.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
        .replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + out + QLatin1Char('\'');
}

} // namespace

DesktopShortcuts::Desktop DesktopShortcuts::desktopFrom(const QString &currentDesktop)
{
    const QStringList names = currentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &name : names) {
        if (name.compare(QLatin1String("GNOME"), Qt::CaseInsensitive) == 0)
            return Desktop::Gnome;
        if (name.compare(QLatin1String("KDE"), Qt::CaseInsensitive) == 0)
            return Desktop::Kde;
        if (name.compare(QLatin1String("sway"), Qt::CaseInsensitive) == 0)
            return Desktop::Sway;
    }
    return Desktop::Other;
}

bool DesktopShortcuts::canSetUpGnome()
{
    if (QStandardPaths::findExecutable(QStringLiteral("gsettings")).isEmpty())
        return false;
    QString out;
    return gsettings({QStringLiteral("writable"), mediaKeys, QStringLiteral("custom-keybindings")},
                     &out, nullptr) &&
           out == QLatin1String("true");
}

QString DesktopShortcuts::gnomePath(const Binding &binding)
{
    return customFolder + QStringLiteral("vistrel-") + binding.id + QLatin1Char('/');
}

QStringList DesktopShortcuts::withGnomePaths(const QStringList &current,
                                             const QList<Binding> &bindings)
{
    QStringList out = current;
    for (const Binding &b : bindings)
        if (!out.contains(gnomePath(b)))
            out.append(gnomePath(b));
    return out;
}

bool DesktopShortcuts::setUpGnome(const QList<Binding> &bindings, QString *error)
{
    QString listed;
    if (!gsettings({QStringLiteral("get"), mediaKeys, QStringLiteral("custom-keybindings")},
                   &listed, error))
        return false;
    // "@as []" or "['/org/…/custom0/', …]": the paths are plain, quoted ASCII.
    QStringList current;
    static const QRegularExpression item(QStringLiteral("'([^']*)'"));
    for (auto it = item.globalMatch(listed); it.hasNext();)
        current.append(it.next().captured(1));
    for (const Binding &b : bindings) {
        const QString schema = customSchema + QLatin1Char(':') + gnomePath(b);
        for (const auto &[key, value] : {std::pair{QStringLiteral("name"), b.name},
                                         std::pair{QStringLiteral("command"), b.command},
                                         std::pair{QStringLiteral("binding"), b.keys}})
            if (!gsettings({QStringLiteral("set"), schema, key, quoted(value)}, nullptr, error))
                return false;
    }
    QStringList items;
    for (const QString &path : withGnomePaths(current, bindings))
        items.append(quoted(path));
    return gsettings({QStringLiteral("set"), mediaKeys, QStringLiteral("custom-keybindings"),
                      QLatin1Char('[') + items.join(QStringLiteral(", ")) + QLatin1Char(']')},
                     nullptr, error);
}

} // namespace vistrel
