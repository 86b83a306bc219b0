// Loading and saving a 24-bit BMP of 6000 x 4000 pixels against the floor of
// moving the same file's bytes between disk cache and fresh memory.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "benchfiles.h"
#include "bmpformat.h"
#include "formatregistry.h"
#include "pixelgraphic.h"
#include "stream.h"

namespace {

constexpr int32_t Width = 6000;
constexpr int32_t Height = 4000;

const std::string SourceFile = BenchFile("source.bmp");
const std::string TargetFile = BenchFile("target.bmp");

// Made on first use.
const std::string& SourcePath() {
  static const bool made = [] {
    TPixelGraphic g;
    g.SetSize(Width, Height, 3);
    for (int32_t y = 0; y < Height; ++y) {
      uint8_t* row = g.ScanLine(y);
      for (int64_t i = 0; i < g.Stride(); ++i) row[i] = uint8_t(i * 7 + y);
    }
    TFileStream s(SourceFile, fmCreate);
    SpareBMPWriter().Write(s, g);
    return true;
  }();
  (void)made;
  return SourceFile;
}

void BM_PlainRead(benchmark::State& state) {
  const int64_t size = FileSize(SourcePath());
  for (auto _ : state) {
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[size_t(size)]);
    std::FILE* f = std::fopen(SourcePath().c_str(), "rb");
    benchmark::DoNotOptimize(std::fread(buffer.get(), 1, size_t(size), f));
    std::fclose(f);
    benchmark::DoNotOptimize(buffer.get());
  }
  state.SetBytesProcessed(state.iterations() * size);
}

void BM_LoadBMP(benchmark::State& state) {
  const int64_t size = FileSize(SourcePath());
  for (auto _ : state) {
    TPixelGraphic g;
    TFileStream s(SourcePath(), fmOpenRead);
    FindReader(s, "bmp")->Read(s, g, 0);
    benchmark::DoNotOptimize(g.Bits());
  }
  state.SetBytesProcessed(state.iterations() * size);
}

void BM_PlainWrite(benchmark::State& state) {
  const int64_t size = FileSize(SourcePath());
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[size_t(size)]());
  for (auto _ : state) {
    std::FILE* f = std::fopen(TargetFile.c_str(), "wb");
    benchmark::DoNotOptimize(std::fwrite(buffer.get(), 1, size_t(size), f));
    std::fclose(f);
  }
  state.SetBytesProcessed(state.iterations() * size);
}

void BM_SaveBMP(benchmark::State& state) {
  TPixelGraphic g;
  {
    TFileStream s(SourcePath(), fmOpenRead);
    FindReader(s, "bmp")->Read(s, g, 0);
  }
  const int64_t size = FileSize(SourcePath());
  for (auto _ : state) {
    TFileStream s(TargetFile, fmCreate);
    FindWriter("bmp")->Write(s, g);
  }
  state.SetBytesProcessed(state.iterations() * size);
}

BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadBMP)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveBMP)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return RunBenchmarks(argc, argv, SourcePath, {SourceFile, TargetFile});
}
