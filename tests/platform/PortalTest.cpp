#include "platform/PortalClient.h"
#include "platform/QtDesktop.h"
#include "platform/WaylandDesktop.h"

#include "PrivateBus.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

using namespace vistrel;
using vistrel::test::PrivateBus;

// A shortcut in the portal's answer: (id, properties).
struct BoundShortcut
{
    QString id;
    QVariantMap properties;
};

QDBusArgument &operator<<(QDBusArgument &arg, const BoundShortcut &s)
{
    arg.beginStructure();
    arg << s.id << s.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, BoundShortcut &s)
{
    arg.beginStructure();
    arg >> s.id >> s.properties;
    arg.endStructure();
    return arg;
}

Q_DECLARE_METATYPE(BoundShortcut)

namespace {

const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");

// The portal as a desktop provides it, answering each request the way a test sets.
class FakePortal : public QDBusVirtualObject
{
public:
    uint screenshotCode = 0; // 0 done, 1 cancelled by the user, 2 failed
    QString screenshotUri;
    bool answerRequests = true;
    bool offersShortcuts = true;
    bool offersFileChooser = true;
    uint saveCode = 0;
    QString savedUri;
    QVariant savedFilter;
    QVariantMap saveOptions;
    QVariant colour;
    int screenshots = 0;
    QStringList boundIds;
    bool bindsNothing = false; // answers success with an empty list, as KDE 5.27 does
    QString session;

    explicit FakePortal(QDBusConnection bus) : m_bus(bus)
    {
        qDBusRegisterMetaType<BoundShortcut>();
        qDBusRegisterMetaType<QList<BoundShortcut>>();
        m_bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
        m_bus.registerVirtualObject(portalPath, this);
    }

    QString introspect(const QString &) const override { return {}; }

    bool handleMessage(const QDBusMessage &call, const QDBusConnection &) override
    {
        const QString iface = call.interface(), method = call.member();
        const QVariantList args = call.arguments();
        if (iface == QLatin1String("org.freedesktop.DBus.Properties")) {
            const QString asked = args.value(0).toString();
            if ((offersShortcuts && asked.endsWith(QLatin1String("GlobalShortcuts"))) ||
                (offersFileChooser && asked.endsWith(QLatin1String("FileChooser"))))
                m_bus.send(call.createReply(QVariant::fromValue(QDBusVariant(uint(1)))));
            else
                m_bus.send(call.createErrorReply(QDBusError::UnknownInterface,
                                                 QStringLiteral("no such interface")));
            return true;
        }
        const QVariantMap options = qdbus_cast<QVariantMap>(args.last());
        const QString handle =
            QStringLiteral("%1/request/%2/%3")
                .arg(portalPath, call.service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_')),
                     options.value(QStringLiteral("handle_token")).toString());
        m_bus.send(call.createReply(QVariant::fromValue(QDBusObjectPath(handle))));
        if (!answerRequests)
            return true;
        uint code = 0;
        QVariantMap results;
        if (method == QLatin1String("Screenshot")) {
            ++screenshots;
            code = screenshotCode;
            results.insert(QStringLiteral("uri"), screenshotUri);
        } else if (method == QLatin1String("SaveFile")) {
            saveOptions = options;
            code = saveCode;
            results.insert(QStringLiteral("uris"), QStringList{savedUri});
            if (savedFilter.isValid())
                results.insert(QStringLiteral("current_filter"), savedFilter);
        } else if (method == QLatin1String("PickColor")) {
            results.insert(QStringLiteral("color"), colour);
        } else if (method == QLatin1String("CreateSession")) {
            session = QStringLiteral("%1/session/x/%2")
                          .arg(portalPath,
                               options.value(QStringLiteral("session_handle_token")).toString());
            results.insert(QStringLiteral("session_handle"), session);
        } else if (method == QLatin1String("BindShortcuts")) {
            boundIds.clear();
            QStringList bound;
            const QDBusArgument list = args.value(1).value<QDBusArgument>();
            list.beginArray();
            while (!list.atEnd()) {
                QString id;
                QVariantMap properties;
                list.beginStructure();
                list >> id >> properties;
                list.endStructure();
                boundIds.append(id + QLatin1Char('=') +
                                properties.value(QStringLiteral("preferred_trigger")).toString());
                if (!bindsNothing)
                    bound.append(id);
            }
            list.endArray();
            QList<BoundShortcut> answer;
            for (const QString &id : bound)
                answer.append({id, {}});
            results.insert(QStringLiteral("shortcuts"), QVariant::fromValue(answer));
        }
        // The answer comes later and to the caller alone, as a desktop's does.
        QDBusMessage response = QDBusMessage::createTargetedSignal(
            call.service(), handle, QStringLiteral("org.freedesktop.portal.Request"),
            QStringLiteral("Response"));
        response << code << results;
        QTimer::singleShot(5, [bus = m_bus, response]() mutable { bus.send(response); });
        return true;
    }

    void activate(const QString &sessionPath, const QString &id)
    {
        QDBusMessage signal = QDBusMessage::createSignal(
            portalPath, QStringLiteral("org.freedesktop.portal.GlobalShortcuts"),
            QStringLiteral("Activated"));
        signal << QVariant::fromValue(QDBusObjectPath(sessionPath)) << id << qulonglong(0)
               << QVariantMap();
        m_bus.send(signal);
    }

private:
    QDBusConnection m_bus;
};

// Where GNOME keeps the user's answer to "Allow Applications to Take Screenshots?".
class FakePermissionStore : public QDBusVirtualObject
{
public:
    QStringList screenshotAnswer; // for apps without an id of their own

    explicit FakePermissionStore(QDBusConnection bus) : m_bus(bus)
    {
        m_bus.registerService(QStringLiteral("org.freedesktop.impl.portal.PermissionStore"));
        m_bus.registerVirtualObject(QStringLiteral("/org/freedesktop/impl/portal/PermissionStore"),
                                    this);
    }
    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &call, const QDBusConnection &) override
    {
        if (call.member() != QLatin1String("Lookup") ||
            call.arguments().value(0) != QStringLiteral("screenshot"))
            return false;
        QMap<QString, QStringList> permissions;
        if (!screenshotAnswer.isEmpty())
            permissions.insert(QString(), screenshotAnswer);
        m_bus.send(call.createReply(
            {QVariant::fromValue(permissions), QVariant::fromValue(QDBusVariant(0))}));
        return true;
    }

private:
    QDBusConnection m_bus;
};

QVariant colourArgument(double r, double g, double b)
{
    QDBusArgument arg;
    arg.beginStructure();
    arg << r << g << b;
    arg.endStructure();
    return QVariant::fromValue(arg);
}

// Runs the event loop until `done` has been called, or gives up after `ms`.
template <class T>
std::optional<T> await(const std::function<void(std::function<void(T)>)> &start, int ms = 5000)
{
    auto out = std::make_shared<std::optional<T>>();
    start([out](T value) { *out = std::move(value); });
    (void)QTest::qWaitFor([out] { return out->has_value(); }, ms);
    return *out;
}

class Portal : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!bus.up())
            GTEST_SKIP() << "dbus-daemon is not installed";
        portal = std::make_unique<FakePortal>(bus.connect(QStringLiteral("portal")));
        client = std::make_unique<PortalClient>(bus.connect(QStringLiteral("app")));
    }

    // A picture where the portal leaves its screenshots: the temporary folder.
    QString pictureInTemp(QSize size, QColor fill)
    {
        QImage image(size, QImage::Format_ARGB32);
        image.fill(fill);
        const QString path = QDir::temp().filePath(
            QStringLiteral("vistrel-portal-test-%1.png").arg(QCoreApplication::applicationPid()));
        image.save(path);
        return path;
    }

    PrivateBus bus;
    std::unique_ptr<FakePortal> portal;
    std::unique_ptr<PortalClient> client;
};

} // namespace

TEST_F(Portal, ScreenshotAnswersArePictureCancelOrMessage)
{
    const QString path = pictureInTemp({40, 30}, QColor(10, 20, 30));
    portal->screenshotUri = QUrl::fromLocalFile(path).toString();
    auto shot = await<Result<QImage>>([&](auto done) { client->screenshot(done); });
    ASSERT_TRUE(shot && *shot) << qPrintable(shot->error().errorDescription());
    EXPECT_EQ((*shot)->size(), QSize(40, 30));
    EXPECT_EQ((*shot)->format(), QImage::Format_RGB32);
    EXPECT_EQ((*shot)->pixelColor(5, 5), QColor(10, 20, 30));
    // Left in the temporary folder, readable by every user: gone once read.
    EXPECT_FALSE(QFile::exists(path));

    // Turned down without a question (KDE's portal without ~/Pictures): a failure that says
    // so, never a silent cancel a script would take for success.
    portal->screenshotCode = 1;
    shot = await<Result<QImage>>([&](auto done) { client->screenshot(done); });
    ASSERT_TRUE(shot && !*shot);
    EXPECT_EQ(shot->error().kind(), CaptureError::Kind::Failed);
    EXPECT_TRUE(shot->error().errorDescription().contains(
        QLatin1String("turned the screenshot request down")));

    // Refused because the user once answered Deny: how to allow it again.
    portal->screenshotCode = 2;
    shot = await<Result<QImage>>([&](auto done) { client->screenshot(done); });
    ASSERT_TRUE(shot && !*shot);
    EXPECT_TRUE(shot->error().errorDescription().contains(QLatin1String("could not complete")));
    FakePermissionStore store(bus.connect(QStringLiteral("store")));
    store.screenshotAnswer = {QStringLiteral("no")};
    shot = await<Result<QImage>>([&](auto done) { client->screenshot(done); });
    ASSERT_TRUE(shot && !*shot);
    EXPECT_TRUE(shot->error().errorDescription().contains(QLatin1String("answered with Deny")))
        << qPrintable(shot->error().errorDescription());
    EXPECT_TRUE(shot->error().errorDescription().contains(
        QLatin1String("SetPermission screenshot true screenshot")));

    portal->screenshotCode = 0;
    portal->screenshotUri = QStringLiteral("https://example.org/shot.png");
    shot = await<Result<QImage>>([&](auto done) { client->screenshot(done); });
    ASSERT_TRUE(shot && !*shot);
    EXPECT_TRUE(shot->error().errorDescription().contains(QLatin1String("not a local file")));

    portal->screenshotUri = QUrl::fromLocalFile(QStringLiteral("/nonexistent/shot.png")).toString();
    shot = await<Result<QImage>>([&](auto done) { client->screenshot(done); });
    ASSERT_TRUE(shot && !*shot);
    EXPECT_TRUE(shot->error().errorDescription().contains(QLatin1String("/nonexistent/shot.png")));
}

// The desktop's copy of each capture goes wherever it was written (GNOME: the home folder;
// KDE: ~/Pictures), but nothing is removed through a link.
TEST_F(Portal, TheDesktopsCopyIsRemovedWhereverItIsButNeverThroughALink)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::green);
    const QString shot = home.filePath(QStringLiteral("Pictures/Screenshot_20261208_101010.png"));
    ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral("Pictures")) && image.save(shot));
    portal->screenshotUri = QUrl::fromLocalFile(shot).toString();
    auto answer = await<Result<QImage>>([&](auto done) { client->screenshot(done); });
    ASSERT_TRUE(answer && *answer);
    EXPECT_FALSE(QFile::exists(shot));

    const QString kept = home.filePath(QStringLiteral("mine.png"));
    const QString link = home.filePath(QStringLiteral("Screenshot.png"));
    ASSERT_TRUE(image.save(kept) && QFile::link(kept, link));
    portal->screenshotUri = QUrl::fromLocalFile(link).toString();
    answer = await<Result<QImage>>([&](auto done) { client->screenshot(done); });
    ASSERT_TRUE(answer && *answer);
    EXPECT_TRUE(QFile::exists(kept));
}

TEST_F(Portal, MissingOrSilentPortalIsReportedNotAwaitedForever)
{
    portal.reset();
    QDBusConnection::disconnectFromBus(QStringLiteral("portal"));
    auto shot = await<Result<QImage>>([&](auto done) { client->screenshot(done); });
    ASSERT_TRUE(shot && !*shot);
    EXPECT_TRUE(shot->error().errorDescription().contains(QLatin1String("xdg-desktop-portal")))
        << qPrintable(shot->error().errorDescription());
    EXPECT_EQ(await<bool>([&](auto done) { client->checkGlobalShortcuts(done); }), false);

    portal = std::make_unique<FakePortal>(bus.connect(QStringLiteral("portal2")));
    portal->answerRequests = false;
    client->setTimeout(300);
    shot = await<Result<QImage>>([&](auto done) { client->screenshot(done); });
    ASSERT_TRUE(shot && !*shot);
    EXPECT_TRUE(shot->error().errorDescription().contains(QLatin1String("did not answer")));
}

TEST_F(Portal, PickColorReadsTheColourOrSaysThereIsNone)
{
    portal->colour = colourArgument(1.0, 0.5, 0.0);
    auto colour = await<Result<QColor>>([&](auto done) { client->pickColor(done); });
    ASSERT_TRUE(colour && *colour) << qPrintable(colour->error().errorDescription());
    EXPECT_EQ((*colour)->red(), 255);
    EXPECT_NEAR((*colour)->green(), 128, 1);
    EXPECT_EQ((*colour)->blue(), 0);

    portal->colour = colourArgument(2.0, 0.0, 0.0); // out of range: not a colour
    colour = await<Result<QColor>>([&](auto done) { client->pickColor(done); });
    ASSERT_TRUE(colour && !*colour);
}

TEST_F(Portal, ShortcutsAreBoundTogetherAndOnlyOurSessionsPressesCount)
{
    QList<quint32> pressed;
    int toldToBindByHand = 0;
    WaylandHotkeys hotkeys(*client, [&](const QString &) { ++toldToBindByHand; });
    QObject::connect(&hotkeys, &GlobalHotkeys::pressed, [&](quint32 id) { pressed.append(id); });
    hotkeys.grab(1, 2);
    hotkeys.grabCombination(3, Qt::CTRL | Qt::ALT | Qt::Key_O);
    (void)QTest::qWaitFor([&] { return portal->boundIds.size() == 2; }, 5000);
    EXPECT_EQ(portal->boundIds, (QStringList{QStringLiteral("vistrel-hotkey-1=CTRL+SHIFT+2"),
                                             QStringLiteral("vistrel-hotkey-3=CTRL+ALT+o")}));
    // The first presses may come before the client has learnt who the portal is: pressed
    // again until one arrives, each time after a press in another app's session.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            portal->activate(QStringLiteral("/elsewhere"), QStringLiteral("vistrel-hotkey-1"));
            portal->activate(portal->session, QStringLiteral("vistrel-hotkey-3"));
            return !pressed.isEmpty();
        },
        5000));
    EXPECT_FALSE(pressed.contains(1));
    EXPECT_EQ(toldToBindByHand, 0);

    // A desktop that answers success and binds nothing: the user is told, with what happened.
    portal->bindsNothing = true;
    QString why;
    WaylandHotkeys unbound(*client, [&](const QString &reason) {
        ++toldToBindByHand;
        why = reason;
    });
    unbound.grab(1, 2);
    unbound.grab(2, 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return toldToBindByHand == 1; }, 5000));
    EXPECT_TRUE(why.contains(QLatin1String("bound 0 of 2"))) << qPrintable(why);
    toldToBindByHand = 0;

    // A desktop without the shortcuts portal: the user is told once, however often keys change.
    portal->offersShortcuts = false;
    WaylandHotkeys without(*client, [&](const QString &) { ++toldToBindByHand; });
    without.grab(1, 2);
    QTest::qWait(20);
    without.grab(2, 1);
    QTest::qWait(20);
    EXPECT_EQ(toldToBindByHand, 1);
}

TEST_F(Portal, EveryDisplayOfACaptureIsCutFromOnePicture)
{
    QScreen *screen = QGuiApplication::primaryScreen();
    ASSERT_TRUE(screen);
    const QSize size = (QSizeF(screen->geometry().size()) * screen->devicePixelRatio()).toSize();
    QImage desktop(size, QImage::Format_RGB32);
    desktop.fill(Qt::blue);
    desktop.setPixelColor(size.width() - 1, size.height() - 1, Qt::red);
    const QString path = QDir::temp().filePath(QStringLiteral("vistrel-portal-desktop.png"));
    desktop.save(path);
    portal->screenshotUri = QUrl::fromLocalFile(path).toString();

    WaylandScreenSource source(*client);
    const auto content = source.screenLayout();
    ASSERT_TRUE(content);
    EXPECT_TRUE(content->windows.isEmpty());
    const DisplayInfo display = content->displays.first();
    const auto whole = source.grabDisplayPixels(display, QRect(QPoint(0, 0), size));
    const auto corner =
        source.grabDisplayPixels(display, QRect(size.width() - 2, size.height() - 2, 2, 2));
    ASSERT_TRUE(whole && corner);
    EXPECT_EQ(whole->size(), size);
    EXPECT_EQ(corner->pixelColor(1, 1), QColor(Qt::red));
    EXPECT_EQ(portal->screenshots, 1);

    // The next capture asks again.
    desktop.save(path);
    ASSERT_TRUE(source.screenLayout());
    ASSERT_TRUE(source.grabDisplayPixels(display, QRect(0, 0, 4, 4)));
    EXPECT_EQ(portal->screenshots, 2);
    EXPECT_FALSE(source.grabWindowPixels(WindowInfo{}, {10, 10}));
}

// The picture is in the compositor's device pixels; the toolkit's geometry is not in the same
// units everywhere. Each display is measured against the picture.
TEST(WaylandDisplays, DisplaysAreMeasuredAgainstThePortalsPicture)
{
    // mutter at scale 2 lays screens out in device pixels: Qt reports 2560×1600 at ratio 2,
    // while windows get 1280×800.
    auto fitted = WaylandScreenSource::fitToPicture({{1, QRectF(0, 0, 2560, 1600), 2.0, {}}},
                                                    QSize(2560, 1600));
    EXPECT_EQ(fitted.first().frame, QRectF(0, 0, 1280, 800));
    EXPECT_EQ(fitted.first().scale, 2.0);
    // KWin at scale 2: logical geometry, a picture twice as large.
    fitted = WaylandScreenSource::fitToPicture({{1, QRectF(0, 0, 1280, 800), 2.0, {}}},
                                               QSize(2560, 1600));
    EXPECT_EQ(fitted.first().frame, QRectF(0, 0, 1280, 800));
    EXPECT_EQ(fitted.first().scale, 2.0);
    // A scale of 1.5 that the toolkit rounds up to 2: the picture says 1.5.
    fitted = WaylandScreenSource::fitToPicture({{1, QRectF(0, 0, 1280, 800), 2.0, {}}},
                                               QSize(1920, 1200));
    EXPECT_EQ(fitted.first().frame, QRectF(0, 0, 1280, 800));
    EXPECT_DOUBLE_EQ(fitted.first().scale, 1.5);

    // Two displays side by side at scale 2, each cut from its own place at the device size.
    fitted = WaylandScreenSource::fitToPicture(
        {{1, QRectF(0, 0, 100, 50), 2.0, {}}, {2, QRectF(100, 0, 100, 50), 2.0, {}}},
        QSize(400, 100));
    EXPECT_EQ(fitted.at(1).pixelOrigin, QPoint(200, 0));
    QImage desktop(400, 100, QImage::Format_RGB32);
    desktop.fill(Qt::white);
    for (int y = 0; y < 100; ++y)
        for (int x = 200; x < 400; ++x)
            desktop.setPixelColor(x, y, Qt::black);
    const auto l = WaylandScreenSource::cutDisplay(desktop, fitted.at(0), QRect(0, 0, 200, 100));
    const auto r = WaylandScreenSource::cutDisplay(desktop, fitted.at(1), QRect(0, 0, 200, 100));
    const auto part = WaylandScreenSource::cutDisplay(desktop, fitted.at(1), QRect(10, 10, 4, 4));
    ASSERT_TRUE(l && r && part);
    EXPECT_EQ(l->size(), QSize(200, 100));
    EXPECT_EQ(l->pixelColor(199, 99), QColor(Qt::white));
    EXPECT_EQ(r->pixelColor(0, 0), QColor(Qt::black));
    EXPECT_EQ(part->size(), QSize(4, 4));
}

TEST(WaylandDisplays, SessionTypeFollowsTheCompositorSocket)
{
    EXPECT_EQ(sessionTypeFrom(QStringLiteral("wayland"), QStringLiteral("wayland-0")),
              SessionType::Wayland);
    // A compositor started from a text console: the login says "tty".
    EXPECT_EQ(sessionTypeFrom(QStringLiteral("tty"), QStringLiteral("wayland-1")),
              SessionType::Wayland);
    EXPECT_EQ(sessionTypeFrom(QStringLiteral("x11"), QStringLiteral("wayland-1")),
              SessionType::X11);
    EXPECT_EQ(sessionTypeFrom(QStringLiteral("wayland"), QString()), SessionType::X11);
}

TEST_F(Portal, SaveDialogsComeFromTheDesktopsFileChooserWhereItHasOne)
{
    struct Fallback : SaveChooser
    {
        QList<SaveRequest> asked;
        void choose(const SaveRequest &request, std::function<void(QString)> done) override
        {
            asked.append(request);
            done(QStringLiteral("/fallback.png"));
        }
    } fallback;
    PortalSaveChooser chooser(*client, fallback);
    ASSERT_TRUE(QTest::qWaitFor([&] { return chooser.offered().has_value(); }, 5000));
    EXPECT_EQ(chooser.offered(), true);

    SaveRequest request{
        QStringLiteral("Vistrel 2026.png"),
        QStringLiteral("/home/u/Pictures"),
        {QStringLiteral("PNG image (*.png)"), QStringLiteral("JPEG image (*.jpg *.jpeg)")}};
    // The type chosen in the dialog gives a bare name its extension, as in ours.
    portal->savedUri = QStringLiteral("file:///home/u/Pictures/shot");
    portal->savedFilter = QVariant::fromValue(
        PortalFileFilter{QStringLiteral("JPEG image"), {{0, QStringLiteral("*.jpg")}}});
    auto path = await<QString>([&](auto done) { chooser.choose(request, done); });
    EXPECT_EQ(path, "/home/u/Pictures/shot.jpg");
    EXPECT_EQ(portal->saveOptions.value("current_name").toString(), request.suggestedName);
    EXPECT_EQ(portal->saveOptions.value("current_folder").toByteArray(),
              QByteArray("/home/u/Pictures\0", 17));
    const auto offered = qdbus_cast<QList<PortalFileFilter>>(portal->saveOptions.value("filters"));
    ASSERT_EQ(offered.size(), 2);
    EXPECT_EQ(offered[1].name, "JPEG image");
    ASSERT_EQ(offered[1].rules.size(), 2);
    EXPECT_EQ(offered[1].rules[1].pattern, "*.jpeg");

    // Closed by the user: nothing chosen, and not our dialog instead.
    portal->saveCode = 1;
    EXPECT_EQ(await<QString>([&](auto done) { chooser.choose(request, done); }), QString());
    EXPECT_TRUE(fallback.asked.isEmpty());
    // The desktop failed to show one: ours, with the same request, and from then on.
    portal->saveCode = 2;
    EXPECT_EQ(await<QString>([&](auto done) { chooser.choose(request, done); }), "/fallback.png");
    ASSERT_EQ(fallback.asked.size(), 1);
    EXPECT_EQ(fallback.asked[0].folder, request.folder);
    EXPECT_EQ(chooser.offered(), false);

    // A desktop without a file chooser: ours at once.
    portal->offersFileChooser = false;
    PortalSaveChooser without(*client, fallback);
    ASSERT_TRUE(QTest::qWaitFor([&] { return without.offered().has_value(); }, 5000));
    EXPECT_EQ(without.offered(), false);
}

// KDE Plasma matches shortcuts by the symbol the keys make, which depends on the layout.
TEST(WaylandHotkeyTriggers, ShiftedDigitsAreTheLayoutsSymbols)
{
    EXPECT_EQ(shiftedSymbolName(Qt::Key_2, QStringLiteral("us")), QStringLiteral("at"));
    EXPECT_EQ(shiftedSymbolName(Qt::Key_2, QStringLiteral("de")), QStringLiteral("quotedbl"));
    EXPECT_EQ(shiftedSymbolName(Qt::Key_9, QStringLiteral("us")), QStringLiteral("parenleft"));
    EXPECT_EQ(shiftedSymbolName(Qt::Key_F1, QStringLiteral("us")), QString());
}
