#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "colormapping.h"
#include "nearestcandidates.h"

namespace {

TEST(NearestCandidates, SameAnswersAsTheFullSearch) {
  std::mt19937 rng(3);
  for (int round = 0; round < 60; ++round) {
    std::vector<TRGB> palette(1 + rng() % 256);
    // Coarse levels make ties and duplicates common; some palettes crowd
    // into a corner, leaving far cells with long lists.
    const uint32_t mask = round % 3 == 0 ? 0xF0F0F0 : round % 3 == 1 ? 0x3F3F3F : 0xFFFFFF;
    for (TRGB& e : palette) e = rng() & mask;
    TNearestCandidates grid(palette, 3 + round % 4);
    for (int n = 0; n < 3000; ++n) {
      const TRGB c = rng() & (n % 2 ? 0xFFFFFF : mask);
      ASSERT_EQ(grid.Nearest(c), FullNearestSearch(palette, c)) << round << " " << std::hex << c;
    }
    for (TRGB corner : {RGB(0, 0, 0), RGB(255, 255, 255), RGB(255, 0, 255), RGB(0, 255, 0)})
      ASSERT_EQ(grid.Nearest(corner), FullNearestSearch(palette, corner));

    // Colours between whole levels, up to the top of the last level.
    TNearestCandidates real(palette, 4, false);
    std::uniform_real_distribution<float> channel(0.0f, 255.0f);
    for (int n = 0; n < 1000; ++n) {
      const float r = n == 0 ? 255.0f : channel(rng), g = channel(rng), b = n == 0 ? 15.99f : channel(rng);
      float best = 1e9f;
      for (TRGB e : palette) {
        const float dr = r - GetRValue(e), dg = g - GetGValue(e), db = b - GetBValue(e);
        best = std::min(best, dr * dr + dg * dg + db * db);
      }
      const TRGB e = palette[real.Nearest(r, g, b)];
      const float dr = r - GetRValue(e), dg = g - GetGValue(e), db = b - GetBValue(e);
      ASSERT_EQ(dr * dr + dg * dg + db * db, best) << round;
    }
  }
}

}  // namespace
