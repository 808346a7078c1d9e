#pragma once

#include "platform/Desktop.h"
#include "platform/Result.h"

#include <QColor>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QImage>
#include <QObject>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>

class QDBusArgument;

namespace vistrel {

// A file chooser's filter as the portal speaks it: (name, [(0 glob | 1 MIME type, pattern)]).
struct PortalFilterRule
{
    uint kind = 0;
    QString pattern;
};

struct PortalFileFilter
{
    QString name;
    QList<PortalFilterRule> rules;
};

QDBusArgument &operator<<(QDBusArgument &arg, const PortalFilterRule &rule);
const QDBusArgument &operator>>(const QDBusArgument &arg, PortalFilterRule &rule);
QDBusArgument &operator<<(QDBusArgument &arg, const PortalFileFilter &filter);
const QDBusArgument &operator>>(const QDBusArgument &arg, PortalFileFilter &filter);

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
    // Every answer but a picture is a failure with its reason (how to allow screenshots again
    // after the user refused them).
    void screenshot(std::function<void(Result<QImage>)> done);
    static constexpr int screenshotTimeoutMs = 26000;
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
    // Whether the desktop offers its own file chooser to apps.
    void checkFileChooser(std::function<void(bool)> done);
    // The desktop's save dialog: the path chosen and which of the request's name filters was
    // chosen with it (empty when the desktop does not say); Cancelled when the user closed it.
    struct SaveAnswer
    {
        QString path;
        QString filter;
    };
    void saveFile(const QString &title, const SaveRequest &request,
                  std::function<void(Result<SaveAnswer>)> done);
    // Replaces every shortcut of this app; `done` gets the ids the desktop bound.
    void bindShortcuts(const QList<Shortcut> &shortcuts,
                       std::function<void(Result<QStringList>)> done);

    // The picture behind a screenshot's answer; the file the portal wrote is removed once
    // read, wherever it is.
    static Result<QImage> loadScreenshot(const QVariantMap &results);
    static Result<QColor> colorFrom(const QVariantMap &results);
    // "CTRL+SHIFT+2" for Ctrl+Shift+2: the trigger names of the shortcuts specification.
    static QString triggerFor(QKeyCombination combination);

signals:
    // One of this app's shortcuts was pressed.
    void shortcutActivated(const QString &id);

private slots:
    void portalShortcutActivated(const QDBusObjectPath &session, const QString &id,
                                 qulonglong timestamp, const QVariantMap &options);

public:
    using Answer = std::function<void(Result<QVariantMap>)>;
    // Calls `method` with `args` and an options map holding a fresh handle token, then waits
    // for its Response signal, for at most `timeoutMs` (the client's time limit when negative,
    // none when 0). The user closing the desktop's dialog is Cancelled.
    void request(const QString &interface, const QString &method, QVariantList args,
                 QVariantMap options, Answer done, int timeoutMs = -1,
                 const QString &timeoutText = {});
    QDBusConnection bus() const { return m_bus; }

private:
    void screenshotRefused(std::function<void(bool refused)> done);
    // The desktop's handle of the window in front ("x11:1c00007", "wayland:…"), empty where
    // none is known; a Wayland window's export is kept in `exported` for as long as needed.
    static QString parentHandle(std::shared_ptr<class WaylandWindowExport> *exported);
    static QString screenshotTurnedDown();
    static QString screenshotRefusedAdvice();
    void checkInterface(const QString &interface, std::function<void(bool)> done);
    void createShortcutSession(const QVariant &shortcuts,
                               std::function<void(Result<QString>)> done);
    // The ids of a shortcut list the desktop answered with that have keys.
    static QStringList boundIds(const QVariantMap &results);

    QDBusConnection m_bus;
    int m_timeoutMs = 120000;
    quint32 m_tokens = 0;
    QString m_shortcutSession;
    int m_sessions = 0;
    bool m_listening = false;
};

// Save dialogs from the desktop's own file chooser where its portal offers one (the user's
// places and bookmarks, and nothing of the file system read in our process); `fallback`, the
// toolkit's dialog, where it offers none or fails to show one.
class PortalSaveChooser : public QObject, public SaveChooser
{
    Q_OBJECT
public:
    PortalSaveChooser(PortalClient &portal, SaveChooser &fallback, QObject *parent = nullptr);
    void choose(const SaveRequest &request, std::function<void(QString path)> done) override;
    // Known once the desktop has answered whether it has a file chooser.
    std::optional<bool> offered() const { return m_offered; }

private:
    PortalClient &m_portal;
    SaveChooser &m_fallback;
    std::optional<bool> m_offered;
};

} // namespace vistrel

Q_DECLARE_METATYPE(vistrel::PortalFilterRule)
Q_DECLARE_METATYPE(vistrel::PortalFileFilter)
