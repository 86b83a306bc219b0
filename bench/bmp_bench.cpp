// Loading and saving a 24-bit BMP of 6000 x 4000 pixels against the floor of
// moving the same file's bytes between disk cache and fresh memory.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "bmpformat.h"
#include "formatregistry.h"
#include "pixelgraphic.h"
#include "stream.h"

namespace {

constexpr int32_t Width = 6000;
constexpr int32_t Height = 4000;

const std::string& SourcePath() {
  static const std::string path = [] {
    const std::string p = "/tmp/quillet_bmp_bench_" + std::to_string(getpid()) + ".bmp";
    TPixelGraphic g;
    g.SetSize(Width, Height, 3);
    for (int32_t y = 0; y < Height; ++y) {
      uint8_t* row = g.ScanLine(y);
      for (int64_t i = 0; i < g.Stride(); ++i) row[i] = uint8_t(i * 7 + y);
    }
    TFileStream s(p, fmCreate);
    SpareBMPWriter().Write(s, g);
    return p;
  }();
  return path;
}

const std::string& TargetPath() {
  static const std::string path = "/tmp/quillet_bmp_bench_out_" + std::to_string(getpid()) + ".bmp";
  return path;
}

int64_t FileSize() {
  TFileStream s(SourcePath(), fmOpenRead);
  return s.Size();
}

void BM_PlainRead(benchmark::State& state) {
  const int64_t size = FileSize();
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
  const int64_t size = FileSize();
  for (auto _ : state) {
    TPixelGraphic g;
    TFileStream s(SourcePath(), fmOpenRead);
    FindReader(s, "bmp")->Read(s, g, 0);
    benchmark::DoNotOptimize(g.Bits());
  }
  state.SetBytesProcessed(state.iterations() * size);
}

void BM_PlainWrite(benchmark::State& state) {
  const int64_t size = FileSize();
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[size_t(size)]());
  for (auto _ : state) {
    std::FILE* f = std::fopen(TargetPath().c_str(), "wb");
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
  const int64_t size = FileSize();
  for (auto _ : state) {
    TFileStream s(TargetPath(), fmCreate);
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
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  SourcePath();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::remove(SourcePath().c_str());
  std::remove(TargetPath().c_str());
  return 0;
}
