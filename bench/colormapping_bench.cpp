// Speed of the nearest-colour search and of mapping a photograph-sized
// picture onto a palette with dithering.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "pixelgraphic.h"

namespace {

std::vector<TRGB> RandomColors(size_t n, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> channel(0, 255);
  std::vector<TRGB> colors(n);
  for (TRGB& c : colors) c = RGB(channel(random), channel(random), channel(random));
  return colors;
}

// A palette of 252 colours of no named construction, as an optimized one would be.
void UseUnknownPalette(TPixelGraphic& g) {
  const std::vector<TRGB> entries = RandomColors(252, 1);
  g.SetPaletteCount(252);
  for (int32_t i = 0; i < 252; ++i) g.SetPaletteEntries(i, entries[size_t(i)]);
}

void NearestIndexLoop(benchmark::State& state, TPixelGraphic& g) {
  const std::vector<TRGB> colors = RandomColors(1 << 16, 2);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(g.NearestIndex(colors[i]));
    i = (i + 1) & (colors.size() - 1);
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_NearestIndexUnknownFast(benchmark::State& state) {
  TPixelGraphic g;
  g.SetSize(1, 1, 2);
  UseUnknownPalette(g);
  NearestIndexLoop(state, g);
}
BENCHMARK(BM_NearestIndexUnknownFast);

void BM_NearestIndexUnknownFullSearch(benchmark::State& state) {
  TPixelGraphic g;
  g.SetSize(1, 1, 2);
  UseUnknownPalette(g);
  g.SetFastUnknownPalette(false);
  NearestIndexLoop(state, g);
}
BENCHMARK(BM_NearestIndexUnknownFullSearch);

void BM_NearestIndexSpecial252(benchmark::State& state) {
  TPixelGraphic g;
  g.SetSize(1, 1, 2);
  g.SetPaletteIdent(pSpecial252);
  NearestIndexLoop(state, g);
}
BENCHMARK(BM_NearestIndexSpecial252);

// Smooth gradients with a little noise, like a photograph.
void FillPhoto(TPixelGraphic& g) {
  std::mt19937 random(3);
  std::uniform_int_distribution<int> noise(-6, 6);
  for (int32_t y = 0; y < g.GetHeight(); ++y) {
    uint8_t* row = g.ScanLine(y);
    for (int32_t x = 0; x < g.GetWidth(); ++x) {
      const double u = double(x) / g.GetWidth(), v = double(y) / g.GetHeight();
      const int r = int(128 + 100 * std::sin(6 * u + 2 * v)) + noise(random);
      const int gr = int(128 + 100 * std::cos(4 * v - 3 * u)) + noise(random);
      const int b = int(255 * u * v) + noise(random);
      row[3 * x] = uint8_t(std::clamp(b, 0, 255));
      row[3 * x + 1] = uint8_t(std::clamp(gr, 0, 255));
      row[3 * x + 2] = uint8_t(std::clamp(r, 0, 255));
    }
  }
}

void BM_MapFromUnknown252Dithered(benchmark::State& state) {
  TPixelGraphic src, dst;
  src.SetSize(3000, 2000, 3);
  FillPhoto(src);
  dst.SetSize(3000, 2000, 2);
  UseUnknownPalette(dst);
  for (auto _ : state) {
    dst.ClearColorCaches();  // every run builds the lookup table afresh
    dst.MapFrom(src);
  }
  const double pixels = double(state.iterations()) * 3000 * 2000;
  state.SetItemsProcessed(int64_t(pixels));
  state.counters["per_pixel"] = benchmark::Counter(pixels, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_MapFromUnknown252Dithered)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
