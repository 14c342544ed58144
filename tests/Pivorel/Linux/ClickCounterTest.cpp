#include "Pivorel/Linux/ClickCounter.h"

#include <gtest/gtest.h>

using namespace pivorel;

TEST(ClickCounter, SeriesNeedTheSameButtonSoonEnoughAndCloseEnough) {
    ClickCounter clicks(400);
    EXPECT_EQ(clicks.press(1, 1000, {10, 10}), 1);
    EXPECT_EQ(clicks.press(1, 1300, {12, 11}), 2);
    EXPECT_EQ(clicks.press(1, 1700, {12, 11}), 3) << "measured from the previous press";
    EXPECT_EQ(clicks.count(1), 3);
    EXPECT_EQ(clicks.count(3), 1) << "another button's release is a single click";

    EXPECT_EQ(clicks.press(1, 2101, {12, 11}), 1) << "one millisecond too late";
    EXPECT_EQ(clicks.press(1, 2200, {12, 17}), 1) << "moved six points";
    EXPECT_EQ(clicks.press(3, 2300, {12, 17}), 1) << "another button";
    EXPECT_EQ(clicks.press(1, 2400, {12, 17}), 1) << "the right press broke the series";

    clicks.setInterval(200);
    EXPECT_EQ(clicks.press(1, 2650, {12, 17}), 1) << "a shorter desktop setting applies";
}

TEST(ClickCounter, TheServerClockMayWrapButNeverRunsBackwards) {
    ClickCounter clicks;
    EXPECT_EQ(clicks.press(1, 0xffffff00u, {0, 0}), 1);
    EXPECT_EQ(clicks.press(1, 0x00000010u, {0, 0}), 2) << "272 ms later, across the wrap";
    EXPECT_EQ(clicks.press(1, 0x00000005u, {0, 0}), 1) << "a press dated before the last one";
    EXPECT_EQ(ClickCounter().count(1), 1);
    EXPECT_EQ(ClickCounter().press(1, 0, {0, 0}), 1) << "the very first press at time zero";
}
