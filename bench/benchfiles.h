#pragma once
// What the benchmarks through files share: files of their own under /tmp,
// the timed reading of one, and a main that removes the files afterwards.
#include <benchmark/benchmark.h>

#include <unistd.h>

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
