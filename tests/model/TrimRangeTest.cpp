#include "model/TrimRange.h"

#include <gtest/gtest.h>

using namespace vistrel;

TEST(TrimRange, EdgesSnapToFramesStayInsideAndKeepTheMinimumApart)
{
    // 30 fps with a gap (an unchanged screen), handed out of order.
    QList<qint64> times;
    for (qint64 t : {0, 33, 67, 100, 133, 500, 533, 567})
        times.prepend(t);
    TrimRange range(times, 600);
    EXPECT_TRUE(range.isWhole());
    EXPECT_EQ(range.length(), 600);

    EXPECT_EQ(range.setStart(120), 133);
    EXPECT_EQ(range.setStart(400), 500) << "nearer 500 than 133";
    EXPECT_EQ(range.setStart(-50), 0);
    EXPECT_EQ(range.setEnd(40), 100) << "at least the minimum after the start";
    EXPECT_EQ(range.setEnd(590), 600) << "the recording's end is a boundary";
    EXPECT_EQ(range.setEnd(10000), 600);
    EXPECT_EQ(range.setStart(560), 500) << "the last start that keeps the minimum";
    EXPECT_FALSE(range.isWhole());
    EXPECT_EQ(range.setEnd(0), 600);
    EXPECT_GE(range.length(), TrimRange::minimumMs);

    EXPECT_EQ(range.frameAt(0), 0);
    EXPECT_EQ(range.frameAt(499), 4);
    EXPECT_EQ(range.frameAt(500), 5);
    EXPECT_EQ(range.frameAt(5000), 7);
    EXPECT_EQ(range.nextBoundary(140), 500);
    EXPECT_EQ(range.nextBoundary(567), 600);
    EXPECT_EQ(range.playFrom(550), 550);
    EXPECT_EQ(range.playFrom(600), 500) << "at the end, playback starts over";
    EXPECT_EQ(range.playFrom(20), 500);
    EXPECT_EQ(range.snap(80), 67);
    range.reset();
    EXPECT_TRUE(range.isWhole());

    // Too short to trim, or nothing at all: always the whole.
    TrimRange shortOne({0, 40}, 80);
    EXPECT_EQ(shortOne.setStart(40), 0);
    EXPECT_EQ(shortOne.setEnd(40), 80);
    TrimRange none({}, 0);
    EXPECT_EQ(none.frameAt(0), -1);
    EXPECT_EQ(none.setEnd(10), 0);
    EXPECT_TRUE(none.isWhole());
}
