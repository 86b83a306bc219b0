// Feeds arbitrary bytes to the TIFF reader: it may refuse them with a library
// error, but it must not crash, hang, read outside its buffers or fail otherwise.
#include <cstddef>
#include <cstdint>

#include "fuzzreader.h"
#include "tiffformat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The last byte decides whether the IFD chain is followed, and which image is asked for.
  const uint8_t last = size > 0 ? data[size - 1] : 0;
  TIFFCountImages = last & 1;
  TTIFFileFormatReader reader;
  TPixelGraphic graphic;
  graphic.SetReadWarningAction((last >> 2) & 1 ? pgwaIgnore : pgwaRaise);
  FuzzRead(data, size, reader, graphic, (last >> 1) & 1);
  return 0;
}
