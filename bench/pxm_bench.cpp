// Writing and reading a 24-bit PPM of 3000 x 2000 pixels, binary and ASCII,
// through a file.
#include <benchmark/benchmark.h>

#include <string>

#include "benchfiles.h"
#include "formatoptions.h"
#include "pixelgraphic.h"
#include "pxmformat.h"
#include "stream.h"

namespace {

constexpr int32_t Width = 3000;
constexpr int32_t Height = 2000;

TPixelGraphic& Picture() {
  static TPixelGraphic picture;
  if (picture.GetEmpty()) {
    picture.SetSize(Width, Height, 3);
    for (int32_t y = 0; y < Height; ++y) {
      uint8_t* row = picture.ScanLine(y);
      for (int64_t i = 0; i < 3 * Width; ++i) row[i] = uint8_t(i * 7 + y * 3 + (i >> 4));
    }
  }
  return picture;
}

std::string PathFor(bool binary) { return BenchFile(binary ? "binary.ppm" : "ascii.ppm"); }

void WritePPM(bool binary, const std::string& path) {
  PXMWriteBinary = binary;
  TFileStream s(path, fmCreate);
  TPPMFileFormatWriter().Write(s, Picture());
  PXMWriteBinary = false;
}

void BM_WritePPM(benchmark::State& state) {
  const bool binary = state.range(0) != 0;
  const std::string path = PathFor(binary);
  for (auto _ : state) WritePPM(binary, path);
  state.SetBytesProcessed(state.iterations() * FileSize(path));
  state.SetLabel(binary ? "binary" : "ASCII");
}

void BM_ReadPPM(benchmark::State& state) {
  const bool binary = state.range(0) != 0;
  const std::string path = PathFor(binary);
  WritePPM(binary, path);
  TimeReading<TPPMFileFormatReader>(state, path);
  state.SetBytesProcessed(state.iterations() * FileSize(path));
  state.SetLabel(binary ? "binary" : "ASCII");
}

BENCHMARK(BM_WritePPM)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadPPM)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return RunBenchmarks(argc, argv, Picture, {PathFor(true), PathFor(false)}); }
