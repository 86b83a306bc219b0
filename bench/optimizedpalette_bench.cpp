// Optimized palette of a 3000 x 2000 photograph-like picture: the whole
// operation, and its counting pass (also on a flat picture, the slowest
// case for counters) and box splitting apart.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>

#include "boxsplitting.h"
#include "histogram565.h"
#include "optimizedpalette.h"

namespace {

// One colour throughout: every count lands in the same cell.
const TPixelGraphic& Flat() {
  static const std::unique_ptr<TPixelGraphic> flat = [] {
    auto g = std::make_unique<TPixelGraphic>();
    g->SetSize(3000, 2000, 3);
    std::fill(g->Bits(), g->Bits() + g->ImageSize(), uint8_t(77));
    return g;
  }();
  return *flat;
}

const TPixelGraphic& Photo() {
  static const std::unique_ptr<TPixelGraphic> photo = [] {
    auto g = std::make_unique<TPixelGraphic>();
    const int32_t w = 3000, h = 2000;
    g->SetSize(w, h, 3);
    std::mt19937 rng(7);
    // Smooth gradients with noise spread the colours over many cells.
    for (int32_t y = 0; y < h; ++y) {
      uint8_t* row = g->ScanLine(y);
      for (int32_t x = 0; x < w; ++x) {
        row[3 * x] = uint8_t(x / 12 + (rng() & 15));
        row[3 * x + 1] = uint8_t(y / 8 + (rng() & 15));
        row[3 * x + 2] = uint8_t((x + y) / 20 + (rng() & 15));
      }
    }
    return g;
  }();
  return *photo;
}

std::unique_ptr<THistogram565> Count(const TPixelGraphic& src) {
  auto h = std::make_unique<THistogram565>();
  for (int32_t y = 0; y < src.GetHeight(); ++y) h->AddRow(src.ScanLine(y), src.GetWidth());
  return h;
}

void BM_OptimizedPalette24(benchmark::State& state) {
  const TPixelGraphic& src = Photo();
  TPixelGraphic target;
  target.SetSize(1, 1, 2);
  for (auto _ : state) CreateOptimizedPalette(target, src, int32_t(state.range(0)), true);
  state.SetItemsProcessed(state.iterations() * src.GetWidth() * src.GetHeight());
}
BENCHMARK(BM_OptimizedPalette24)->Arg(252)->Arg(32)->Unit(benchmark::kMillisecond);

void BM_Histogram565(benchmark::State& state) {
  const TPixelGraphic& src = state.range(0) ? Flat() : Photo();
  for (auto _ : state) {
    const auto h = Count(src);
    benchmark::DoNotOptimize(h.get());
  }
  state.SetItemsProcessed(state.iterations() * src.GetWidth() * src.GetHeight());
}
BENCHMARK(BM_Histogram565)->ArgName("flat")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_BoxSplitting(benchmark::State& state) {
  const auto h = Count(Photo());
  for (auto _ : state) benchmark::DoNotOptimize(SplitHistogramBoxes(*h, int32_t(state.range(0))));
}
BENCHMARK(BM_BoxSplitting)->Arg(236)->Arg(16)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
