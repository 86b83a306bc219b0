#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "pixelgraphic.h"
#include "resamplespan.h"
#include "testpictures.h"

namespace {

// The per-pixel formula written out plainly, into a 24-bit target.
void ReferenceStretch(TPixelGraphic& dst, int32_t DstX, int32_t DstY, int32_t DstWidth, int32_t DstHeight,
                      int32_t SrcX, int32_t SrcY, int32_t SrcWidth, int32_t SrcHeight, const TPixelGraphic& src) {
  const int32_t firstCol = std::max(DstX, 0);
  const int32_t lastCol = std::min(DstX + DstWidth - 1, dst.GetWidth() - 1);
  const int32_t firstRow = std::max(DstY, 0);
  const int32_t lastRow = std::min(DstY + DstHeight - 1, dst.GetHeight() - 1);
  const auto colMethod = AxisMethod(dst.StretchMode(), SrcWidth, DstWidth);
  const auto rowMethod = AxisMethod(dst.StretchMode(), SrcHeight, DstHeight);
  const int64_t colDiv = AxisDivisor(colMethod, SrcWidth, DstWidth);
  const int64_t rowDiv = AxisDivisor(rowMethod, SrcHeight, DstHeight);
  auto taps = [](const TColumnSpan& s, int64_t inner) {
    std::vector<std::pair<int32_t, int64_t>> t;
    if (s.Kind == 0) return decltype(t){{s.First, s.WeightFirst}};
    for (int32_t i = s.First; i <= s.Last; ++i) {
      if (s.Kind == 1 && i != s.First && i != s.Last) continue;
      t.push_back({i, i == s.First ? s.WeightFirst : i == s.Last ? s.WeightLast : inner});
    }
    return t;
  };
  for (int32_t y = firstRow; y <= lastRow; ++y) {
    const auto rs = ComputeSpan(rowMethod, y - DstY, SrcHeight, DstHeight, SrcY, src.GetHeight());
    if (!rs.Valid) continue;
    for (int32_t x = firstCol; x <= lastCol; ++x) {
      const auto cs = ComputeSpan(colMethod, x - DstX, SrcWidth, DstWidth, SrcX, src.GetWidth());
      if (!cs.Valid) continue;
      int64_t total[3] = {0, 0, 0};
      for (auto [r, rw] : taps(rs, DstHeight)) {
        int64_t sum[3] = {0, 0, 0};
        for (auto [c, cw] : taps(cs, DstWidth)) {
          const TRGB color = src.GetPixelColor(c, r);
          sum[0] += GetRValue(color) * cw;
          sum[1] += GetGValue(color) * cw;
          sum[2] += GetBValue(color) * cw;
        }
        for (int ch = 0; ch < 3; ++ch) total[ch] += sum[ch] / colDiv * rw;
      }
      dst.SetPixel(x, y, RGB(uint32_t(total[0] / rowDiv), uint32_t(total[1] / rowDiv), uint32_t(total[2] / rowDiv)));
    }
  }
}

std::vector<uint32_t> Row(const TPixelGraphic& g, int32_t y) {
  std::vector<uint32_t> v;
  for (int32_t x = 0; x < g.GetWidth(); ++x) v.push_back(g.GetPixel(x, y));
  return v;
}

TPixelGraphic* Strip(TPixelGraphic& g, std::initializer_list<uint32_t> reds) {
  g.SetSize(int32_t(reds.size()), 1, 3);
  int x = 0;
  for (uint32_t r : reds) g.SetPixel(x++, 0, RGB(r, 0, 0));
  return &g;
}

std::vector<uint32_t> StretchStrip(TStretchMode mode, std::initializer_list<uint32_t> reds, int32_t width) {
  TPixelGraphic src, dst;
  Strip(src, reds);
  dst.SetSize(width, 1, 3);
  dst.SetStretchMode(mode);
  dst.StretchDraw(0, 0, width, 1, 0, 0, src.GetWidth(), 1, src);
  std::vector<uint32_t> out;
  for (uint32_t v : Row(dst, 0)) out.push_back(GetRValue(v));
  return out;
}

TEST(StretchDraw, HalvingInEveryMode) {
  EXPECT_EQ(StretchStrip(smPrecise, {10, 20, 30, 40}, 2), (std::vector<uint32_t>{15, 35}));
  EXPECT_EQ(StretchStrip(smMedium, {10, 20, 30, 40}, 2), (std::vector<uint32_t>{15, 35}));
  EXPECT_EQ(StretchStrip(smFast, {10, 20, 30, 40}, 2), (std::vector<uint32_t>{10, 30}));
}

TEST(StretchDraw, Spans) {
  // Precise halving: area weights 2 and 2 out of 4.
  auto s = ComputeSpan(rmArea, 1, 4, 2, 0, 4);
  EXPECT_EQ(s.First, 2);
  EXPECT_EQ(s.Last, 3);
  EXPECT_EQ(s.WeightFirst, 2);
  EXPECT_EQ(s.WeightLast, 2);
  EXPECT_EQ(s.Kind, 1);
  // 5 -> 2: the middle source pixel is split between both destinations.
  s = ComputeSpan(rmArea, 0, 5, 2, 0, 5);
  EXPECT_EQ(s.Kind, 2);
  EXPECT_EQ(s.Last, 2);
  EXPECT_EQ(s.WeightFirst + 2 * 1 + s.WeightLast, 5);
  // Enlarging 2 -> 4 by interpolation: the left edge truncates onto pixel 0,
  // the right edge straddles and is clamped.
  s = ComputeSpan(rmLinear, 0, 2, 4, 0, 2);
  EXPECT_TRUE(s.Valid);
  EXPECT_EQ(s.Kind, 0);
  EXPECT_EQ(s.First, 0);
  s = ComputeSpan(rmLinear, 3, 2, 4, 0, 2);
  EXPECT_TRUE(s.Valid);
  EXPECT_EQ(s.Kind, 0);
  EXPECT_EQ(s.First, 1);
  EXPECT_EQ(s.WeightFirst, 8);
  // A span wholly outside stays invalid; shrinking never clamps.
  EXPECT_FALSE(ComputeSpan(rmLinear, 0, 2, 4, 5, 2).Valid);
  EXPECT_FALSE(ComputeSpan(rmLinear, 1, 4, 2, 1, 4).Valid);
  EXPECT_FALSE(ComputeSpan(rmArea, 1, 4, 2, 1, 4).Valid);
  EXPECT_EQ(AxisMethod(smMedium, 4, 2), rmLinear);
  EXPECT_EQ(AxisMethod(smMedium, 2, 4), rmArea);
  EXPECT_EQ(AxisMethod(smPrecise, 3, 3), rmIdentity);
  EXPECT_EQ(AxisMethod(smFast, 3, 3), rmNearest);
}

TEST(StretchDraw, EnlargingEdges) {
  auto precise = StretchStrip(smPrecise, {100, 200}, 4);
  EXPECT_EQ(precise.front(), 100u);
  EXPECT_EQ(precise.back(), 200u);
  EXPECT_EQ(precise[1], 125u);  // centre at 0.75 source pixels: 3/4 of 100 and 1/4 of 200
  EXPECT_EQ(StretchStrip(smMedium, {100, 200}, 4), (std::vector<uint32_t>{100, 100, 200, 200}));
}

TEST(StretchDraw, ClippedRectanglesAndProgress) {
  TPixelGraphic src, dst;
  src.SetSize(8, 8, 3);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) src.SetPixel(x, y, RGB(x * 30, y * 30, 7));
  dst.SetSize(6, 6, 3);
  dst.SetBackGroundPixel(RGB(1, 2, 3));
  dst.Clear();
  std::vector<std::pair<int, int>> calls;
  int starts = 0, ends = 0, changes = 0;
  dst.OnProgressStart = [&](TObject*) { ++starts; };
  dst.OnProgress = [&](TObject*, int step, int max, bool& abort) {
    EXPECT_FALSE(abort);
    calls.push_back({step, max});
  };
  dst.OnProgressEnd = [&](TObject*) { ++ends; };
  dst.OnChange = [&](TObject*) { ++changes; };
  dst.StretchDraw(-2, 3, 4, 4, 0, 0, 8, 8, src);
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(calls, (std::vector<std::pair<int, int>>{{0, 2}, {1, 2}, {2, 2}}));
  // Only columns 0..1 of rows 3..5 are written.
  EXPECT_EQ(dst.GetPixel(2, 3), RGB(1, 2, 3));
  EXPECT_EQ(dst.GetPixel(0, 2), RGB(1, 2, 3));
  EXPECT_NE(dst.GetPixel(0, 3), RGB(1, 2, 3));
}

TEST(StretchDraw, SameSize24BitCopiesWithoutProgressCalls) {
  TPixelGraphic src, dst;
  src.SetSize(5, 4, 3);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) src.SetPixel(x, y, RGB(x, y, 99));
  dst.SetSize(5, 4, 3);
  int starts = 0, progress = 0, ends = 0;
  dst.OnProgressStart = [&](TObject*) { ++starts; };
  dst.OnProgress = [&](TObject*, int, int, bool&) { ++progress; };
  dst.OnProgressEnd = [&](TObject*) { ++ends; };
  dst.StretchDraw(1, 0, 5, 4, 0, 1, 5, 4, src);
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(progress, 0);
  EXPECT_EQ(dst.GetPixel(0, 0), 0u);
  EXPECT_EQ(dst.GetPixel(1, 0), RGB(0, 1, 99));
  EXPECT_EQ(dst.GetPixel(4, 2), RGB(3, 3, 99));
  EXPECT_EQ(dst.GetPixel(4, 3), 0u);  // source row 4 does not exist

  // Same size from a palette source goes pixel by pixel and reports rows.
  TPixelGraphic gray;
  gray.SetSize(5, 4, 2);
  gray.SetPaletteIdent(pGray256);
  gray.SetPixel(2, 2, 80);
  dst.CopyRect(0, 0, 5, 4, 0, 0, gray);
  EXPECT_EQ(progress, 4);
  EXPECT_EQ(dst.GetPixel(2, 2), RGB(80, 80, 80));
}

TEST(StretchDraw, SourceRectangleBeyondTheSource) {
  TPixelGraphic src, dst;
  Strip(src, {10, 20, 30, 40});
  dst.SetSize(4, 1, 3);
  dst.SetBackGroundPixel(RGB(0, 0, 9));
  dst.Clear();
  dst.SetStretchMode(smPrecise);
  dst.StretchDraw(0, 0, 4, 1, 0, 0, 8, 1, src);  // shrinking 8 -> 4 from a 4-pixel source
  EXPECT_EQ(GetRValue(dst.GetPixel(0, 0)), 15);
  EXPECT_EQ(GetRValue(dst.GetPixel(1, 0)), 35);
  EXPECT_EQ(dst.GetPixel(2, 0), RGB(0, 0, 9));
  EXPECT_EQ(dst.GetPixel(3, 0), RGB(0, 0, 9));
}

TEST(StretchDraw, AbortOnFirstRowLeavesOneRowWritten) {
  TPixelGraphic src, dst;
  src.SetSize(4, 4, 3);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) src.SetPixel(x, y, RGB(200, 200, 200));
  dst.SetSize(8, 8, 3);
  int calls = 0, ends = 0;
  dst.OnProgress = [&](TObject*, int, int, bool& abort) {
    ++calls;
    abort = true;
  };
  dst.OnProgressEnd = [&](TObject*) { ++ends; };
  // Rows 0 and 1 map above the source and are skipped without a call.
  dst.StretchDraw(0, 0, 8, 8, 0, -1, 4, 4, src);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(ends, 1);
  int written = 0;
  for (int y = 0; y < 8; ++y) written += dst.GetPixel(3, y) != 0;
  EXPECT_EQ(written, 1);
}

TEST(StretchDraw, DegenerateSizesEndQuietly) {
  TPixelGraphic src, dst, empty;
  src.SetSize(4, 4, 3);
  dst.SetSize(4, 4, 3);
  int events = 0;
  dst.OnProgressStart = [&](TObject*) { ++events; };
  dst.OnChange = [&](TObject*) { ++events; };
  dst.StretchDraw(0, 0, 2, 2, 0, 0, 4, 4, empty);
  dst.StretchDraw(0, 0, 2, 2, 0, 0, 0, 4, src);
  dst.StretchDraw(0, 0, 2, 2, 0, 0, -3, 4, src);
  dst.StretchDraw(0, 0, 2, 2, 0, 0, 4, -1, src);
  empty.StretchDraw(0, 0, 2, 2, 0, 0, 4, 4, src);
  EXPECT_EQ(events, 0);
  // Extreme rectangles neither crash nor write outside.
  dst.StretchDraw(INT32_MIN / 2, INT32_MIN / 2, INT32_MAX, INT32_MAX, 0, 0, 4, 4, src);
  dst.StretchDraw(0, 0, 4, 4, INT32_MAX - 10, 0, INT32_MAX, 3, src);
}

// Random rectangles, modes and depths against the plain formula.
TEST(StretchDraw, MatchesThePerPixelFormula) {
  std::mt19937 rng(12345);
  auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int round = 0; round < 400; ++round) {
    TPixelGraphic src;
    const uint8_t n = uint8_t(uniform(0, 3));
    src.SetSize(uniform(1, 23), uniform(1, 23), n);
    if (n < 3) {
      src.SetPaletteCount(PaletteCapacity(n));
      for (int i = 0; i < src.PaletteCount(); ++i) src.SetPaletteEntries(i, TRGB(rng() & 0xFFFFFF));
    }
    for (int64_t i = 0; i < src.ImageSize(); ++i) src.Bits()[i] = uint8_t(rng());
    TPixelGraphic dst, ref;
    dst.SetSize(uniform(1, 30), uniform(1, 30), 3);
    dst.SetStretchMode(TStretchMode(uniform(0, 2)));
    ref.Assign(&dst);
    for (int64_t i = 0; i < dst.ImageSize(); ++i) dst.Bits()[i] = ref.Bits()[i] = uint8_t(rng());
    const int32_t dx = uniform(-8, 20), dy = uniform(-8, 20), dw = uniform(1, 40), dh = uniform(1, 40);
    const int32_t sx = uniform(-6, src.GetWidth()), sy = uniform(-6, src.GetHeight());
    int32_t sw = uniform(1, 40), sh = uniform(1, 40);
    if (sw == dw && sh == dh) ++sw;
    dst.StretchDraw(dx, dy, dw, dh, sx, sy, sw, sh, src);
    ReferenceStretch(ref, dx, dy, dw, dh, sx, sy, sw, sh, src);
    ASSERT_EQ(Pixels(dst), Pixels(ref)) << "round " << round << " mode " << int(dst.StretchMode()) << " depth "
                                        << int(n) << " dst " << dx << "," << dy << " " << dw << "x" << dh << " src "
                                        << sx << "," << sy << " " << sw << "x" << sh;
  }
}

}  // namespace

namespace {

// Whole-picture resampling in both directions, where the fast paths apply.
TEST(StretchDraw, WholePicturesMatchTheFormula) {
  std::mt19937 rng(99);
  const struct {
    int32_t sw, sh, dw, dh;
  } sizes[] = {{203, 7, 101, 3}, {200, 9, 100, 4}, {61, 5, 122, 11}, {64, 4, 129, 9}, {300, 3, 97, 2}, {7, 3, 300, 5}};
  for (const auto& size : sizes) {
    for (uint8_t n : {uint8_t(2), uint8_t(3)}) {
      TPixelGraphic src;
      src.SetSize(size.sw, size.sh, n);
      if (n == 2) src.SetPaletteIdent(pGray256);
      for (int64_t i = 0; i < src.ImageSize(); ++i) src.Bits()[i] = uint8_t(rng());
      for (TStretchMode mode : {smFast, smMedium, smPrecise}) {
        TPixelGraphic dst, ref;
        dst.SetSize(size.dw, size.dh, 3);
        dst.SetStretchMode(mode);
        ref.Assign(&dst);
        dst.MapFrom(src);
        ReferenceStretch(ref, 0, 0, size.dw, size.dh, 0, 0, size.sw, size.sh, src);
        ASSERT_EQ(Pixels(dst), Pixels(ref)) << size.sw << "->" << size.dw << " mode " << int(mode) << " depth "
                                            << int(n);
      }
    }
  }
}

}  // namespace
