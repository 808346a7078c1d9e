#include "app/Preferences.h"

#include "app/HotkeyManager.h"
#include "app/SettingsReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace vistrel {

namespace {

QString configHome()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

QString hotkeyKey(quint32 id)
{
    return QStringLiteral("hotkeys/%1").arg(id);
}

QString redactionKey(SecretKind kind)
{
    return QStringLiteral("redaction/") + SecretFinder::settingsName(kind);
}

// Quoted for the Exec key of a desktop entry.
QString execQuoted(const QString &program)
{
    QString quoted = program;
    for (const char *c : {"\\", "\"", "`", "$"})
        quoted.replace(QLatin1String(c), QStringLiteral("\\") + QLatin1String(c));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// The settings file as QSettings may open it: one that is there but is no regular file (a
// FIFO would hold the app on its first read for ever) is not read; the defaults are used, and
// nothing is written over it.
QString readableSettings(const QString &file)
{
    const QFileInfo info(file);
    if (!info.exists() || info.isFile())
        return file;
    qWarning("vistrel: %s is not a regular file; the default preferences are used",
             qPrintable(file));
    return QString();
}

} // namespace

Preferences::Preferences(const QString &file, QObject *parent)
    : QObject(parent), m_settings(readableSettings(file), QSettings::IniFormat),
      m_program(QCoreApplication::instance() ? QCoreApplication::applicationFilePath()
                                             : QStringLiteral("vistrel"))
{
}

QString Preferences::defaultFile()
{
    return configHome() + QStringLiteral("/vistrel/vistrel.conf");
}

QKeySequence Preferences::defaultHotkey(quint32 id)
{
    for (const auto &row : HotkeyManager::table())
        if (row.id == id)
            return QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key(Qt::Key_0 + row.digit));
    return {};
}

QKeySequence Preferences::hotkey(quint32 id) const
{
    return resolvedHotkeys(nullptr).value(id, defaultHotkey(id));
}

QHash<quint32, QKeySequence> Preferences::resolvedHotkeys(QStringList *problems) const
{
    QList<SettingsReader::HotkeyDefault> defaults;
    for (const auto &row : HotkeyManager::table())
        defaults.append({row.id, defaultHotkey(row.id)});
    return SettingsReader::resolveHotkeys(
        defaults,
        [this](quint32 id) { return SettingsReader::text(m_settings.value(hotkeyKey(id))); },
        problems);
}

void Preferences::setHotkey(quint32 id, const QKeySequence &keys)
{
    if (keys == defaultHotkey(id))
        m_settings.remove(hotkeyKey(id));
    else
        m_settings.setValue(hotkeyKey(id), keys.toString(QKeySequence::PortableText));
    m_settings.sync();
    emit changed();
}

QString Preferences::saveFolder() const
{
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return SettingsReader::resolveFolder(
        SettingsReader::text(m_settings.value(QStringLiteral("save/folder"))), QDir::homePath(),
        pictures);
}

void Preferences::setSaveFolder(const QString &folder)
{
    m_settings.setValue(QStringLiteral("save/folder"), folder);
    m_settings.sync();
    emit changed();
}

bool Preferences::saveWithoutAsking() const
{
    return flag(QStringLiteral("save/withoutAsking"), false);
}

void Preferences::setSaveWithoutAsking(bool on)
{
    m_settings.setValue(QStringLiteral("save/withoutAsking"), on);
    m_settings.sync();
    emit changed();
}

bool Preferences::smartNamesFromEnvironment() const
{
    return qEnvironmentVariableIsSet("VISTREL_SMART_NAMES");
}

bool Preferences::smartNames() const
{
    if (smartNamesFromEnvironment())
        return qEnvironmentVariable("VISTREL_SMART_NAMES").trimmed() != QLatin1String("0");
    return flag(QStringLiteral("naming/smartNames"), true);
}

void Preferences::setSmartNames(bool on)
{
    m_settings.setValue(QStringLiteral("naming/smartNames"), on);
    m_settings.sync();
    emit changed();
}

bool Preferences::historyEnabled() const
{
    return flag(QStringLiteral("history/enabled"), true);
}

void Preferences::setHistoryEnabled(bool on)
{
    m_settings.setValue(QStringLiteral("history/enabled"), on);
    m_settings.sync();
    emit changed();
}

const Preferences::Limit Preferences::historyEntries{"history/maxCaptures", 100,
                                                     historyEntriesLimit};
const Preferences::Limit Preferences::historyMegabytes{"history/maxMegabytes", 500,
                                                       historyMegabytesLimit};

bool Preferences::flag(const QString &key, bool fallback) const
{
    return SettingsReader::flag(m_settings.value(key)).value_or(fallback);
}

int Preferences::boundedNumber(const Limit &limit) const
{
    return SettingsReader::number(m_settings.value(QLatin1String(limit.key)), 1, limit.most)
        .value_or(limit.fallback);
}

void Preferences::setBoundedNumber(const Limit &limit, int value)
{
    m_settings.setValue(QLatin1String(limit.key), std::clamp(value, 1, limit.most));
    m_settings.sync();
    emit changed();
}

int Preferences::historyMaxEntries() const
{
    return boundedNumber(historyEntries);
}

void Preferences::setHistoryMaxEntries(int entries)
{
    setBoundedNumber(historyEntries, entries);
}

int Preferences::historyMaxMegabytes() const
{
    return boundedNumber(historyMegabytes);
}

void Preferences::setHistoryMaxMegabytes(int megabytes)
{
    setBoundedNumber(historyMegabytes, megabytes);
}

SecretRules Preferences::redactionRules() const
{
    SecretRules rules;
    for (SecretKind kind : SecretFinder::allKinds())
        if (!flag(redactionKey(kind), true))
            rules.off.insert(kind);
    for (const QString &word : ownWords().split(QLatin1Char(',')))
        if (!word.trimmed().isEmpty())
            rules.ownWords << word.trimmed();
    return rules;
}

void Preferences::setRedactionKind(SecretKind kind, bool on)
{
    m_settings.setValue(redactionKey(kind), on);
    m_settings.sync();
    emit changed();
}

QString Preferences::ownWords() const
{
    return SettingsReader::text(m_settings.value(QStringLiteral("redaction/ownWordList")));
}

void Preferences::setOwnWords(const QString &commaSeparated)
{
    m_settings.setValue(QStringLiteral("redaction/ownWordList"), commaSeparated.trimmed());
    m_settings.sync();
    emit changed();
}

int Preferences::recordingCountdown() const
{
    return SettingsReader::number(m_settings.value(QStringLiteral("recording/countdownSeconds")), 0,
                                  recordingCountdownLimit)
        .value_or(3);
}

void Preferences::setRecordingCountdown(int seconds)
{
    m_settings.setValue(QStringLiteral("recording/countdownSeconds"),
                        std::clamp(seconds, 0, recordingCountdownLimit));
    m_settings.sync();
    emit changed();
}

int Preferences::recordingFps() const
{
    return SettingsReader::number(m_settings.value(QStringLiteral("recording/fps")), 30, 60)
                       .value_or(30) == 60
               ? 60
               : 30;
}

void Preferences::setRecordingFps(int fps)
{
    m_settings.setValue(QStringLiteral("recording/fps"), fps == 60 ? 60 : 30);
    m_settings.sync();
    emit changed();
}

bool Preferences::recordingShowsPointer() const
{
    return flag(QStringLiteral("recording/showPointer"), true);
}

void Preferences::setRecordingShowsPointer(bool on)
{
    m_settings.setValue(QStringLiteral("recording/showPointer"), on);
    m_settings.sync();
    emit changed();
}

bool Preferences::recordingMarksClicks() const
{
    return flag(QStringLiteral("recording/markClicks"), false);
}

void Preferences::setRecordingMarksClicks(bool on)
{
    m_settings.setValue(QStringLiteral("recording/markClicks"), on);
    m_settings.sync();
    emit changed();
}

namespace {

const QStringList recordingFormats{QStringLiteral("webm"), QStringLiteral("mp4"),
                                   QStringLiteral("gif")};

} // namespace

QString Preferences::recordingFormat() const
{
    const QString stored =
        SettingsReader::text(m_settings.value(QStringLiteral("recording/format")))
            .trimmed()
            .toLower();
    return recordingFormats.contains(stored) ? stored : recordingFormats.first();
}

void Preferences::setRecordingFormat(const QString &extension)
{
    m_settings.setValue(QStringLiteral("recording/format"), recordingFormats.contains(extension)
                                                                ? extension
                                                                : recordingFormats.first());
    m_settings.sync();
    emit changed();
}

QString Preferences::autostartFile()
{
    return configHome() + QStringLiteral("/autostart/io.vistrel.Vistrel.desktop");
}

bool Preferences::startAtLogin() const
{
    return QFile::exists(autostartFile());
}

bool Preferences::setStartAtLogin(bool on, QString *error)
{
    const QString path = autostartFile();
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!on) {
        if (QFile::exists(path) && !QFile::remove(path))
            return fail(tr("Could not remove %1.").arg(path));
        emit changed();
        return true;
    }
    if (!QDir().mkpath(QFileInfo(path).path()))
        return fail(tr("Could not create the folder %1.").arg(QFileInfo(path).path()));
    QSaveFile file(path);
    const QByteArray entry = QStringLiteral("[Desktop Entry]\n"
                                            "Type=Application\n"
                                            "Name=Vistrel\n"
                                            "Comment=Capture, annotate and share screenshots\n"
                                            "Exec=%1\n"
                                            "Icon=io.vistrel.Vistrel\n"
                                            "Terminal=false\n"
                                            "X-GNOME-Autostart-enabled=true\n")
                                 .arg(execQuoted(m_program))
                                 .toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(entry) != entry.size() || !file.commit())
        return fail(tr("Could not write %1: %2").arg(path, file.errorString()));
    emit changed();
    return true;
}

bool Preferences::firstTimeFor(const QString &notice)
{
    const QString key = QStringLiteral("notices/") + notice;
    if (flag(key, false))
        return false;
    m_settings.setValue(key, true);
    m_settings.sync();
    return true;
}

QStringList Preferences::unreadSettings() const
{
    QStringList flags{QStringLiteral("save/withoutAsking"), QStringLiteral("naming/smartNames"),
                      QStringLiteral("history/enabled"), QStringLiteral("recording/showPointer"),
                      QStringLiteral("recording/markClicks")};
    for (SecretKind kind : SecretFinder::allKinds())
        flags << redactionKey(kind);
    QStringList problems;
    for (const QString &key : flags) {
        const QVariant stored = m_settings.value(key);
        if (stored.isValid() && !SettingsReader::flag(stored))
            problems << SettingsReader::notAFlag(key, stored);
    }
    for (const Limit &limit : {historyEntries, historyMegabytes}) {
        const QVariant stored = m_settings.value(QLatin1String(limit.key));
        if (stored.isValid() && !SettingsReader::number(stored, 1, limit.most))
            problems << SettingsReader::notANumber(QLatin1String(limit.key), stored, 1, limit.most);
    }
    const QVariant countdown = m_settings.value(QStringLiteral("recording/countdownSeconds"));
    if (countdown.isValid() && !SettingsReader::number(countdown, 0, recordingCountdownLimit))
        problems << SettingsReader::notANumber(QStringLiteral("recording/countdownSeconds"),
                                               countdown, 0, recordingCountdownLimit);
    const QVariant fps = m_settings.value(QStringLiteral("recording/fps"));
    if (fps.isValid() && SettingsReader::number(fps, 30, 60).value_or(0) % 30 != 0)
        problems << SettingsReader::notOneOf(QStringLiteral("recording/fps"), fps,
                                             {QStringLiteral("30"), QStringLiteral("60")});
    const QVariant format = m_settings.value(QStringLiteral("recording/format"));
    if (format.isValid() &&
        !recordingFormats.contains(SettingsReader::text(format).trimmed().toLower()))
        problems << SettingsReader::notOneOf(QStringLiteral("recording/format"), format,
                                             recordingFormats);
    return problems;
}

} // namespace vistrel
