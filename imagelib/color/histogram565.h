#pragma once
// Colour histogram of a true-colour picture in 5-6-5 bit cells: 32 red,
// 64 green and 32 blue levels, 65,536 cells of saturating 16-bit counters.

#include <array>
#include <cstdint>

class THistogram565 {
public:
  static constexpr int RedCells = 32;
  static constexpr int GreenCells = 64;
  static constexpr int BlueCells = 32;
  static constexpr int CellCount = RedCells * GreenCells * BlueCells;
  static constexpr uint16_t MaxCount = 65535;

  static constexpr int CellOf(int redCell, int greenCell, int blueCell) {
    return 2048 * redCell + 32 * greenCell + blueCell;
  }
  static constexpr int CellOfColor(uint8_t red, uint8_t green, uint8_t blue) {
    return CellOf(red >> 3, green >> 2, blue >> 3);
  }

  // Counts a row of a 24-bit picture (bytes blue, green, red per pixel).
  void AddRow(const uint8_t* bgr, int32_t width);
  // Pixels in the cell, at most MaxCount.
  uint16_t Count(int redCell, int greenCell, int blueCell) const {
    const int cell = CellOf(redCell, greenCell, blueCell);
    const uint32_t sum = uint32_t(FLanes[2 * cell]) + FLanes[2 * cell + 1];
    return uint16_t(sum < MaxCount ? sum : MaxCount);
  }

private:
  // Each cell has two counters side by side, one for even and one for odd
  // x: in flat areas of a picture a single counter would make every
  // increment wait for the previous one. Both saturate, so their capped sum
  // is the count.
  std::array<uint16_t, 2 * CellCount> FLanes{};
};
