#include "model/RecordingClock.h"

#include <gtest/gtest.h>

using namespace vistrel;

TEST(RecordingClock, WithoutPausesTicksAreTheSourcesOwn)
{
    const RecordingClock clock(30);
    for (qint64 tick : {0, 1, 29, 300})
        EXPECT_EQ(clock.outputTick(tick), tick);
    EXPECT_EQ(clock.tickAt(0), 0);
    EXPECT_EQ(clock.tickAt(1), 1); // a tick belongs to the time from its start on
    EXPECT_EQ(clock.tickAt(1000), 30);
    EXPECT_EQ(clock.elapsedMs(2500), 2500);
    EXPECT_EQ(clock.endTick(5000), 150);
}

TEST(RecordingClock, APauseLeavesItsTicksOutAndLeavesNoGap)
{
    RecordingClock clock(30);
    clock.pause(1000); // from tick 30 on
    EXPECT_TRUE(clock.isPaused());
    EXPECT_EQ(clock.outputTick(29), 29);
    EXPECT_FALSE(clock.outputTick(30));
    EXPECT_FALSE(clock.outputTick(100));
    EXPECT_EQ(clock.elapsedMs(1700), 1000); // the user's clock stands still
    EXPECT_EQ(clock.endTick(1700), 30);     // stopped while paused: where it paused

    clock.resume(3000); // tick 90 goes on as tick 30
    EXPECT_FALSE(clock.isPaused());
    EXPECT_EQ(clock.outputTick(29), 29);
    EXPECT_FALSE(clock.outputTick(89));
    EXPECT_EQ(clock.outputTick(90), 30);
    EXPECT_EQ(clock.outputTick(120), 60);
    EXPECT_EQ(clock.elapsedMs(4000), 2000);
    EXPECT_EQ(clock.endTick(4000), 60);

    // Pauses add up; a frame late from before a pause keeps its place.
    clock.pause(5000);  // tick 150
    clock.resume(5500); // tick 165
    EXPECT_EQ(clock.outputTick(149), 89);
    EXPECT_FALSE(clock.outputTick(160));
    EXPECT_EQ(clock.outputTick(165), 90);
    EXPECT_EQ(clock.elapsedMs(6000), 3500);
    EXPECT_EQ(clock.endTick(6000), 105);
}

TEST(RecordingClock, PausesOfNoLengthOrOutOfOrderChangeNothing)
{
    RecordingClock clock(60);
    clock.resume(500); // without a pause
    clock.pause(1000);
    clock.pause(2000); // a second pause keeps the first one's start
    clock.resume(1000);
    EXPECT_FALSE(clock.isPaused());
    EXPECT_EQ(clock.outputTick(60), 60);
    EXPECT_EQ(clock.outputTick(61), 61);
    EXPECT_EQ(clock.elapsedMs(3000), 3000);

    // A pause between two ticks leaves out none of them.
    clock.pause(1005);
    clock.resume(1010);
    EXPECT_EQ(clock.outputTick(61), 61);
    EXPECT_EQ(clock.outputTick(62), 62);
}
