#pragma once
// Pictures the tests build, and their pixels listed row by row, top-down.

#include <cstdint>
#include <random>
#include <vector>

#include "pixelgraphic.h"

// A 24-bit picture of one colour.
inline void Uniform(TPixelGraphic& g, int32_t w, int32_t h, TRGB c) {
  g.SetSize(w, h, 3);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) g.SetPixel(x, y, c);
}

// A 24-bit picture of random colours, the same for the same seed.
inline void FillRandom(TPixelGraphic& g, int32_t w, int32_t h, uint32_t seed) {
  std::mt19937 rng(seed);
  g.SetSize(w, h, 3);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) g.SetPixel(x, y, rng() & 0xFFFFFF);
}

// The pixel values as stored: palette indices or colours.
inline std::vector<uint32_t> Pixels(const TPixelGraphic& g) {
  std::vector<uint32_t> v;
  for (int32_t y = 0; y < g.GetHeight(); ++y)
    for (int32_t x = 0; x < g.GetWidth(); ++x) v.push_back(g.GetPixel(x, y));
  return v;
}

// The colours of the pixels.
inline std::vector<TRGB> Colors(const TPixelGraphic& g) {
  std::vector<TRGB> c;
  for (int32_t y = 0; y < g.GetHeight(); ++y)
    for (int32_t x = 0; x < g.GetWidth(); ++x) c.push_back(g.GetPixelColor(x, y));
  return c;
}

// n random palette entries.
inline void RandomPalette(TPixelGraphic& g, int32_t n, std::mt19937& random) {
  g.SetPaletteCount(n);
  for (int32_t i = 0; i < n; ++i) g.SetPaletteEntries(i, random() & 0xFFFFFF);
}

// Random pixels over the whole picture: colours at 24 bits, else indices into
// its palette.
inline void RandomPixels(TPixelGraphic& g, std::mt19937& random) {
  const uint32_t values = g.BitCountNum() == 3 ? 0x1000000 : uint32_t(g.PaletteCount());
  for (int32_t y = 0; y < g.GetHeight(); ++y)
    for (int32_t x = 0; x < g.GetWidth(); ++x) g.SetPixel(x, y, random() % values);
}
