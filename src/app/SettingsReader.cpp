#include "app/SettingsReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QSet>

namespace vistrel::SettingsReader {

bool usableHotkey(QKeyCombination combination)
{
    const int key = int(combination.key());
    const bool functionKey =
        (key >= Qt::Key_F1 && key <= Qt::Key_F35) || key == Qt::Key_Print || key == Qt::Key_Pause;
    return key != Qt::Key_unknown &&
           ((combination.keyboardModifiers() &
             (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) ||
            functionKey);
}

QHash<quint32, QKeySequence> resolveHotkeys(const QList<HotkeyDefault> &defaults,
                                            const std::function<QString(quint32)> &storedText,
                                            QStringList *problems)
{
    const bool stored = bool(storedText);
    QHash<quint32, QKeySequence> keys;
    QHash<quint32, QKeySequence> fallback;
    for (const HotkeyDefault &row : defaults)
        fallback.insert(row.id, row.keys);
    QSet<quint32> fromFile; // ids whose combination comes from the file
    for (const HotkeyDefault &row : defaults) {
        const QString text = stored ? storedText(row.id) : QString();
        if (text.isEmpty()) {
            keys.insert(row.id, row.keys);
            continue;
        }
        const QKeySequence parsed = QKeySequence::fromString(text, QKeySequence::PortableText);
        if (parsed.count() != 1 || !usableHotkey(parsed[0])) {
            if (problems)
                problems->append(QCoreApplication::translate(
                                     "SettingsReader", "\"%1\" is not a hot key Vistrel can use")
                                     .arg(text.left(60)));
            keys.insert(row.id, row.keys);
            continue;
        }
        keys.insert(row.id, parsed);
        fromFile.insert(row.id);
    }
    // Two actions on one combination: the stored ones give way to their defaults, which may
    // in turn free or take another's, so repeat until the table is settled.
    for (bool changed = true; changed;) {
        changed = false;
        QHash<QKeySequence, QList<quint32>> owners;
        for (auto it = keys.cbegin(); it != keys.cend(); ++it)
            owners[it.value()].append(it.key());
        for (auto it = owners.cbegin(); it != owners.cend(); ++it) {
            if (it.value().size() < 2)
                continue;
            bool reverted = false;
            for (const quint32 id : it.value()) {
                if (fromFile.remove(id)) {
                    keys[id] = fallback.value(id);
                    reverted = changed = true;
                }
            }
            if (reverted && problems)
                problems->append(QCoreApplication::translate("SettingsReader",
                                                             "%1 is given to more than one action")
                                     .arg(it.key().toString(QKeySequence::NativeText)));
        }
    }
    return keys;
}

QString resolveFolder(const QString &stored, const QString &home, const QString &fallback)
{
    QString chosen = stored;
    // "~/Shots" or "Shots", written by hand, mean a folder in the home folder, not wherever
    // Vistrel happened to be started.
    if (chosen == QLatin1String("~") || chosen.startsWith(QLatin1String("~/")))
        chosen = home + chosen.mid(1);
    if (chosen.isEmpty())
        chosen = fallback.isEmpty() ? home : fallback;
    // Joined by hand: QDir takes a name that starts with ':' for one of the program's own
    // resources, and a folder ":Shots" would never be written to.
    if (!chosen.startsWith(QLatin1Char('/')))
        chosen = home + QLatin1Char('/') + chosen;
    return QDir::cleanPath(chosen);
}

std::optional<bool> flag(const QVariant &stored)
{
    if (stored.typeId() == QMetaType::Bool)
        return stored.toBool();
    const QString word = text(stored).trimmed().toLower();
    for (const char *yes : {"true", "yes", "on", "1"})
        if (word == QLatin1String(yes))
            return true;
    for (const char *no : {"false", "no", "off", "0"})
        if (word == QLatin1String(no))
            return false;
    return std::nullopt;
}

QString text(const QVariant &stored)
{
    if (stored.typeId() == QMetaType::QStringList)
        return stored.toStringList().join(QStringLiteral(", "));
    return stored.toString();
}

std::optional<int> number(const QVariant &stored, int least, int most)
{
    bool ok = false;
    const qlonglong n = text(stored).trimmed().toLongLong(&ok);
    if (!ok || n < least || n > most)
        return std::nullopt;
    return int(n);
}

namespace {

// "[history] enabled", as the line stands in the file.
QString placeOf(const QString &key)
{
    const qsizetype slash = key.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return key;
    return QStringLiteral("[%1] %2").arg(key.left(slash), key.mid(slash + 1));
}

} // namespace

QString notAFlag(const QString &key, const QVariant &stored)
{
    return QCoreApplication::translate("SettingsReader", "%1 = \"%2\" is neither on nor off")
        .arg(placeOf(key), text(stored).left(60));
}

QString notANumber(const QString &key, const QVariant &stored, int least, int most)
{
    return QCoreApplication::translate("SettingsReader",
                                       "%1 = \"%2\" is not a whole number from %3 to %4")
        .arg(placeOf(key), text(stored).left(60))
        .arg(least)
        .arg(most);
}

QString notOneOf(const QString &key, const QVariant &stored, const QStringList &choices)
{
    return QCoreApplication::translate("SettingsReader", "%1 = \"%2\" is not one of %3")
        .arg(placeOf(key), text(stored).left(60), choices.join(QStringLiteral(", ")));
}

} // namespace vistrel::SettingsReader
