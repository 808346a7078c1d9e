#include "platform/PortalClient.h"

#include "platform/PictureFile.h"
#include "platform/WaylandExport.h"

#include "platform/QtDesktop.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QKeySequence>
#include <QPointer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <algorithm>
#include <cmath>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString screenshotInterface = QStringLiteral("org.freedesktop.portal.Screenshot");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString fileChooserInterface = QStringLiteral("org.freedesktop.portal.FileChooser");

// One entry of the shortcut list the portal speaks: (id, properties).
struct ShortcutEntry
{
    QString id;
    QVariantMap properties;
};

QDBusArgument &operator<<(QDBusArgument &arg, const ShortcutEntry &entry)
{
    arg.beginStructure();
    arg << entry.id << entry.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, ShortcutEntry &entry)
{
    arg.beginStructure();
    arg >> entry.id >> entry.properties;
    arg.endStructure();
    return arg;
}

} // namespace

Q_DECLARE_METATYPE(ShortcutEntry)

namespace vistrel {

QDBusArgument &operator<<(QDBusArgument &arg, const PortalFilterRule &rule)
{
    arg.beginStructure();
    arg << rule.kind << rule.pattern;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, PortalFilterRule &rule)
{
    arg.beginStructure();
    arg >> rule.kind >> rule.pattern;
    arg.endStructure();
    return arg;
}

QDBusArgument &operator<<(QDBusArgument &arg, const PortalFileFilter &filter)
{
    arg.beginStructure();
    arg << filter.name << filter.rules;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, PortalFileFilter &filter)
{
    arg.beginStructure();
    arg >> filter.name >> filter.rules;
    arg.endStructure();
    return arg;
}

namespace {

QString featureOf(const QString &interface)
{
    if (interface == screenshotInterface)
        return QCoreApplication::translate("PortalClient", "screenshot");
    if (interface == shortcutsInterface)
        return QCoreApplication::translate("PortalClient", "global shortcuts");
    if (interface == fileChooserInterface)
        return QCoreApplication::translate("PortalClient", "file chooser");
    if (interface == QLatin1String("org.freedesktop.portal.ScreenCast"))
        return QCoreApplication::translate("PortalClient", "screen recording");
    return interface.section(QLatin1Char('.'), -1);
}

CaptureError portalError(const QDBusError &error, const QString &interface)
{
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::UnknownObject:
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownMethod:
        return CaptureError::failed(
            QCoreApplication::translate(
                "PortalClient",
                "This desktop has no %1 portal (%2). Install xdg-desktop-portal and "
                "your desktop's portal backend (xdg-desktop-portal-gnome, -kde or -wlr).")
                .arg(featureOf(interface), interface));
    case QDBusError::AccessDenied:
        return CaptureError::cancelled();
    default:
        return CaptureError::failed(
            QCoreApplication::translate("PortalClient",
                                        "The desktop portal refused the %1 request: %2")
                .arg(featureOf(interface), error.message()));
    }
}

// One request in flight: it ends with the Response signal on its handle, a failed call, or
// the time limit, whichever comes first, and reports exactly once.
class PendingRequest : public QObject
{
    Q_OBJECT
public:
    PendingRequest(const QDBusConnection &bus, QString feature,
                   std::function<void(Result<QVariantMap>)> done, QObject *parent)
        : QObject(parent), m_bus(bus), m_feature(std::move(feature)), m_done(std::move(done))
    {
    }

    void watch(const QString &handle)
    {
        if (handle == m_handle)
            return;
        unwatch();
        m_handle = handle;
        m_bus.connect(portalService, m_handle, requestInterface, QStringLiteral("Response"), this,
                      SLOT(response(uint, QVariantMap)));
    }

    void expireAfter(int ms, QString why)
    {
        QTimer::singleShot(ms, this, [this, ms, why] {
            if (!m_handle.isEmpty()) // tell the desktop to take its dialog down
                m_bus.asyncCall(QDBusMessage::createMethodCall(
                    portalService, m_handle, requestInterface, QStringLiteral("Close")));
            finish(CaptureError::failed(
                !why.isEmpty() ? why
                               : QCoreApplication::translate(
                                     "PortalClient", "The desktop did not answer the %1 request "
                                                     "within %2 s.")
                                     .arg(m_feature)
                                     .arg(ms / 1000)));
        });
    }

    void finish(Result<QVariantMap> result)
    {
        if (!m_done)
            return;
        auto done = std::move(m_done);
        m_done = nullptr;
        unwatch();
        deleteLater();
        done(std::move(result));
    }

public slots:
    void response(uint code, const QVariantMap &results)
    {
        switch (code) {
        case 0:
            finish(results);
            break;
        case 1:
            finish(CaptureError::cancelled());
            break;
        default:
            finish(CaptureError::failed(
                QCoreApplication::translate("PortalClient",
                                            "The desktop could not complete the %1 request.")
                    .arg(m_feature)));
        }
    }

private:
    void unwatch()
    {
        if (!m_handle.isEmpty())
            m_bus.disconnect(portalService, m_handle, requestInterface, QStringLiteral("Response"),
                             this, SLOT(response(uint, QVariantMap)));
    }

    QDBusConnection m_bus;
    QString m_feature;
    QString m_handle;
    std::function<void(Result<QVariantMap>)> m_done;
};

QString handleText(const QVariant &value)
{
    if (value.userType() == qMetaTypeId<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}

} // namespace

PortalClient::PortalClient(const QDBusConnection &bus, QObject *parent)
    : QObject(parent), m_bus(bus)
{
    // Signals are matched to slots by type names: the path's must be known before the first
    // connection, not only once a reply has carried one.
    qRegisterMetaType<QDBusObjectPath>();
    qDBusRegisterMetaType<ShortcutEntry>();
    qDBusRegisterMetaType<QList<ShortcutEntry>>();
    qDBusRegisterMetaType<PortalFilterRule>();
    qDBusRegisterMetaType<QList<PortalFilterRule>>();
    qDBusRegisterMetaType<PortalFileFilter>();
    qDBusRegisterMetaType<QList<PortalFileFilter>>();
    qDBusRegisterMetaType<QMap<QString, QStringList>>();
}

PortalClient::~PortalClient()
{
    if (!m_shortcutSession.isEmpty())
        m_bus.asyncCall(QDBusMessage::createMethodCall(
            portalService, m_shortcutSession, QStringLiteral("org.freedesktop.portal.Session"),
            QStringLiteral("Close")));
}

void PortalClient::request(const QString &interface, const QString &method, QVariantList args,
                           QVariantMap options, Answer done, int timeoutMs,
                           const QString &timeoutText)
{
    // The handle is known before the call, so the answer cannot arrive before we listen.
    const QString token =
        QStringLiteral("vistrel%1_%2").arg(++m_tokens).arg(QRandomGenerator::global()->generate());
    options.insert(QStringLiteral("handle_token"), token);
    QString sender = m_bus.baseService();
    sender.remove(0, sender.startsWith(QLatin1Char(':')) ? 1 : 0)
        .replace(QLatin1Char('.'), QLatin1Char('_'));
    auto *pending = new PendingRequest(m_bus, featureOf(interface), std::move(done), this);
    pending->watch(QStringLiteral("%1/request/%2/%3").arg(portalPath, sender, token));
    if (timeoutMs != 0)
        pending->expireAfter(timeoutMs < 0 ? m_timeoutMs : timeoutMs, timeoutText);

    QDBusMessage call =
        QDBusMessage::createMethodCall(portalService, portalPath, interface, method);
    args.append(options);
    call.setArguments(args);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, m_timeoutMs), pending);
    connect(watcher, &QDBusPendingCallWatcher::finished, pending,
            [pending, interface](QDBusPendingCallWatcher *w) {
                w->deleteLater();
                const QDBusPendingReply<QDBusObjectPath> reply = *w;
                if (reply.isError())
                    pending->finish(portalError(reply.error(), interface));
                else // older portals pick their own handle
                    pending->watch(reply.value().path());
            });
}

void PortalClient::screenshot(std::function<void(Result<QImage>)> done)
{
    QVariantMap options{{QStringLiteral("interactive"), false}, {QStringLiteral("modal"), false}};
    // The portal itself gives up on a question left unanswered after D-Bus's 25 s and never
    // replies: waiting longer only delays the message.
    const int limit = std::min(m_timeoutMs, screenshotTimeoutMs);
    const QString late =
        QCoreApplication::translate(
            "PortalClient",
            "The desktop did not answer the screenshot request within %1 s. If it asked whether "
            "Vistrel may take screenshots, answer its question sooner and try again.")
            .arg(limit / 1000);
    QPointer<PortalClient> self(this);
    request(
        screenshotInterface, QStringLiteral("Screenshot"), {QString()}, options,
        [self, done = std::move(done)](Result<QVariantMap> answer) {
            if (answer)
                return done(loadScreenshot(*answer));
            if (answer.error().kind() == CaptureError::Kind::Cancelled) // nobody was asked
                return done(CaptureError::failed(screenshotTurnedDown()));
            if (!self || answer.error().kind() != CaptureError::Kind::Failed)
                return done(answer.error());
            // A refusal the desktop remembers: say so, and how to undo it.
            self->screenshotRefused([done, error = answer.error()](bool refused) {
                done(refused ? CaptureError::failed(screenshotRefusedAdvice()) : error);
            });
        },
        limit, late);
}

QString PortalClient::screenshotTurnedDown()
{
    return QCoreApplication::translate(
               "PortalClient",
               "The desktop turned the screenshot request down without asking. Some desktops do "
               "this "
               "when they cannot save their picture first: KDE Plasma saves it in the folder %1, "
               "which must exist.")
        .arg(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
}

QString PortalClient::screenshotRefusedAdvice()
{
    return QCoreApplication::translate(
        "PortalClient",
        "The desktop does not let Vistrel take screenshots: its question \"Allow Applications to "
        "Take Screenshots?\" was answered with Deny. To allow it again, run:\n\n"
        "gdbus call --session --dest org.freedesktop.impl.portal.PermissionStore "
        "--object-path /org/freedesktop/impl/portal/PermissionStore "
        "--method org.freedesktop.impl.portal.PermissionStore.SetPermission "
        "screenshot true screenshot '' \"['yes']\"");
}

void PortalClient::screenshotRefused(std::function<void(bool)> done)
{
    // Where the desktop keeps the answer to its question, for apps without an id of their own.
    QDBusMessage lookup = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.impl.portal.PermissionStore"),
        QStringLiteral("/org/freedesktop/impl/portal/PermissionStore"),
        QStringLiteral("org.freedesktop.impl.portal.PermissionStore"), QStringLiteral("Lookup"));
    lookup << QStringLiteral("screenshot") << QStringLiteral("screenshot");
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(lookup, 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [done = std::move(done)](QDBusPendingCallWatcher *w) {
                w->deleteLater();
                const QDBusMessage reply = w->reply();
                if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
                    return done(false);
                const auto permissions = qdbus_cast<QMap<QString, QStringList>>(
                    reply.arguments().first().value<QDBusArgument>());
                done(permissions.value(QString()).contains(QStringLiteral("no")));
            });
}

void PortalClient::pickColor(std::function<void(Result<QColor>)> done)
{
    request(screenshotInterface, QStringLiteral("PickColor"), {QString()}, {},
            [done = std::move(done)](Result<QVariantMap> answer) {
                if (!answer)
                    done(answer.error());
                else
                    done(colorFrom(*answer));
            });
}

Result<QImage> PortalClient::loadScreenshot(const QVariantMap &results)
{
    const QUrl url(results.value(QStringLiteral("uri")).toString());
    if (!url.isLocalFile())
        return CaptureError::failed(
            QCoreApplication::translate("PortalClient",
                                        "The desktop's screenshot is not a local file (\"%1\").")
                .arg(url.toString()));
    const QString path = url.toLocalFile();
    // Never waited on: a FIFO or a device where the screenshot should be is refused at once.
    QFile input;
    QString why;
    QImageReader reader;
    if (openRegularFile(path, input, &why))
        reader.setDevice(&input);
    QImage image = reader.device() ? reader.read() : QImage();
    if (why.isEmpty())
        why = reader.errorString();
    // The desktop's copy goes wherever it was written (the temporary folder, the home folder,
    // ~/Pictures): nothing of a capture stays on disk but what the user saves. Only the file
    // the answer names, never one a link there points to.
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode))
        ::unlink(QFile::encodeName(path).constData());
    if (image.isNull())
        return CaptureError::failed(
            QCoreApplication::translate("PortalClient",
                                        "Cannot read the desktop's screenshot %1: %2")
                .arg(path, why));
    // A screen has no transparency; the rest of the capture path works on opaque pixels.
    if (image.format() != QImage::Format_RGB32)
        image = image.convertToFormat(QImage::Format_RGB32);
    if (image.isNull())
        return CaptureError::outOfMemory();
    return image;
}

Result<QColor> PortalClient::colorFrom(const QVariantMap &results)
{
    const QVariant value = results.value(QStringLiteral("color"));
    if (value.userType() == qMetaTypeId<QDBusArgument>()) {
        const QDBusArgument arg = value.value<QDBusArgument>();
        if (arg.currentType() == QDBusArgument::StructureType) {
            double rgb[3] = {-1, -1, -1};
            arg.beginStructure();
            for (double &c : rgb)
                if (!arg.atEnd())
                    arg >> c;
            arg.endStructure();
            if (std::all_of(std::begin(rgb), std::end(rgb),
                            [](double c) { return c >= 0 && c <= 1; }))
                return QColor::fromRgbF(float(rgb[0]), float(rgb[1]), float(rgb[2]));
        }
    }
    return CaptureError::failed(QCoreApplication::translate(
        "PortalClient", "The desktop answered the colour pick without a colour."));
}

QString PortalClient::triggerFor(QKeyCombination combination)
{
    QStringList parts;
    const Qt::KeyboardModifiers mods = combination.keyboardModifiers();
    if (mods & Qt::ControlModifier)
        parts << QStringLiteral("CTRL");
    if (mods & Qt::AltModifier)
        parts << QStringLiteral("ALT");
    if (mods & Qt::ShiftModifier)
        parts << QStringLiteral("SHIFT");
    if (mods & Qt::MetaModifier)
        parts << QStringLiteral("LOGO");
    const int key = int(combination.key());
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z))
        parts << QString(QChar(key)).toLower();
    else
        parts << QKeySequence(combination.key()).toString(QKeySequence::PortableText);
    return parts.join(QLatin1Char('+'));
}

void PortalClient::checkGlobalShortcuts(std::function<void(bool)> done)
{
    checkInterface(shortcutsInterface, std::move(done));
}

void PortalClient::checkFileChooser(std::function<void(bool)> done)
{
    checkInterface(fileChooserInterface, std::move(done));
}

void PortalClient::saveFile(const QString &title, const SaveRequest &asked,
                            std::function<void(Result<SaveAnswer>)> done)
{
    // "PNG image (*.png)" → ("PNG image", [(0, "*.png")]); the name maps back to the filter.
    static const QRegularExpression filterPattern(QStringLiteral("^(.*?)\\s*\\(([^()]*)\\)$"));
    QList<PortalFileFilter> filters;
    QHash<QString, QString> filterNamed;
    for (const QString &text : asked.nameFilters) {
        const auto match = filterPattern.match(text);
        PortalFileFilter filter{match.hasMatch() ? match.captured(1) : text, {}};
        const QString globs = match.hasMatch() ? match.captured(2) : QStringLiteral("*");
        for (const QString &glob : globs.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            filter.rules.append({0, glob});
        filterNamed.insert(filter.name, text);
        filters.append(filter);
    }
    QVariantMap options{{QStringLiteral("current_name"), asked.suggestedName}};
    // The folder as the portal wants it: bytes of the path with a closing NUL.
    if (!asked.folder.isEmpty())
        options.insert(QStringLiteral("current_folder"), QFile::encodeName(asked.folder) + '\0');
    if (!filters.isEmpty()) {
        options.insert(QStringLiteral("filters"), QVariant::fromValue(filters));
        options.insert(QStringLiteral("current_filter"), QVariant::fromValue(filters.first()));
    }
    // The user takes as long as they like over a save dialog: no time limit.
    std::shared_ptr<WaylandWindowExport> exported;
    const QString parent = parentHandle(&exported);
    // Over the window it saves from, as a save dialog is (GNOME centres only a modal one).
    options.insert(QStringLiteral("modal"), !parent.isEmpty());
    request(
        fileChooserInterface, QStringLiteral("SaveFile"), {parent, title}, options,
        [done = std::move(done), filterNamed, exported](Result<QVariantMap> answer) {
            if (!answer)
                return done(answer.error());
            const QStringList uris = answer->value(QStringLiteral("uris")).toStringList();
            const QUrl url(uris.value(0));
            if (!url.isLocalFile())
                return done(CaptureError::failed(
                    QCoreApplication::translate(
                        "PortalClient",
                        "The desktop's file chooser answered with no local file (\"%1\").")
                        .arg(url.toString())));
            SaveAnswer chosen{url.toLocalFile(), {}};
            const QVariant filter = answer->value(QStringLiteral("current_filter"));
            if (filter.userType() == qMetaTypeId<QDBusArgument>())
                chosen.filter = filterNamed.value(qdbus_cast<PortalFileFilter>(filter).name);
            done(chosen);
        },
        0);
}

QString PortalClient::parentHandle(std::shared_ptr<WaylandWindowExport> *exported)
{
    // The window the dialog belongs to, so the desktop opens it over that window: an X11
    // window's id, or a Wayland window exported for as long as the dialog is up.
    QWindow *window = QGuiApplication::focusWindow();
    if (!window)
        return {};
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        return QStringLiteral("x11:%1").arg(window->winId(), 0, 16);
    if (auto made = WaylandWindowExport::of(window)) {
        *exported = made;
        return QStringLiteral("wayland:") + made->handle();
    }
    return {};
}

void PortalClient::checkInterface(const QString &interface, std::function<void(bool)> done)
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        portalService, portalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get.setArguments({interface, QStringLiteral("version")});
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(get, 10000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [done = std::move(done)](QDBusPendingCallWatcher *w) {
                w->deleteLater();
                done(!w->isError());
            });
}

void PortalClient::createShortcutSession(const QVariant &shortcuts,
                                         std::function<void(Result<QString>)> done)
{
    // KDE Plasma names the shortcuts' group after the token: the same one at every start keeps
    // one group of Vistrel's in its settings, not one more each time. It binds the shortcuts
    // named here, where other desktops wait for BindShortcuts.
    const QString token = m_sessions++ == 0 ? QStringLiteral("vistrel")
                                            : QStringLiteral("vistrel_%1").arg(m_sessions);
    QVariantMap options{{QStringLiteral("session_handle_token"), token},
                        {QStringLiteral("shortcuts"), shortcuts}};
    request(shortcutsInterface, QStringLiteral("CreateSession"), {}, options,
            [done = std::move(done)](Result<QVariantMap> answer) {
                if (!answer)
                    return done(answer.error());
                const QString session = handleText(answer->value(QStringLiteral("session_handle")));
                if (session.isEmpty())
                    return done(CaptureError::failed(QCoreApplication::translate(
                        "PortalClient", "The desktop opened no global shortcuts session.")));
                done(session);
            });
}

QStringList PortalClient::boundIds(const QVariantMap &results)
{
    QStringList bound;
    const QVariant list = results.value(QStringLiteral("shortcuts"));
    if (list.userType() == qMetaTypeId<QDBusArgument>())
        for (const ShortcutEntry &e : qdbus_cast<QList<ShortcutEntry>>(list)) {
            // A shortcut the desktop lists without keys (taken by another) is not bound.
            const auto keys = e.properties.constFind(QStringLiteral("trigger_description"));
            if (keys == e.properties.cend() || !keys->toString().isEmpty())
                bound.append(e.id);
        }
    return bound;
}

void PortalClient::bindShortcuts(const QList<Shortcut> &shortcuts,
                                 std::function<void(Result<QStringList>)> done)
{
    if (!m_listening) {
        m_listening = m_bus.connect(
            portalService, portalPath, shortcutsInterface, QStringLiteral("Activated"), this,
            SLOT(portalShortcutActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    }
    // A fresh session for every set: a session binds its shortcuts once.
    if (!m_shortcutSession.isEmpty())
        m_bus.asyncCall(QDBusMessage::createMethodCall(
            portalService, m_shortcutSession, QStringLiteral("org.freedesktop.portal.Session"),
            QStringLiteral("Close")));
    m_shortcutSession.clear();
    QList<ShortcutEntry> entries;
    QStringList asked;
    for (const Shortcut &s : shortcuts) {
        entries.append({s.id,
                        {{QStringLiteral("description"), s.description},
                         {QStringLiteral("preferred_trigger"), s.preferredTrigger}}});
        asked.append(s.id);
    }
    QPointer<PortalClient> self(this);
    createShortcutSession(
        QVariant::fromValue(entries),
        [self, entries, asked, done = std::move(done)](Result<QString> session) mutable {
            if (!self)
                return;
            if (!session)
                return done(session.error());
            self->m_shortcutSession = *session;
            const QVariant sessionPath = QVariant::fromValue(QDBusObjectPath(*session));
            // Bound with the session already (KDE Plasma 5.27, whose BindShortcuts would open its
            // system settings instead): nothing more to ask.
            self->request(
                shortcutsInterface, QStringLiteral("ListShortcuts"), {sessionPath}, {},
                [self, entries, asked, sessionPath,
                 done = std::move(done)](Result<QVariantMap> listed) mutable {
                    if (!self)
                        return;
                    if (listed) {
                        const QStringList bound = boundIds(*listed);
                        if (std::all_of(asked.cbegin(), asked.cend(),
                                        [&](const QString &id) { return bound.contains(id); }))
                            return done(bound);
                    }
                    const QVariantList args{sessionPath, QVariant::fromValue(entries), QString()};
                    self->request(shortcutsInterface, QStringLiteral("BindShortcuts"), args, {},
                                  [done = std::move(done)](Result<QVariantMap> answer) {
                                      if (!answer)
                                          return done(answer.error());
                                      done(boundIds(*answer));
                                  });
                },
                10000);
        });
}

void PortalClient::portalShortcutActivated(const QDBusObjectPath &session, const QString &id,
                                           qulonglong, const QVariantMap &)
{
    if (session.path() == m_shortcutSession)
        emit shortcutActivated(id);
}

} // namespace vistrel

#include "PortalClient.moc"

namespace vistrel {

PortalSaveChooser::PortalSaveChooser(PortalClient &portal, SaveChooser &fallback, QObject *parent)
    : QObject(parent), m_portal(portal), m_fallback(fallback)
{
    QPointer<PortalSaveChooser> self(this);
    m_portal.checkFileChooser([self](bool offered) {
        if (self)
            self->m_offered = offered;
    });
}

void PortalSaveChooser::choose(const SaveRequest &request, std::function<void(QString)> done)
{
    if (m_offered != true)
        return m_fallback.choose(request, std::move(done));
    QPointer<PortalSaveChooser> self(this);
    m_portal.saveFile(QCoreApplication::translate("QtSaveChooser", "Save"), request,
                      [self, request, done](Result<PortalClient::SaveAnswer> answer) {
                          if (answer)
                              return done(QtSaveChooser::withTypeExtension(
                                  answer->path, request.nameFilters, answer->filter));
                          if (answer.error().kind() == CaptureError::Kind::Cancelled || !self)
                              return done(QString());
                          // The desktop could not show its dialog: ours, so the picture is
                          // not lost, and it is not asked again.
                          qWarning("vistrel: %s", qPrintable(answer.error().errorDescription()));
                          self->m_offered = false;
                          self->m_fallback.choose(request, done);
                      });
}

} // namespace vistrel
