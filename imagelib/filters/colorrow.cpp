#include "colorrow.h"

#include <cstring>

#include "pixelgraphic.h"

void ReadColorRow(const TPixelGraphic& Src, int32_t y, uint8_t* bgr) {
  const int32_t width = Src.GetWidth();
  if (Src.BitCountNum() == 3) {
    const uint8_t* row = Src.ScanLine(y);
    if (row != bgr) std::memcpy(bgr, row, size_t(width) * 3);
    return;
  }
  for (int32_t x = 0; x < width; ++x, bgr += 3) {
    const TRGB c = Src.GetPixelColor(x, y);
    bgr[0] = GetBValue(c);
    bgr[1] = GetGValue(c);
    bgr[2] = GetRValue(c);
  }
}

void WriteColorRow(TPixelGraphic& Target, int32_t y, const uint8_t* bgr, bool Serpentine) {
  const int32_t width = Target.GetWidth();
  if (Target.BitCountNum() == 3) {
    uint8_t* row = Target.ScanLine(y);
    if (row != bgr) std::memcpy(row, bgr, size_t(width) * 3);
    return;
  }
  const bool backwards = Serpentine && (y & 1) != 0;
  const bool dithering = Target.Dithering();
  for (int32_t n = 0; n < width; ++n) {
    const int32_t x = backwards ? width - 1 - n : n;
    const uint8_t* p = bgr + size_t(x) * 3;
    if (dithering)
      Target.WriteDitheredPixel(x, y, p[2], p[1], p[0]);
    else
      Target.SetPixelColor(x, y, RGB(p[2], p[1], p[0]));
  }
}
