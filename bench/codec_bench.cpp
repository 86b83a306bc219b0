// Loading a 6000 x 4000 JPEG of quality 90 against the decode alone, by
// djpeg in a subprocess and by libjpeg called directly; counting the scans
// of its progressive twin; refusing a file of 5,000 scans and stopping the
// decode of one at the scan limit; writing and reading a 24-bit PNG of
// 3000 x 2000 pixels.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <jpeglib.h>

#include "benchfiles.h"
#include "formatoptions.h"
#include "jpegformat.h"
#include "jpegscanlimit.h"
#include "manyscanjpeg.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "pngformat.h"
#include "stream.h"

namespace {

const std::string JPEGFile = BenchFile("photo.jpg");
const std::string ProgressiveFile = BenchFile("progressive.jpg");
const std::string PNGFile = BenchFile("photo.png");
// The crafted files at the size of the audit's: 16384 x 16384 pixels.
const std::string ManyScansFile = BenchFile("scans5000.jpg");
const std::string LimitScansFile = BenchFile("scans100.jpg");
constexpr int CraftedSide = 16384;

// Made with our writer on first use.
const std::string& JPEGPath(bool progressive = false) {
  static const bool made = [] {
    TPixelGraphic g;
    PhotoLike(g, 6000, 4000);
    JPEGCompQuality = 90;
    for (bool p : {false, true}) {
      JPEGCompProgressive = p;
      TFileStream s(p ? ProgressiveFile : JPEGFile, fmCreate);
      TJPGFileFormatWriter().Write(s, g);
    }
    JPEGCompProgressive = false;
    return true;
  }();
  (void)made;
  return progressive ? ProgressiveFile : JPEGFile;
}

const std::string& CraftedPath(int scans) {
  static const bool made = [] {
    WriteManyScanJPEG(ManyScansFile, CraftedSide, CraftedSide, 5000);
    WriteManyScanJPEG(LimitScansFile, CraftedSide, CraftedSide, MaxJPEGScans);
    return true;
  }();
  (void)made;
  return scans > MaxJPEGScans ? ManyScansFile : LimitScansFile;
}

TPixelGraphic& PNGSource() {
  static TPixelGraphic graphic;
  static const bool made = (PhotoLike(graphic, 3000, 2000), true);
  (void)made;
  return graphic;
}

const std::string& PNGPath() {
  static const bool made = [] {
    TFileStream s(PNGFile, fmCreate);
    TPNGFileFormatWriter().Write(s, PNGSource());
    return true;
  }();
  (void)made;
  return PNGFile;
}

void BM_DJPEGDecode(benchmark::State& state) {
  const std::string command = "/usr/bin/djpeg -bmp -outfile /dev/null '" + JPEGPath() + "'";
  for (auto _ : state)
    if (std::system(command.c_str()) != 0) state.SkipWithError("djpeg failed");
}

// libjpeg on its own, with the reader's settings and row order: the floor.
void BM_LibJPEGDecode(benchmark::State& state) {
  const std::string& path = JPEGPath();
  for (auto _ : state) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    jpeg_decompress_struct info{};
    jpeg_error_mgr err;
    info.err = jpeg_std_error(&err);
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, f);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&info);
    const size_t stride = (size_t(info.output_width) * 3 + 3) & ~size_t(3);
    std::vector<JSAMPLE> pixels(stride * info.output_height);
    while (info.output_scanline < info.output_height) {
      JSAMPROW row = pixels.data() + stride * (info.output_height - 1 - info.output_scanline);
      jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(f);
    benchmark::DoNotOptimize(pixels.data());
  }
}

void BM_ReadJPEG(benchmark::State& state) {
  TimeReading<TJPGFileFormatReader>(state, JPEGPath());
}

void BM_ReadProgressiveJPEG(benchmark::State& state) {
  TimeReading<TJPGFileFormatReader>(state, JPEGPath(true));
}

// What the reader adds to a progressive file's decode: the look at its scans.
void BM_CountScans(benchmark::State& state) {
  const std::string& path = JPEGPath(true);
  for (auto _ : state) {
    TFileStream s(path, fmOpenRead);
    benchmark::DoNotOptimize(CountJPEGScans(s, MaxJPEGScans, [] { return false; }));
  }
}

void BM_RefuseManyScans(benchmark::State& state) {
  const std::string& path = CraftedPath(5000);
  for (auto _ : state) {
    TPixelGraphic g;
    TFileStream s(path, fmOpenRead);
    try {
      TJPGFileFormatReader().Read(s, g, 0);
      state.SkipWithError("read a file of 5,000 scans");
    } catch (const EPGJPGFileFormatReaderWriter&) {
    }
  }
}

// From the abort asked for, the argument's milliseconds into the decode of a
// file at the scan limit, to the reader's return: what stopping a preview
// thread waits for.
void BM_AbortDuringScans(benchmark::State& state) {
  const std::string& path = CraftedPath(MaxJPEGScans);
  for (auto _ : state) {
    std::atomic<bool> stop{false};
    std::thread reading([&] {
      TPixelGraphic g;
      g.OnProgress = [&](TObject*, int, int, bool& abort) { abort = stop.load(); };
      TFileStream s(path, fmOpenRead);
      try {
        TJPGFileFormatReader().Read(s, g, 0);
      } catch (const EPGJPGFileFormatReaderWriter&) {
      }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(state.range(0)));
    const auto asked = std::chrono::steady_clock::now();
    stop.store(true);
    reading.join();
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count());
  }
}

void BM_WritePNG(benchmark::State& state) {
  const std::string target = BenchFile("out.png");
  TPixelGraphic& source = PNGSource();
  for (auto _ : state) {
    TFileStream s(target, fmCreate);
    TPNGFileFormatWriter().Write(s, source);
  }
  std::remove(target.c_str());
}

void BM_ReadPNG(benchmark::State& state) {
  TimeReading<TPNGFileFormatReader>(state, PNGPath());
}

}  // namespace

BENCHMARK(BM_DJPEGDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LibJPEGDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadJPEG)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadProgressiveJPEG)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CountScans)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RefuseManyScans)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AbortDuringScans)->Arg(500)->Arg(5000)->Iterations(3)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_WritePNG)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadPNG)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
  return RunBenchmarks(argc, argv, [] {}, {JPEGFile, ProgressiveFile, PNGFile, ManyScansFile, LimitScansFile});
}
