#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "colormapping.h"
#include "meancolorhistogram.h"
#include "namedpalettes.h"
#include "optimizedpalette.h"
#include "paletterefinement.h"
#include "testpictures.h"

namespace {

// Sum of weight x squared distance to the nearest entry.
double Error(const std::vector<TWeightedColor>& histogram, const std::vector<TRGB>& palette) {
  double sum = 0;
  for (const TWeightedColor& c : histogram) {
    double best = std::numeric_limits<double>::max();
    for (TRGB e : palette) {
      const double dr = c.Red - GetRValue(e), dg = c.Green - GetGValue(e), db = c.Blue - GetBValue(e);
      best = std::min(best, dr * dr + dg * dg + db * db);
    }
    sum += c.Weight * best;
  }
  return sum;
}

std::vector<TRGB> Palette(const TPixelGraphic& g) {
  std::vector<TRGB> p;
  for (int32_t i = 0; i < g.PaletteCount(); ++i) p.push_back(g.PaletteEntries(i));
  return p;
}

// Squared error of the picture mapped exactly onto the palette.
double PictureError(const TPixelGraphic& picture, const std::vector<TRGB>& palette) {
  std::vector<TWeightedColor> pixels;
  for (TRGB c : Colors(picture))
    pixels.push_back({float(GetRValue(c)), float(GetGValue(c)), float(GetBValue(c)), 1});
  return Error(pixels, palette);
}

TEST(MeanColorHistogram, CellsKeepCountAndMeanColour) {
  // Bytes blue, green, red: (0, 0, 0) and (3, 3, 2) share a cell, (4, 0, 0) has red cell 1.
  const uint8_t row[] = {0, 0, 0, 2, 3, 3, 0, 0, 4};
  auto h = std::make_unique<TMeanColorHistogram>();
  h->AddRow(row, 3);
  const std::vector<TWeightedColor> colors = h->Colors();
  ASSERT_EQ(colors.size(), 2u);
  EXPECT_EQ(colors[0].Weight, 2u);
  EXPECT_FLOAT_EQ(colors[0].Red, 1.5f);
  EXPECT_FLOAT_EQ(colors[0].Green, 1.5f);
  EXPECT_FLOAT_EQ(colors[0].Blue, 1.0f);
  EXPECT_EQ(colors[1].Weight, 1u);
  EXPECT_FLOAT_EQ(colors[1].Red, 4.0f);

  // Counts never saturate, and white stays white.
  const std::vector<uint8_t> white(3 * 70000, 255);
  auto w = std::make_unique<TMeanColorHistogram>();
  w->AddRow(white.data(), 70000);
  ASSERT_EQ(w->Colors().size(), 1u);
  EXPECT_EQ(w->Colors()[0].Weight, 70000u);
  EXPECT_FLOAT_EQ(w->Colors()[0].Green, 255.0f);
}

TEST(PaletteRefinement, ErrorNeverRisesAndFixedEntriesStay) {
  std::mt19937 rng(21);
  TPixelGraphic target;
  for (int round = 0; round < 40; ++round) {
    std::vector<TWeightedColor> histogram(1 + rng() % 300);
    const int spread = 1 + int(rng() % 255);
    for (TWeightedColor& c : histogram)
      c = {float(rng() % spread), float(rng() % spread) + 0.5f, float(rng() % 256), 1 + uint32_t(rng() % 1000)};
    std::vector<TRGB> palette(1 + rng() % 64);
    // Few levels make duplicate entries common.
    for (TRGB& e : palette) e = rng() & 0xE0E0E0;
    const int32_t fixed = int32_t(rng() % 20);
    const std::vector<TRGB> refined = RefinePalette(target, histogram, palette, fixed);
    ASSERT_EQ(refined.size(), palette.size());
    EXPECT_LE(Error(histogram, refined), Error(histogram, palette)) << round;
    const size_t kept = std::min(palette.size(), size_t(fixed));
    EXPECT_TRUE(std::equal(palette.end() - ptrdiff_t(kept), palette.end(), refined.end() - ptrdiff_t(kept)));
  }
}

TEST(PaletteRefinement, LeavesALocalMinimumForTheClusters) {
  // Four tight clusters; three entries crowd the first, one lies far from all.
  std::vector<TWeightedColor> histogram;
  const TRGB centres[] = {RGB(20, 20, 20), RGB(200, 30, 30), RGB(30, 200, 30), RGB(30, 30, 200)};
  for (TRGB c : centres)
    for (int d = -2; d <= 2; d += 4)
      histogram.push_back({float(GetRValue(c) + d), float(GetGValue(c)), float(GetBValue(c)), 50});
  TPixelGraphic target;
  const std::vector<TRGB> refined =
      RefinePalette(target, histogram, {RGB(18, 20, 20), RGB(22, 20, 20), RGB(20, 24, 20), RGB(255, 255, 255)}, 0);
  std::vector<TRGB> sorted = refined;
  std::sort(sorted.begin(), sorted.end());
  std::vector<TRGB> expected(std::begin(centres), std::end(centres));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(sorted, expected);
}

TEST(PaletteRefinement, EmptyAndOneColourHistograms) {
  TPixelGraphic target;
  const std::vector<TRGB> palette{RGB(0, 0, 0), RGB(100, 100, 100), RGB(255, 255, 255)};
  EXPECT_EQ(RefinePalette(target, {}, palette, 0), palette);
  EXPECT_EQ(RefinePalette(target, {{90, 91, 92, 7}}, {}, 0), std::vector<TRGB>{});
  // The nearest entry moves onto the colour; the others have nothing to represent.
  EXPECT_EQ(RefinePalette(target, {{90, 91, 92, 7}}, palette, 0),
            (std::vector<TRGB>{RGB(0, 0, 0), RGB(90, 91, 92), RGB(255, 255, 255)}));
  // A fixed nearest entry keeps it; an unused movable entry takes the colour.
  EXPECT_EQ(RefinePalette(target, {{90, 91, 92, 7}}, palette, 2),
            (std::vector<TRGB>{RGB(90, 91, 92), RGB(100, 100, 100), RGB(255, 255, 255)}));
  EXPECT_EQ(RefinePalette(target, {{90, 91, 92, 7}}, palette, 3), palette);
}

TEST(PaletteRefinement, ProgressAndAbort) {
  std::mt19937 rng(4);
  std::vector<TWeightedColor> histogram(500);
  for (TWeightedColor& c : histogram) c = {float(rng() % 256), float(rng() % 256), float(rng() % 256), 1};
  const std::vector<TRGB> palette(16, RGB(128, 128, 128));
  TPixelGraphic target;
  int starts = 0, ends = 0, calls = 0, abortAt = 0;
  target.OnProgressStart = [&](TObject*) { ++starts; };
  target.OnProgressEnd = [&](TObject*) { ++ends; };
  target.OnProgress = [&](TObject* sender, int step, int max, bool& abort) {
    EXPECT_EQ(sender, &target);
    EXPECT_EQ(step, calls);
    EXPECT_EQ(max, MaxRefinementPasses);
    abort = ++calls == abortAt;
  };
  const std::vector<TRGB> full = RefinePalette(target, histogram, palette, 0);
  EXPECT_GT(calls, 2);
  EXPECT_LE(calls, MaxRefinementPasses);
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(ends, 1);

  // Aborted at once nothing changes; later the best palette so far is kept.
  calls = 0;
  abortAt = 1;
  EXPECT_EQ(RefinePalette(target, histogram, palette, 0), palette);
  EXPECT_EQ(calls, 1);
  calls = 0;
  abortAt = 3;
  const std::vector<TRGB> aborted = RefinePalette(target, histogram, palette, 0);
  EXPECT_EQ(calls, 3);
  EXPECT_LT(Error(histogram, aborted), Error(histogram, palette));
  EXPECT_LE(Error(histogram, full), Error(histogram, aborted));
  EXPECT_EQ(ends, 3);
}

TEST(PaletteRefinement, OptimizedPaletteOfAPicture) {
  // Smooth gradients with noise, as a photograph.
  TPixelGraphic picture;
  picture.SetSize(120, 80, 3);
  std::mt19937 rng(9);
  for (int32_t y = 0; y < 80; ++y)
    for (int32_t x = 0; x < 120; ++x)
      picture.SetPixel(x, y, RGB(2 * x + rng() % 9, 3 * y + rng() % 9, x + y + rng() % 9));
  TPixelGraphic target;
  target.SetSize(1, 1, 2);
  CreateOptimizedPalette(target, picture, 48, true);
  const std::vector<TRGB> optimized = Palette(target);
  std::vector<int> rows, passes;
  bool abortCounting = false;
  target.OnProgress = [&](TObject*, int step, int max, bool& abort) {
    (max == MaxRefinementPasses ? passes : rows).push_back(step);
    abort = abortCounting;
  };
  RefineOptimizedPalette(target, picture, 16);
  const std::vector<TRGB> refined = Palette(target);
  EXPECT_EQ(target.PaletteIdent(), pUnknown);
  ASSERT_EQ(refined.size(), 48u);
  EXPECT_TRUE(std::equal(SystemColors16, SystemColors16 + 16, refined.begin() + 32));
  EXPECT_LT(PictureError(picture, refined), 0.9 * PictureError(picture, optimized));
  ASSERT_EQ(rows.size(), 80u);
  EXPECT_EQ(rows.back(), 79);
  EXPECT_FALSE(passes.empty());

  // An abort while counting, and sources of other depths, change nothing.
  CreateOptimizedPalette(target, picture, 48, true);
  abortCounting = true;
  rows.clear();
  passes.clear();
  RefineOptimizedPalette(target, picture, 16);
  EXPECT_EQ(Palette(target), optimized);
  EXPECT_EQ(rows.size(), 1u);
  EXPECT_TRUE(passes.empty());
  abortCounting = false;
  TPixelGraphic indexed;
  indexed.SetSize(4, 4, 2);
  indexed.SetPaletteIdent(pGray256);
  RefineOptimizedPalette(target, indexed, 16);
  EXPECT_EQ(Palette(target), optimized);
}

}  // namespace
