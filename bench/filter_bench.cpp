// Sharpening and framing of a 3000 x 2000 24-bit picture, as the shrink
// pipeline runs them.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "convfilter.h"
#include "pixelgraphic.h"

namespace {

constexpr int32_t PictureWidth = 3000;
constexpr int32_t PictureHeight = 2000;

const TPixelGraphic& Picture() {
  static TPixelGraphic picture;
  if (picture.GetEmpty()) {
    std::mt19937 rng(1);
    picture.SetSize(PictureWidth, PictureHeight, 3);
    // Smooth gradients with noise, like a photograph.
    for (int32_t y = 0; y < PictureHeight; ++y) {
      uint8_t* row = picture.ScanLine(y);
      for (int32_t x = 0; x < PictureWidth; ++x) {
        const uint32_t noise = rng();
        row[3 * x] = uint8_t(x / 12 + (noise & 15));
        row[3 * x + 1] = uint8_t(y / 8 + ((noise >> 4) & 15));
        row[3 * x + 2] = uint8_t((x + y) / 20 + ((noise >> 8) & 15));
      }
    }
  }
  return picture;
}

// Seconds per pixel, shown with an SI prefix (n for nanoseconds).
void SetPixelCounters(benchmark::State& state) {
  state.counters["time/pixel"] =
      benchmark::Counter(double(PictureWidth) * PictureHeight,
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Sharpen3x3(benchmark::State& state) {
  const TPixelGraphic& src = Picture();
  TPixelGraphic dst;
  TConvFilter filter;
  filter.BuildSharpen(ksTriangle, false, 0.75L, static_cast<long double>(state.range(0)));
  for (auto _ : state) {
    dst.ApplyFilter(filter, src);
    benchmark::DoNotOptimize(dst.Bits());
  }
  SetPixelCounters(state);
}
BENCHMARK(BM_Sharpen3x3)->Arg(100)->Arg(50)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_SmoothGaussian(benchmark::State& state) {
  const TPixelGraphic& src = Picture();
  TPixelGraphic dst;
  TConvFilter filter;
  filter.BuildSmoothing(ksGaussian, false, static_cast<long double>(state.range(0)));
  for (auto _ : state) {
    dst.ApplyFilter(filter, src);
    benchmark::DoNotOptimize(dst.Bits());
  }
  SetPixelCounters(state);
  state.SetLabel(std::to_string(filter.Width()) + "x" + std::to_string(filter.Height()));
}
BENCHMARK(BM_SmoothGaussian)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_Frame(benchmark::State& state) {
  const TPixelGraphic& src = Picture();
  TPixelGraphic dst;
  for (auto _ : state) {
    dst.DrawFrame(state.range(0) != 0, 20, 0xFFFFFF, src);
    benchmark::DoNotOptimize(dst.Bits());
  }
  SetPixelCounters(state);
  state.SetLabel(state.range(0) ? "oval" : "rectangle");
}
BENCHMARK(BM_Frame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
