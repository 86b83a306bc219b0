#pragma once
// TIFF images the library's own reader refuses for their compression, tiles,
// planes, sample sizes or extra samples, read through libtiff: 8 bits per
// channel, alpha laid over the background colour, grey and palette images of
// up to 8 bits (and 16-bit grey) kept as palettes. The image is decoded in
// pieces (groups of rows, or tiles), so that a read takes the picture's
// memory and a bounded working memory besides.

#include <cstdint>

class TObject;
class TPixelGraphic;
class TStream;

// Whether libtiff can decode data of this compression.
bool LibTIFFDecodes(uint32_t Compression);

// The most memory a read of an image with rows of RowBytes bytes and Width
// pixels takes besides the picture, from a file of FileBytes bytes: the
// working buffers, and the raw data of one strip or tile, which libtiff
// holds whole and the file bounds.
int64_t LibTIFFReadMemory(uint64_t FileBytes, uint64_t RowBytes, uint32_t Width);

// Reads the image whose IFD lies IFDOffset bytes after Start, where the TIFF
// data begins in Stream. Sender names the reader in the progress events.
// Failures, libtiff's included, raise EPGTIFFileFormatReader; warnings, and
// errors after which libtiff still delivers the pixels, follow the graphic's
// ReadWarningAction.
void ReadTIFFThroughLibTIFF(TObject* Sender, TStream& Stream, int64_t Start, uint64_t IFDOffset,
                            TPixelGraphic& Graphic);
