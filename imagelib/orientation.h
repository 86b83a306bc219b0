#pragma once
// The orientation a photo's stored pixels have, as EXIF and TIFF number it
// (tag 274): where the stored row 0 and column 0 belong on the upright picture.

#include <cstdint>
#include <string>

enum TOrientation : uint8_t {
  oTopLeft = 1,  // upright as stored
  oTopRight,     // mirrored left to right
  oBottomRight,  // turned by 180°
  oBottomLeft,   // mirrored top to bottom
  oLeftTop,      // transposed
  oRightTop,     // to be turned 90° clockwise
  oRightBottom,  // transversed
  oLeftBottom    // to be turned 90° counter-clockwise
};

// A stored value outside 1..8 means no orientation: upright as stored.
inline uint8_t ValidOrientation(uint32_t Value) {
  return Value >= oTopLeft && Value <= oLeftBottom ? uint8_t(Value) : uint8_t(oTopLeft);
}
// Whether turning upright exchanges width and height.
inline bool OrientationSwapsSides(uint8_t Orientation) { return Orientation >= oLeftTop && Orientation <= oLeftBottom; }
// What turning upright does, in the library's language ("rotated 90° clockwise").
std::string OrientationName(uint8_t Orientation);
// The same after a caption: "Orientation: rotated 90° clockwise".
std::string OrientationText(uint8_t Orientation);
