#pragma once
// The colour resolution a picture is saved in when the writer cannot store
// the one it has.

#include <optional>

#include "fileformat.h"

// The first of Current's candidates, in order of preference, that CanWrite
// holds; none when it holds none of them.
std::optional<TColorResolution> SaveColorResolution(TColorResolution Current, TColorResolutions CanWrite);

// Gives Target (still without pixels) the bit count and palette of
// Resolution; optimized palettes are computed from Source.
void PrepareColorResolution(TPixelGraphic& Target, TColorResolution Resolution, const TPixelGraphic& Source);
