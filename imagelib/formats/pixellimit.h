#pragma once
// The most pixels a loaded picture may have. A small file can declare a
// picture of gigabytes (run-length and progressive coding have no sound
// bytes-per-pixel bound), so every reader asks here with the size from the
// header before it sets memory aside.

#include <cstdint>
#include <string>

#include "pgexceptions.h"

// 2^28, more than any camera's picture.
constexpr int64_t DefaultMaxPixels = int64_t(1) << 28;

// A format option: 0 leaves only the bound of the pixel memory itself.
extern int64_t MaxPixels;

// A picture refused for its declared size.
class EPGPictureTooLarge : public EPixelGraphic {
public:
  explicit EPGPictureTooLarge(const std::string& message) : EPixelGraphic(message) {}
};

// Raises EPGPictureTooLarge, naming the size and the limit, when a picture
// of Width x Height pixels exceeds MaxPixels.
void CheckPixelLimit(int64_t Width, int64_t Height);
// The message of that failure, in the library's language.
std::string PixelLimitText(int64_t Width, int64_t Height, int64_t Limit);
