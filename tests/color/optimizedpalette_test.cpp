#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "boxsplitting.h"
#include "coloroctree.h"
#include "histogram565.h"
#include "namedpalettes.h"
#include "optimizedpalette.h"
#include "pgexceptions.h"

namespace {

std::unique_ptr<TPixelGraphic> Picture24(int32_t w, int32_t h, const std::function<TRGB(int32_t, int32_t)>& color) {
  auto g = std::make_unique<TPixelGraphic>();
  g->SetSize(w, h, 3);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) g->SetPixel(x, y, color(x, y));
  return g;
}

// A colour inside histogram cell (r, g, b).
constexpr TRGB CellColor(int r, int g, int b) { return RGB(8 * r, 4 * g, 8 * b); }
// The centre of that cell, the value a box holding only it yields.
constexpr TRGB CellCentre(int r, int g, int b) { return RGB(8 * r + 4, 4 * g + 2, 8 * b + 4); }

std::vector<TRGB> Palette(const TPixelGraphic& g) {
  std::vector<TRGB> p;
  for (int32_t i = 0; i < g.PaletteCount(); ++i) p.push_back(g.PaletteEntries(i));
  return p;
}

std::vector<TRGB> Optimized(const TPixelGraphic& src, int32_t size, bool sys = false) {
  TPixelGraphic target;
  target.SetSize(1, 1, 2);
  CreateOptimizedPalette(target, src, size, sys);
  return Palette(target);
}

std::vector<TRGB> WithSystemColors(std::vector<TRGB> colors) {
  colors.insert(colors.end(), SystemColors16, SystemColors16 + 16);
  return colors;
}

TEST(OptimizedPalette, CellCentreMeans) {
  const auto white = Picture24(3, 2, [](int32_t, int32_t) { return RGB(255, 255, 255); });
  TPixelGraphic target;
  target.SetSize(1, 1, 2);
  target.SetPaletteIdent(pGray256);
  CreateOptimizedPalette(target, *white, 256, false);
  EXPECT_EQ(Palette(target), std::vector<TRGB>{RGB(252, 254, 252)});
  EXPECT_EQ(target.PaletteIdent(), pUnknown);
  EXPECT_EQ(Optimized(*white, 256, true), WithSystemColors({RGB(252, 254, 252)}));

  // Two pixels in red cell 0, one in red cell 1: (4 + 4 + 12) / 3 rounds up to 7.
  const TRGB mix[] = {RGB(0, 0, 0), RGB(7, 3, 7), RGB(8, 0, 0)};
  const auto mixed = Picture24(3, 1, [&](int32_t x, int32_t) { return mix[x]; });
  EXPECT_EQ(Optimized(*mixed, 1), std::vector<TRGB>{RGB(7, 2, 4)});
  // Size 17 with system colours leaves room for one mean colour.
  EXPECT_EQ(Optimized(*mixed, 17, true), WithSystemColors({RGB(7, 2, 4)}));

  const auto two = Picture24(5, 5, [](int32_t x, int32_t) { return x < 2 ? RGB(0, 0, 0) : RGB(255, 255, 255); });
  const std::vector<TRGB> blackWhite{RGB(4, 2, 4), RGB(252, 254, 252)};
  EXPECT_EQ(Optimized(*two, 2), blackWhite);
  EXPECT_EQ(Optimized(*two, 256), blackWhite);
  EXPECT_EQ(Optimized(*two, 20, true), WithSystemColors(blackWhite));
}

TEST(OptimizedPalette, BoxSplittingRules) {
  // X spans red and blue (volume 121, extent 51200), Y spans green only
  // (volume 31, extent 129600); the first split (along red) separates them.
  const TRGB cells[] = {CellColor(0, 0, 0), CellColor(10, 0, 10), CellColor(31, 0, 0), CellColor(31, 30, 0)};
  const auto src = Picture24(4, 1, [&](int32_t x, int32_t) { return cells[x]; });
  // Size 3: the second split is near the target and takes the larger extent, Y.
  EXPECT_EQ(Optimized(*src, 3), (std::vector<TRGB>{RGB(44, 2, 44), CellCentre(31, 0, 0), CellCentre(31, 30, 0)}));
  // Size 4: the second split takes the larger volume, X, along red (blue
  // does not exceed it); the third the larger extent, Y; new boxes go last.
  EXPECT_EQ(Optimized(*src, 4), (std::vector<TRGB>{CellCentre(0, 0, 0), CellCentre(31, 0, 0), CellCentre(10, 0, 10),
                                                  CellCentre(31, 30, 0)}));
  // Once every box is a single cell nothing is left to split.
  EXPECT_EQ(Optimized(*src, 256).size(), 4u);

  // Equal volumes and extents: the first box in the array is split first.
  const TRGB pairs[] = {CellColor(0, 0, 0), CellColor(1, 0, 0), CellColor(30, 0, 0), CellColor(31, 0, 0)};
  const auto tied = Picture24(4, 1, [&](int32_t x, int32_t) { return pairs[x]; });
  EXPECT_EQ(Optimized(*tied, 3), (std::vector<TRGB>{CellCentre(0, 0, 0), RGB(248, 2, 4), CellCentre(1, 0, 0)}));
  EXPECT_EQ(Optimized(*tied, 4), (std::vector<TRGB>{CellCentre(0, 0, 0), CellCentre(30, 0, 0), CellCentre(1, 0, 0),
                                                    CellCentre(31, 0, 0)}));

  // Equal spans: green wins over red, red over blue.
  const TRGB greenRed[] = {CellColor(0, 0, 0), CellColor(3, 0, 0), CellColor(0, 4, 0)};
  const auto greenFirst = Picture24(3, 1, [&](int32_t x, int32_t) { return greenRed[x]; });
  EXPECT_EQ(Optimized(*greenFirst, 2), (std::vector<TRGB>{RGB(16, 2, 4), CellCentre(0, 4, 0)}));
  const TRGB redBlue[] = {CellColor(0, 0, 0), CellColor(3, 0, 0), CellColor(0, 0, 3)};
  const auto redFirst = Picture24(3, 1, [&](int32_t x, int32_t) { return redBlue[x]; });
  EXPECT_EQ(Optimized(*redFirst, 2), (std::vector<TRGB>{RGB(4, 2, 16), CellCentre(3, 0, 0)}));
}

TEST(OptimizedPalette, SaturatingCounters) {
  THistogram565 h;
  std::vector<uint8_t> row(3 * 140000, 255);
  h.AddRow(row.data(), 140000);
  EXPECT_EQ(h.Count(31, 63, 31), 65535);
  h.AddRow(row.data(), 1);
  EXPECT_EQ(h.Count(31, 63, 31), 65535);
  EXPECT_EQ(h.Count(31, 63, 30), 0);

  // 130,000 pixels in red cell 0 and 70,000 in red cell 1 both count 65,535,
  // so the mean red is 8 rather than the exact 6.8.
  const auto src = Picture24(1000, 200, [](int32_t, int32_t y) { return y < 70 ? RGB(8, 0, 0) : RGB(0, 0, 0); });
  EXPECT_EQ(Optimized(*src, 1), std::vector<TRGB>{RGB(8, 2, 4)});
}

TEST(OptimizedPalette, MeanSumsBeyond32Bits) {
  // 512 saturated cells of red 31: the red sum is 252 * 65535 * 512, about 8.5e9.
  THistogram565 h;
  std::vector<uint8_t> row;
  for (int g = 48; g < 64; ++g)
    for (int b = 0; b < 32; ++b) row.insert(row.end(), {uint8_t(8 * b), uint8_t(4 * g), 255});
  for (int i = 0; i < 65535; ++i) h.AddRow(row.data(), 512);
  EXPECT_EQ(SplitHistogramBoxes(h, 1), std::vector<TRGB>{RGB(252, 224, 128)});

  TColorOctree octree(1);
  octree.AddColor(RGB(255, 255, 255), 3000000000u);
  octree.AddColor(RGB(0, 0, 0), 1000000000u);
  EXPECT_EQ(octree.Colors(), std::vector<TRGB>{RGB(191, 191, 191)});
}

TEST(OptimizedPalette, EmptySourceOrNoRoomGivesSystemColors) {
  TPixelGraphic empty;
  empty.SetSize(0, 10, 3);
  TPixelGraphic target;
  target.SetSize(1, 1, 2);
  CreateOptimizedPalette(target, empty, 5, false);
  EXPECT_EQ(Palette(target), std::vector<TRGB>(SystemColors16, SystemColors16 + 5));
  EXPECT_EQ(target.PaletteIdent(), pUnknown);
  CreateOptimizedPalette(target, empty, 300, true);
  EXPECT_EQ(target.PaletteCount(), 16);
  EXPECT_EQ(target.PaletteIdent(), pSys16);

  // Sixteen entries all taken by the system colours.
  const auto one = Picture24(1, 1, [](int32_t, int32_t) { return RGB(1, 2, 3); });
  target.SetPaletteIdent(pGray4);
  CreateOptimizedPalette(target, *one, 16, true);
  EXPECT_EQ(target.PaletteIdent(), pSys16);
  CreateOptimizedPalette(target, *one, 0, false);
  EXPECT_EQ(target.PaletteCount(), 0);
}

TEST(OptimizedPalette, ProgressAndAbort) {
  // Only the top row is white.
  const auto src = Picture24(4, 5, [](int32_t, int32_t y) { return y == 0 ? RGB(255, 255, 255) : 0; });
  TPixelGraphic target;
  target.SetSize(1, 1, 2);
  std::vector<int> steps, maxima;
  int starts = 0, ends = 0, abortAt = -1;
  target.OnProgressStart = [&](TObject* sender) {
    EXPECT_EQ(sender, &target);
    ++starts;
  };
  target.OnProgressEnd = [&](TObject*) { ++ends; };
  target.OnProgress = [&](TObject* sender, int step, int max, bool& abort) {
    EXPECT_EQ(sender, &target);
    steps.push_back(step);
    maxima.push_back(max);
    abort = step == abortAt;
  };
  CreateOptimizedPalette(target, *src, 256, false);
  EXPECT_EQ(steps, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(maxima, std::vector<int>(5, 4));
  EXPECT_EQ(target.PaletteCount(), 2);

  steps.clear();
  abortAt = 0;
  CreateOptimizedPalette(target, *src, 256, true);
  EXPECT_EQ(steps, std::vector<int>{0});
  EXPECT_EQ(Palette(target), WithSystemColors({RGB(252, 254, 252)}));
  EXPECT_EQ(starts, 2);
  EXPECT_EQ(ends, 2);

  // The counting pass of a palette source honours the abort the same way.
  TPixelGraphic indexed;
  indexed.SetSize(3, 2, 2);
  indexed.SetPaletteIdent(pSys16);
  for (int32_t x = 0; x < 3; ++x) indexed.SetPixel(x, 1, 15);
  steps.clear();
  maxima.clear();
  CreateOptimizedPalette(target, indexed, 256, false);
  EXPECT_EQ(steps, std::vector<int>{0});
  EXPECT_EQ(maxima, std::vector<int>{1});
  EXPECT_EQ(Palette(target), std::vector<TRGB>{RGB(0, 0, 0)});

  // No events without a counting pass.
  TPixelGraphic empty;
  CreateOptimizedPalette(target, empty, 256, false);
  EXPECT_EQ(starts, 3);
}

TEST(OptimizedPalette, PaletteSources) {
  // Three colours, ordered by their bits in the tree, not by their indices.
  TPixelGraphic src;
  src.SetSize(3, 1, 2);
  src.SetPaletteCount(256);
  src.SetPaletteEntries(0, RGB(255, 255, 255));
  src.SetPaletteEntries(1, RGB(255, 0, 0));
  src.SetPaletteEntries(2, RGB(0, 0, 0));
  for (int32_t x = 0; x < 3; ++x) src.SetPixel(x, 0, uint32_t(x));
  EXPECT_EQ(Optimized(src, 256), (std::vector<TRGB>{RGB(0, 0, 0), RGB(255, 0, 0), RGB(255, 255, 255)}));
  // The source may be its own target.
  CreateOptimizedPalette(src, src, 256, true);
  EXPECT_EQ(Palette(src), WithSystemColors({RGB(0, 0, 0), RGB(255, 0, 0), RGB(255, 255, 255)}));

  // 4 bits: value 12 only at an odd x (low nibble); red weighs 2 : 1 once merged.
  TPixelGraphic nibbles;
  nibbles.SetSize(3, 1, 1);
  nibbles.SetPaletteIdent(pSys16);
  nibbles.SetPixel(0, 0, 9);  // (255, 0, 0)
  nibbles.SetPixel(1, 0, 12);
  nibbles.SetPixel(2, 0, 9);
  EXPECT_EQ(Optimized(nibbles, 256), (std::vector<TRGB>{RGB(0, 0, 255), RGB(255, 0, 0)}));
  EXPECT_EQ(Optimized(nibbles, 1), std::vector<TRGB>{RGB(170, 0, 85)});

  // 1 bit, 9 pixels wide: one white pixel in the second byte.
  TPixelGraphic bits;
  bits.SetSize(9, 2, 0);
  bits.SetPaletteIdent(pBlackWhite);
  bits.SetPixel(8, 1, 1);
  EXPECT_EQ(Optimized(bits, 2), (std::vector<TRGB>{RGB(0, 0, 0), RGB(255, 255, 255)}));
  EXPECT_EQ(Optimized(bits, 1), std::vector<TRGB>{RGB(14, 14, 14)});  // 255 / 18

  // A pixel value without a palette entry is reported, the target kept.
  TPixelGraphic broken;
  broken.SetSize(2, 1, 2);
  broken.SetPaletteIdent(pGray4);
  broken.SetPixel(1, 0, 4);
  TPixelGraphic target;
  target.SetSize(1, 1, 2);
  target.SetPaletteIdent(pSys16);
  EXPECT_THROW(CreateOptimizedPalette(target, broken, 256, false), EPGInvalidPaletteIndex);
  EXPECT_EQ(target.PaletteIdent(), pSys16);
}

TEST(OptimizedPalette, OctreeReductions) {
  // Pairs X = {(0,0,0), (0,0,1)} and Y = {(2,0,0), (3,0,0)} become reducible at
  // level 7 when a colour passes through them again; Y is listed last, so
  // it heads the list.
  auto build = [](uint64_t weightX1) {
    auto octree = std::make_unique<TColorOctree>(4);
    octree->AddColor(RGB(0, 0, 0), 1);
    octree->AddColor(RGB(0, 0, 1), weightX1);
    octree->AddColor(RGB(0, 0, 0), 1);
    octree->AddColor(RGB(2, 0, 0), 1);
    octree->AddColor(RGB(3, 0, 0), 1);
    octree->AddColor(RGB(2, 0, 0), 1);
    EXPECT_EQ(octree->LeafCount(), 4);
    octree->AddColor(RGB(255, 255, 255), 1);
    EXPECT_EQ(octree->LeafCount(), 4);
    EXPECT_EQ(octree->MaxDepth(), 8);
    return octree;
  };
  // The cheaper branch (2R + 3G + B: X = 1, Y = 14) is merged.
  EXPECT_EQ(build(1)->Colors(), (std::vector<TRGB>{RGB(0, 0, 0), RGB(2, 0, 0), RGB(3, 0, 0), RGB(255, 255, 255)}));
  // On a tie (X = 14) the head of the list, Y, is merged.
  EXPECT_EQ(build(14)->Colors(), (std::vector<TRGB>{RGB(0, 0, 0), RGB(0, 0, 1), RGB(2, 0, 0), RGB(255, 255, 255)}));

  // A shallower merge lowers the maximum depth; later colours stop there.
  TColorOctree lowered(2);
  lowered.AddColor(RGB(0, 0, 0), 1);
  lowered.AddColor(RGB(2, 0, 0), 1);
  lowered.AddColor(RGB(0, 0, 0), 1);  // lists their level-6 parent
  lowered.AddColor(RGB(255, 255, 255), 1);
  EXPECT_EQ(lowered.MaxDepth(), 7);
  EXPECT_EQ(lowered.Colors(), (std::vector<TRGB>{RGB(0, 0, 0), RGB(255, 255, 255)}));
  lowered.AddColor(RGB(3, 0, 0), 6);  // absorbed by the level-6 leaf: red (2 + 18) / 9
  EXPECT_EQ(lowered.Colors(), (std::vector<TRGB>{RGB(2, 0, 0), RGB(255, 255, 255)}));
  // The inner level-7 node above white now ends every path through it.
  lowered.AddColor(RGB(255, 255, 254), 5);
  EXPECT_EQ(lowered.Colors(), (std::vector<TRGB>{RGB(2, 0, 0), RGB(255, 255, 255)}));
  EXPECT_EQ(lowered.LeafCount(), 2);

  // Nothing listed yet: the deepest branching node is merged instead.
  TColorOctree unlisted(2);
  unlisted.AddColor(RGB(0, 0, 0), 1);
  unlisted.AddColor(RGB(0, 0, 1), 1);
  unlisted.AddColor(RGB(255, 255, 255), 1);
  EXPECT_EQ(unlisted.Colors(), (std::vector<TRGB>{RGB(0, 0, 0), RGB(255, 255, 255)}));
  EXPECT_EQ(unlisted.MaxDepth(), 8);
  // Three fresh root branches with room for two: the root itself merges.
  TColorOctree root(2);
  root.AddColor(RGB(0, 0, 0), 1);
  root.AddColor(RGB(255, 0, 0), 1);
  root.AddColor(RGB(0, 255, 0), 1);
  EXPECT_EQ(root.Colors(), std::vector<TRGB>{RGB(85, 85, 0)});
  EXPECT_EQ(root.MaxDepth(), 1);
  root.AddColor(RGB(0, 0, 255), 3);
  EXPECT_EQ(root.Colors(), std::vector<TRGB>{RGB(42, 42, 127)});
}

TEST(OptimizedPalette, RandomInputsStayWithinSize) {
  std::mt19937 rng(11);
  for (int round = 0; round < 60; ++round) {
    const int32_t w = int32_t(rng() % 40), h = int32_t(rng() % 30);
    const int32_t size = int32_t(rng() % 300) - 10;
    const bool sys = rng() & 1;
    const uint8_t depth = uint8_t(rng() % 4);
    TPixelGraphic src;
    src.SetSize(w, h, depth);
    // Few distinct colours now and then, so that boxes and branches run out.
    const uint32_t mask = rng() & 1 ? 0xFFFFFF : 0xC0C0C0;
    if (depth == 3) {
      for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) src.SetPixel(x, y, rng() & mask);
    } else {
      const int32_t capacity = PaletteCapacity(depth);
      src.SetPaletteCount(capacity);
      for (int32_t i = 0; i < capacity; ++i) src.SetPaletteEntries(i, rng() & mask);
      for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) src.SetPixel(x, y, rng() % uint32_t(capacity));
    }
    TPixelGraphic target;
    target.SetSize(1, 1, 2);
    CreateOptimizedPalette(target, src, size, sys);
    const int32_t computed = sys ? size - 16 : size;
    if (w == 0 || h == 0 || computed < 1) {
      EXPECT_EQ(target.PaletteCount(), std::clamp(size, 0, 16));
      continue;
    }
    ASSERT_GE(target.PaletteCount(), sys ? 17 : 1);
    ASSERT_LE(target.PaletteCount(), std::min(computed, MaxColorBoxes) + (sys ? 16 : 0)) << round;
  }

  // Long random streams of weighted colours through small trees.
  for (int32_t maxColors : {1, 2, 3, 7, 16, 100}) {
    TColorOctree octree(maxColors);
    for (int i = 0; i < 3000; ++i) {
      const uint32_t mask = i % 3 ? 0xFFFFFF : 0x030303;
      octree.AddColor(rng() & mask, 1 + rng() % 1000);
      ASSERT_LE(octree.LeafCount(), maxColors);
    }
    EXPECT_EQ(octree.Colors().size(), size_t(octree.LeafCount()));
  }
}

}  // namespace
