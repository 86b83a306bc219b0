#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "colormapping.h"
#include "namedpalettes.h"
#include "pixelgraphic.h"
#include "nearest252grid.h"

namespace {

std::vector<int> CellList(int cell) {
  return std::vector<int>(Special252Candidates + Special252CellStart[cell],
                          Special252Candidates + Special252CellStart[cell + 1]);
}

int GridLevel(int k) { return k == 8 ? 255 : 32 * k; }

TEST(Special252Grid, ExampleCells) {
  EXPECT_EQ(CellList(0), (std::vector<int>{0}));
  EXPECT_EQ(CellList(1), (std::vector<int>{0, 16, 125}));
  EXPECT_EQ(CellList(10), (std::vector<int>{0, 16, 18, 19, 125}));
  EXPECT_EQ(CellList(93), (std::vector<int>{4, 16, 19, 20, 35, 36, 40, 41}));
  EXPECT_EQ(CellList(364), (std::vector<int>{8}));
  EXPECT_EQ(CellList(728), (std::vector<int>{15}));

  EXPECT_EQ(Special252Step(15), 0);
  EXPECT_EQ(Special252Step(16), 1);
  EXPECT_EQ(Special252Step(239), 7);
  EXPECT_EQ(Special252Step(240), 8);
  EXPECT_EQ(Special252Cell(32, 32, 96), 93);
  EXPECT_EQ(Special252Cell(255, 255, 255), 728);
}

TEST(Special252Grid, EveryListHoldsTheEntriesNearItsGridPoint) {
  const std::vector<TRGB> entries = NamedPaletteEntries(pSpecial252);
  ASSERT_EQ(Special252CellStart[0], 0);
  for (int cell = 0; cell < Special252CellCount; ++cell) {
    const std::vector<int> list = CellList(cell);
    ASSERT_FALSE(list.empty()) << cell;
    for (size_t i = 0; i < list.size(); ++i) {
      ASSERT_LT(list[i], 252) << cell;
      if (i > 0) {
        ASSERT_LT(list[i - 1], list[i]) << "cell " << cell << " not ascending or repeated";
      }
    }
    const TRGB point = RGB(GridLevel(cell / 81), GridLevel(cell / 9 % 9), GridLevel(cell % 9));
    std::vector<double> distance;
    for (TRGB e : entries)
      distance.push_back(std::sqrt(std::pow(GetRValue(e) - GetRValue(point), 2) +
                                   std::pow(GetGValue(e) - GetGValue(point), 2) +
                                   std::pow(GetBValue(e) - GetBValue(point), 2)));
    const double smallest = *std::min_element(distance.begin(), distance.end());
    for (int e = 0; e < 252; ++e) {
      if (distance[size_t(e)] <= smallest + 8 + 1e-9) {
        ASSERT_NE(std::find(list.begin(), list.end(), e), list.end()) << "cell " << cell << " lacks " << e;
      }
    }
  }
}

// The lists are chosen so that the grid gives the full search's answer.
TEST(Special252Grid, NearestIndexAgreesWithFullSearch) {
  TPixelGraphic g;
  g.SetSize(1, 1, 2);
  g.SetPaletteIdent(pSpecial252);
  const std::vector<TRGB> entries = NamedPaletteEntries(pSpecial252);
  std::mt19937 random(252);
  std::uniform_int_distribution<int> channel(0, 255);
  for (int n = 0; n < 200000; ++n) {
    const TRGB c = RGB(channel(random), channel(random), channel(random));
    ASSERT_EQ(g.NearestIndex(c), FullNearestSearch(entries, c)) << std::hex << c;
  }
  // Cell borders, where a wrong step would show first.
  for (int v : {0, 15, 16, 47, 48, 239, 240, 255})
    for (int w : {0, 16, 112, 143, 255}) {
      const TRGB c = RGB(v, w, 255 - v);
      ASSERT_EQ(g.NearestIndex(c), FullNearestSearch(entries, c)) << std::hex << c;
    }
}

}  // namespace
