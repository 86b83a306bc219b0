// Writing and reading a 24-bit TIFF of 3000 x 2000 pixels, uncompressed and
// with PackBits, through files.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "benchfiles.h"
#include "formatoptions.h"
#include "pixelgraphic.h"
#include "stream.h"
#include "tiffformat.h"

namespace {

constexpr int32_t Width = 3000;
constexpr int32_t Height = 2000;

// Smooth gradients with a little noise, as in a photograph, and flat bands
// that PackBits shortens.
TPixelGraphic& Picture() {
  static TPixelGraphic g;
  if (!g.GetEmpty()) return g;
  g.SetSize(Width, Height, 3);
  std::mt19937 random(1);
  for (int32_t y = 0; y < Height; ++y) {
    uint8_t* row = g.ScanLine(y);
    const bool flat = (y / 100) % 4 == 0;
    for (int32_t x = 0; x < Width; ++x) {
      const int noise = flat ? 0 : int(random() % 5);
      row[3 * x] = uint8_t(flat ? 200 : x / 12 + noise);
      row[3 * x + 1] = uint8_t(flat ? 200 : y / 8 + noise);
      row[3 * x + 2] = uint8_t(flat ? 30 : (x + y) / 20 + noise);
    }
  }
  return g;
}

std::string FilePath(int32_t compression) { return BenchFile(std::to_string(compression) + ".tif"); }

void WriteFile(int32_t compression) {
  TIFFWriteCompression = compression;
  TFileStream s(FilePath(compression), fmCreate);
  TTIFFileFormatWriter().Write(s, Picture());
  TIFFWriteCompression = 1;
}

void BM_WriteTIFF(benchmark::State& state) {
  const int32_t compression = int32_t(state.range(0));
  for (auto _ : state) WriteFile(compression);
  state.counters["file MB"] = double(FileSize(FilePath(compression))) / 1e6;
  state.SetBytesProcessed(state.iterations() * Picture().ImageSize());
}

void BM_ReadTIFF(benchmark::State& state) {
  const int32_t compression = int32_t(state.range(0));
  WriteFile(compression);
  TimeReading<TTIFFileFormatReader>(state, FilePath(compression));
  state.SetBytesProcessed(state.iterations() * Picture().ImageSize());
}

BENCHMARK(BM_WriteTIFF)->Arg(1)->Arg(32773)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadTIFF)->Arg(1)->Arg(32773)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return RunBenchmarks(argc, argv, Picture, {FilePath(1), FilePath(32773)}); }
