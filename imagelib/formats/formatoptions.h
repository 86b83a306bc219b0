#pragma once
// Process-wide options that the format readers and writers consult. The
// application loads and stores them under these names.

#include <cstdint>

#include "pixelgraphic.h"  // ScreenGamma, the default gamma of loaded pictures

extern bool GammaCorrectionOnRead;
extern bool WriteGamma;
// DCT methods 0..2 of the JPEG library.
extern int32_t JPEGDecompMethod;
extern int32_t JPEGCompMethod;
extern int32_t JPEGCompQuality;  // 0..100
extern bool JPEGCompProgressive;
extern bool PXMWriteBinary;
extern int32_t TIFFWriteCompression;
extern int32_t TIFFWriteTrueColorPhotInterpret;
extern int32_t TIFFWriteGrayScalePhotInterpret;
extern int32_t TIFFWriteByteOrder;  // 0 "II", 1 "MM"
extern int32_t TIFFWriteResolutionUnit;
extern int32_t TIFFWriteXResolutionNumerator;
extern int32_t TIFFWriteXResolutionDenominator;
extern int32_t TIFFWriteYResolutionNumerator;
extern int32_t TIFFWriteYResolutionDenominator;
// 16-bit pixels: stretch each channel to reach 255 instead of stopping short.
extern bool BitFieldsFullRange;
// Convert pictures with an embedded colour profile to sRGB on loading.
extern bool ConvertToSRGB;
// Write JPEG with Huffman tables made for the picture: smaller, same pixels.
extern bool JPEGOptimizeCoding;
extern int32_t WebPQuality;  // 0..100, of lossy writing
extern bool WebPLossless;
// Loading turns a picture upright by the orientation its file gives.
extern bool AutoOrient;
// A JPEG written from a photo carries the photo's EXIF block; off, no
// metadata of the source is written (no position or camera leaks out).
extern bool KeepPhotoInfo;
