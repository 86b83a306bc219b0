#pragma once
// Helpers of the PNG and JPEG tests: a temporary directory per test, the peer
// programs that write and read files for comparison, and pictures compared
// through plain PNM files.

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "pixelgraphic.h"

namespace codecpeer {

inline bool Executable(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

// Runs a shell command quietly; true when it succeeded.
inline bool RunQuietly(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

class TTempDir {
public:
  TTempDir() {
    std::string pattern = ::testing::TempDir() + "quillet_codec_XXXXXX";
    if (mkdtemp(pattern.data())) FPath = pattern + "/";
  }
  ~TTempDir() {
    if (!FPath.empty()) RunQuietly("rm -rf '" + FPath + "'");
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  std::string operator/(const std::string& name) const { return FPath + name; }

private:
  std::string FPath;
};

// A binary PGM or PPM with 8-bit samples, as the peers write them.
struct TPNMImage {
  int32_t Width = 0;
  int32_t Height = 0;
  int Channels = 0;
  std::vector<uint8_t> Samples;

  // Red, green, blue per pixel, rows top-down.
  std::vector<uint8_t> RGB() const {
    if (Channels == 3) return Samples;
    std::vector<uint8_t> rgb;
    for (uint8_t v : Samples) rgb.insert(rgb.end(), {v, v, v});
    return rgb;
  }
};

inline TPNMImage ReadPNM(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  TPNMImage image;
  std::string magic;
  in >> magic;
  image.Channels = magic == "P6" ? 3 : magic == "P5" ? 1 : 0;
  int fields[3] = {};
  for (int& field : fields) {
    while (in >> std::ws && in.peek() == '#') in.ignore(1 << 20, '\n');
    in >> field;
  }
  in.get();
  if (image.Channels == 0 || fields[2] != 255) return TPNMImage();
  image.Width = fields[0];
  image.Height = fields[1];
  image.Samples.resize(size_t(image.Width) * image.Height * image.Channels);
  in.read(reinterpret_cast<char*>(image.Samples.data()), std::streamsize(image.Samples.size()));
  if (!in) return TPNMImage();
  return image;
}

// Writes the picture's colours as a binary PPM, or a PGM when asked.
inline void WritePNM(const std::string& path, const TPixelGraphic& graphic, bool gray = false) {
  std::ofstream out(path, std::ios::binary);
  out << (gray ? "P5\n" : "P6\n") << graphic.GetWidth() << ' ' << graphic.GetHeight() << "\n255\n";
  for (int32_t y = 0; y < graphic.GetHeight(); ++y)
    for (int32_t x = 0; x < graphic.GetWidth(); ++x) {
      const TRGB c = graphic.GetPixelColor(x, y);
      if (gray)
        out.put(char(GetRValue(c)));
      else
        out << char(GetRValue(c)) << char(GetGValue(c)) << char(GetBValue(c));
    }
}

// Red, green, blue per pixel of a graphic, rows top-down.
inline std::vector<uint8_t> GraphicRGB(const TPixelGraphic& graphic) {
  std::vector<uint8_t> rgb;
  for (int32_t y = 0; y < graphic.GetHeight(); ++y)
    for (int32_t x = 0; x < graphic.GetWidth(); ++x) {
      const TRGB c = graphic.GetPixelColor(x, y);
      rgb.insert(rgb.end(), {GetRValue(c), GetGValue(c), GetBValue(c)});
    }
  return rgb;
}

// Largest difference of two equally long sample lists; 256 when the lengths differ.
inline int MaxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.size() != b.size()) return 256;
  int most = 0;
  for (size_t i = 0; i < a.size(); ++i) most = std::max(most, std::abs(int(a[i]) - int(b[i])));
  return most;
}

}  // namespace codecpeer
