#include "meancolorhistogram.h"

void TMeanColorHistogram::AddRow(const uint8_t* bgr, int32_t width) {
  constexpr int shift = 8 - CellBits;
  constexpr uint32_t offset = (1 << shift) - 1;
  for (int32_t x = 0; x < width; ++x, bgr += 3) {
    const uint32_t b = bgr[0], g = bgr[1], r = bgr[2];
    TCell& c = FCells[(r >> shift) << (2 * CellBits) | (g >> shift) << CellBits | (b >> shift)];
    ++c.Count;
    c.Red += r & offset;
    c.Green += g & offset;
    c.Blue += b & offset;
  }
}

std::vector<TWeightedColor> TMeanColorHistogram::Colors() const {
  constexpr int shift = 8 - CellBits;
  constexpr uint32_t mask = (1 << CellBits) - 1;
  std::vector<TWeightedColor> colors;
  for (uint32_t i = 0; i < uint32_t(CellCount); ++i) {
    const TCell& c = FCells[i];
    if (c.Count == 0) continue;
    const auto mean = [&](uint32_t cell, uint32_t sum) {
      return float(cell << shift) + float(double(sum) / double(c.Count));
    };
    colors.push_back({mean(i >> (2 * CellBits), c.Red), mean((i >> CellBits) & mask, c.Green),
                      mean(i & mask, c.Blue), c.Count});
  }
  return colors;
}
