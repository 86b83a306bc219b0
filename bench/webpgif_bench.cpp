// Writing a 3000 x 2000 photo-like picture as lossy and lossless WebP and
// reading both back; reading a GIF of it made by ImageMagick; dwebp
// decoding the lossy file in a subprocess, for comparison.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "benchfiles.h"
#include "formatoptions.h"
#include "gifformat.h"
#include "pixelgraphic.h"
#include "pngformat.h"
#include "stream.h"
#include "webpformat.h"

namespace {

const std::string LossyFile = BenchFile("photo.webp");
const std::string LosslessFile = BenchFile("lossless.webp");
const std::string GIFFile = BenchFile("photo.gif");
const std::string PNGFile = BenchFile("photo.png");
const std::string OutFile = BenchFile("out.webp");

TPixelGraphic& Source() {
  static TPixelGraphic graphic;
  static const bool made = (PhotoLike(graphic, 3000, 2000), true);
  (void)made;
  return graphic;
}

void WriteWebP(const std::string& path, bool lossless) {
  WebPLossless = lossless;
  TFileStream s(path, fmCreate);
  TWebPFileFormatWriter().Write(s, Source());
  WebPLossless = false;
}

void Prepare() {
  WriteWebP(LossyFile, false);
  WriteWebP(LosslessFile, true);
  {
    TFileStream s(PNGFile, fmCreate);
    TPNGFileFormatWriter().Write(s, Source());
  }
  if (std::system(("convert " + PNGFile + " " + GIFFile + " >/dev/null 2>&1").c_str()) != 0)
    std::remove(GIFFile.c_str());
}

void BM_WriteWebP(benchmark::State& state) {
  for (auto _ : state) WriteWebP(OutFile, state.range(0) != 0);
  state.counters["bytes"] = double(FileSize(OutFile));
  std::remove(OutFile.c_str());
}

void BM_ReadWebP(benchmark::State& state) {
  TimeReading<TWebPFileFormatReader>(state, state.range(0) ? LosslessFile : LossyFile);
}

void BM_ReadGIF(benchmark::State& state) {
  if (!std::filesystem::exists(GIFFile)) return state.SkipWithError("ImageMagick is not installed");
  TimeReading<TGIFFileFormatReader>(state, GIFFile);
}

void BM_Dwebp(benchmark::State& state) {
  const std::string command = "dwebp -quiet " + LossyFile + " -ppm -o " + BenchFile("peer.ppm");
  for (auto _ : state)
    if (std::system(command.c_str()) != 0) return state.SkipWithError("dwebp failed or is not installed");
  std::remove(BenchFile("peer.ppm").c_str());
}

}  // namespace

BENCHMARK(BM_WriteWebP)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadWebP)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadGIF)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Dwebp)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
  return RunBenchmarks(argc, argv, Prepare, {LossyFile, LosslessFile, GIFFile, PNGFile, OutFile});
}
