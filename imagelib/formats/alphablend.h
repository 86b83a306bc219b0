#pragma once
// Transparent pixels laid over the graphic's background colour, with the
// rounding libpng uses when the PNG reader has it composite.

#include <cstdint>

inline uint8_t BlendOver(uint32_t Value, uint32_t Alpha, uint32_t Background) {
  return uint8_t((Value * Alpha + Background * (255 - Alpha) + 127) / 255);
}
