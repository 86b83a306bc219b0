#include "colormapping.h"

#include "pgexceptions.h"
#include "pixelgraphic.h"

uint32_t TPixelGraphic::NearestIndex(TRGB c) {
  if (FPaletteIdent == pTrueColor) return c;
  throw EPixelGraphic("Colour mapping onto a palette is not available yet");
}

void TPixelGraphic::ClearColorCaches() { FNearestCache.reset(); }

void TPixelGraphic::DitherStart() { throw EPixelGraphic("Dithering is not available yet"); }
void TPixelGraphic::DitherRowStart() {}
void TPixelGraphic::DitherEnd() { FDitherState.reset(); }
void TPixelGraphic::WriteDitheredPixel(int32_t, int32_t, int, int, int) {
  throw EPixelGraphic("Dithering is not available yet");
}
