// Loading a 6000 x 4000 JPEG of quality 90 against the decode alone, by
// djpeg in a subprocess and by libjpeg called directly; writing and reading a
// 24-bit PNG of 3000 x 2000 pixels.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "benchfiles.h"
#include "formatoptions.h"
#include "jpegformat.h"
#include "pixelgraphic.h"
#include "pngformat.h"
#include "stream.h"

namespace {

// Smooth shapes with a little grain, so that both coders work as on a photograph.
void PhotoLike(TPixelGraphic& g, int32_t width, int32_t height) {
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

const std::string JPEGFile = BenchFile("photo.jpg");
const std::string PNGFile = BenchFile("photo.png");

// Made with our writer on first use.
const std::string& JPEGPath() {
  static const bool made = [] {
    TPixelGraphic g;
    PhotoLike(g, 6000, 4000);
    JPEGCompQuality = 90;
    TFileStream s(JPEGFile, fmCreate);
    TJPGFileFormatWriter().Write(s, g);
    return true;
  }();
  (void)made;
  return JPEGFile;
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
BENCHMARK(BM_WritePNG)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadPNG)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
  return RunBenchmarks(argc, argv, [] {}, {JPEGFile, PNGFile});
}
