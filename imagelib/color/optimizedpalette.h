#pragma once
// Optimized palette: up to Size colours that represent Source, stored as the
// palette of Target (whose pixels stay untouched). 24-bit sources go through
// a 5-6-5 histogram and box splitting, palette sources through an octree of
// their palette colours weighted by use. With IncludeSystemColors the last 16
// of the Size entries are the 16 system colours.
//
// Target's progress events report the counting pass (Sender Target, Step =
// row, Max = height - 1); an abort only shortens the count, the palette is
// still computed from the rows counted.
//
// An empty Source, or no room left for computed colours, gives Target the
// first min(Size, 16) system colours. A palette source with a pixel value
// beyond its palette raises EPGInvalidPaletteIndex.

#include <cstdint>

#include "pixelgraphic.h"

void CreateOptimizedPalette(TPixelGraphic& Target, const TPixelGraphic& Source, int32_t Size, bool IncludeSystemColors);
