#pragma once
// Palette from a 5-6-5 histogram by splitting boxes of cells in the middle
// of their longest weighted extent (a median-cut variant).

#include <cstdint>
#include <vector>

#include "histogram565.h"
#include "pgtypes.h"

// Never more boxes than an 8-bit palette can hold.
constexpr int32_t MaxColorBoxes = 256;

// Mean colours of the boxes, in box order: at most min(maxColors,
// MaxColorBoxes) and at least one. The histogram must count a pixel.
std::vector<TRGB> SplitHistogramBoxes(const THistogram565& histogram, int32_t maxColors);
