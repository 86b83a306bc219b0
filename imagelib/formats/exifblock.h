#pragma once
// A photo's EXIF block: the TIFF-structured directories that a JPEG's APP1
// "Exif" segment and a PNG's eXIf chunk carry. Nothing in it is trusted:
// offsets outside the block, loops and counts beyond it make the part they
// belong to count as absent, never an error.

#include <cstddef>
#include <cstdint>
#include <vector>

// What precedes the block in a JPEG APP1 segment.
inline constexpr uint8_t ExifSegmentHeader[6] = {'E', 'x', 'i', 'f', 0, 0};

// The orientation (1..8) that IFD0 gives; 1 where it gives none that can be read.
uint8_t ExifOrientation(const std::vector<uint8_t>& Block);

// The block as a shrunk picture with this orientation may carry it: the
// Orientation tag holds Orientation, and the thumbnail's IFD1 is gone, its
// bytes cut off or blanked. Empty when IFD0 cannot be read.
std::vector<uint8_t> ExifForSaving(const std::vector<uint8_t>& Block, uint8_t Orientation);
