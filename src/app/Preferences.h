#pragma once

#include "engines/SecretFinder.h"

#include <QHash>
#include <QKeySequence>
#include <QObject>
#include <QSettings>
#include <QString>
#include <QStringList>

namespace vistrel {

// The user's choices, kept in ~/.config/vistrel/vistrel.conf ($XDG_CONFIG_HOME honoured):
// the hot keys, where and how Save writes, smart names, the capture history, what Redact looks
// for, and notices already given. Start at login is the presence of
// an XDG autostart entry, not a stored value, so removing the entry by hand is respected.
class Preferences : public QObject
{
    Q_OBJECT
public:
    explicit Preferences(const QString &file = defaultFile(), QObject *parent = nullptr);

    static QString defaultFile();
    QString fileName() const { return m_settings.fileName(); }

    // The combination of a hot key of HotkeyManager's table; its default when none is stored,
    // the stored text is not a single usable combination, or it is stored for two actions.
    QKeySequence hotkey(quint32 id) const;
    // Every hot key so resolved, with what was wrong in the file.
    QHash<quint32, QKeySequence> resolvedHotkeys(QStringList *problems) const;
    static QKeySequence defaultHotkey(quint32 id);
    void setHotkey(quint32 id, const QKeySequence &keys);

    QString saveFolder() const; // the Pictures folder unless chosen; relative to the home folder
    void setSaveFolder(const QString &folder);
    bool saveWithoutAsking() const;
    void setSaveWithoutAsking(bool on);

    // VISTREL_SMART_NAMES, when set, decides ("0" off, anything else on); otherwise the stored
    // choice, on by default.
    bool smartNames() const;
    bool smartNamesFromEnvironment() const;
    void setSmartNames(bool on);

    // The capture history: on by default, up to 100 captures and 500 MB.
    bool historyEnabled() const;
    void setHistoryEnabled(bool on);
    int historyMaxEntries() const;
    void setHistoryMaxEntries(int entries);
    int historyMaxMegabytes() const;
    void setHistoryMaxMegabytes(int megabytes);
    static constexpr int historyEntriesLimit = 10000;
    static constexpr int historyMegabytesLimit = 100000;
    // What Redact looks for: every kind unless switched off, and the user's own words (names,
    // code names), kept as one comma-separated line.
    SecretRules redactionRules() const;
    void setRedactionKind(SecretKind kind, bool on);
    QString ownWords() const;
    void setOwnWords(const QString &commaSeparated);

    // Recording: a countdown of 3 s (0 to 10), 30 frames a second (or 60), the pointer shown,
    // clicks not marked, WebM.
    int recordingCountdown() const;
    void setRecordingCountdown(int seconds);
    static constexpr int recordingCountdownLimit = 10;
    int recordingFps() const;
    void setRecordingFps(int fps);
    bool recordingShowsPointer() const;
    void setRecordingShowsPointer(bool on);
    bool recordingMarksClicks() const;
    void setRecordingMarksClicks(bool on);
    // "webm", "mp4" or "gif".
    QString recordingFormat() const;
    void setRecordingFormat(const QString &extension);

    static QString autostartFile();
    bool startAtLogin() const;
    // Writes or removes the autostart entry; false with the reason when that fails.
    bool setStartAtLogin(bool on, QString *error = nullptr);
    // The program the entry starts: this binary.
    void setProgram(const QString &program) { m_program = program; }

    // True the first time it is asked for `notice`, ever: advice that is given once.
    bool firstTimeFor(const QString &notice);

    // What the file says that is read as its default instead (a yes-or-no that is neither, a
    // limit out of its range), for one message at start. Hot keys say theirs through
    // resolvedHotkeys().
    QStringList unreadSettings() const;

signals:
    void changed();

private:
    struct Limit
    {
        const char *key;
        int fallback;
        int most;
    };
    static const Limit historyEntries;
    static const Limit historyMegabytes;
    // Read through SettingsReader's rules: `fallback` for anything they do not accept.
    bool flag(const QString &key, bool fallback) const;
    int boundedNumber(const Limit &limit) const;
    void setBoundedNumber(const Limit &limit, int value);

    mutable QSettings m_settings;
    QString m_program;
};

} // namespace vistrel
