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
    QString session;

    explicit FakePortal(QDBusConnection bus) : m_bus(bus)
    {
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
                m_bus.send(call.createErrorReply(QDBusError::UnknownInterface, QStringLiteral("no such interface")));
            return true;
        }
        const QVariantMap options = qdbus_cast<QVariantMap>(args.last());
        const QString handle = QStringLiteral("%1/request/%2/%3")
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
                          .arg(portalPath, options.value(QStringLiteral("session_handle_token")).toString());
            results.insert(QStringLiteral("session_handle"), session);
        } else if (method == QLatin1String("BindShortcuts")) {
            boundIds.clear();
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
            }
            list.endArray();
        }
        // The answer comes later and to the caller alone, as a desktop's does.
        QDBusMessage response = QDBusMessage::createTargetedSignal(
            call.service(), handle, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        response << code << results;
        QTimer::singleShot(5, [bus = m_bus, response]() mutable { bus.send(response); });
        return true;
    }

    void activate(const QString &sessionPath, const QString &id)
    {
        QDBusMessage signal = QDBusMessage::createSignal(portalPath, QStringLiteral("org.freedesktop.portal.GlobalShortcuts"),
                                                         QStringLiteral("Activated"));
        signal << QVariant::fromValue(QDBusObjectPath(sessionPath)) << id << qulonglong(0) << QVariantMap();
        m_bus.send(signal);
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
        const QString path = QDir::temp().filePath(QStringLiteral("vistrel-portal-test-%1.png").arg(QCoreApplication::applicationPid()));
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

    portal->screenshotCode = 1;
    shot = await<Result<QImage>>([&](auto done) { client->screenshot(done); });
    ASSERT_TRUE(shot && !*shot);
    EXPECT_EQ(shot->error().kind(), CaptureError::Kind::Cancelled);

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
    WaylandHotkeys hotkeys(*client, [&] { ++toldToBindByHand; });
    hotkeys.onPressed = [&](quint32 id) { pressed.append(id); };
    hotkeys.grab(1, 2);
    hotkeys.grabCombination(3, Qt::CTRL | Qt::ALT | Qt::Key_O);
    (void)QTest::qWaitFor([&] { return portal->boundIds.size() == 2; }, 5000);
    EXPECT_EQ(portal->boundIds,
              (QStringList{QStringLiteral("vistrel-hotkey-1=CTRL+SHIFT+2"), QStringLiteral("vistrel-hotkey-3=CTRL+ALT+o")}));
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

    // A desktop without the shortcuts portal: the user is told once, however often keys change.
    portal->offersShortcuts = false;
    WaylandHotkeys without(*client, [&] { ++toldToBindByHand; });
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
    const auto whole = source.grabDisplayPixels(display, QRect(QPoint(0, 0), size), {});
    const auto corner = source.grabDisplayPixels(display, QRect(size.width() - 2, size.height() - 2, 2, 2), {});
    ASSERT_TRUE(whole && corner);
    EXPECT_EQ(whole->size(), size);
    EXPECT_EQ(corner->pixelColor(1, 1), QColor(Qt::red));
    EXPECT_EQ(portal->screenshots, 1);

    // The next capture asks again.
    desktop.save(path);
    ASSERT_TRUE(source.screenLayout());
    ASSERT_TRUE(source.grabDisplayPixels(display, QRect(0, 0, 4, 4), {}));
    EXPECT_EQ(portal->screenshots, 2);
    EXPECT_FALSE(source.grabWindowPixels(WindowInfo{}, {10, 10}));
}

// Two displays side by side, the right one at twice the density, in one picture: each display
// gets its own part, at its own pixel size, whichever pixels the portal answered in.
TEST(WaylandDisplays, DisplaysAreCutAtTheirOwnPlaceAndSize)
{
    DisplayInfo left{1, QRectF(0, 0, 100, 50), 1.0, {}};
    DisplayInfo right{2, QRectF(100, 0, 100, 50), 2.0, {}};
    const QList<DisplayInfo> both{left, right};
    QImage logical(200, 50, QImage::Format_RGB32); // a portal answering in logical pixels
    logical.fill(Qt::white);
    for (int y = 0; y < 50; ++y)
        for (int x = 100; x < 200; ++x)
            logical.setPixelColor(x, y, Qt::black);
    const auto l = WaylandScreenSource::cutDisplay(logical, both, left, QRect(0, 0, 100, 50));
    const auto r = WaylandScreenSource::cutDisplay(logical, both, right, QRect(0, 0, 200, 100));
    ASSERT_TRUE(l && r);
    EXPECT_EQ(l->size(), QSize(100, 50));
    EXPECT_EQ(l->pixelColor(99, 49), QColor(Qt::white));
    EXPECT_EQ(r->size(), QSize(200, 100));
    EXPECT_EQ(r->pixelColor(0, 0), QColor(Qt::black));
    EXPECT_EQ(r->pixelColor(199, 99), QColor(Qt::black));

    EXPECT_EQ(WaylandScreenSource::displayRectIn(both, right, QSize(400, 100)), QRect(200, 0, 200, 100));
}

TEST(WaylandDisplays, SessionTypeFollowsTheCompositorSocket)
{
    EXPECT_EQ(sessionTypeFrom(QStringLiteral("wayland"), QStringLiteral("wayland-0")), SessionType::Wayland);
    // A compositor started from a text console: the login says "tty".
    EXPECT_EQ(sessionTypeFrom(QStringLiteral("tty"), QStringLiteral("wayland-1")), SessionType::Wayland);
    EXPECT_EQ(sessionTypeFrom(QStringLiteral("x11"), QStringLiteral("wayland-1")), SessionType::X11);
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

    SaveRequest request{QStringLiteral("Vistrel 2026.png"), QStringLiteral("/home/u/Pictures"),
                        {QStringLiteral("PNG image (*.png)"), QStringLiteral("JPEG image (*.jpg *.jpeg)")}};
    // The type chosen in the dialog gives a bare name its extension, as in ours.
    portal->savedUri = QStringLiteral("file:///home/u/Pictures/shot");
    portal->savedFilter = QVariant::fromValue(PortalFileFilter{QStringLiteral("JPEG image"), {{0, QStringLiteral("*.jpg")}}});
    auto path = await<QString>([&](auto done) { chooser.choose(request, done); });
    EXPECT_EQ(path, "/home/u/Pictures/shot.jpg");
    EXPECT_EQ(portal->saveOptions.value("current_name").toString(), request.suggestedName);
    EXPECT_EQ(portal->saveOptions.value("current_folder").toByteArray(), QByteArray("/home/u/Pictures\0", 17));
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
