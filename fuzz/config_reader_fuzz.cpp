// Feeds arbitrary bytes as the settings file. Whatever it says, every action gets one usable
// combination of its own, the save folder is an absolute path, and a limit is within its range.
#include "app/SettingsReader.h"

#include <QCoreApplication>
#include <QSet>
#include <QSettings>
#include <QTemporaryFile>

#include <cstdint>
#include <cstdlib>

using namespace vistrel;

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QTemporaryFile file;
    if (!file.open())
        return 0;
    file.write(reinterpret_cast<const char *>(data), qint64(size));
    file.close();
    QSettings settings(file.fileName(), QSettings::IniFormat);

    const QList<SettingsReader::HotkeyDefault> defaults = {
        {1, QKeySequence(QStringLiteral("Ctrl+Shift+2"))},
        {2, QKeySequence(QStringLiteral("Ctrl+Shift+1"))},
        {3, QKeySequence(QStringLiteral("Ctrl+Shift+9"))},
        {4, QKeySequence(QStringLiteral("Ctrl+Shift+8"))},
    };
    QStringList problems;
    const auto keys = SettingsReader::resolveHotkeys(
        defaults,
        [&settings](quint32 id) {
            return settings.value(QStringLiteral("hotkeys/%1").arg(id)).toString();
        },
        &problems);
    QSet<QKeySequence> distinct;
    for (const auto &row : defaults) {
        const QKeySequence k = keys.value(row.id);
        if (k.count() != 1 || k[0].key() == Qt::Key_unknown)
            std::abort();
        distinct.insert(k);
    }
    if (distinct.size() != defaults.size())
        std::abort();

    const QString folder = SettingsReader::resolveFolder(
        settings.value(QStringLiteral("save/folder")).toString(), QStringLiteral("/home/user"),
        QStringLiteral("/home/user/Pictures"));
    if (!folder.startsWith(QLatin1Char('/')))
        std::abort();

    for (const QString &key : settings.allKeys()) {
        const QVariant stored = settings.value(key);
        SettingsReader::flag(stored);
        SettingsReader::notAFlag(key, stored);
        if (const auto n = SettingsReader::number(stored, 1, 10000); n && (*n < 1 || *n > 10000))
            std::abort();
    }
    return 0;
}
