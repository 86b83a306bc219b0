#pragma once
// What the benchmarks through files share: files of their own under /tmp,
// a photo-like picture, the timed reading of a file, and a main that
// removes the files afterwards.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "pixelgraphic.h"
#include "stream.h"

// A path of this process's own, so that runs side by side do not collide.
inline std::string BenchFile(const std::string& name) {
  return "/tmp/quillet_bench_" + std::to_string(getpid()) + "_" + name;
}

inline int64_t FileSize(const std::string& path) {
  TFileStream s(path, fmOpenRead);
  return s.Size();
}

// Smooth shapes with a little grain, so that both coders work as on a photograph.
inline void PhotoLike(TPixelGraphic& g, int32_t width, int32_t height) {
  g.SetSize(width, height, 3);
  uint32_t noise = 12345;
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = g.ScanLine(y);
    for (int32_t x = 0; x < width; ++x) {
      noise = noise * 1103515245u + 12345u;
      const int grain = int(noise >> 28) - 8;
      const double s = std::sin(x * 0.004) * std::cos(y * 0.006);
      row[3 * x] = uint8_t(std::clamp(int(128 + 100 * s) + grain, 0, 255));
      row[3 * x + 1] = uint8_t(std::clamp(int(255.0 * y / height) + grain, 0, 255));
      row[3 * x + 2] = uint8_t(std::clamp(int(255.0 * x / width) + grain, 0, 255));
    }
  }
}

// Each iteration reads the whole file into a fresh graphic.
template <class Reader>
void TimeReading(benchmark::State& state, const std::string& path) {
  for (auto _ : state) {
    TPixelGraphic g;
    TFileStream s(path, fmOpenRead);
    Reader().Read(s, g, 0);
    benchmark::DoNotOptimize(g.Bits());
  }
}

// Runs the benchmarks asked for; prepare makes what they share before any is
// timed, and the files are removed at the end.
inline int RunBenchmarks(int argc, char** argv, const std::function<void()>& prepare,
                         const std::vector<std::string>& files) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  prepare();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (const std::string& file : files) std::remove(file.c_str());
  return 0;
}
