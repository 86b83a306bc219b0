// Shrinking a 6000 x 4000 JPEG of quality 90 to 600 x 400 and 1500 x 1000
// through the whole pipeline (true colour, precise, the default sharpening),
// loaded in full or at the smallest reduced scale of at least once or twice
// the result's size. The counter psnr_db compares each result with the full
// decode's. QUILLET_PHOTO names another JPEG to shrink instead.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "benchfiles.h"
#include "formatoptions.h"
#include "formatregistry.h"
#include "jpegformat.h"
#include "settings.h"
#include "shrinkpipeline.h"

namespace {

const std::string GeneratedFile = BenchFile("photo.jpg");

const std::string& PhotoPath() {
  static const std::string path = [] {
    if (const char* given = std::getenv("QUILLET_PHOTO")) return std::string(given);
    TPixelGraphic g;
    PhotoLike(g, 6000, 4000);
    JPEGCompQuality = 90;
    TFileStream s(GeneratedFile, fmCreate);
    TJPGFileFormatWriter().Write(s, g);
    JPEGCompQuality = 80;
    return GeneratedFile;
  }();
  return path;
}

// Factor 0 loads in full.
std::unique_ptr<TPixelGraphic> Shrunk(int32_t width, int factor) {
  TFileFormatInfo info;
  GetFileFormatInfo(PhotoPath(), 0, info);
  const auto height = int32_t(std::lround(double(width) * info.Height / info.Width));
  auto source = std::make_unique<TPixelGraphic>();
  if (factor > 0)
    source->OnLoadTarget = [=](TObject*, int32_t, int32_t) { return TLoadSize{factor * width, factor * height}; };
  source->LoadFromFile(PhotoPath());
  TShrinkPipeline pipeline;
  return pipeline.Run(std::move(source), width, height, true, CurrentShrinkSettings()).Result;
}

double PSNR(const TPixelGraphic& a, const TPixelGraphic& b) {
  double sum = 0;
  int64_t count = 0;
  for (int32_t y = 0; y < a.GetHeight(); ++y) {
    const uint8_t* p = a.ScanLine(y);
    const uint8_t* q = b.ScanLine(y);
    for (int32_t x = 0; x < 3 * a.GetWidth(); ++x, ++count) sum += double(p[x] - q[x]) * (p[x] - q[x]);
  }
  return sum == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 * double(count) / sum);
}

void BM_Shrink(benchmark::State& state) {
  const auto width = int32_t(state.range(0));
  const auto factor = int(state.range(1));
  static std::map<int32_t, std::unique_ptr<TPixelGraphic>> full;
  if (!full[width]) full[width] = Shrunk(width, 0);
  std::unique_ptr<TPixelGraphic> result;
  for (auto _ : state) result = Shrunk(width, factor);
  state.counters["psnr_db"] = PSNR(*result, *full[width]);
}

}  // namespace

BENCHMARK(BM_Shrink)
    ->ArgNames({"width", "factor"})
    ->ArgsProduct({{600, 1500}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv) {
  SetApplicationDefaults();
  return RunBenchmarks(argc, argv, [] { PhotoPath(); }, {GeneratedFile});
}
