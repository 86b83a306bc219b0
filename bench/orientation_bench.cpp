// Turning a 4000 x 3000 photo upright as loading does, for the orientations
// that keep and that exchange its sides, at 24 and at 8 bits.
#include <benchmark/benchmark.h>

#include <random>

#include "pixelgraphic.h"

namespace {

constexpr int32_t PictureWidth = 4000;
constexpr int32_t PictureHeight = 3000;

void BM_TurnUpright(benchmark::State& state) {
  const uint8_t orientation = uint8_t(state.range(0));
  const int bits = int(state.range(1));
  TPixelGraphic stored;
  stored.SetSize(PictureWidth, PictureHeight, BitCountToNum(bits));
  std::mt19937 rng(1);
  for (int64_t i = 0; i < stored.ImageSize(); ++i) stored.Bits()[i] = uint8_t(rng());
  TPixelGraphic g;
  for (auto _ : state) {
    state.PauseTiming();
    g.Assign(&stored);
    g.SetOrientation(orientation);
    state.ResumeTiming();
    g.TurnUpright();
    benchmark::DoNotOptimize(g.Bits());
  }
  state.counters["time/pixel"] =
      benchmark::Counter(double(PictureWidth) * PictureHeight,
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_TurnUpright)->ArgsProduct({{3, 6, 8}, {24, 8}})->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
