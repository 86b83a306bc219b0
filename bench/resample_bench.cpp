// Resampling speed against the memory-bandwidth floor: a plain copy of the
// same pixel block. Each case also reports its time as a ratio to that copy.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <random>
#include <vector>

#include "pixelgraphic.h"

namespace {

TPixelGraphic& Picture(int32_t w, int32_t h) {
  static std::vector<std::unique_ptr<TPixelGraphic>> cache;
  for (auto& g : cache)
    if (g->GetWidth() == w && g->GetHeight() == h) return *g;
  auto g = std::make_unique<TPixelGraphic>();
  g->SetSize(w, h, 3);
  std::mt19937 rng(7);
  // Smooth content with noise, like a photograph, so no case is trivially uniform.
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = g->ScanLine(y);
    for (int32_t x = 0; x < w; ++x) {
      row[3 * x] = uint8_t(x / 8 + (rng() & 15));
      row[3 * x + 1] = uint8_t(y / 8 + (rng() & 15));
      row[3 * x + 2] = uint8_t((x + y) / 16 + (rng() & 15));
    }
  }
  cache.push_back(std::move(g));
  return *cache.back();
}

double memcpySeconds = 0;

double MemcpySeconds() {
  if (memcpySeconds == 0) {
    const TPixelGraphic& src = Picture(6000, 4000);
    std::vector<uint8_t> dst(size_t(src.ImageSize()));
    std::memcpy(dst.data(), src.Bits(), dst.size());  // touch the pages once
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
      const auto t0 = std::chrono::steady_clock::now();
      std::memcpy(dst.data(), src.Bits(), dst.size());
      benchmark::DoNotOptimize(dst.data());
      best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    memcpySeconds = best;
  }
  return memcpySeconds;
}

void BM_Memcpy6000x4000(benchmark::State& state) {
  const TPixelGraphic& src = Picture(6000, 4000);
  std::vector<uint8_t> dst(size_t(src.ImageSize()));
  for (auto _ : state) {
    std::memcpy(dst.data(), src.Bits(), dst.size());
    benchmark::DoNotOptimize(dst.data());
  }
  state.SetBytesProcessed(state.iterations() * src.ImageSize());
}

void Resample(benchmark::State& state, int32_t sw, int32_t sh, int32_t dw, int32_t dh, TStretchMode mode) {
  const TPixelGraphic& src = Picture(sw, sh);
  TPixelGraphic dst;
  dst.SetSize(dw, dh, 3);
  dst.SetStretchMode(mode);
  double total = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    dst.StretchDraw(0, 0, dw, dh, 0, 0, sw, sh, src);
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  state.counters["x_memcpy"] = total / double(state.iterations()) / MemcpySeconds();
}

void BM_Halve_Fast(benchmark::State& s) { Resample(s, 6000, 4000, 3000, 2000, smFast); }
void BM_Halve_Medium(benchmark::State& s) { Resample(s, 6000, 4000, 3000, 2000, smMedium); }
void BM_Halve_Precise(benchmark::State& s) { Resample(s, 6000, 4000, 3000, 2000, smPrecise); }
void BM_Double_Precise(benchmark::State& s) { Resample(s, 3000, 2000, 6000, 4000, smPrecise); }

}  // namespace

BENCHMARK(BM_Memcpy6000x4000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Halve_Fast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Halve_Medium)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Halve_Precise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Double_Precise)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
