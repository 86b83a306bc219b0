#pragma once
// Printing a picture fitted to one page.

#include <cstdint>
#include <string>

#include "platform.h"

// Where a Width x Height picture lands on a PageWidth x PageHeight page whose
// device has AspectX and AspectY pixels per inch across and down: the largest
// rectangle of the picture's true proportions, centred, touching two opposite
// page edges. A page or aspect that is not positive gives the whole page.
TPGRect PrintPageRect(int32_t PageWidth, int32_t PageHeight, int32_t AspectX, int32_t AspectY, int32_t Width,
                      int32_t Height);

// "<title> Graphic <width>x<height>x<colours>", colours = 2 ^ bits per pixel.
std::string PrintJobTitle(const std::string& ApplicationTitle, int32_t Width, int32_t Height, int BitCount);
