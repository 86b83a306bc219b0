#pragma once
// Helpers of the file format tests: files as bytes read and written through
// a format's own reader or writer, the peer programs that write and read
// files for comparison, and pictures compared through PNM files.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "fileformat.h"
#include "pixelgraphic.h"
#include "stream.h"
#include "tempdir.h"
#include "testpictures.h"

namespace codecpeer {

// Little-endian fields appended to a file being built.
inline void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}

inline void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v);
  Put16(b, v >> 16);
}

inline bool Executable(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

// Runs a shell command quietly; true when it succeeded.
inline bool RunQuietly(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// Output of a shell command, its errors dropped; "FAILED: " and the command
// when it fails.
inline std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* p = popen(("(" + command + ") 2>/dev/null").c_str(), "r")) {
    char buffer[4096];
    while (size_t n = fread(buffer, 1, sizeof buffer, p)) out.append(buffer, n);
    if (pclose(p) != 0) out = "FAILED: " + command;
  }
  return out;
}

// True when every program of the blank-separated list can be run.
inline bool HaveTools(const std::string& programs) {
  return Shell("for t in " + programs + "; do command -v $t || echo no; done").find("no\n") == std::string::npos;
}

inline std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Puts bytes into the stream and goes back to its start.
inline void Fill(TStream& s, const std::vector<uint8_t>& bytes) {
  s.WriteBuffer(bytes.data(), bytes.size());
  s.SetPosition(0);
}

template <class Reader>
void ReadWith(const std::vector<uint8_t>& bytes, TPixelGraphic& g, int index = 0) {
  TMemoryStream s;
  Fill(s, bytes);
  Reader().Read(s, g, index);
}

template <class Reader>
TFileFormatInfo InfoWith(const std::vector<uint8_t>& bytes, int index = 0) {
  TMemoryStream s;
  Fill(s, bytes);
  TFileFormatInfo info;
  Reader().ReadInfo(s, index, info);
  return info;
}

template <class Writer>
std::vector<uint8_t> WrittenWith(TPixelGraphic& g) {
  TMemoryStream s;
  Writer().Write(s, g);
  return std::vector<uint8_t>(s.Memory(), s.Memory() + s.Size());
}

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
  std::vector<TRGB> Colors() const {
    std::vector<TRGB> c;
    const std::vector<uint8_t> rgb = RGB();
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) c.push_back(::RGB(rgb[i], rgb[i + 1], rgb[i + 2]));
    return c;
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

// The pixels of a plain pixmap with maximum 255, as pnmtoplainpnm writes it.
inline std::vector<TRGB> PlainPixmapColors(const std::string& text, int& width, int& height) {
  std::istringstream in(text);
  std::string magic;
  int maxValue = 0;
  in >> magic >> width >> height >> maxValue;
  std::vector<TRGB> c;
  if (magic != "P3" || maxValue != 255) return c;
  uint32_t r, g, b;
  while (in >> r >> g >> b) c.push_back(RGB(r, g, b));
  return c;
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
