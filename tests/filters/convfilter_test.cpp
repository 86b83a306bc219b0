#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "convfilter.h"
#include "failuremessage.h"
#include "langstr.h"
#include "namedpalettes.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "testpictures.h"

namespace {

std::vector<std::vector<int32_t>> Kernel(const TConvFilter& f) {
  std::vector<std::vector<int32_t>> rows(size_t(f.Height()));
  for (int32_t i = 0; i < f.Height(); ++i)
    for (int32_t j = 0; j < f.Width(); ++j) rows[size_t(i)].push_back(f.Weights(j, i));
  return rows;
}

// The filtered colour written out plainly in extended arithmetic.
TRGB ReferencePixel(const TConvFilter& f, const TPixelGraphic& src, int32_t x, int32_t y) {
  long double weightSum = 0, sums[3] = {0, 0, 0};
  for (int32_t i = 0; i < f.Height(); ++i)
    for (int32_t j = 0; j < f.Width(); ++j) {
      const int64_t sx = int64_t(x) + j + f.OffsetX(), sy = int64_t(y) + i + f.OffsetY();
      if (sx < 0 || sy < 0 || sx >= src.GetWidth() || sy >= src.GetHeight()) continue;
      const TRGB c = src.GetPixelColor(int32_t(sx), int32_t(sy));
      const long double w = f.Weights(j, i);
      weightSum += w;
      sums[0] += w * GetRValue(c);
      sums[1] += w * GetGValue(c);
      sums[2] += w * GetBValue(c);
    }
  uint32_t out[3];
  for (int c = 0; c < 3; ++c) {
    const long double v =
        std::nearbyint(f.Factor() * (weightSum != 0 ? sums[c] / weightSum : sums[c]) + f.Bias() * 255 * 0.01L);
    out[c] = uint32_t(std::fmax(0.0L, std::fmin(255.0L, v)));
  }
  return RGB(out[0], out[1], out[2]);
}

void ExpectMatchesReference(TConvFilter& f, const TPixelGraphic& src, const char* what) {
  TPixelGraphic dst;
  dst.ApplyFilter(f, src);
  ASSERT_EQ(dst.GetWidth(), src.GetWidth());
  ASSERT_EQ(dst.GetHeight(), src.GetHeight());
  for (int32_t y = 0; y < src.GetHeight(); ++y)
    for (int32_t x = 0; x < src.GetWidth(); ++x)
      ASSERT_EQ(dst.GetPixel(x, y), ReferencePixel(f, src, x, y)) << what << " at " << x << ", " << y;
}

// The pipeline's sharpening kernel.
void Sharpen(TConvFilter& f, long double strength) { f.BuildSharpen(ksTriangle, false, 0.75L, strength); }

// Inverts every colour; its result depends on each pixel alone.
class TInvertFilter : public TPGFilter {
public:
  TRGB PixelAt(int32_t x, int32_t y) override { return MapColor(Source()->GetPixelColor(x, y)); }
  bool ColorOnly() const override { return true; }
  TRGB MapColor(TRGB c) override { return ~c & 0xFFFFFF; }
};

}  // namespace

TEST(ConvFilter, KernelSizeAndIndexErrors) {
  TConvFilter f;
  EXPECT_EQ(Kernel(f), (std::vector<std::vector<int32_t>>{{1}}));
  EXPECT_EQ(Failure<EPGConvFilter>([&] { f.SetWidth(0); }), "TConvFilter.Width out of range");
  EXPECT_EQ(Failure<EPGConvFilter>([&] { f.SetWidth(100); }), "TConvFilter.Width out of range");
  EXPECT_EQ(Failure<EPGConvFilter>([&] { f.SetHeight(0); }), "TConvFilter.Height out of range");
  EXPECT_EQ(Failure<EPGConvFilter>([&] { f.SetHeight(100); }), "TConvFilter.Height out of range");
  EXPECT_EQ(Kernel(f), (std::vector<std::vector<int32_t>>{{1}}));  // nothing changed

  f.SetWidth(99);
  f.SetHeight(1);
  EXPECT_EQ(f.Width(), 99);
  EXPECT_EQ(f.Weights(0, 0), 0);  // a new size clears the weights
  f.SetWeights(98, 0, -5);
  f.SetWidth(99);
  EXPECT_EQ(f.Weights(98, 0), -5);  // the same size keeps them
  f.SetHeight(99);
  EXPECT_EQ(f.Weights(98, 0), 0);

  const std::string indexError = "X, Y index out of range";
  EXPECT_EQ(Failure<EPGConvFilter>([&] { f.Weights(99, 0); }), indexError);
  EXPECT_EQ(Failure<EPGConvFilter>([&] { f.Weights(0, -1); }), indexError);
  EXPECT_EQ(Failure<EPGConvFilter>([&] { f.SetWeights(-1, 0, 1); }), indexError);
  EXPECT_EQ(Failure<EPGConvFilter>([&] { f.SetWeights(0, 99, 1); }), indexError);
}

TEST(ConvFilter, SmoothingKernels) {
  const std::vector<std::vector<int32_t>> k373{{3, 7, 3}, {7, 16, 7}, {3, 7, 3}};
  TConvFilter f;
  f.SetBias(10);
  f.SetFactor(2);
  f.BuildSmoothing(ksTriangle, false, 0.75L);
  EXPECT_EQ(Kernel(f), k373);
  EXPECT_EQ(f.OffsetX(), -1);
  EXPECT_EQ(f.OffsetY(), -1);
  EXPECT_EQ(f.Bias(), 0);
  EXPECT_EQ(f.Factor(), 1);
  f.BuildSmoothing(ksGaussian, false, 0.75L);
  EXPECT_EQ(Kernel(f), k373);
  f.BuildSmoothing(ksTriangle, true, 0.75L);
  EXPECT_EQ(Kernel(f), (std::vector<std::vector<int32_t>>{{4, 7, 4}, {7, 16, 7}, {4, 7, 4}}));

  for (bool radial : {false, true}) {
    f.BuildSmoothing(ksGaussian, radial, 1);
    ASSERT_EQ(f.Width(), 5);
    ASSERT_EQ(f.Height(), 5);
    EXPECT_EQ(Kernel(f)[2], (std::vector<int32_t>{2, 10, 16, 10, 2}));
    EXPECT_EQ(f.OffsetX(), -2);
    f.BuildSmoothing(ksGaussian, radial, 2);
    EXPECT_EQ(f.Width(), 11);
    EXPECT_EQ(f.Height(), 11);
    EXPECT_EQ(f.Weights(5, 5), 16);
    EXPECT_EQ(f.OffsetY(), -5);
  }

  // Box: the size is 2o - 3 for the first o outside the box.
  f.BuildSmoothing(ksBox, false, 1);  // a = 1.73
  EXPECT_EQ(Kernel(f), (std::vector<std::vector<int32_t>>{{1}}));
  EXPECT_EQ(f.OffsetX(), 0);
  f.BuildSmoothing(ksBox, true, 3);  // a = 5.20: 9 x 9, corners outside the circle
  ASSERT_EQ(f.Width(), 9);
  EXPECT_EQ(f.Weights(0, 0), 0);
  EXPECT_EQ(f.Weights(0, 1), 1);  // distance 5
  EXPECT_EQ(f.Weights(4, 4), 1);
  f.BuildSmoothing(ksBox, false, 3);
  EXPECT_EQ(f.Weights(0, 0), 1);

  // An unknown shape keeps the kernel and centres nothing.
  f.SetOffsetX(-4);
  f.SetBias(3);
  f.BuildSmoothing(TKernelShape(7), false, 1);
  EXPECT_EQ(f.Width(), 9);
  EXPECT_EQ(f.OffsetX(), 0);
  EXPECT_EQ(f.Bias(), 0);
}

TEST(ConvFilter, KernelsBeyondTheSizeLimitsRaise) {
  TConvFilter f;
  f.BuildSmoothing(ksTriangle, false, 0.75L);
  const auto before = Kernel(f);
  const std::string tooLarge = "TConvFilter.Width out of range";
  EXPECT_EQ(Failure<EPGConvFilter>([&] { f.BuildSmoothing(ksGaussian, false, 20); }), tooLarge);
  EXPECT_EQ(Failure<EPGConvFilter>([&] { f.BuildSmoothing(ksGaussian, true, INFINITY); }), tooLarge);
  EXPECT_EQ(Failure<EPGConvFilter>([&] { f.BuildSmoothing(ksBox, false, 100); }), tooLarge);
  // No positive weight at all.
  EXPECT_EQ(Failure<EPGConvFilter>([&] { f.BuildSmoothing(ksGaussian, false, 0); }), tooLarge);
  EXPECT_EQ(Failure<EPGConvFilter>([&] { f.BuildSmoothing(ksTriangle, true, -1); }), tooLarge);
  EXPECT_EQ(Failure<EPGConvFilter>([&] { f.BuildSmoothing(ksBox, false, 0.5L); }), tooLarge);
  EXPECT_EQ(Failure<EPGConvFilter>([&] { f.BuildSharpen(ksTriangle, false, NAN, 50); }), tooLarge);
  EXPECT_EQ(Kernel(f), before);
  EXPECT_EQ(f.OffsetX(), -1);
}

TEST(ConvFilter, SharpenKernels) {
  for (auto [strength, centre] :
       std::vector<std::pair<int, int>>{{100, 56}, {75, 75}, {50, 112}, {25, 224}, {10, 560}, {1, 5600}, {64, 88}}) {
    TConvFilter f;
    Sharpen(f, strength);
    EXPECT_EQ(Kernel(f), (std::vector<std::vector<int32_t>>{{-3, -7, -3}, {-7, centre, -7}, {-3, -7, -3}})) << strength;
    EXPECT_EQ(f.OffsetX(), -1);
  }
  // At 100 % the centre is the smoothing kernel's sum f, so the sharpening
  // kernel sums to the smoothing centre, 16.
  const auto sum = [](const TConvFilter& k) {
    int64_t s = 0;
    for (const auto& row : Kernel(k))
      for (int32_t w : row) s += w;
    return s;
  };
  TConvFilter g;
  g.BuildSmoothing(ksGaussian, true, 1);
  const int64_t f = sum(g);
  g.BuildSharpen(ksGaussian, true, 1, 100);
  EXPECT_EQ(g.Weights(2, 2), f);
  EXPECT_EQ(g.Weights(2, 1), -10);
  EXPECT_EQ(sum(g), 16);
  // A strength of 0 would need an infinite centre weight: it saturates.
  Sharpen(g, 0);
  EXPECT_EQ(g.Weights(1, 1), INT32_MAX);
  Sharpen(g, -100);
  EXPECT_EQ(g.Weights(1, 1), -56);
}

TEST(ConvFilter, SharpeningValues) {
  TPixelGraphic uniform, dst;
  uniform.SetSize(5, 4, 3);
  for (TRGB c : {RGB(0, 0, 0), RGB(255, 255, 255), RGB(13, 128, 201)}) {
    for (int32_t y = 0; y < 4; ++y)
      for (int32_t x = 0; x < 5; ++x) uniform.SetPixel(x, y, c);
    for (int strength : {1, 10, 37, 50, 99, 100}) {
      TConvFilter f;
      Sharpen(f, strength);
      dst.ApplyFilter(f, uniform);
      EXPECT_EQ(Pixels(dst), Pixels(uniform)) << strength;
    }
  }

  // Corner: W = 56 - 7 - 7 - 3 = 39.
  TPixelGraphic src;
  src.SetSize(4, 4, 3);
  const uint32_t p = 100, right = 80, below = 60, diagonal = 40;
  src.SetPixel(0, 0, RGB(p, 0, 255));
  src.SetPixel(1, 0, RGB(right, 0, 255));
  src.SetPixel(0, 1, RGB(below, 0, 255));
  src.SetPixel(1, 1, RGB(diagonal, 0, 255));
  TConvFilter f;
  Sharpen(f, 100);
  dst.ApplyFilter(f, src);
  const long double expected = (56.0L * p - 7.0L * (right + below) - 3.0L * diagonal) / 39;  // 115.38
  EXPECT_EQ(dst.GetPixel(0, 0), RGB(uint32_t(std::nearbyint(expected)), 0, 255));

  // Contrast: a black pixel among white ones, and the other way round.
  src.SetSize(3, 3, 3);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 3; ++x) src.SetPixel(x, y, RGB(255, 0, 255));
  src.SetPixel(1, 1, RGB(0, 255, 0));
  dst.ApplyFilter(f, src);
  EXPECT_EQ(dst.GetPixel(1, 1), RGB(0, 255, 0));
  // Exact halves round to even.
  TConvFilter half;
  half.SetWidth(2);
  half.SetWeights(0, 0, 1);
  half.SetWeights(1, 0, 1);
  src.SetSize(3, 1, 3);
  src.SetPixel(0, 0, RGB(1, 2, 3));
  src.SetPixel(1, 0, RGB(2, 3, 3));
  src.SetPixel(2, 0, RGB(200, 0, 0));
  dst.ApplyFilter(half, src);
  EXPECT_EQ(dst.GetPixel(0, 0), RGB(2, 2, 3));    // 1.5 -> 2, 2.5 -> 2
  EXPECT_EQ(dst.GetPixel(2, 0), RGB(200, 0, 0));  // the cell beyond the edge counts nowhere
}

TEST(ConvFilter, WholePicturesMatchThePerPixelFormula) {
  TPixelGraphic src;
  FillRandom(src, 23, 11, 1);
  for (int strength : {100, 37, 1}) {
    TConvFilter f;
    Sharpen(f, strength);
    ExpectMatchesReference(f, src, "sharpen");
  }
  TConvFilter f;
  f.BuildSmoothing(ksGaussian, true, 1.3L);
  ExpectMatchesReference(f, src, "gaussian");

  // Lopsided kernels with weights of both signs, some summing to 0 on parts
  // of the picture, with factor and bias.
  std::mt19937 rng(7);
  for (int round = 0; round < 12; ++round) {
    f.SetWidth(1 + int32_t(rng() % 6));
    f.SetHeight(1 + int32_t(rng() % 5));
    for (int32_t i = 0; i < f.Height(); ++i)
      for (int32_t j = 0; j < f.Width(); ++j) f.SetWeights(j, i, int32_t(rng() % 41) - 20);
    f.SetOffsetX(int32_t(rng() % 9) - 6);
    f.SetOffsetY(int32_t(rng() % 7) - 4);
    f.SetFactor(round % 3 == 0 ? 1 : 0.6L + (rng() % 100) / 50.0L);
    f.SetBias(round % 4 == 0 ? 0 : (int(rng() % 200) - 100) / 3.0L);
    ExpectMatchesReference(f, src, "random");
  }

  // Weights beyond 16 bits, and sums beyond 32 bits.
  f.SetFactor(1);
  f.SetBias(0);
  f.SetOffsetX(-1);
  f.SetOffsetY(-1);
  f.SetWidth(3);
  f.SetHeight(3);
  for (int32_t i = 0; i < 3; ++i)
    for (int32_t j = 0; j < 3; ++j) f.SetWeights(j, i, (i * 3 + j) % 2 ? -33000 - i : 40001 + j);
  ExpectMatchesReference(f, src, "32-bit weights");
  // Weights whose sums need more than 32 bits.
  f.SetWidth(3);
  f.SetHeight(2);
  f.SetOffsetX(-1);
  f.SetOffsetY(0);
  for (int32_t i = 0; i < 2; ++i)
    for (int32_t j = 0; j < 3; ++j) f.SetWeights(j, i, (i + j) % 2 ? -2000000000 : 2000000000);
  f.SetWeights(1, 1, INT32_MAX);
  ExpectMatchesReference(f, src, "large weights");

  // A kernel wider than the picture, and a palette source.
  f.BuildSmoothing(ksGaussian, false, 2);
  FillRandom(src, 3, 2, 2);
  ExpectMatchesReference(f, src, "narrow");
  TPixelGraphic gray;
  gray.SetSize(9, 7, 2);
  const auto entries = NamedPaletteEntries(pGray256);
  gray.SetPaletteCount(int32_t(entries.size()));
  for (int32_t i = 0; i < gray.PaletteCount(); ++i) gray.SetPaletteEntries(i, entries[size_t(i)]);
  for (int32_t y = 0; y < 7; ++y)
    for (int32_t x = 0; x < 9; ++x) gray.SetPixel(x, y, uint32_t(x * 29 + y * 5) & 255);
  Sharpen(f, 60);
  ExpectMatchesReference(f, gray, "palette source");
  f.BuildSmoothing(ksBox, false, 2);
  ExpectMatchesReference(f, gray, "palette source, box");
}

TEST(ApplyFilter, OwnTargetIsRefusedForConvolution) {
  TPixelGraphic g;
  FillRandom(g, 4, 3, 4);
  const auto before = Pixels(g);
  int changes = 0, starts = 0;
  g.OnChange = [&](TObject*) { ++changes; };
  g.OnProgressStart = [&](TObject*) { ++starts; };
  TConvFilter f;
  Sharpen(f, 50);
  EXPECT_EQ(Failure<EPGFilter>([&] { g.ApplyFilter(f, g); }),
            "Cannot apply this filter to a source that is identical to the target");
  SetPGLanguage(1);
  EXPECT_EQ(Failure<EPGFilter>([&] { g.ApplyFilter(f, g); }),
            "Dieser Filter kann nicht auf eine zum Ziel identische Quelle angewendet werden");
  SetPGLanguage(0);
  EXPECT_EQ(Pixels(g), before);
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(starts, 0);
  EXPECT_EQ(f.Source(), nullptr);
}

TEST(ApplyFilter, SizeProgressAndAbort) {
  TPixelGraphic src, dst;
  FillRandom(src, 7, 5, 5);
  std::vector<std::pair<int, int>> calls;
  std::vector<std::string> events;
  int abortAt = -1;
  dst.OnProgressStart = [&](TObject*) { events.push_back("start"); };
  dst.OnProgressEnd = [&](TObject*) { events.push_back("end"); };
  dst.OnChange = [&](TObject*) { events.push_back("change"); };
  dst.OnProgress = [&](TObject* sender, int step, int max, bool& abort) {
    EXPECT_EQ(sender, &dst);
    EXPECT_FALSE(abort);
    calls.push_back({step, max});
    abort = step == abortAt;
  };
  TConvFilter f;
  Sharpen(f, 30);
  dst.SetSize(1, 1, 3);
  events.clear();
  dst.ApplyFilter(f, src);
  EXPECT_EQ(dst.GetWidth(), 7);
  EXPECT_EQ(dst.GetHeight(), 5);
  EXPECT_EQ(dst.BitCountNum(), 3);
  EXPECT_EQ(calls, (std::vector<std::pair<int, int>>{{0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 4}}));
  EXPECT_EQ(events, (std::vector<std::string>{"change", "start", "end", "change"}));
  EXPECT_EQ(f.Source(), nullptr);

  // Abort after row 1: the rows below keep the reset value.
  calls.clear();
  abortAt = 1;
  dst.SetBackGroundPixel(RGB(9, 9, 9));
  dst.ApplyFilter(f, src);
  EXPECT_EQ(calls.size(), 2u);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 7; ++x)
      EXPECT_EQ(dst.GetPixel(x, y), y <= 1 ? ReferencePixel(f, src, x, y) : RGB(9, 9, 9)) << x << ", " << y;
  EXPECT_EQ(events.back(), "change");
  EXPECT_EQ(events[events.size() - 2], "end");

  // An empty source: only the change notification.
  events.clear();
  calls.clear();
  TPixelGraphic empty;
  empty.SetSize(0, 3, 3);
  dst.ApplyFilter(f, empty);
  EXPECT_TRUE(dst.GetEmpty());
  EXPECT_EQ(dst.GetHeight(), 3);
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(std::count(events.begin(), events.end(), "start"), 0);
  EXPECT_EQ(events.back(), "change");
}

TEST(ApplyFilter, FilterIsFinishedWhenAnExceptionPasses) {
  class TFailingFilter : public TPGFilter {
  public:
    TRGB PixelAt(int32_t x, int32_t y) override {
      if (y == 1 && x == 2) throw EPixelGraphic("failed");
      return RGB(1, 2, 3);
    }
  } f;
  TPixelGraphic src, dst;
  FillRandom(src, 4, 3, 6);
  bool ended = false;
  dst.OnProgressEnd = [&](TObject*) { ended = true; };
  EXPECT_THROW(dst.ApplyFilter(f, src), EPixelGraphic);
  EXPECT_EQ(f.Source(), nullptr);
  EXPECT_FALSE(ended);
  EXPECT_FALSE(dst.Dithering());
  EXPECT_EQ(dst.GetPixel(3, 0), RGB(1, 2, 3));
  EXPECT_EQ(dst.GetPixel(3, 2), 0u);
}

TEST(ApplyFilter, ColorOnlyFilters) {
  // On a 24-bit picture the filter may work in place, pixel by pixel.
  TPixelGraphic g;
  FillRandom(g, 5, 4, 8);
  const auto before = Pixels(g);
  TInvertFilter invert;
  g.ApplyFilter(invert, g);
  for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(Pixels(g)[i], ~before[i] & 0xFFFFFF);

  // Into a palette target with room for the source: only the palette is mapped.
  TPixelGraphic src, dst;
  src.SetSize(6, 3, 1);
  src.SetPaletteCount(3);
  src.SetPaletteEntries(0, RGB(0, 0, 0));
  src.SetPaletteEntries(1, RGB(10, 20, 30));
  src.SetPaletteEntries(2, RGB(255, 0, 128));
  for (int32_t x = 0; x < 6; ++x) src.SetPixel(x, x % 2, uint32_t(x % 3));
  dst.SetSize(2, 2, 2);
  int starts = 0;
  dst.OnProgressStart = [&](TObject*) { ++starts; };
  dst.ApplyFilter(invert, src);
  EXPECT_EQ(dst.BitCountNum(), 1);  // assigned from the source
  EXPECT_EQ(Pixels(dst), Pixels(src));
  EXPECT_EQ(dst.PaletteCount(), 3);
  EXPECT_EQ(dst.PaletteEntries(1), RGB(245, 235, 225));
  EXPECT_EQ(dst.PaletteEntries(2), RGB(0, 255, 127));
  EXPECT_EQ(starts, 0);
  EXPECT_EQ(invert.Source(), nullptr);
  // In place on a palette picture.
  dst.ApplyFilter(invert, dst);
  EXPECT_EQ(dst.PaletteEntries(1), RGB(10, 20, 30));
}

TEST(ApplyFilter, PaletteTargets) {
  // A gray picture onto the 256 grays holds exactly the 24-bit result, with
  // and without dithering.
  TPixelGraphic src, truecolor;
  src.SetSize(12, 9, 3);
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 12; ++x) {
      const uint32_t v = uint32_t((x * 37 + y * 91) % 256);
      src.SetPixel(x, y, RGB(v, v, v));
    }
  TConvFilter f;
  Sharpen(f, 70);
  truecolor.ApplyFilter(f, src);
  const auto entries = NamedPaletteEntries(pGray256);
  for (bool dither : {false, true}) {
    TPixelGraphic gray;
    gray.SetSize(1, 1, 2);
    gray.SetPaletteCount(256);
    for (int32_t i = 0; i < 256; ++i) gray.SetPaletteEntries(i, entries[size_t(i)]);
    gray.IdentifyPalette();
    ASSERT_EQ(gray.PaletteIdent(), pGray256);
    gray.SetDither(dither);
    gray.ApplyFilter(f, src);
    EXPECT_EQ(gray.BitCountNum(), 2);
    for (int32_t y = 0; y < 9; ++y)
      for (int32_t x = 0; x < 12; ++x) EXPECT_EQ(gray.GetPixelColor(x, y), truecolor.GetPixel(x, y));
    EXPECT_FALSE(gray.Dithering());
  }

  // A uniform mid-gray on black and white: dithering mixes both, plain
  // mapping takes the nearest.
  TPixelGraphic mid;
  mid.SetSize(16, 16, 3);
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 16; ++x) mid.SetPixel(x, y, RGB(128, 128, 128));
  for (bool dither : {false, true}) {
    TPixelGraphic bw;
    bw.SetSize(1, 1, 0);
    bw.SetPaletteCount(2);
    bw.SetPaletteEntries(0, RGB(0, 0, 0));
    bw.SetPaletteEntries(1, RGB(255, 255, 255));
    bw.IdentifyPalette();
    bw.SetDither(dither);
    bw.ApplyFilter(f, mid);
    int white = 0;
    for (int32_t y = 0; y < 16; ++y)
      for (int32_t x = 0; x < 16; ++x) white += int(bw.GetPixel(x, y));
    if (dither) {
      EXPECT_GT(white, 100);
      EXPECT_LT(white, 156);
    } else {
      EXPECT_EQ(white, 256);
    }
  }
}
