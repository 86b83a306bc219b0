#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "borderframe.h"
#include "namedpalettes.h"
#include "pixelgraphic.h"
#include "testpictures.h"

namespace {

uint32_t Red(const TPixelGraphic& g, int32_t x, int32_t y) { return GetRValue(g.GetPixelColor(x, y)); }

// The frame of one pixel written out plainly.
TRGB ReferencePixel(bool oval, int32_t W, TRGB f, TRGB s, int32_t x, int32_t y, int32_t width, int32_t height) {
  const auto weight = [W](long double d) { return int32_t(std::floor((W - 1 - d) * 1024 / (W - 1))); };
  const auto blend = [f](TRGB c, int32_t l) {
    uint32_t out[3];
    for (int ch = 0; ch < 3; ++ch) {
      const uint32_t sc = (c >> (8 * ch)) & 255, fc = (f >> (8 * ch)) & 255;
      out[ch] = (sc * uint32_t(1024 - l) + fc * uint32_t(l)) / 1024;
    }
    return RGB(out[0], out[1], out[2]);
  };
  if (!oval) {
    if (y < W) s = blend(s, weight(y));
    if (y > height - W) s = blend(s, weight(height - 1 - y));
    if (x < W) s = blend(s, weight(x));
    if (x > width - W) s = blend(s, weight(width - 1 - x));
    return s;
  }
  const long double a = (width - 1) / 2.0L, b = (height - 1) / 2.0L, dx = x - a, dy = y - b;
  long double bx = 0, by = dy > 0 ? b : -b;
  if (dx != 0) {
    const long double k = dy / dx;
    bx = std::copysign(b / std::sqrt((b / a) * (b / a) + k * k), dx);
    by = k * bx;
  }
  if (std::fabs(dx) > std::fabs(bx) || std::fabs(dy) > std::fabs(by)) return f;
  const long double d = std::sqrt((dx - bx) * (dx - bx) * (b / a) + (dy - by) * (dy - by) * (a / b));
  return d >= W - 1 ? s : blend(s, weight(d));
}

struct TEventLog {
  std::vector<std::string> Events;
  std::vector<std::pair<int, int>> Steps;
  int AbortAt = -1;

  void Attach(TPixelGraphic& g) {
    g.OnProgressStart = [this](TObject*) { Events.push_back("start"); };
    g.OnProgressEnd = [this](TObject*) { Events.push_back("end"); };
    g.OnChange = [this](TObject*) { Events.push_back("change"); };
    g.OnProgress = [this](TObject*, int step, int max, bool& abort) {
      Steps.push_back({step, max});
      abort = step == AbortAt;
    };
  }
};

void SetNamedPalette(TPixelGraphic& g, TPaletteIdent ident) {
  const auto entries = NamedPaletteEntries(ident);
  g.SetPaletteCount(int32_t(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i) g.SetPaletteEntries(int32_t(i), entries[i]);
  g.IdentifyPalette();
}

}  // namespace

TEST(BorderFrame, WeightsAndBlends) {
  EXPECT_EQ(FrameWeight(0, 5), 1024);
  EXPECT_EQ(FrameWeight(1, 5), 768);
  EXPECT_EQ(FrameWeight(2, 5), 512);
  EXPECT_EQ(FrameWeight(3, 5), 256);
  EXPECT_EQ(FrameWeight(4, 5), 0);
  EXPECT_EQ(FrameWeight(1, 2), 0);
  EXPECT_EQ(FrameWeight(1, 4), 682);  // floor of 682.67
  EXPECT_EQ(FrameWeight(0.5L, 5), 896);
  EXPECT_EQ(FrameWeight(0.001L, 5), 1023);     // the least distance lowers the weight
  EXPECT_EQ(FrameWeight(1, INT32_MAX), 1023);  // no overflow in wide bands

  EXPECT_EQ(BlendChannel(0, 255, 768), 191);
  EXPECT_EQ(BlendChannel(191, 255, 768), 239);
  EXPECT_EQ(BlendChannel(200, 10, 0), 200);
  EXPECT_EQ(BlendChannel(200, 10, 1024), 10);
  EXPECT_EQ(FrameBlend(RGB(0, 100, 255), RGB(255, 0, 0), 512), RGB(127, 50, 127));
}

TEST(BorderFrame, RectangleBands) {
  TPixelGraphic src, dst;
  Uniform(src, 10, 10, 0);
  dst.DrawFrame(false, 2, 0xFFFFFF, src);
  for (int32_t y = 0; y < 10; ++y)
    for (int32_t x = 0; x < 10; ++x) {
      const bool ring = x == 0 || y == 0 || x == 9 || y == 9;
      EXPECT_EQ(dst.GetPixel(x, y), ring ? 0xFFFFFFu : 0u) << x << ", " << y;
    }

  Uniform(src, 12, 10, 0);
  dst.DrawFrame(false, 5, RGB(255, 255, 255), src);
  std::vector<uint32_t> middle;
  for (int32_t x = 0; x < 12; ++x) middle.push_back(Red(dst, x, 5));
  EXPECT_EQ(middle, (std::vector<uint32_t>{255, 191, 127, 63, 0, 0, 0, 0, 63, 127, 191, 255}));
  EXPECT_EQ(Red(dst, 1, 1), 239u);  // the 768 blend twice
  EXPECT_EQ(Red(dst, 6, 4), 0u);    // distance 4 from the top: weight 0
  EXPECT_EQ(Red(dst, 6, 6), 63u);   // distance 3 from the bottom

  // Against the per-pixel rule, bands overlapping when the frame is wide.
  for (int32_t W : {2, 3, 5, 7, 40}) {
    FillRandom(src, 13, 9, uint32_t(W));
    dst.DrawFrame(false, W, RGB(30, 200, 90), src);
    for (int32_t y = 0; y < 9; ++y)
      for (int32_t x = 0; x < 13; ++x)
        ASSERT_EQ(dst.GetPixel(x, y), ReferencePixel(false, W, RGB(30, 200, 90), src.GetPixel(x, y), x, y, 13, 9))
            << W << ": " << x << ", " << y;
  }
}

TEST(BorderFrame, Oval) {
  TPixelGraphic src, dst;
  Uniform(src, 101, 51, RGB(10, 20, 30));
  dst.DrawFrame(true, 20, RGB(255, 255, 255), src);
  for (auto [x, y] : std::vector<std::pair<int, int>>{{0, 0}, {100, 0}, {0, 50}, {100, 50}})
    EXPECT_EQ(dst.GetPixel(x, y), 0xFFFFFFu);
  EXPECT_EQ(dst.GetPixel(50, 25), RGB(10, 20, 30));  // centre: sqrt(a * b) >= W - 1
  EXPECT_EQ(dst.GetPixel(0, 25), 0xFFFFFFu);         // on the ellipse: d = 0
  EXPECT_EQ(dst.GetPixel(50, 0), 0xFFFFFFu);
  EXPECT_NE(dst.GetPixel(3, 25), 0xFFFFFFu);
  EXPECT_NE(dst.GetPixel(3, 25), RGB(10, 20, 30));

  for (auto [w, h, W] : std::vector<std::tuple<int32_t, int32_t, int32_t>>{
           {17, 9, 4}, {8, 21, 30}, {3, 3, 2}, {16, 10, 5}, {101, 51, 20}}) {
    FillRandom(src, w, h, uint32_t(w));
    dst.DrawFrame(true, W, RGB(200, 7, 77), src);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x)
        ASSERT_EQ(dst.GetPixel(x, y), ReferencePixel(true, W, RGB(200, 7, 77), src.GetPixel(x, y), x, y, w, h))
            << w << " x " << h << ": " << x << ", " << y;
  }
}

TEST(BorderFrame, DegenerateCasesPaintEverything) {
  TPixelGraphic src, dst;
  TEventLog log;
  log.Attach(dst);
  for (auto [w, h, W, oval] : std::vector<std::tuple<int32_t, int32_t, int32_t, bool>>{
           {10, 10, 1, false}, {10, 10, -3, true}, {2, 10, 20, false}, {10, 2, 3, true}, {1, 1, 5, false}}) {
    FillRandom(src, w, h, 1);
    log.Events.clear();
    dst.DrawFrame(oval, W, RGB(1, 2, 3), src);
    EXPECT_EQ(Pixels(dst), std::vector<uint32_t>(size_t(w * h), RGB(1, 2, 3))) << w << " x " << h << ", " << W;
    EXPECT_TRUE(log.Steps.empty());
    EXPECT_EQ(std::count(log.Events.begin(), log.Events.end(), "start"), 0);
    EXPECT_EQ(std::count(log.Events.begin(), log.Events.end(), "end"), 0);
    EXPECT_EQ(log.Events.back(), "change");
  }
  // A source without pixels gives a target without pixels.
  src.SetSize(5, 0, 3);
  log.Events.clear();
  dst.DrawFrame(false, 3, 0, src);
  EXPECT_TRUE(dst.GetEmpty());
  EXPECT_EQ(dst.GetWidth(), 5);
  EXPECT_EQ(log.Events, (std::vector<std::string>{"change", "change"}));  // the resize, then the end
}

TEST(BorderFrame, ProgressAndAbort) {
  TPixelGraphic src, dst;
  FillRandom(src, 6, 4, 2);
  TEventLog log;
  log.Attach(dst);
  dst.DrawFrame(false, 2, 0, src);
  EXPECT_EQ(log.Steps, (std::vector<std::pair<int, int>>{{0, 3}, {1, 3}, {2, 3}, {3, 3}}));
  EXPECT_EQ(log.Events, (std::vector<std::string>{"change", "start", "end", "change"}));

  log.Events.clear();
  log.Steps.clear();
  log.AbortAt = 0;
  dst.SetBackGroundPixel(RGB(5, 5, 5));
  dst.DrawFrame(true, 2, 0, src);
  EXPECT_EQ(log.Steps.size(), 1u);
  EXPECT_EQ(log.Events, (std::vector<std::string>{"change", "start", "end", "change"}));
  for (int32_t x = 0; x < 6; ++x) {
    EXPECT_EQ(dst.GetPixel(x, 0), ReferencePixel(true, 2, 0, src.GetPixel(x, 0), x, 0, 6, 4));
    for (int32_t y = 1; y < 4; ++y) EXPECT_EQ(dst.GetPixel(x, y), RGB(5, 5, 5));
  }
}

TEST(BorderFrame, FramingInPlaceKeepsThePicture) {
  TPixelGraphic g, copy;
  FillRandom(g, 9, 7, 3);
  copy.Assign(&g);
  TPixelGraphic expected;
  expected.DrawFrame(false, 3, RGB(0, 0, 255), copy);
  g.DrawFrame(false, 3, RGB(0, 0, 255), g);
  EXPECT_EQ(Pixels(g), Pixels(expected));
  expected.DrawFrame(true, 3, RGB(0, 0, 255), copy);
  copy.DrawFrame(true, 3, RGB(0, 0, 255), copy);
  EXPECT_EQ(Pixels(copy), Pixels(expected));
}

TEST(BorderFrame, PaletteSourcesAndTargets) {
  // A gray source through the 256 grays: the frame on a gray picture with a
  // gray frame colour is exact with and without dithering.
  TPixelGraphic gray, truecolor, framed;
  gray.SetSize(11, 8, 2);
  SetNamedPalette(gray, pGray256);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 11; ++x) gray.SetPixel(x, y, uint32_t(x * 23 + y * 7) & 255);
  truecolor.DrawFrame(true, 4, RGB(200, 200, 200), gray);
  EXPECT_EQ(truecolor.BitCountNum(), 3);
  for (bool dither : {false, true}) {
    TPixelGraphic target;
    target.SetSize(1, 1, 2);
    SetNamedPalette(target, pGray256);
    target.SetDither(dither);
    target.DrawFrame(true, 4, RGB(200, 200, 200), gray);
    ASSERT_EQ(target.BitCountNum(), 2);
    for (int32_t y = 0; y < 8; ++y)
      for (int32_t x = 0; x < 11; ++x) EXPECT_EQ(target.GetPixelColor(x, y), truecolor.GetPixel(x, y));
    EXPECT_FALSE(target.Dithering());
  }

  // Black and white: the plain mapping keeps a sharp ring, dithering a
  // half-gray frame colour mixes both.
  TPixelGraphic black;
  Uniform(black, 10, 10, 0);
  for (bool dither : {false, true}) {
    TPixelGraphic bw;
    bw.SetSize(1, 1, 0);
    SetNamedPalette(bw, pBlackWhite);
    bw.SetDither(dither);
    bw.DrawFrame(false, 2, dither ? RGB(128, 128, 128) : RGB(255, 255, 255), black);
    int white = 0;
    for (int32_t y = 0; y < 10; ++y)
      for (int32_t x = 0; x < 10; ++x) {
        const bool ring = x == 0 || y == 0 || x == 9 || y == 9;
        if (ring)
          white += int(bw.GetPixel(x, y));
        else
          EXPECT_EQ(bw.GetPixel(x, y), 0u);
      }
    if (dither) {
      EXPECT_GT(white, 8);
      EXPECT_LT(white, 28);
    } else {
      EXPECT_EQ(white, 36);
    }
  }
  // The degenerate case dithers too.
  TPixelGraphic bw;
  bw.SetSize(1, 1, 0);
  SetNamedPalette(bw, pBlackWhite);
  bw.DrawFrame(false, 1, RGB(128, 128, 128), black);
  int white = 0;
  for (uint32_t v : Pixels(bw)) white += int(v);
  EXPECT_GT(white, 30);
  EXPECT_LT(white, 70);
}
