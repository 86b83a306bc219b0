#pragma once
// Whole rows of a pixel graphic as blue, green, red bytes, whatever its depth.

#include <cstdint>

class TPixelGraphic;

// Reads the colours of row y (which must lie inside Src) into bgr.
void ReadColorRow(const TPixelGraphic& Src, int32_t y, uint8_t* bgr);

// Writes the colours of row y by colour: bytes at 24 bits, otherwise through
// the dithering state when it is active, else the nearest palette entry.
// Serpentine visits odd rows right to left, as error diffusion expects.
void WriteColorRow(TPixelGraphic& Target, int32_t y, const uint8_t* bgr, bool Serpentine);
