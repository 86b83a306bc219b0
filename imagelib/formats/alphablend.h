#pragma once
// Transparent pixels laid over the graphic's background colour, with the
// rounding libpng uses when the PNG reader has it composite. 16-bit samples
// are composited in 16 bits against the background widened to 16 bits and
// then cut to their high byte, as libpng does before it strips them.

#include <algorithm>
#include <cstdint>

// Unassociated alpha: the colour is stored as it is where opaque.
inline uint8_t BlendOver(uint32_t Value, uint32_t Alpha, uint32_t Background) {
  return uint8_t((Value * Alpha + Background * (255 - Alpha) + 127) / 255);
}

// Associated alpha: the colour is stored multiplied by its alpha already.
inline uint8_t PremultipliedOver(uint32_t Value, uint32_t Alpha, uint32_t Background) {
  return uint8_t(std::min<uint32_t>(255, Value + (Background * (255 - Alpha) + 127) / 255));
}

inline uint8_t BlendOver16(uint32_t Value, uint32_t Alpha, uint32_t Background) {
  const uint64_t background = uint64_t(Background) * 257;
  return uint8_t((uint64_t(Value) * Alpha + background * (65535 - Alpha) + 32767) / 65535 >> 8);
}

inline uint8_t PremultipliedOver16(uint32_t Value, uint32_t Alpha, uint32_t Background) {
  const uint64_t background = uint64_t(Background) * 257;
  return uint8_t(std::min<uint64_t>(65535, Value + (background * (65535 - Alpha) + 32767) / 65535) >> 8);
}
