#pragma once

#include "platform/Result.h"

#include <QColor>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QImage>
#include <QObject>
#include <QVariantMap>

#include <functional>

namespace vistrel {

// The desktop portal (org.freedesktop.portal.Desktop): screen pictures, colour picks and
// global shortcuts where an app may not read the screen or grab keys itself (Wayland).
// Every call is a request the desktop answers later, perhaps after asking the user.
class PortalClient : public QObject
{
    Q_OBJECT
public:
    explicit PortalClient(const QDBusConnection &bus = QDBusConnection::sessionBus(),
                          QObject *parent = nullptr);
    ~PortalClient() override;

    // How long a request may go unanswered; the desktop may ask the user first.
    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }

    // A picture of the whole desktop, without asking the user where the desktop allows it.
    // A refusal by the user is a Cancelled error.
    void screenshot(std::function<void(Result<QImage>)> done);
    // The colour of a pixel the user picks with the desktop's own picker.
    void pickColor(std::function<void(Result<QColor>)> done);

    struct Shortcut
    {
        QString id;
        QString description;
        QString preferredTrigger; // e.g. "CTRL+SHIFT+2"
    };
    // Whether the desktop offers global shortcuts to apps at all.
    void checkGlobalShortcuts(std::function<void(bool)> done);
    // Replaces every shortcut of this app; `done` gets the ids the desktop bound.
    void bindShortcuts(const QList<Shortcut> &shortcuts, std::function<void(Result<QStringList>)> done);
    std::function<void(const QString &id)> onShortcutActivated;

    // The picture behind a screenshot's answer; a picture the portal left in the temporary
    // folder is removed once read (it is readable by every user there).
    static Result<QImage> loadScreenshot(const QVariantMap &results);
    static Result<QColor> colorFrom(const QVariantMap &results);
    // "CTRL+SHIFT+2" for Ctrl+Shift+2: the trigger names of the shortcuts specification.
    static QString triggerFor(QKeyCombination combination);

private slots:
    void shortcutActivated(const QDBusObjectPath &session, const QString &id, qulonglong timestamp,
                           const QVariantMap &options);

private:
    using Answer = std::function<void(Result<QVariantMap>)>;
    // Calls `method` with `args` and an options map holding a fresh handle token, then waits
    // for the request's Response signal.
    void request(const QString &interface, const QString &method, QVariantList args,
                 QVariantMap options, Answer done);
    void createShortcutSession(std::function<void(Result<QString>)> done);

    QDBusConnection m_bus;
    int m_timeoutMs = 120000;
    quint32 m_tokens = 0;
    QString m_shortcutSession;
    bool m_listening = false;
};

} // namespace vistrel
