#include "gammacorrection.h"

#include <cmath>

#include "formatoptions.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"

long double GammaPower(long double Base, long double Exponent) {
  if (Exponent == 0) return 1;
  if (Base == 0) return 0;
  if (Base == 1) return 1;
  if (Base < 0) throw EPixelGraphic("Invalid Argument");
  return std::exp(Exponent * std::log(Base));
}

TGammaTable GammaTable(long double Exponent) {
  TGammaTable table{};
  for (int i = 0; i < 256; ++i) {
    const long double v = std::nearbyint(GammaPower(i / 255.0L, Exponent) * 255);
    // Written so that an undefined value lands on 0.
    table[size_t(i)] = v > 255 ? 255 : v >= 0 ? uint8_t(v) : 0;
  }
  return table;
}

void CorrectGamma(TPixelGraphic& Graphic) {
  const long double ratio = Graphic.Gamma() / ScreenGamma;
  if (!GammaCorrectionOnRead || !(std::fabs(ratio - 1) > 0.05L)) return;
  const TGammaTable t = GammaTable(ratio);
  if (Graphic.BitCountNum() < 3) {
    for (int32_t i = 0; i < Graphic.PaletteCount(); ++i) {
      const TRGB c = Graphic.PaletteEntries(i);
      Graphic.SetPaletteEntries(i, RGB(t[GetRValue(c)], t[GetGValue(c)], t[GetBValue(c)]));
    }
  } else if (Graphic.GetWidth() > 0 && !Graphic.GetEmpty()) {
    const size_t rowBytes = size_t(Graphic.GetWidth()) * 3;
    for (int32_t y = 0; y < Graphic.GetHeight(); ++y) {
      uint8_t* row = Graphic.ScanLine(y);
      for (size_t i = 0; i < rowBytes; ++i) row[i] = t[row[i]];
    }
  }
  Graphic.SetGamma(ScreenGamma);
}
