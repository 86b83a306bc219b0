#include <gtest/gtest.h>

#include "progressclock.h"

TEST(ProgressClock, HandsAndPlaces) {
  // Half way through step 1: minute hand straight down, hour hand 15 degrees past the top.
  TPGClockHands h = ClockHands({10, 20}, 1, 50);
  EXPECT_EQ(h.Centre, QPoint(17, 27));
  EXPECT_EQ(h.Minute, QPoint(17, 34));
  EXPECT_EQ(h.Hour, QPoint(17 + 2, 27 - 6));  // sin 15 * 6 = 1.55, cos 15 * 6 = 5.8
  // Step 3 at 0 %: the hour hand at 60 degrees, the minute hand up.
  h = ClockHands({0, 0}, 3, 0);
  EXPECT_EQ(h.Hour, QPoint(7 + 5, 7 - 3));
  EXPECT_EQ(h.Minute, QPoint(7, 0));

  EXPECT_TRUE(ClockCorners(0, 0, 20, 100, true).empty());
  EXPECT_EQ(ClockCorners(0, 0, 100, 100, true), std::vector<QPoint>{QPoint(43, 43)});
  const std::vector<QPoint> five = ClockCorners(10, 10, 111, 111, true);
  ASSERT_EQ(five.size(), 5u);
  EXPECT_EQ(five[4], QPoint(91, 91));
  EXPECT_EQ(ClockCorners(10, 10, 111, 111, false).size(), 1u);
}
