#include "platform/PortalScreenCast.h"

#include "platform/PortalClient.h"

#include "PrivateBus.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace vistrel;
using vistrel::test::PrivateBus;

namespace {

constexpr qint64 ms = 1000000;

QImage picture(int n)
{
    QImage image(1, 1, QImage::Format_RGB32);
    image.fill(QColor(n, 0, 0));
    return image;
}

int pictureOf(const RecordedFrame &frame)
{
    return qRed(frame.image.pixel(0, 0));
}

} // namespace

// At 30 fps a tick lasts 33.3 ms: a second frame within one is held for the next tick, and a
// newer frame replaces it; the last picture of a burst is never lost, no tick comes twice.
TEST(CastPacer, KeepsOneFrameATickAndTheLastPictureOfABurst)
{
    CastPacer pacer(30);
    const qint64 t0 = 5000 * ms; // any steady clock
    auto out = pacer.offer(t0, picture(1));
    ASSERT_EQ(out.size(), 1);
    EXPECT_EQ(out[0].tick, 0);
    EXPECT_FALSE(pacer.dueAt());

    // Same tick: held until tick 1 begins (at 33.34 ms).
    EXPECT_TRUE(pacer.offer(t0 + 10 * ms, picture(2)).isEmpty());
    ASSERT_TRUE(pacer.dueAt());
    EXPECT_EQ(*pacer.dueAt(), t0 + 33333334);
    EXPECT_FALSE(pacer.due(t0 + 33 * ms));
    auto held = pacer.due(t0 + 34 * ms);
    ASSERT_TRUE(held);
    EXPECT_EQ(held->tick, 1);
    EXPECT_EQ(pictureOf(*held), 2);

    // A frame arriving in tick 1 after the held one took it waits for tick 2, where a frame of
    // tick 2 itself replaces it.
    EXPECT_TRUE(pacer.offer(t0 + 40 * ms, picture(3)).isEmpty());
    out = pacer.offer(t0 + 70 * ms, picture(4));
    ASSERT_EQ(out.size(), 1);
    EXPECT_EQ(out[0].tick, 2);
    EXPECT_EQ(pictureOf(out[0]), 4);

    // Held, then a frame ticks later: the held one keeps the next tick, the new one its own.
    EXPECT_TRUE(pacer.offer(t0 + 80 * ms, picture(5)).isEmpty());
    out = pacer.offer(t0 + 210 * ms, picture(6));
    ASSERT_EQ(out.size(), 2);
    EXPECT_EQ(out[0].tick, 3);
    EXPECT_EQ(pictureOf(out[0]), 5);
    EXPECT_EQ(out[1].tick, 6); // 210 ms: ticks 4 and 5 are gaps (nothing changed)

    // At the end, the held frame on its tick.
    EXPECT_TRUE(pacer.offer(t0 + 215 * ms, picture(7)).isEmpty());
    held = pacer.takeHeld();
    ASSERT_TRUE(held);
    EXPECT_EQ(held->tick, 7);
    EXPECT_FALSE(pacer.takeHeld());
}

// After a pause the app asks for a frame: the desktop sends none while nothing changes, so the
// last picture comes again on the next tick, once; nothing is repeated unasked.
TEST(CastPacer, AFrameAskedForIsTheLastPictureOnTheNextTick)
{
    CastPacer pacer(30);
    pacer.requestFrame(); // nothing to repeat yet
    EXPECT_FALSE(pacer.dueAt());
    const qint64 t0 = 0;
    ASSERT_EQ(pacer.offer(t0, picture(1)).size(), 1);
    EXPECT_FALSE(pacer.due(t0 + 500 * ms)); // unasked: a gap
    pacer.requestFrame();
    ASSERT_TRUE(pacer.dueAt());
    auto again = pacer.due(t0 + 1000 * ms);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->tick, 30);
    EXPECT_EQ(pictureOf(*again), 1);
    EXPECT_FALSE(pacer.due(t0 + 1100 * ms));
    EXPECT_FALSE(pacer.dueAt());

    // A frame of the desktop's own answers the request.
    pacer.requestFrame();
    ASSERT_EQ(pacer.offer(t0 + 1200 * ms, picture(2)).size(), 1);
    EXPECT_FALSE(pacer.due(t0 + 1300 * ms));
}

// A desktop sending at its own rate (60 Hz with jitter, then 24 Hz) into 30 fps and 60 fps:
// ticks rise strictly, none lies ahead of its time, and each frame is late by at most a tick.
TEST(CastPacer, MapsAnyDesktopRateToRisingTicks)
{
    for (int fps : {30, 60}) {
        for (double hz : {60.0, 24.0, 144.0}) {
            CastPacer pacer(fps);
            qint64 last = -1;
            int delivered = 0;
            auto take = [&](const RecordedFrame &f, qint64 now) {
                EXPECT_GT(f.tick, last) << fps << " fps, " << hz << " Hz";
                EXPECT_LE(f.tick, pacer.tickAt(now));
                last = f.tick;
                ++delivered;
            };
            const qint64 t0 = 1000 * ms;
            for (int i = 0; i < int(hz * 2); ++i) {
                const qint64 now = t0 + qint64(i * 1e9 / hz) + (i % 3) * ms; // jitter
                if (auto due = pacer.dueAt(); due && *due <= now)
                    take(*pacer.due(*due), *due);
                for (const RecordedFrame &f : pacer.offer(now, picture(i % 256)))
                    take(f, now);
            }
            if (auto f = pacer.takeHeld())
                take(*f, t0 + 3000 * ms);
            // Two seconds: about min(hz, fps) × 2 frames.
            EXPECT_GE(delivered, int(std::min<double>(hz, fps) * 2) - 3) << fps << " " << hz;
            EXPECT_LE(last, 2 * fps + 1);
        }
    }
}

// The stream shows the display at its device size, or scaled (at its logical size): the area,
// in device pixels, is cut at the stream's own scale.
TEST(CastCrop, CutsTheAreaAtTheStreamsScale)
{
    DisplayInfo display;
    display.frame = QRectF(1280, 0, 1280, 800); // the second display: its place does not count
    display.scale = 2;
    const QRect area(200, 100, 640, 480); // device pixels of a 2560×1600 display

    EXPECT_EQ(castCropRect(area, display, QSize(2560, 1600)), area);
    EXPECT_EQ(castCropRect(area, display, QSize(1280, 800)), QRect(100, 50, 320, 240));
    display.scale = 1.5; // 1920×1200 device pixels, streamed at its logical size
    EXPECT_EQ(castCropRect(QRect(300, 150, 600, 300), display, QSize(1280, 800)),
              QRect(200, 100, 400, 200));

    // All of it where no area is given; cut at the stream's edge; nothing where outside.
    EXPECT_EQ(castCropRect(QRect(), display, QSize(1280, 800)), QRect(0, 0, 1280, 800));
    display.scale = 1;
    EXPECT_EQ(castCropRect(QRect(1200, 700, 200, 200), display, QSize(1280, 800)),
              QRect(1200, 700, 80, 100));
    EXPECT_TRUE(castCropRect(QRect(1300, 0, 50, 50), display, QSize(1280, 800)).isEmpty());
}

// The stream names its pixels by byte order; the fourth byte is padding, whatever it holds.
// Rows may be longer than the picture.
TEST(CastFrame, ConvertsBothByteOrdersAndCutsTheArea)
{
    const int width = 3, height = 2, stride = 16; // 12 bytes of pixels, 4 of padding a row
    const uchar bgrx[stride * height] = {
        0x10, 0x20, 0x30, 0x00, 0x00, 0x00, 0xff, 0x7f, 0x01, 0x02, 0x03, 0x04, 9, 9, 9, 9,
        0xff, 0x00, 0x00, 0x00, 0x00, 0xff, 0x00, 0x00, 0xaa, 0xbb, 0xcc, 0xdd, 9, 9, 9, 9};
    for (auto order : {CastPixelOrder::BGRx, CastPixelOrder::RGBx}) {
        const bool bgr = order == CastPixelOrder::BGRx;
        const QImage all =
            castFrameImage(bgrx, QSize(width, height), stride, order, QRect(0, 0, width, height));
        ASSERT_EQ(all.format(), QImage::Format_RGB32);
        ASSERT_EQ(all.size(), QSize(width, height));
        EXPECT_EQ(all.pixel(0, 0), bgr ? qRgb(0x30, 0x20, 0x10) : qRgb(0x10, 0x20, 0x30));
        EXPECT_EQ(all.pixel(1, 0), bgr ? qRgb(0xff, 0, 0) : qRgb(0, 0, 0xff));
        EXPECT_EQ(all.pixel(2, 1), bgr ? qRgb(0xcc, 0xbb, 0xaa) : qRgb(0xaa, 0xbb, 0xcc));
        for (int y = 0; y < height; ++y) // opaque in the stored bytes too
            for (int x = 0; x < width; ++x)
                EXPECT_EQ(reinterpret_cast<const QRgb *>(all.constScanLine(y))[x] >> 24, 0xffu);

        const QImage cut =
            castFrameImage(bgrx, QSize(width, height), stride, order, QRect(1, 1, 2, 1));
        ASSERT_EQ(cut.size(), QSize(2, 1));
        EXPECT_EQ(cut.pixel(0, 0), bgr ? qRgb(0, 0xff, 0) : qRgb(0, 0xff, 0));
        EXPECT_EQ(cut.pixel(1, 0), all.pixel(2, 1));
    }
    // A cut beyond the frame, or rows shorter than the picture, give nothing.
    EXPECT_TRUE(
        castFrameImage(bgrx, QSize(width, height), stride, CastPixelOrder::BGRx, QRect(2, 1, 2, 1))
            .isNull());
    EXPECT_TRUE(
        castFrameImage(bgrx, QSize(width, height), 8, CastPixelOrder::BGRx, QRect(0, 0, 1, 1))
            .isNull());
}

namespace {

struct CastStreamEntry
{
    uint node = 0;
    QVariantMap properties;
};

QDBusArgument &operator<<(QDBusArgument &arg, const CastStreamEntry &s)
{
    arg.beginStructure();
    arg << s.node << s.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument &operator>>(const QDBusArgument &arg, CastStreamEntry &s)
{
    arg.beginStructure();
    arg >> s.node >> s.properties;
    arg.endStructure();
    return arg;
}

} // namespace

Q_DECLARE_METATYPE(CastStreamEntry)

namespace {

const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");

// The ScreenCast portal as a desktop provides it: what it offers, how it answers Start, and
// what it was asked. Its PipeWire remote is refused, which ends each recording there.
class FakeCastPortal : public QDBusVirtualObject
{
public:
    bool offered = true;
    uint sourceTypes = 1;
    uint cursorModes = 1 | 2;
    uint startCode = 0;
    int answerAfterMs = 5;
    QVariantMap selectOptions;
    QStringList calls;
    QStringList closedSessions;

    explicit FakeCastPortal(QDBusConnection bus) : m_bus(bus)
    {
        qDBusRegisterMetaType<CastStreamEntry>();
        qDBusRegisterMetaType<QList<CastStreamEntry>>();
        m_bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
        m_bus.registerVirtualObject(portalPath, this, QDBusConnection::SubPath);
    }

    QString introspect(const QString &) const override { return {}; }

    bool handleMessage(const QDBusMessage &call, const QDBusConnection &) override
    {
        const QString method = call.member();
        const QVariantList args = call.arguments();
        calls.append(method);
        if (call.interface() == QLatin1String("org.freedesktop.portal.Session")) {
            closedSessions.append(call.path());
            m_bus.send(call.createReply());
            return true;
        }
        if (method == QLatin1String("GetAll")) {
            if (!offered)
                m_bus.send(call.createErrorReply(QDBusError::UnknownInterface,
                                                 QStringLiteral("no such interface")));
            else
                m_bus.send(call.createReply(QVariant::fromValue(
                    QVariantMap{{QStringLiteral("version"), uint(4)},
                                {QStringLiteral("AvailableSourceTypes"), sourceTypes},
                                {QStringLiteral("AvailableCursorModes"), cursorModes}})));
            return true;
        }
        if (method == QLatin1String("OpenPipeWireRemote")) {
            m_bus.send(call.createErrorReply(QDBusError::AccessDenied,
                                             QStringLiteral("no PipeWire here")));
            return true;
        }
        const QVariantMap options = qdbus_cast<QVariantMap>(args.last());
        const QString handle =
            QStringLiteral("%1/request/%2/%3")
                .arg(portalPath, call.service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_')),
                     options.value(QStringLiteral("handle_token")).toString());
        m_bus.send(call.createReply(QVariant::fromValue(QDBusObjectPath(handle))));
        uint code = 0;
        QVariantMap results;
        if (method == QLatin1String("CreateSession")) {
            results.insert(
                QStringLiteral("session_handle"),
                QStringLiteral("%1/session/x/%2")
                    .arg(portalPath,
                         options.value(QStringLiteral("session_handle_token")).toString()));
        } else if (method == QLatin1String("SelectSources")) {
            selectOptions = options;
        } else if (method == QLatin1String("Start")) {
            code = startCode;
            results.insert(QStringLiteral("streams"),
                           QVariant::fromValue(QList<CastStreamEntry>{
                               {42, {{QStringLiteral("source_type"), uint(1)}}}}));
        }
        QDBusMessage response = QDBusMessage::createTargetedSignal(
            call.service(), handle, QStringLiteral("org.freedesktop.portal.Request"),
            QStringLiteral("Response"));
        response << code << results;
        QTimer::singleShot(answerAfterMs,
                           [bus = m_bus, response]() mutable { bus.send(response); });
        return true;
    }

private:
    QDBusConnection m_bus;
};

class ScreenCastPortal : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!bus.up())
            GTEST_SKIP() << "dbus-daemon is not installed";
        portal = std::make_unique<FakeCastPortal>(bus.connect(QStringLiteral("portal")));
        client = std::make_unique<PortalClient>(bus.connect(QStringLiteral("app")));
    }

    // Starts a recording and waits for its failure's reason; empty when none came.
    QString failureOf(FrameSource &source, bool showPointer = true)
    {
        RecordingRequest request;
        request.showPointer = showPointer;
        QString reason;
        QObject::connect(&source, &FrameSource::failed,
                         [&reason](const QString &why) { reason = why; });
        source.start(request, [](RecordedFrame) {});
        (void)QTest::qWaitFor([&reason] { return !reason.isEmpty(); }, 5000);
        return reason;
    }

    // Whether `count` sessions have been closed, once the portal has had the calls.
    bool closedSessions(int count)
    {
        (void)QTest::qWaitFor([&] { return portal->closedSessions.size() >= count; }, 2000);
        return portal->closedSessions.size() == count;
    }

    PrivateBus bus;
    std::unique_ptr<FakeCastPortal> portal;
    std::unique_ptr<PortalClient> client;
};

} // namespace

// Screens always, windows where the portal shares them, one source; the pointer drawn in where
// asked and offered, left out otherwise. The session is closed once the recording ends.
TEST_F(ScreenCastPortal, AsksForWhatThePortalOffersAndClosesItsSession)
{
    struct Case
    {
        uint types, cursors;
        bool showPointer;
        uint askedTypes;
        QVariant cursorMode;
    } cases[] = {{1, 1 | 2 | 4, true, 1, uint(2)},
                 {1 | 2, 1 | 2, false, 1 | 2, uint(1)},
                 {1 | 2 | 4, 1, true, 1 | 2, uint(1)},
                 {1, 0, true, 1, QVariant()}};
    PortalScreenCast recorder(*client);
    EXPECT_TRUE(recorder.desktopChoosesSource());
    for (const Case &c : cases) {
        portal->sourceTypes = c.types;
        portal->cursorModes = c.cursors;
        portal->closedSessions.clear();
        auto source = recorder.createSource();
        const QString why = failureOf(*source, c.showPointer);
        EXPECT_TRUE(why.contains(QLatin1String("no PipeWire here"))) << qPrintable(why);
        EXPECT_EQ(portal->selectOptions.value(QStringLiteral("types")).toUInt(), c.askedTypes);
        EXPECT_EQ(portal->selectOptions.value(QStringLiteral("multiple")), QVariant(false));
        EXPECT_EQ(portal->selectOptions.value(QStringLiteral("cursor_mode")), c.cursorMode)
            << c.cursors << " " << c.showPointer;
        EXPECT_TRUE(closedSessions(1));
    }
}

// The user closing the desktop's chooser, the desktop refusing, and no portal at all each end
// the recording with a reason of their own; stopping before the desktop answered ends it
// quietly and closes the session that comes late.
TEST_F(ScreenCastPortal, CancelRefusalAndMissingPortalEachSayWhy)
{
    PortalScreenCast recorder(*client);
    portal->startCode = 1;
    QString why = failureOf(*recorder.createSource());
    EXPECT_TRUE(why.contains(QLatin1String("cancelled"))) << qPrintable(why);
    EXPECT_TRUE(closedSessions(1));

    portal->startCode = 2;
    why = failureOf(*recorder.createSource());
    EXPECT_TRUE(why.contains(QLatin1String("refused to share the screen"))) << qPrintable(why);
    EXPECT_TRUE(closedSessions(2));

    portal->offered = false;
    why = failureOf(*recorder.createSource());
    EXPECT_TRUE(why.contains(QLatin1String("no screen recording portal"))) << qPrintable(why);
    portal->offered = true;

    portal->calls.clear();
    portal->answerAfterMs = 200;
    auto source = recorder.createSource();
    bool failed = false;
    QObject::connect(source.get(), &FrameSource::failed, [&failed] { failed = true; });
    source->start({}, [](RecordedFrame) {});
    ASSERT_TRUE(QTest::qWaitFor([this] { return portal->calls.contains("CreateSession"); }));
    source->stop();
    QTest::qWait(400);
    EXPECT_FALSE(failed);
    EXPECT_FALSE(portal->calls.contains(QStringLiteral("SelectSources")));
    EXPECT_TRUE(closedSessions(3)); // the session answered after stop()
}
