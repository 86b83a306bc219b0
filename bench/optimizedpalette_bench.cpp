// Optimized palette of a 3000 x 2000 photograph-like picture: the whole
// operation, and its counting pass (also on a flat picture, the slowest
// case for counters) and box splitting apart. Then time and error of the
// reduction to 256 colours with and without the refinement, on the three
// kinds of 800 x 600 picture of palettepictures.h.
//
// --write_pictures=DIR writes those pictures as DIR/<kind>.ppm for
// bench/palette_peers.sh, which measures other quantizers on them.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "boxsplitting.h"
#include "histogram565.h"
#include "optimizedpalette.h"
#include "palettepictures.h"
#include "paletterefinement.h"

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

const TPixelGraphic& Kind(int64_t kind) {
  static const std::array<std::unique_ptr<TPixelGraphic>, 3> pictures = {
      palettepictures::Picture(palettepictures::pkPlasma), palettepictures::Picture(palettepictures::pkLandscape),
      palettepictures::Picture(palettepictures::pkSpheres)};
  return *pictures[size_t(kind)];
}

// The pipeline's palette stage at 256 colours without system colours: the
// palette (refined or not) and the mapping onto it, exact when refined.
// The counter is the result's PSNR against the true-colour picture.
void BM_Reduce256(benchmark::State& state) {
  const TPixelGraphic& src = Kind(state.range(0));
  const bool refine = state.range(1) != 0, dither = state.range(2) != 0;
  TPixelGraphic target;
  target.SetSize(src.GetWidth(), src.GetHeight(), 2);
  target.SetDither(dither);
  target.SetFastUnknownPalette(!refine);
  for (auto _ : state) {
    CreateOptimizedPalette(target, src, 256, false);
    if (refine) RefineOptimizedPalette(target, src, 0);
    target.MapFrom(src);
  }
  state.SetLabel(palettepictures::PictureNames[state.range(0)]);
  state.counters["PSNR_dB"] = palettepictures::PSNR(src, target);
}
BENCHMARK(BM_Reduce256)
    ->ArgNames({"kind", "refine", "dither"})
    ->ArgsProduct({{0, 1, 2}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

void WritePictures(const std::string& dir) {
  for (int kind = 0; kind < 3; ++kind) {
    const TPixelGraphic& g = Kind(kind);
    const std::string path = dir + "/" + palettepictures::PictureNames[kind] + ".ppm";
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!file) throw std::runtime_error("cannot write " + path);
    std::fprintf(file.get(), "P6\n%d %d\n255\n", g.GetWidth(), g.GetHeight());
    for (int32_t y = 0; y < g.GetHeight(); ++y)
      for (int32_t x = 0; x < g.GetWidth(); ++x) {
        const TRGB c = g.GetPixelColor(x, y);
        const uint8_t rgb[3] = {GetRValue(c), GetGValue(c), GetBValue(c)};
        std::fwrite(rgb, 1, 3, file.get());
      }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const char* const option = "--write_pictures=";
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], option, std::strlen(option)) == 0) {
      WritePictures(argv[i] + std::strlen(option));
      return 0;
    }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
