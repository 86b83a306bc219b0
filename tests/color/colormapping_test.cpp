#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <vector>

#include "colormapping.h"
#include "graysum.h"
#include "namedpalettes.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "testpictures.h"

namespace {

void UsePalette(TPixelGraphic& g, TPaletteIdent ident, bool weighting = false) {
  g.SetSize(1, 1, 2);
  g.SetPaletteIdent(ident);
  g.SetRGBWeighting(weighting);
}

void UsePalette(TPixelGraphic& g, const std::vector<TRGB>& entries, bool fast = true) {
  g.SetSize(1, 1, 2);
  g.SetPaletteCount(int32_t(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i) g.SetPaletteEntries(int32_t(i), entries[i]);
  g.SetFastUnknownPalette(fast);
}

// A colour whose unweighted gray sum is s.
TRGB WithGraySum(int s) { return RGB(std::min(s, 255), std::clamp(s - 255, 0, 255), std::max(s - 510, 0)); }

int64_t Distance2(TRGB a, TRGB b) {
  const int64_t dr = GetRValue(a) - GetRValue(b), dg = GetGValue(a) - GetGValue(b), db = GetBValue(a) - GetBValue(b);
  return dr * dr + dg * dg + db * db;
}

double Share(const TPixelGraphic& g, uint32_t index) {
  int64_t n = 0;
  for (int32_t y = 0; y < g.GetHeight(); ++y)
    for (int32_t x = 0; x < g.GetWidth(); ++x) n += g.GetPixel(x, y) == index;
  return double(n) / (double(g.GetWidth()) * g.GetHeight());
}

TEST(ColorMapping, GraySum) {
  static_assert(GraySum(RGB(0, 255, 0), true) == 449 && GraySum(RGB(0, 0, 255), true) == 87);
  static_assert(GraySum(RGB(255, 0, 0), true) == 228 && GraySum(RGB(255, 255, 255), true) == 765);
  static_assert(GraySum(RGB(0, 255, 0), false) == 255 && GraySum(RGB(0, 0, 255), false) == 255);
}

TEST(ColorMapping, GrayPaletteThresholds) {
  TPixelGraphic g;
  UsePalette(g, pBlackWhite);
  EXPECT_EQ(g.NearestIndex(RGB(127, 128, 127)), 0u);
  EXPECT_EQ(g.NearestIndex(RGB(128, 128, 127)), 1u);

  UsePalette(g, pSysGray4);
  for (auto [s, index] : {std::pair{192, 0u}, {193, 1u}, {480, 1u}, {481, 2u}, {670, 2u}, {671, 3u}})
    EXPECT_EQ(g.NearestIndex(WithGraySum(s)), index) << s;

  UsePalette(g, pGray4);
  for (auto [s, index] : {std::pair{127, 0u}, {128, 1u}, {637, 2u}, {638, 3u}, {765, 3u}})
    EXPECT_EQ(g.NearestIndex(WithGraySum(s)), index) << s;

  UsePalette(g, pGray16);
  for (auto [s, index] : {std::pair{25, 0u}, {26, 1u}, {739, 14u}, {740, 15u}, {765, 15u}})
    EXPECT_EQ(g.NearestIndex(WithGraySum(s)), index) << s;

  UsePalette(g, pGray256);
  for (auto [s, index] : {std::pair{1, 0u}, {2, 1u}, {764, 255u}, {765, 255u}})
    EXPECT_EQ(g.NearestIndex(WithGraySum(s)), index) << s;

  UsePalette(g, pGray236);
  const std::vector<uint32_t> head{0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3};
  const std::vector<uint32_t> tail{234, 234, 234, 235, 235};
  for (int s = 0; s < 11; ++s) EXPECT_EQ(g.NearestIndex(WithGraySum(s)), head[size_t(s)]) << s;
  for (int s = 761; s <= 765; ++s) EXPECT_EQ(g.NearestIndex(WithGraySum(s)), tail[size_t(s - 761)]) << s;
  const std::vector<TRGB> levels = NamedPaletteEntries(pGray236);
  for (uint32_t i = 0; i < 236; ++i) EXPECT_EQ(g.NearestIndex(levels[i]), i);
}

TEST(ColorMapping, ColorPaletteFastPaths) {
  TPixelGraphic g;
  UsePalette(g, pSpecial125);
  EXPECT_EQ(g.NearestIndex(RGB(224, 0, 0)), 100u);  // 224 counts as 225: level 255
  EXPECT_EQ(g.NearestIndex(RGB(223, 0, 0)), 75u);
  EXPECT_EQ(g.NearestIndex(RGB(0, 32, 0)), 0u);
  EXPECT_EQ(g.NearestIndex(RGB(0, 33, 0)), 5u);
  // A cube answers per channel, which is the full search's answer.
  const std::vector<TRGB> cube = NamedPaletteEntries(pSpecial125);
  for (int v = 0; v < 256; ++v) {
    const TRGB c = RGB(v, 255 - v, (v * 7) % 256);
    ASSERT_EQ(g.NearestIndex(c), FullNearestSearch(cube, c)) << v;
  }

  UsePalette(g, pSpecial216);
  EXPECT_EQ(g.NearestIndex(RGB(0, 0, 25)), 0u);
  EXPECT_EQ(g.NearestIndex(RGB(0, 0, 26)), 0u);
  EXPECT_EQ(g.NearestIndex(RGB(0, 0, 27)), 1u);
  EXPECT_EQ(g.NearestIndex(RGB(128, 0, 0)), 72u);
  EXPECT_EQ(g.NearestIndex(RGB(255, 255, 255)), 215u);

  UsePalette(g, pSys16);
  EXPECT_EQ(g.NearestIndex(RGB(0, 0, 0)), 0u);
  EXPECT_EQ(g.NearestIndex(RGB(200, 200, 200)), 7u);
  EXPECT_EQ(g.NearestIndex(RGB(250, 250, 250)), 15u);
  EXPECT_EQ(g.NearestIndex(RGB(100, 150, 250)), 7u);  // candidates 7, 8, 14
  EXPECT_EQ(g.NearestIndex(RGB(160, 160, 160)), 7u);  // a tie keeps the first candidate
  EXPECT_EQ(g.NearestIndex(RGB(160, 160, 159)), 8u);

  UsePalette(g, pTrueColor);
  EXPECT_EQ(g.NearestIndex(RGB(1, 2, 3)), RGB(1, 2, 3));
}

TEST(ColorMapping, FullSearchTakesLowestIndexOnTies) {
  TPixelGraphic g;
  UsePalette(g, {RGB(10, 0, 0), RGB(0, 10, 0), RGB(0, 10, 0)}, false);
  EXPECT_EQ(g.NearestIndex(RGB(0, 0, 0)), 0u);
  EXPECT_EQ(g.NearestIndex(RGB(0, 12, 0)), 1u);
  EXPECT_EQ(FullNearestSearch({}, RGB(1, 2, 3)), 0u);

  std::mt19937 random(7);
  std::uniform_int_distribution<int> channel(0, 255), size(1, 256);
  for (int round = 0; round < 20; ++round) {
    std::vector<TRGB> palette(size_t(size(random)));
    // Few levels make ties common.
    for (TRGB& e : palette) e = RGB(channel(random) & 0xC0, channel(random) & 0xC0, channel(random) & 0xC0);
    UsePalette(g, palette, false);
    for (int n = 0; n < 500; ++n) {
      const TRGB c = RGB(channel(random), channel(random), channel(random));
      uint32_t expected = 0;
      for (uint32_t i = 1; i < palette.size(); ++i)
        if (Distance2(palette[i], c) < Distance2(palette[expected], c)) expected = i;
      ASSERT_EQ(g.NearestIndex(c), expected);
    }
  }
}

TEST(ColorMapping, UnknownPaletteTableSeeding) {
  TPixelGraphic g;
  // Entry 0 lies two cells away, entry 1 in the next cell: the seeding pass of
  // radius 1 reaches cell (1, 0, 0) from both, and the lower index wins
  // although entry 1 is nearer.
  UsePalette(g, {RGB(23, 3, 7), RGB(0, 0, 0)});
  EXPECT_EQ(g.NearestIndex(RGB(8, 0, 0)), 0u);
  EXPECT_EQ(g.NearestIndex(RGB(0, 0, 0)), 1u);  // each entry owns its own cell
  g.SetFastUnknownPalette(false);
  EXPECT_EQ(g.NearestIndex(RGB(8, 0, 0)), 1u);

  UsePalette(g, {RGB(50, 50, 50), RGB(50, 50, 50)});
  EXPECT_EQ(g.NearestIndex(RGB(50, 50, 50)), 0u);
  EXPECT_EQ(g.NearestIndex(RGB(200, 10, 90)), 0u);
}

// Reference: a cell within four steps (largest coordinate difference) of some
// entry's cell takes the lowest index among the entries fewest steps away;
// any other cell takes the full search's answer for the first colour seen in it.
TEST(ColorMapping, UnknownPaletteTableMatchesItsRule) {
  std::mt19937 random(11);
  std::uniform_int_distribution<int> channel(0, 255), size(1, 256), spread(0, 40);
  TPixelGraphic g;
  int64_t excess = 0, searches = 0;
  for (int round = 0; round < 12; ++round) {
    std::vector<TRGB> palette(size_t(size(random)));
    // Some palettes are clustered, leaving most cells to the lazy search.
    const bool clustered = round % 3 == 0;
    for (TRGB& e : palette)
      e = clustered ? RGB(100 + spread(random), 30 + spread(random), 200 + spread(random))
                    : RGB(channel(random), channel(random), channel(random));
    UsePalette(g, palette);
    std::map<int, uint32_t> lazy;
    for (int n = 0; n < 3000; ++n) {
      const TRGB c = RGB(channel(random), channel(random), channel(random));
      const int cr = GetRValue(c) / 8, cg = GetGValue(c) / 4, cb = GetBValue(c) / 8;
      int bestSteps = 1000;
      uint32_t expected = 0;
      for (uint32_t i = 0; i < palette.size(); ++i) {
        const TRGB e = palette[i];
        const int steps = std::max({std::abs(GetRValue(e) / 8 - cr), std::abs(GetGValue(e) / 4 - cg),
                                    std::abs(GetBValue(e) / 8 - cb)});
        if (steps < bestSteps) {
          bestSteps = steps;
          expected = i;
        }
      }
      const uint32_t nearest = FullNearestSearch(palette, c);
      if (bestSteps > 4) expected = lazy.emplace(TUnknownPaletteTable::Cell(c), nearest).first->second;
      const uint32_t found = g.NearestIndex(c);
      ASSERT_EQ(found, expected) << "round " << round << " colour " << std::hex << c;
      // A seeded cell lies at most four cells from its entry in each channel.
      if (bestSteps <= 4) {
        ASSERT_LE(std::sqrt(double(Distance2(palette[found], c))), 57.0);
      }
      excess += std::lround(std::sqrt(double(Distance2(palette[found], c))) -
                            std::sqrt(double(Distance2(palette[nearest], c))));
      ++searches;
    }
  }
  EXPECT_LT(double(excess) / double(searches), 3.0);
}

TEST(ColorMapping, UnusualPalettes) {
  TPixelGraphic g;
  // An empty palette has no nearest entry: index 0, and no crash.
  g.SetSize(4, 2, 2);
  g.SetPaletteIdent(pNone);
  g.SetPaletteIdent(pUnknown);
  EXPECT_EQ(g.NearestIndex(RGB(9, 9, 9)), 0u);
  g.SetFastUnknownPalette(false);
  EXPECT_EQ(g.NearestIndex(RGB(9, 9, 9)), 0u);
  TPixelGraphic src;
  Uniform(src, 4, 2, RGB(200, 100, 50));
  g.MapFrom(src);
  EXPECT_EQ(Share(g, 0), 1.0);

  // More entries than the table's byte indices can hold: searched in full.
  TPixelGraphic big;
  big.SetSize(1, 1, 3);
  big.SetPaletteCount(300);
  for (int32_t i = 0; i < 300; ++i) big.SetPaletteEntries(i, RGB(i % 256, i / 256 * 128, 7));
  EXPECT_EQ(big.NearestIndex(RGB(299 % 256, 128, 7)), 299u);
}

TEST(ColorMapping, SingleEntryCacheGoesStale) {
  TPixelGraphic g;
  UsePalette(g, pBlackWhite, true);
  EXPECT_EQ(g.NearestIndex(RGB(0, 255, 0)), 1u);  // weighted sum 449
  g.SetRGBWeighting(false);
  EXPECT_EQ(g.NearestIndex(RGB(0, 255, 0)), 0u);

  UsePalette(g, {RGB(0, 0, 0), RGB(255, 255, 255)});
  EXPECT_EQ(g.NearestIndex(RGB(250, 250, 250)), 1u);
  g.SetPaletteEntries(1, RGB(0, 0, 0));
  EXPECT_EQ(g.NearestIndex(RGB(250, 250, 250)), 0u);

  // A failed search must not revive the answer cached for the old palette.
  UsePalette(g, pGray256);
  EXPECT_EQ(g.NearestIndex(RGB(40, 40, 40)), 40u);
  g.SetPaletteIdent(pNone);
  EXPECT_THROW(g.NearestIndex(RGB(1, 1, 1)), EPGNoPalette);
  try {
    g.NearestIndex(RGB(40, 40, 40));
    FAIL() << "no exception";
  } catch (const EPGNoPalette& e) {
    EXPECT_STREQ(e.what(), "No palette");
  }
}

TEST(ColorMapping, DitherLimitTables) {
  const auto at = [](const TDitherLimitTable& t, int i) { return t[size_t(i + 255)]; };
  const TDitherLimitTable gray16 = DitherLimitTable(AutoDitherErrorLimit(pGray16), true);
  EXPECT_EQ(at(gray16, 16), 16);
  EXPECT_EQ(at(gray16, 20), 18);
  EXPECT_EQ(at(gray16, 48), 32);
  EXPECT_EQ(at(gray16, 200), 32);
  EXPECT_EQ(at(gray16, -20), -18);
  const TDitherLimitTable blackWhite = DitherLimitTable(AutoDitherErrorLimit(pBlackWhite), true);
  EXPECT_EQ(at(blackWhite, 126), 126);
  EXPECT_EQ(at(blackWhite, 127), 126);
  EXPECT_EQ(at(blackWhite, 254), 190);
  EXPECT_EQ(at(blackWhite, 255), 255);
  EXPECT_EQ(at(blackWhite, -255), -255);
  const TDitherLimitTable hard = DitherLimitTable(32, false);
  EXPECT_EQ(at(hard, 31), 31);
  EXPECT_EQ(at(hard, 33), 32);
  const TDitherLimitTable none = DitherLimitTable(0, true);
  EXPECT_TRUE(std::all_of(none.begin(), none.end(), [](int32_t v) { return v == 0; }));

  EXPECT_EQ(AutoDitherErrorLimit(pSysGray4), 128);
  EXPECT_EQ(AutoDitherErrorLimit(pGray236), 3);
  EXPECT_EQ(AutoDitherErrorLimit(pGray256), 2);
  EXPECT_EQ(AutoDitherErrorLimit(pSpecial252), 104);
  EXPECT_EQ(AutoDitherErrorLimit(pSpecial216), 86);
  EXPECT_EQ(AutoDitherErrorLimit(pUnknown), 32);

  EXPECT_EQ(DitherRoundedError(8), 1);
  EXPECT_EQ(DitherRoundedError(7), 0);
  EXPECT_EQ(DitherRoundedError(-8), -1);
  EXPECT_EQ(DitherRoundedError(-7), 0);
  EXPECT_EQ(DitherRoundedError(24), 2);
}

TEST(ColorMapping, DitheringRunsSerpentine) {
  // Without any limit, gray 100 on black and white gives a checkerboard on a
  // 2 x 2 picture only if the odd row runs from right to left.
  TPixelGraphic src, dst;
  Uniform(src, 2, 2, RGB(100, 100, 100));
  dst.SetSize(2, 2, 0);
  dst.SetPaletteIdent(pBlackWhite);
  dst.SetDitherErrorLimitAuto(false);
  dst.SetDitherErrorLimit(255);
  dst.SetDitherErrorLimitSoft(false);
  dst.MapFrom(src);
  EXPECT_EQ(dst.GetPixel(0, 0), 0u);
  EXPECT_EQ(dst.GetPixel(1, 0), 1u);
  EXPECT_EQ(dst.GetPixel(0, 1), 1u);
  EXPECT_EQ(dst.GetPixel(1, 1), 0u);
  EXPECT_FALSE(dst.Dithering());
}

TEST(ColorMapping, DitheredSharesFollowTheLevel) {
  TPixelGraphic src, dst;
  for (int level : {20, 64, 100, 128, 192, 235}) {
    Uniform(src, 150, 120, RGB(level, level, level));
    dst.SetSize(150, 120, 0);
    dst.SetPaletteIdent(pBlackWhite);
    dst.MapFrom(src);
    EXPECT_NEAR(Share(dst, 1), level / 255.0, 0.01) << level;
  }
  // Gray mode measures the colour by its weighted sum.
  Uniform(src, 150, 120, RGB(0, 255, 0));
  dst.MapFrom(src);
  EXPECT_NEAR(Share(dst, 1), 149 / 255.0, 0.01);
  dst.SetRGBWeighting(false);
  dst.MapFrom(src);
  EXPECT_NEAR(Share(dst, 1), 85 / 255.0, 0.01);

  // Colour mode on a palette that is not gray; the automatic limit of 32
  // would hold the error too short for two entries this far apart.
  UsePalette(dst, {RGB(0, 0, 0), RGB(255, 0, 0)});
  dst.SetSize(150, 120, 2);
  dst.SetDitherErrorLimitAuto(false);
  dst.SetDitherErrorLimit(255);
  Uniform(src, 150, 120, RGB(100, 0, 0));
  dst.MapFrom(src);
  EXPECT_NEAR(Share(dst, 1), 100 / 255.0, 0.01);

  // A limit of 0 adds no error: every pixel takes its nearest entry.
  dst.SetSize(150, 120, 0);
  dst.SetPaletteIdent(pBlackWhite);
  dst.SetDitherErrorLimit(0);
  Uniform(src, 150, 120, RGB(100, 100, 100));
  dst.MapFrom(src);
  EXPECT_EQ(Share(dst, 0), 1.0);
  Uniform(src, 150, 120, RGB(160, 160, 160));
  dst.MapFrom(src);
  EXPECT_EQ(Share(dst, 1), 1.0);
}

TEST(ColorMapping, ResamplingIntoPalettedTargets) {
  // Mean of one channel (0 red, 8 green, 16 blue) over the picture.
  const auto mean = [](const TPixelGraphic& g, int shift) {
    double sum = 0;
    for (int32_t y = 0; y < g.GetHeight(); ++y)
      for (int32_t x = 0; x < g.GetWidth(); ++x) sum += (g.GetPixelColor(x, y) >> shift) & 0xFF;
    return sum / (double(g.GetWidth()) * g.GetHeight());
  };
  TPixelGraphic src, dst;
  Uniform(src, 64, 48, RGB(100, 100, 100));
  dst.SetSize(32, 24, 1);
  dst.SetPaletteIdent(pGray16);
  dst.StretchDraw(0, 0, 32, 24, 0, 0, 64, 48, src);
  EXPECT_NEAR(mean(dst, 8), 100.0, 1.0);
  dst.SetDither(false);
  dst.StretchDraw(0, 0, 32, 24, 0, 0, 64, 48, src);
  EXPECT_EQ(Share(dst, 6), 1.0);  // 102 is the nearest level

  // 8 bits, enlarging onto the 216 cube: each channel keeps its mean.
  dst.SetSize(100, 80, 2);
  dst.SetPaletteIdent(pSpecial216);
  dst.SetDither(true);
  Uniform(src, 50, 40, RGB(90, 140, 230));
  dst.StretchDraw(0, 0, 100, 80, 0, 0, 50, 40, src);
  EXPECT_NEAR(mean(dst, 0), 90, 1.5);
  EXPECT_NEAR(mean(dst, 8), 140, 1.5);
  EXPECT_NEAR(mean(dst, 16), 230, 1.5);
}

TEST(ColorMapping, DitheringStateAndPixelWriter) {
  TPixelGraphic g;
  g.SetSize(3, 2, 2);
  g.SetPaletteIdent(pGray16);
  g.SetGrayPalette(false);
  g.DitherStart();
  EXPECT_TRUE(g.GrayPalette());
  EXPECT_TRUE(g.Dithering());
  g.DitherRowStart();
  g.WriteDitheredPixel(-1, 0, 255, 255, 255);  // outside: ignored
  g.WriteDitheredPixel(3, 0, 255, 255, 255);
  g.WriteDitheredPixel(0, 0, 400, 400, 400);   // beyond the channel range counts as 255
  EXPECT_EQ(g.GetPixel(0, 0), 15u);
  g.SetXYRangeCheck(true);
  EXPECT_THROW(g.WriteDitheredPixel(0, 2, 0, 0, 0), EPGXYIndexOutOfRange);
  g.DitherEnd();
  EXPECT_FALSE(g.Dithering());
  g.SetPaletteIdent(pSys16);
  g.DitherStart();
  EXPECT_FALSE(g.GrayPalette());
  g.DitherEnd();
  g.WriteDitheredPixel(1, 1, 250, 0, 0);  // without the state: plain nearest entry
  EXPECT_EQ(g.GetPixel(1, 1), 9u);

  // A picture whose memory could not be had takes no pixels either.
  TPixelGraphic hollow;
  EXPECT_THROW(hollow.SetSize(50000, 50000, 2), EPixelGraphic);
  hollow.SetPaletteIdent(pGray4);
  hollow.DitherStart();
  hollow.DitherRowStart();
  hollow.WriteDitheredPixel(0, 0, 10, 20, 30);
  hollow.DitherEnd();

  // A missing palette ends the operation with the error and frees the state.
  TPixelGraphic src;
  Uniform(src, 3, 2, RGB(1, 2, 3));
  g.SetPaletteIdent(pNone);
  EXPECT_THROW(g.MapFrom(src), EPGNoPalette);
  EXPECT_FALSE(g.Dithering());
}

}  // namespace
