#pragma once
// Colour histogram of a true-colour picture that keeps, besides the count,
// the mean colour of each cell: 64 x 64 x 64 cells four levels wide. The
// means stand in for the picture's colours far more closely than cell
// centres do, at a fraction of the number of distinct colours.

#include <array>
#include <cstdint>
#include <vector>

#include "pgtypes.h"

// A colour and the number of pixels it stands for.
struct TWeightedColor {
  float Red, Green, Blue;
  uint32_t Weight;
};

class TMeanColorHistogram {
public:
  static constexpr int CellBits = 6;
  static constexpr int CellCount = 1 << (3 * CellBits);

  // Counts a row of a 24-bit picture (bytes blue, green, red per pixel).
  void AddRow(const uint8_t* bgr, int32_t width);
  // One entry per non-empty cell, in cell order.
  std::vector<TWeightedColor> Colors() const;

private:
  // Offsets within the cell (0..3) are summed rather than the levels, so
  // that 32 bits hold the sums of any picture the library can hold
  // (fewer than 2^31 / 3 pixels).
  struct TCell {
    uint32_t Count, Red, Green, Blue;
  };
  std::array<TCell, CellCount> FCells{};
};
