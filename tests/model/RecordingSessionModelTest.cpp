#include "model/RecordingSessionModel.h"

#include <QRegion>

#include <gtest/gtest.h>

using namespace vistrel;
using State = RecordingSessionModel::State;
using Place = RecordingSessionModel::Place;

TEST(RecordingSessionModel, CountsDownThenRecordsWithoutThePauses)
{
    RecordingSessionModel m(3);
    EXPECT_FALSE(m.started(0)); // not before an area is chosen and counted down
    ASSERT_TRUE(m.areaChosen());
    EXPECT_EQ(m.state(), State::Countdown);
    EXPECT_FALSE(m.countdownTick());
    EXPECT_FALSE(m.started(0));
    EXPECT_FALSE(m.countdownTick());
    EXPECT_TRUE(m.countdownTick());
    EXPECT_EQ(m.countdownLeft(), 0);
    ASSERT_TRUE(m.started(1000));
    EXPECT_EQ(m.elapsedMs(3500), 2500);
    ASSERT_TRUE(m.pause(4000));
    EXPECT_FALSE(m.pause(4100));
    EXPECT_EQ(m.elapsedMs(9000), 3000); // stands still while paused
    ASSERT_TRUE(m.resume(10000));
    EXPECT_EQ(m.elapsedMs(11000), 4000);
    ASSERT_TRUE(m.pause(12000));
    // Stopped while paused: the last pause is not recorded either.
    ASSERT_TRUE(m.stop(20000));
    EXPECT_EQ(m.state(), State::Finishing);
    EXPECT_EQ(m.elapsedMs(30000), 5000);
    EXPECT_FALSE(m.stop(30000));
    ASSERT_TRUE(m.finished({}, true));
    EXPECT_EQ(m.state(), State::Done);
    EXPECT_FALSE(m.active());
}

TEST(RecordingSessionModel, ZeroCountdownAndEndingsWithoutAFile)
{
    RecordingSessionModel m(0);
    m.areaChosen();
    EXPECT_TRUE(m.countdownDone());
    EXPECT_TRUE(m.countdownTick());

    // Stopped before the first frame: no file, and why.
    RecordingSessionModel early(3);
    early.areaChosen();
    ASSERT_TRUE(early.stop(0, QStringLiteral("cancelled")));
    EXPECT_EQ(early.state(), State::Failed);
    EXPECT_EQ(early.failure(), QStringLiteral("cancelled"));

    // A source that fails while recording: what was recorded is finished, the cause kept
    // even when the file is written.
    RecordingSessionModel failing(0);
    failing.areaChosen();
    failing.started(0);
    ASSERT_TRUE(failing.fail(2000, QStringLiteral("the display changed size")));
    EXPECT_EQ(failing.state(), State::Finishing);
    EXPECT_EQ(failing.elapsedMs(5000), 2000);
    failing.finished(QStringLiteral("disk full"), true);
    EXPECT_EQ(failing.state(), State::Done);
    EXPECT_EQ(failing.failure(), QStringLiteral("the display changed size"));

    RecordingSessionModel unwritten(0);
    unwritten.areaChosen();
    unwritten.started(0);
    unwritten.stop(10);
    unwritten.finished(QStringLiteral("cannot write /x.webm"), false);
    EXPECT_EQ(unwritten.state(), State::Failed);
    EXPECT_EQ(unwritten.failure(), QStringLiteral("cannot write /x.webm"));
}

TEST(RecordingSessionModel, ElapsedText)
{
    EXPECT_EQ(RecordingSessionModel::elapsedText(7400), QStringLiteral("0:07"));
    EXPECT_EQ(RecordingSessionModel::elapsedText(754000), QStringLiteral("12:34"));
    EXPECT_EQ(RecordingSessionModel::elapsedText(3723000), QStringLiteral("1:02:03"));
}

TEST(RecordingSessionModel, ControlAndFrameStayOutsideTheArea)
{
    const QRect screen(0, 0, 1000, 800);
    const QSize control(200, 40);
    const auto place = [&](const QRect &area,
                           const QList<QRect> &screens = {QRect(0, 0, 1000, 800)}) {
        const auto p = RecordingSessionModel::placeControl(area, control, screens);
        if (p.place != Place::None) {
            EXPECT_FALSE(p.rect.intersects(area.adjusted(-2, -2, 2, 2)))
                << p.rect.x() << "," << p.rect.y();
            EXPECT_EQ(p.rect.size(), control);
        }
        return p;
    };
    EXPECT_EQ(place(QRect(100, 100, 300, 200)).place, Place::Below);
    EXPECT_EQ(place(QRect(100, 500, 300, 280)).place, Place::Above);
    EXPECT_EQ(place(QRect(0, 0, 600, 800)).place, Place::Right);
    EXPECT_EQ(place(QRect(400, 0, 600, 800)).place, Place::Left);
    // A whole display: another screen, or none at all.
    EXPECT_EQ(place(screen).place, Place::None);
    const auto other = place(screen, {screen, QRect(1000, 0, 800, 600)});
    EXPECT_EQ(other.place, Place::OtherScreen);
    EXPECT_TRUE(QRect(1000, 0, 800, 600).contains(other.rect));
    // Below stays on the screen horizontally too.
    EXPECT_GE(place(QRect(0, 100, 50, 50)).rect.left(), 0);

    const QRect area(100, 100, 300, 200);
    const auto frame = RecordingSessionModel::frameRects(area, {screen});
    ASSERT_EQ(frame.size(), 4);
    QRegion drawn;
    for (const QRect &strip : frame) {
        EXPECT_FALSE(strip.intersects(area));
        drawn += strip;
    }
    EXPECT_EQ(drawn.boundingRect(), area.adjusted(-2, -2, 2, 2));
    // Where the area meets the screen's edges, the frame is cut there; none for a whole screen.
    EXPECT_EQ(RecordingSessionModel::frameRects(QRect(0, 0, 300, 200), {screen}).size(), 2);
    EXPECT_TRUE(RecordingSessionModel::frameRects(screen, {screen}).isEmpty());
    // Fractional points are covered whole: the frame never reaches a recorded pixel.
    EXPECT_EQ(RecordingSessionModel::coveringRect(QRectF(10.5, 20.25, 30, 40)),
              QRect(10, 20, 31, 41));
}
