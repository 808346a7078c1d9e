#include "platform/KeyRepeatFilter.h"

#include <gtest/gtest.h>

using namespace vistrel;

TEST(KeyRepeatFilter, OnlyTheFirstPressOfAHoldCounts)
{
    KeyRepeatFilter f;
    EXPECT_TRUE(f.press(10, 100));
    EXPECT_FALSE(f.press(10, 130)); // repeats without releases
    EXPECT_FALSE(f.press(10, 160));
    f.release(10, 190);
    EXPECT_FALSE(f.press(10, 190)); // a release-press pair at one instant is a repeat too
    f.release(10, 400);
    EXPECT_TRUE(f.press(10, 900)); // a new press
    EXPECT_TRUE(f.press(11, 900)); // another key
}
