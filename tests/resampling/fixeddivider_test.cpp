#include <gtest/gtest.h>

#include <random>

#include "fixeddivider.h"

namespace {

TEST(FixedDivider, ExactOverTheColourSumRange) {
  std::mt19937 rng(5);
  auto check = [&](uint32_t d) {
    const TFixedDivider divide(d);
    const uint32_t top = uint32_t(std::min<uint64_t>(255ull * d + d, (1u << TFixedDivider::NumeratorBits) - 1));
    for (uint32_t n : {0u, 1u, d - 1, d, d + 1, 255 * d - 1, 255 * d, top}) ASSERT_EQ(divide(n), n / d) << n << "/" << d;
    for (int i = 0; i < 200; ++i) {
      const uint32_t n = rng() % (top + 1);
      ASSERT_EQ(divide(n), n / d) << n << "/" << d;
    }
  };
  for (uint32_t d = 1; d <= 5000; ++d) check(d);
  for (int i = 0; i < 2000; ++i) check(1 + rng() % uint32_t(TFixedDivider::MaxDivisor));
  for (uint32_t d : {1u << 21, (1u << 21) + 1, (1u << 22) - 1, 1u << 22}) check(d);
}

}  // namespace
