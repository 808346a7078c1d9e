#include "app/RecordingSession.h"
#include "FakeDesktop.h"
#include "FakeScreenRecorder.h"
#include "TestSupport.h"
#include "app/AppShell.h"
#include "app/CaptureCoordinator.h"
#include "app/Preferences.h"
#include "engines/CaptureHistory.h"
#include "engines/RecordingReader.h"
#include "ui/CountdownWindow.h"
#include "ui/RecordingControl.h"
#include "ui/RecordingFrame.h"
#include "ui/SelectionOverlay.h"

#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>

#include <atomic>
#include <mutex>

#include <gtest/gtest.h>

using namespace vistrel;
using vistrel::test::drain;

namespace {

// A source the test feeds by hand: frames go to the sink as a real source's thread would.
class HandFedSource : public FrameSource
{
public:
    void start(const RecordingRequest &r, Sink s) override
    {
        request = r;
        sink = std::move(s);
        ++starts;
        QMetaObject::invokeMethod(
            this, [this] { emit started(); }, Qt::QueuedConnection);
    }
    void stop() override
    {
        std::lock_guard<std::mutex> hold(lock);
        stopped = true;
        if (stops)
            ++*stops; // the session deletes its source soon after
    }
    QSize frameSize() const override { return request.pixelRect.size(); }
    void feed(qint64 tick)
    {
        std::lock_guard<std::mutex> hold(lock);
        if (stopped)
            return;
        const QSize size = request.pixelRect.isEmpty()
                               ? (request.display.frame.size() * request.display.scale).toSize()
                               : request.pixelRect.size();
        QImage frame(size, QImage::Format_RGB32);
        frame.fill(QColor::fromRgb(int(tick % 256), 0, 0));
        sink(RecordedFrame{frame, tick});
    }

    RecordingRequest request;
    Sink sink;
    int starts = 0;
    std::mutex lock;
    bool stopped = false;
    std::shared_ptr<int> stops;
};

class HandFedRecorder : public ScreenRecorder
{
public:
    std::unique_ptr<FrameSource> createSource() override
    {
        auto s = std::make_unique<HandFedSource>();
        s->stops = stops;
        source = s.get();
        return s;
    }
    bool desktopChoosesSource() const override { return false; }
    QPointer<HandFedSource> source;
    std::shared_ptr<int> stops = std::make_shared<int>(0);
};

// What the writer handed the encoder, and a file of one line per frame.
struct Written
{
    std::mutex lock;
    EncoderSettings settings;
    QList<qint64> ticks;
    qint64 endTick = -1;
};

class ListingEncoder : public FrameEncoder
{
public:
    explicit ListingEncoder(std::shared_ptr<Written> w) : m_w(std::move(w)) {}
    QString open(const EncoderSettings &s) override
    {
        std::lock_guard<std::mutex> hold(m_w->lock);
        m_w->settings = s;
        return {};
    }
    QString add(const QImage &, qint64 tick) override
    {
        std::lock_guard<std::mutex> hold(m_w->lock);
        m_w->ticks.append(tick);
        return {};
    }
    QString finish(qint64 endTick) override
    {
        std::lock_guard<std::mutex> hold(m_w->lock);
        m_w->endTick = endTick;
        if (m_w->ticks.isEmpty())
            return {};
        QFile f(m_w->settings.path);
        if (!f.open(QIODevice::WriteOnly))
            return QStringLiteral("cannot write %1").arg(m_w->settings.path);
        f.write(QByteArray::number(m_w->ticks.size()));
        return {};
    }

private:
    std::shared_ptr<Written> m_w;
};

class RecordingSessionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        display = desktop.addDisplay(10, QRectF(0, 0, 640, 400), 1.0, Qt::darkBlue);
        Platform platform = desktop.platform();
        platform.recorder = &recorder;
        preferences = std::make_unique<Preferences>(dir.filePath("vistrel.conf"));
        preferences->setRecordingCountdown(0);
        coordinator = std::make_unique<CaptureCoordinator>(platform);
        coordinator->setPreferences(preferences.get());
        coordinator->setOverlayFactory([this](const OverlayRequest &r, auto completion) {
            request = r;
            done = completion;
            struct Overlay : SelectionOverlay
            {
                void present() override {}
            };
            return new Overlay;
        });
        session().setEncoderFactory(
            [this](RecordingFormat) { return std::make_unique<ListingEncoder>(written); });
        session().setClock([this] { return clock.load(); });
        watchFinished();
    }
    void TearDown() override
    {
        coordinator.reset();
        drain();
    }
    void watchFinished()
    {
        QObject::connect(&session(), &RecordingSession::recordingFinished, &session(),
                         [this](const QString &path, const QString &note) {
                             finishedPath = path;
                             finishedNote = note;
                         });
    }
    RecordingSession &session() { return coordinator->recording(); }
    // The overlay's answer: a drag over `rect`, which starts the recording.
    void choose(const QRectF &rect)
    {
        drain();
        ASSERT_TRUE(done);
        EXPECT_EQ(request.immediateAction, SelectionAction::Record);
        done(SelectionOutcome{RectSelection{rect, display}, SelectionAction::Record});
    }
    bool recordingStarted()
    {
        return QTest::qWaitFor([&] { return session().recording(); }, 3000);
    }
    bool ended()
    {
        return QTest::qWaitFor([&] { return !session().active(); }, 3000);
    }

    QTemporaryDir dir;
    FakeDesktop desktop;
    HandFedRecorder recorder;
    DisplayInfo display;
    std::unique_ptr<Preferences> preferences;
    std::unique_ptr<CaptureCoordinator> coordinator;
    OverlayRequest request;
    SelectionOverlay::Completion done;
    std::shared_ptr<Written> written = std::make_shared<Written>();
    std::atomic<qint64> clock{0};
    QString finishedPath;
    QString finishedNote;
};

TEST_F(RecordingSessionTest, CountdownThenFramesOutsideWhichControlAndFrameSit)
{
    preferences->setRecordingCountdown(1);
    preferences->setRecordingFormat(QStringLiteral("gif"));
    coordinator->startOrStopRecording();
    choose(QRectF(100, 80, 201, 150));
    // The countdown is up, centred on the area, and nothing is recorded yet.
    ASSERT_TRUE(session().countdown());
    EXPECT_EQ(session().countdown()->number(), 1);
    EXPECT_LE(
        (QRectF(session().countdown()->geometry()).center() - QRectF(session().area()).center())
            .manhattanLength(),
        1);
    EXPECT_EQ(recorder.source, nullptr);
    ASSERT_TRUE(recordingStarted());
    EXPECT_FALSE(session().countdown());
    // The area in the display's pixels.
    EXPECT_EQ(recorder.source->request.pixelRect, QRect(100, 80, 201, 150));
    EXPECT_EQ(recorder.source->request.display.displayID, 10u);
    EXPECT_EQ(written->settings.format, RecordingFormat::Gif);
    EXPECT_EQ(written->settings.size, QSize(201, 150));
    // Straight into its history entry.
    const QString history = coordinator->sessions().historyFolder();
    EXPECT_TRUE(written->settings.path.startsWith(history + "/"))
        << written->settings.path.toStdString();
    EXPECT_TRUE(written->settings.path.endsWith(".gif"));

    const QRect area = session().area();
    EXPECT_EQ(area, QRect(100, 80, 201, 150));
    ASSERT_TRUE(session().control());
    EXPECT_TRUE(session().control()->isVisible());
    EXPECT_FALSE(session().control()->geometry().intersects(area));
    ASSERT_TRUE(session().frame());
    ASSERT_EQ(session().frame()->windows().size(), 4);
    for (QWidget *strip : session().frame()->windows()) {
        EXPECT_FALSE(strip->geometry().intersects(area));
        EXPECT_TRUE(strip->geometry().intersects(area.adjusted(-2, -2, 2, 2)));
    }
    for (qint64 tick : {0, 1, 2})
        recorder.source->feed(tick);
    clock = 7400;
    QTest::qWait(300);
    EXPECT_EQ(session().control()->elapsedText(), QStringLiteral("0:07"));
    // The hot key again stops it.
    clock = 7500;
    coordinator->startOrStopRecording();
    ASSERT_TRUE(ended());
    EXPECT_EQ(written->ticks, (QList<qint64>{0, 1, 2}));
    EXPECT_EQ(written->endTick, 225); // 7.5 s at 30 frames a second
    EXPECT_EQ(finishedPath, written->settings.path);
    EXPECT_TRUE(QFile::exists(finishedPath));
    EXPECT_TRUE(finishedNote.isEmpty());
    EXPECT_FALSE(session().control());
    // Kept in the history, and shown in its preview.
    EXPECT_EQ(coordinator->sessions().recordingPreviews().size(), 1);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const auto entries = CaptureHistory(history).entries();
            return !entries.isEmpty() && entries.first().recording == finishedPath;
        },
        3000));
}

TEST_F(RecordingSessionTest, PausesLeaveTheirTimeOutAndEscapeStops)
{
    coordinator->startOrStopRecording();
    choose(QRectF(10, 10, 100, 100));
    ASSERT_TRUE(recordingStarted());
    HandFedSource *source = recorder.source;
    for (qint64 tick : {0, 1, 2})
        source->feed(tick);
    clock = 100;
    session().control()->pauseButton()->click();
    EXPECT_EQ(session().control()->pauseButton()->text(), QStringLiteral("Resume"));
    for (qint64 tick : {3, 10, 29}) // while paused: not recorded
        source->feed(tick);
    clock = 1000;
    session().control()->pauseButton()->click();
    EXPECT_EQ(session().control()->pauseButton()->text(), QStringLiteral("Pause"));
    for (qint64 tick : {30, 31})
        source->feed(tick);
    clock = 1100;
    QTest::qWait(300);
    EXPECT_EQ(session().model()->elapsedMs(1100), 200);
    desktop.pressEscapeAnywhere();
    ASSERT_TRUE(ended());
    // The pause's ticks are gone from the file: no gap, no frozen second.
    EXPECT_EQ(written->ticks, (QList<qint64>{0, 1, 2, 3, 4}));
    EXPECT_EQ(written->endTick, 6);
    EXPECT_GE(*recorder.stops, 1);
    EXPECT_FALSE(desktop.escapeHandler); // Escape is let go
}

TEST_F(RecordingSessionTest, RecordOnTheToolbarOfACaptureRecordsItsArea)
{
    coordinator->startAreaCapture(false);
    drain();
    ASSERT_TRUE(done);
    EXPECT_TRUE(request.offersRecording);
    EXPECT_FALSE(request.immediateAction);
    done(
        SelectionOutcome{RectSelection{QRectF(40, 30, 120, 90), display}, SelectionAction::Record});
    ASSERT_TRUE(recordingStarted());
    EXPECT_EQ(recorder.source->request.pixelRect, QRect(40, 30, 120, 90));
    recorder.source->feed(0);
    session().control()->stopButton()->click();
    ASSERT_TRUE(ended());
    EXPECT_EQ(written->ticks, QList<qint64>{0});
}

TEST_F(RecordingSessionTest, ASourceThatFailsKeepsWhatWasRecordedAndSaysWhy)
{
    coordinator->startOrStopRecording();
    choose(QRectF(10, 10, 100, 100));
    ASSERT_TRUE(recordingStarted());
    recorder.source->feed(0);
    recorder.source->feed(1);
    clock = 500;
    emit recorder.source->failed(QStringLiteral("the display changed size"));
    ASSERT_TRUE(ended());
    EXPECT_TRUE(QFile::exists(finishedPath));
    EXPECT_TRUE(finishedNote.contains("the display changed size"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !desktop.warnings.isEmpty(); }, 3000));
    EXPECT_TRUE(desktop.warnings.last().second.contains("the display changed size"));
}

TEST_F(RecordingSessionTest, ScriptsGetTheFileAfterTheDurationOrWhyNot)
{
    const QString output = dir.filePath("clip.webm");
    std::optional<QString> answer;
    session().recordForScript({output, 0.2},
                              [&](const QString &why, const QString &) { answer = why; });
    choose(QRectF(0, 0, 640, 400)); // the whole display: no room for a control
    ASSERT_TRUE(recordingStarted());
    EXPECT_TRUE(recorder.source->request.pixelRect.isEmpty());
    recorder.source->feed(0);
    clock = 200;
    ASSERT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 3000));
    EXPECT_TRUE(answer->isEmpty()) << answer->toStdString();
    EXPECT_TRUE(QFile::exists(output));
    EXPECT_EQ(written->settings.size, QSize(640, 400));
    EXPECT_TRUE(finishedPath.isEmpty()); // no preview for a script

    // Escape on the overlay before the start: no file, and the script hears why.
    answer.reset();
    session().recordForScript({dir.filePath("none.mp4"), 0},
                              [&](const QString &why, const QString &) { answer = why; });
    drain();
    done(std::nullopt);
    ASSERT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 3000));
    EXPECT_FALSE(answer->isEmpty());
    EXPECT_FALSE(QFile::exists(dir.filePath("none.mp4")));

    // A file that cannot be written is refused before any area is chosen.
    answer.reset();
    done = nullptr;
    session().recordForScript({dir.filePath("no/such/folder/a.gif"), 0},
                              [&](const QString &why, const QString &) { answer = why; });
    ASSERT_TRUE(answer.has_value());
    EXPECT_TRUE(answer->contains("does not exist"));
    drain();
    EXPECT_FALSE(done);
}

// The real writer and encoder behind a source on its own thread: the file is what was recorded,
// for as long as asked, and a source that gives up leaves a file that plays.
TEST(RecordingSession, RecordsARealFileUntilTheDurationOrTheSourceFails)
{
    QTemporaryDir dir;
    FakeDesktop desktop;
    FakeScreenRecorder recorder;
    const DisplayInfo display = desktop.addDisplay(10, QRectF(0, 0, 320, 200), 1.0);
    Platform platform = desktop.platform();
    platform.recorder = &recorder;
    Preferences preferences(dir.filePath("vistrel.conf"));
    preferences.setRecordingCountdown(0);
    CaptureCoordinator coordinator(platform);
    coordinator.setPreferences(&preferences);
    SelectionOverlay::Completion done;
    coordinator.setOverlayFactory([&](const OverlayRequest &, auto completion) {
        done = completion;
        struct Overlay : SelectionOverlay
        {
            void present() override {}
        };
        return new Overlay;
    });
    const auto record = [&](const QString &output, double seconds) {
        std::optional<QString> answer;
        coordinator.recording().recordForScript(
            {output, seconds}, [&](const QString &why, const QString &) { answer = why; });
        drain();
        done(SelectionOutcome{RectSelection{QRectF(8, 8, 64, 48), display},
                              SelectionAction::Record});
        EXPECT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 10000));
        return answer.value_or(QStringLiteral("no answer"));
    };
    const QString clip = dir.filePath("clip.gif");
    EXPECT_TRUE(record(clip, 0.6).isEmpty());
    RecordingReader reader;
    ASSERT_TRUE(reader.open(clip).isEmpty());
    EXPECT_EQ(reader.size(), QSize(64, 48));
    EXPECT_NEAR(double(reader.durationMs()), 600, 150);

    recorder.options.failAfterFrames = 5;
    const QString cut = dir.filePath("cut.webm");
    const QString why = record(cut, 0);
    EXPECT_TRUE(why.contains(recorder.options.failReason)) << why.toStdString();
    EXPECT_TRUE(why.contains(cut));
    RecordingReader kept;
    EXPECT_TRUE(kept.open(cut).isEmpty());
}

// `vistrel record` is the hot key of a desktop that binds its own: given again, it stops.
TEST(RecordingSession, TheRecordCommandAgainStopsTheRecording)
{
    QTemporaryDir dir;
    FakeDesktop desktop;
    FakeScreenRecorder recorder;
    const DisplayInfo display = desktop.addDisplay(10, QRectF(0, 0, 320, 200), 1.0);
    Platform platform = desktop.platform();
    platform.recorder = &recorder;
    Preferences preferences(dir.filePath("vistrel.conf"));
    preferences.setRecordingCountdown(0);
    preferences.setRecordingFormat(QStringLiteral("gif"));
    AppShell shell(platform, &preferences);
    SelectionOverlay::Completion done;
    shell.coordinator().setOverlayFactory([&](const OverlayRequest &, auto completion) {
        done = completion;
        struct Overlay : SelectionOverlay
        {
            void present() override {}
        };
        return new Overlay;
    });
    Command record;
    record.kind = Command::Kind::Record;
    shell.runCommand(record);
    drain();
    ASSERT_TRUE(done);
    done(SelectionOutcome{RectSelection{QRectF(8, 8, 64, 48), display}, SelectionAction::Record});
    RecordingSession &session = shell.coordinator().recording();
    ASSERT_TRUE(QTest::qWaitFor([&] { return session.recording(); }, 3000));
    QTest::qWait(200);
    shell.runCommand(record);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !session.active(); }, 5000));
    EXPECT_EQ(session.model()->state(), RecordingSessionModel::State::Done);
    EXPECT_TRUE(QFileInfo(session.outputPath()).isFile());
    drain();
}

} // namespace
