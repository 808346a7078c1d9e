#include "engines/ShareSettings.h"

#include "engines/ShareResponse.h"
#include "platform/Keyring.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QThread>

#include <memory>

namespace vistrel {

namespace {

const QString urlKey = QStringLiteral("share/url");
const QString inKeyringKey = QStringLiteral("share/tokenInKeyring");
const QString keyringName = QStringLiteral("upload");

std::optional<QString> trimmedFile(const QString &path)
{
    // Only a regular file: a FIFO put in its place would be waited on for ever.
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // Settings files are a line or two; a huge one is not ours.
    const QString text = QString::fromUtf8(file.read(64 * 1024)).trimmed();
    if (text.isEmpty())
        return std::nullopt;
    return text;
}

// Runs `work` on a thread of its own (the keyring may hold it for as long as a prompt is up,
// which must not take a worker from the shared pool), then `done` on `context`'s thread.
template <class T>
void later(std::function<T()> work, QObject *context, std::function<void(T)> done)
{
    auto result = std::make_shared<std::optional<T>>();
    QThread *worker = QThread::create([work = std::move(work), result] { *result = work(); });
    QObject::connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    QObject::connect(worker, &QThread::finished, context, [result, done = std::move(done)] {
        if (*result)
            done(std::move(**result));
    });
    worker->start();
}

} // namespace

ShareSettings::ShareSettings(QString settingsFile, Keyring *keyring, QString home)
    : m_settingsFile(std::move(settingsFile)), m_keyring(keyring), m_home(std::move(home))
{
}

ShareSettings::Address ShareSettings::address(bool withEnvironment) const
{
    const QString fromEnvironment = qEnvironmentVariable("VISTREL_UPLOAD_URL").trimmed();
    if (withEnvironment && !fromEnvironment.isEmpty())
        return {fromEnvironment, Source::Environment};
    if (!m_settingsFile.isEmpty()) {
        QSettings settings(m_settingsFile, QSettings::IniFormat);
        if (settings.contains(urlKey))
            return {settings.value(urlKey).toString().trimmed(), Source::Settings};
    }
    if (const auto fromFile = trimmedFile(urlFile()))
        return {*fromFile, Source::File};
    return {};
}

QString ShareSettings::insecureText()
{
    return QCoreApplication::translate(
        "ShareSettings",
        "Sharing needs an https:// address: http:// sends the token in the clear (only "
        "http://localhost is allowed)");
}

QString ShareSettings::problem(const QString &address)
{
    const QString text = address.trimmed();
    if (text.isEmpty())
        return {};
    const QUrl url(text, QUrl::StrictMode);
    if (ShareResponse::isAcceptableEndpoint(url))
        return {};
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("https") && scheme != QLatin1String("http")))
        return QCoreApplication::translate("ShareSettings",
                                           "Enter the whole address, starting with https://");
    if (!url.path().endsWith(QLatin1String("/api/upload")))
        return QCoreApplication::translate("ShareSettings", "The address must end in /api/upload");
    if (scheme == QLatin1String("http"))
        return insecureText();
    return QCoreApplication::translate("ShareSettings", "This address cannot be used for uploads");
}

bool ShareSettings::setAddress(const QString &address, QString *error) const
{
    if (m_settingsFile.isEmpty())
        return true;
    QSettings settings(m_settingsFile, QSettings::IniFormat);
    settings.setValue(urlKey, address.trimmed());
    settings.sync();
    if (settings.status() == QSettings::NoError)
        return true;
    if (error)
        *error =
            QCoreApplication::translate("ShareSettings", "Could not write %1.").arg(m_settingsFile);
    return false;
}

bool ShareSettings::tokenInKeyring() const
{
    if (m_settingsFile.isEmpty())
        return false;
    return QSettings(m_settingsFile, QSettings::IniFormat).value(inKeyringKey, false).toBool();
}

void ShareSettings::setTokenInKeyring(bool on) const
{
    if (m_settingsFile.isEmpty())
        return;
    QSettings settings(m_settingsFile, QSettings::IniFormat);
    if (on)
        settings.setValue(inKeyringKey, true);
    else
        settings.remove(inKeyringKey);
}

ShareSettings::Token ShareSettings::token() const
{
    const QByteArray fromEnvironment = qgetenv("VISTREL_UPLOAD_TOKEN");
    if (!fromEnvironment.isEmpty())
        return {QString::fromUtf8(fromEnvironment), Source::Environment, {}};
    Token token;
    // Only when we put it there: a keyring asked for nothing might prompt to be unlocked.
    if (m_keyring && tokenInKeyring()) {
        if (!m_keyring->running()) {
            token.keyringError =
                QCoreApplication::translate("ShareSettings", "no keyring is running");
        } else if (const auto found = m_keyring->lookup(keyringName); !found) {
            token.keyringError = found.error().errorDescription();
        } else if (*found && !(*found)->isEmpty()) {
            return {**found, Source::Keyring, {}};
        }
    }
    if (const auto fromFile = trimmedFile(tokenFile())) {
        token.text = *fromFile;
        token.source = Source::File;
    }
    return token;
}

QString ShareSettings::tokenProblem(const QString &token)
{
    // Line breaks or other control characters would end the header early or be refused by
    // the server.
    for (const QChar c : token) {
        if ((c.unicode() < 0x20 && c != QLatin1Char('\t')) || c.unicode() == 0x7f)
            return QCoreApplication::translate(
                "ShareSettings", "The token cannot hold line breaks or other control characters");
    }
    return {};
}

ShareSettings::Stored ShareSettings::storeToken(const QString &token) const
{
    const QString text = token.trimmed();
    Stored stored;
    if (text.isEmpty()) {
        stored.error = QCoreApplication::translate("ShareSettings", "The token is empty");
        return stored;
    }
    if (const QString why = tokenProblem(text); !why.isEmpty()) {
        stored.error = why;
        return stored;
    }
    if (places().next == Source::Keyring) {
        stored.keyringError = m_keyring->store(
            keyringName, QCoreApplication::translate("ShareSettings", "Vistrel upload token"),
            text);
        if (stored.keyringError.isEmpty()) {
            setTokenInKeyring(true);
            // The keyring holds it now; an older copy in a plain file goes.
            QFile::remove(tokenFile());
            stored.place = Source::Keyring;
            return stored;
        }
    }
    QString why;
    if (!writePrivateFile(tokenFile(), text.toUtf8() + '\n', &why)) {
        stored.error = why;
        return stored;
    }
    // The file holds the newest token: a keyring's older one must not win over it.
    setTokenInKeyring(false);
    stored.place = Source::File;
    return stored;
}

QString ShareSettings::forgetToken() const
{
    QString why;
    if (m_keyring && m_keyring->running())
        why = m_keyring->clear(keyringName);
    if (why.isEmpty())
        setTokenInKeyring(false);
    if (QFile::exists(tokenFile()) && !QFile::remove(tokenFile()))
        why = QCoreApplication::translate("ShareSettings", "Could not remove %1.").arg(tokenFile());
    return why;
}

ShareSettings::Places ShareSettings::places() const
{
    Places places;
    const bool keyring = m_keyring && !m_settingsFile.isEmpty() && m_keyring->running();
    if (keyring && tokenInKeyring())
        places.stored = Source::Keyring;
    else if (trimmedFile(tokenFile()))
        places.stored = Source::File;
    places.next = keyring ? Source::Keyring : Source::File;
    return places;
}

void ShareSettings::tokenLater(QObject *context, std::function<void(Token)> done) const
{
    later<Token>([copy = *this] { return copy.token(); }, context, std::move(done));
}

void ShareSettings::storeTokenLater(const QString &token, QObject *context,
                                    std::function<void(Stored)> done) const
{
    later<Stored>([copy = *this, token] { return copy.storeToken(token); }, context,
                  std::move(done));
}

void ShareSettings::forgetTokenLater(QObject *context, std::function<void(QString)> done) const
{
    later<QString>([copy = *this] { return copy.forgetToken(); }, context, std::move(done));
}

void ShareSettings::placesLater(QObject *context, std::function<void(Places)> done) const
{
    later<Places>([copy = *this] { return copy.places(); }, context, std::move(done));
}

QString ShareSettings::addressOverride()
{
    if (qEnvironmentVariable("VISTREL_UPLOAD_URL").trimmed().isEmpty())
        return {};
    return QCoreApplication::translate("ShareSettings",
                                       "VISTREL_UPLOAD_URL is set and overrides this");
}

QString ShareSettings::tokenOverride()
{
    if (qgetenv("VISTREL_UPLOAD_TOKEN").isEmpty())
        return {};
    return QCoreApplication::translate("ShareSettings",
                                       "VISTREL_UPLOAD_TOKEN is set and overrides this");
}

QString ShareSettings::placeText(const Places &places)
{
    const QString file = QStringLiteral("~/.vistrel/share-token");
    switch (places.stored) {
    case Source::Keyring:
        return QCoreApplication::translate("ShareSettings", "Stored in the keyring");
    case Source::File:
        return QCoreApplication::translate("ShareSettings", "Stored in %1 (only you can read it)")
            .arg(file);
    default:
        break;
    }
    if (places.next == Source::Keyring)
        return QCoreApplication::translate("ShareSettings", "Not set; the keyring will keep it");
    return QCoreApplication::translate("ShareSettings",
                                       "Not set; it will be kept in %1 (only you can read it)")
        .arg(file);
}

bool ShareSettings::writePrivateFile(const QString &path, const QByteArray &content, QString *error)
{
    constexpr auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo(folder).isDir() && !QDir().mkdir(folder, ownerOnly | QFileDevice::ExeOwner))
        return fail(QCoreApplication::translate("ShareSettings", "Could not create the folder %1.")
                        .arg(folder));
    // The folder is ours: only its owner may look in it, whoever made it.
    QFile::setPermissions(folder, ownerOnly | QFileDevice::ExeOwner);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(QCoreApplication::translate("ShareSettings", "Could not write %1: %2")
                        .arg(path, file.errorString()));
    // Before a byte of the secret is in it.
    if (!file.setPermissions(ownerOnly))
        return fail(
            QCoreApplication::translate("ShareSettings", "Could not make %1 private.").arg(path));
    if (file.write(content) != content.size() || !file.commit())
        return fail(QCoreApplication::translate("ShareSettings", "Could not write %1: %2")
                        .arg(path, file.errorString()));
    return true;
}

} // namespace vistrel
