#pragma once
// Size arithmetic shared by the front ends: the result size in pixels and in
// per cent of the source, and the exact halving that avoids interference.

#include <cstdint>

// floor(Percent / 100 * Dimension), taken on the decimal value the user
// typed: binary noise (10 % of 1000 landing just below 100) does not lose
// a pixel. Saturates at the 32-bit range; NaN gives 0.
int32_t PercentToPixels(int32_t Dimension, long double Percent);

// Pixels in per cent of Dimension, rounded up to two decimals and computed
// exactly (3 of 10 pixels is 30 %, not 30.01 %). A dimension that is not
// positive gives 0.
long double PixelsToPercent(int32_t Pixels, int32_t Dimension);

// Whether a source of SourceLength pixels shrunk to ResultLength is halved
// exactly by dropping its last pixel: SourceLength = 2 * ResultLength + 1.
bool CanMinimizeInterference(int32_t SourceLength, int32_t ResultLength);
