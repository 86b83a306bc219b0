#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "sizearithmetic.h"

namespace {

TEST(SizeArithmetic, PercentAndPixels) {
  // 100 pixels of a 640 x 480 source: 15.63 %, which gives 75 pixels of height.
  EXPECT_EQ(PixelsToPercent(100, 640), 15.63L);
  EXPECT_EQ(PercentToPixels(480, 15.63L), 75);
  EXPECT_EQ(PercentToPixels(201, 50), 100);
  // Binary noise must not lose a pixel (10 % of 1000 is 100) nor add a
  // hundredth (3 of 10 pixels is 30 %).
  for (int32_t d = 1; d <= 1000; ++d) {
    for (int32_t p = 0; p <= 300; ++p) ASSERT_EQ(PercentToPixels(d, p), int64_t(p) * d / 100) << p << "% of " << d;
    for (int32_t n = 0; n <= d; ++n) {
      ASSERT_EQ(PixelsToPercent(n, d), (long double)((int64_t(n) * 10000 + d - 1) / d) / 100) << n << " of " << d;
      ASSERT_EQ(PercentToPixels(d, PixelsToPercent(n, d)), n) << n << " of " << d;
    }
  }
  EXPECT_EQ(PercentToPixels(1000, 0.7L), 7);
}

TEST(SizeArithmetic, OddInputNeitherTrapsNorWraps) {
  constexpr int32_t max = std::numeric_limits<int32_t>::max(), min = std::numeric_limits<int32_t>::min();
  EXPECT_EQ(PixelsToPercent(5, 0), 0);
  EXPECT_EQ(PixelsToPercent(-1, 3), -33.33L);
  EXPECT_EQ(PixelsToPercent(max, 1), 214748364700.0L);
  EXPECT_EQ(PercentToPixels(100, -0.5L), -1);
  EXPECT_EQ(PercentToPixels(100, 1e300L), max);
  EXPECT_EQ(PercentToPixels(100, -std::numeric_limits<long double>::infinity()), min);
  EXPECT_EQ(PercentToPixels(100, std::nanl("")), 0);

  EXPECT_TRUE(CanMinimizeInterference(201, 100));
  EXPECT_FALSE(CanMinimizeInterference(201, 99));
  EXPECT_FALSE(CanMinimizeInterference(1, 0));
  EXPECT_TRUE(CanMinimizeInterference(max, max / 2));
  EXPECT_FALSE(CanMinimizeInterference(max, max));
}

}  // namespace
