#pragma once
// Blending of a picture with a frame colour in steps of 1/1024.

#include <cstdint>

#include "pgtypes.h"

// Weight of the frame colour at distance d inside a band FrameWidth (at
// least 2) pixels wide: 1024 at d = 0 down to 0 at d = FrameWidth - 1.
int32_t FrameWeight(long double d, int32_t FrameWidth);

// Per channel floor((s * (1024 - l) + f * l) / 1024), l in 0..1024.
inline uint8_t BlendChannel(uint32_t s, uint32_t f, int32_t l) {
  return uint8_t((s * uint32_t(1024 - l) + f * uint32_t(l)) >> 10);
}

inline TRGB FrameBlend(TRGB s, TRGB f, int32_t l) {
  return RGB(BlendChannel(GetRValue(s), GetRValue(f), l), BlendChannel(GetGValue(s), GetGValue(f), l),
             BlendChannel(GetBValue(s), GetBValue(f), l));
}
