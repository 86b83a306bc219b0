#pragma once
// Gray measure of a colour, 0..765: the plain channel sum, or with weighting
// the luminance-weighted sum on the same scale.

#include "pgtypes.h"

constexpr int GraySum(int r, int g, int b, bool weighting) {
  return weighting ? (299 * r + 587 * g + 114 * b) * 3 / 1000 : r + g + b;
}

constexpr int GraySum(TRGB c, bool weighting) { return GraySum(GetRValue(c), GetGValue(c), GetBValue(c), weighting); }
