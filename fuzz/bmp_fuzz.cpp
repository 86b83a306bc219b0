// Feeds arbitrary bytes to the BMP reader: it may refuse them with a library
// error, but it must not crash, read outside its buffers or fail otherwise.
#include <cstddef>
#include <cstdint>

#include "bmpformat.h"
#include "fuzzreader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TBMPFileFormatReader reader;
  TPixelGraphic graphic;
  // The first byte after the signature decides whether stray RLE positions raise.
  graphic.SetXYRangeCheck(size > 2 && (data[2] & 1));
  FuzzRead(data, size, reader, graphic);
  return 0;
}
