#include "histogram565.h"

namespace {

inline void Increment(uint16_t* lane, const uint8_t* bgr) {
  uint16_t& c = lane[2 * THistogram565::CellOfColor(bgr[2], bgr[1], bgr[0])];
  c = uint16_t(c + (c != THistogram565::MaxCount));
}

}  // namespace

void THistogram565::AddRow(const uint8_t* bgr, int32_t width) {
  int32_t x = 0;
  for (; x + 1 < width; x += 2, bgr += 6) {
    Increment(FLanes.data(), bgr);
    Increment(FLanes.data() + 1, bgr + 3);
  }
  if (x < width) Increment(FLanes.data(), bgr);
}
