#pragma once
// TIFF images the library's own reader refuses for their compression, tiles,
// planes, sample sizes or extra samples, read through libtiff: 8 bits per
// channel, alpha laid over the background colour, grey and palette images of
// up to 8 bits (and 16-bit grey) kept as palettes.

#include <cstdint>

class TObject;
class TPixelGraphic;
class TStream;

// Whether libtiff can decode data of this compression.
bool LibTIFFDecodes(uint32_t Compression);

// Reads the image whose IFD lies IFDOffset bytes after Start, where the TIFF
// data begins in Stream. Sender names the reader in the progress events.
// Failures, libtiff's included, raise EPGTIFFileFormatReader; warnings follow
// the graphic's ReadWarningAction.
void ReadTIFFThroughLibTIFF(TObject* Sender, TStream& Stream, int64_t Start, uint64_t IFDOffset,
                            TPixelGraphic& Graphic);
