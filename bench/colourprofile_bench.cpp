// Converting a 6000 x 4000 photo from Adobe RGB to sRGB, against loading it;
// writing it as JPEG with optimized Huffman tables and with the standard ones.
#include <benchmark/benchmark.h>

#include <string>

#include "benchfiles.h"
#include "formatoptions.h"
#include "iccprofile.h"
#include "jpegformat.h"
#include "pixelgraphic.h"
#include "stream.h"

namespace {

const std::string AdobeRGB = "/usr/share/color/icc/colord/AdobeRGB1998.icc";

TPixelGraphic& Photo() {
  static TPixelGraphic graphic;
  static const bool made = (PhotoLike(graphic, 6000, 4000), true);
  (void)made;
  return graphic;
}

void BM_ConvertAdobeRGBToSRGB(benchmark::State& state) {
  TFileStream file(AdobeRGB, fmOpenRead);
  std::string bytes(size_t(file.Size()), '\0');
  file.ReadBuffer(bytes.data(), bytes.size());
  const TICCProfile profile(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  if (!profile.Valid()) {
    state.SkipWithError("colord-data's Adobe RGB profile is not installed");
    return;
  }
  TPixelGraphic g;
  for (auto _ : state) {
    state.PauseTiming();
    g.Assign(&Photo());
    state.ResumeTiming();
    benchmark::DoNotOptimize(profile.ConvertToSRGB(g));
  }
  state.SetItemsProcessed(state.iterations() * 6000 * 4000);
}
BENCHMARK(BM_ConvertAdobeRGBToSRGB)->Unit(benchmark::kMillisecond);

void BM_WriteJPEG(benchmark::State& state) {
  JPEGOptimizeCoding = state.range(0) != 0;
  int64_t size = 0;
  for (auto _ : state) {
    TMemoryStream s;
    TJPGFileFormatWriter().Write(s, Photo());
    size = s.Size();
  }
  state.counters["bytes"] = double(size);
  JPEGOptimizeCoding = true;
}
BENCHMARK(BM_WriteJPEG)->Arg(1)->Arg(0)->ArgName("optimized")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
