#include "pgfilter.h"

TRGB TPGFilter::PixelAt(int32_t, int32_t) { return 0; }

void TPGFilter::PixelRow(int32_t y, int32_t count, uint8_t* bgr) {
  for (int32_t x = 0; x < count; ++x, bgr += 3) {
    const TRGB c = PixelAt(x, y);
    bgr[0] = GetBValue(c);
    bgr[1] = GetGValue(c);
    bgr[2] = GetRValue(c);
  }
}
