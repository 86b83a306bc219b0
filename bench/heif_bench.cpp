// Writing a 1500 x 1000 photo-like picture as AVIF at the default quality,
// at the default speed and at the fastest, and reading it back; reading a
// HEIC of the same picture written by heif-enc; heif-convert decoding both
// in a subprocess, for comparison.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "benchfiles.h"
#include "heifformat.h"
#include "pixelgraphic.h"
#include "pngformat.h"
#include "stream.h"

namespace {

const std::string AVIFFile = BenchFile("photo.avif");
const std::string HEICFile = BenchFile("photo.heic");
const std::string PNGFile = BenchFile("photo.png");
const std::string OutFile = BenchFile("out.avif");

TPixelGraphic& Source() {
  static TPixelGraphic graphic;
  static const bool made = (PhotoLike(graphic, 1500, 1000), true);
  (void)made;
  return graphic;
}

void Prepare() {
  {
    TFileStream s(AVIFFile, fmCreate);
    TAVIFFileFormatWriter().Write(s, Source());
  }
  {
    TFileStream s(PNGFile, fmCreate);
    TPNGFileFormatWriter().Write(s, Source());
  }
  if (std::system(("heif-enc -o " + HEICFile + " " + PNGFile + " >/dev/null 2>&1").c_str()) != 0)
    std::remove(HEICFile.c_str());
}

bool Exists(const std::string& path) {
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    std::fclose(f);
    return true;
  }
  return false;
}

void BM_WriteAVIF(benchmark::State& state) {
  AVIFCompSpeed = int32_t(state.range(0));
  for (auto _ : state) {
    TFileStream s(OutFile, fmCreate);
    TAVIFFileFormatWriter().Write(s, Source());
  }
  state.counters["bytes"] = double(FileSize(OutFile));
  AVIFCompSpeed = 6;
  std::remove(OutFile.c_str());
}

void BM_ReadAVIF(benchmark::State& state) { TimeReading<TAVIFFileFormatReader>(state, AVIFFile); }

void BM_ReadHEIC(benchmark::State& state) {
  if (!Exists(HEICFile)) return state.SkipWithError("heif-enc is not installed");
  TimeReading<THEIFFileFormatReader>(state, HEICFile);
}

void BM_HeifConvert(benchmark::State& state) {
  const std::string& file = state.range(0) ? HEICFile : AVIFFile;
  const std::string command = "heif-convert " + file + " " + BenchFile("peer.png") + " >/dev/null 2>&1";
  for (auto _ : state)
    if (std::system(command.c_str()) != 0) return state.SkipWithError("heif-convert failed or is not installed");
  std::remove(BenchFile("peer.png").c_str());
}

}  // namespace

BENCHMARK(BM_WriteAVIF)->Arg(6)->Arg(9)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadAVIF)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadHEIC)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HeifConvert)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) { return RunBenchmarks(argc, argv, Prepare, {AVIFFile, HEICFile, PNGFile, OutFile}); }
