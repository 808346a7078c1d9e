#pragma once

#include <QHash>
#include <QKeySequence>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <optional>

namespace vistrel {

// The rules for what the settings file says, apart from where it is kept: a file edited by
// hand (or damaged) never gives two actions one key, a key nobody can press, or a folder that
// depends on where Vistrel was started.
namespace SettingsReader {

struct HotkeyDefault
{
    quint32 id;
    QKeySequence keys;
};

// Whether a combination may be a hot key: with Ctrl, Alt or Super, or a function key; a plain
// letter would be taken from every program the user types in.
bool usableHotkey(QKeyCombination combination);

// Every action's combination: the stored text when it is one usable combination (with Ctrl,
// Alt or Super, or a function key) given to no other action, the default otherwise; what was
// wrong is added to `problems`. `stored` gives the text kept for an id (empty: none).
QHash<quint32, QKeySequence> resolveHotkeys(const QList<HotkeyDefault> &defaults,
                                            const std::function<QString(quint32)> &stored,
                                            QStringList *problems);

// The absolute save folder for what is stored: "~/x" and relative names are in `home`; an
// empty text gives `fallback`.
QString resolveFolder(const QString &stored, const QString &home, const QString &fallback);

// A yes-or-no as a person writes it: true/false, yes/no, on/off, 1/0 in any case; nothing
// for anything else, so the caller keeps its default rather than guessing.
std::optional<bool> flag(const QVariant &stored);

// A line of text whether it was written quoted or not: an unquoted "a, b" reaches us as a list.
QString text(const QVariant &stored);

// A whole number from `least` to `most`; nothing when missing, not a number or outside, so a
// slip such as 0 gives the default rather than the nearest extreme.
std::optional<int> number(const QVariant &stored, int least, int most);

// What was wrong with a stored value, for the one message at start. `key` is "group/name".
QString notAFlag(const QString &key, const QVariant &stored);
QString notANumber(const QString &key, const QVariant &stored, int least, int most);
QString notOneOf(const QString &key, const QVariant &stored, const QStringList &choices);

} // namespace SettingsReader

} // namespace vistrel
