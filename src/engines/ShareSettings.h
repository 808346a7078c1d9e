#pragma once

#include <QDir>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

namespace vistrel {

class Keyring;

// Where Share finds its upload address and token, and where Preferences keeps them. The first
// place that has one wins:
//   address: VISTREL_UPLOAD_URL, the settings file's share/url, ~/.vistrel/share-url
//   token:   VISTREL_UPLOAD_TOKEN, the keyring (when the settings say it holds the token and
//            a keyring runs), ~/.vistrel/share-token
// A copy is cheap and may go to a worker thread. Calls that may touch the keyring block (the
// Secret Service can prompt to unlock); each has a "Later" form that runs on a worker thread.
class ShareSettings
{
public:
    enum class Source { None, Environment, Settings, Keyring, File };

    // Without a settings file only the environment and the files in `home` count; without a
    // keyring tokens go to the file.
    ShareSettings(QString settingsFile, Keyring *keyring, QString home = QDir::homePath());

    QString urlFile() const { return m_home + QStringLiteral("/.vistrel/share-url"); }
    QString tokenFile() const { return m_home + QStringLiteral("/.vistrel/share-token"); }

    // --- the address -------------------------------------------------------------------------
    struct Address
    {
        QString text; // trimmed; empty when none is set
        Source source = Source::None;
    };
    // Without the environment: what Preferences shows and changes.
    Address address(bool withEnvironment = true) const;
    // What is wrong with an address for uploads, said for the user; empty when it can be used
    // or is empty.
    static QString problem(const QString &address);
    // The address in the settings, where it wins over ~/.vistrel/share-url; an empty one
    // means none, whatever that file says. False, with why, when the settings cannot be written.
    bool setAddress(const QString &address, QString *error = nullptr) const;

    // --- the token ---------------------------------------------------------------------------
    struct Token
    {
        std::optional<QString> text;
        Source source = Source::None;
        QString keyringError; // the keyring was to hold it but could not be asked
    };
    // Blocks on the keyring when it holds the token.
    Token token() const;
    // What keeps a token from going in an Authorization header; empty when it can.
    static QString tokenProblem(const QString &token);

    struct Stored
    {
        Source place = Source::None; // Keyring or File when stored; None when it failed
        QString error;               // why it failed
        QString keyringError;        // why the keyring did not take it, when the file did
    };
    // Keeps a new token (trimmed): in the keyring when one runs, else (or when it refuses) in
    // ~/.vistrel/share-token, 0600 in a 0700 folder. A token in the keyring replaces the file.
    Stored storeToken(const QString &token) const;
    // Forgets the stored token, in the keyring and the file; an empty string when done.
    QString forgetToken() const;

    // Where the stored token is (the environment aside), and where a new one would go; blocks
    // on asking the session bus whether a keyring runs.
    struct Places
    {
        Source stored = Source::None;
        Source next = Source::File;
    };
    Places places() const;

    // The same off the GUI thread; `done` runs on `context`'s thread unless it is gone.
    void tokenLater(QObject *context, std::function<void(Token)> done) const;
    void storeTokenLater(const QString &token, QObject *context,
                         std::function<void(Stored)> done) const;
    void forgetTokenLater(QObject *context, std::function<void(QString)> done) const;
    void placesLater(QObject *context, std::function<void(Places)> done) const;

    // --- what the user is told ---------------------------------------------------------------
    static QString insecureText();
    // "VISTREL_UPLOAD_URL is set and overrides this"; empty when it is not set.
    static QString addressOverride();
    static QString tokenOverride();
    // Where the token is kept, or would be: "Stored in the keyring"...
    static QString placeText(const Places &places);

    // Writes `content` to `path` readable by the owner only, in a folder only the owner can
    // enter (made so when missing), replacing the file whole or not at all.
    static bool writePrivateFile(const QString &path, const QByteArray &content, QString *error);

private:
    bool tokenInKeyring() const;
    void setTokenInKeyring(bool on) const;

    QString m_settingsFile;
    Keyring *m_keyring;
    QString m_home;
};

} // namespace vistrel
