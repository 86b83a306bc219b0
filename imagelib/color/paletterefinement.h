#pragma once
// Refinement of a palette against the colours of a picture: weighted
// k-means (Lloyd) passes over a colour histogram, starting from the given
// palette, alternated with split-and-merge steps that take the entries
// whose clusters cost least to merge into a neighbour and split the
// clusters of the widest spread with them; unused entries are always
// put to work that way. Lloyd passes alone settle in the nearest local
// minimum of the error, which for a palette from box splitting lies well
// above what the entries could reach.
//
// The error is the sum over the histogram of weight x squared distance to
// the nearest entry. Entries stay whole colour values, so every pass can
// measure the palette it would return; the result is the best one measured,
// never worse than the palette given.

#include <cstdint>
#include <vector>

#include "meancolorhistogram.h"
#include "pgtypes.h"
#include "pixelgraphic.h"

// Bound on the passes over the histogram.
constexpr int32_t MaxRefinementPasses = 64;

// The last FixedCount entries of Palette stay as they are; a palette of more
// than 65,536 entries stays as it is. Target's progress events report each
// pass (Step = pass, Max = MaxRefinementPasses); an abort ends the
// refinement with the best palette found until then.
std::vector<TRGB> RefinePalette(TPixelGraphic& Target, const std::vector<TWeightedColor>& Histogram,
                                std::vector<TRGB> Palette, int32_t FixedCount);

// Refines Target's palette against a 24-bit Source, keeping its last
// FixedCount entries. The counting pass reports its rows as
// CreateOptimizedPalette does (Step = row, Max = height - 1); an abort there,
// or a source of another depth, leaves the palette as it is.
void RefineOptimizedPalette(TPixelGraphic& Target, const TPixelGraphic& Source, int32_t FixedCount);
