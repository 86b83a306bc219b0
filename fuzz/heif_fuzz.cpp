// Feeds arbitrary bytes to the AVIF and HEIC readers, through libheif: they
// may refuse them with a library error, but must not crash, hang, read
// outside their buffers or fail otherwise.
#include <cstddef>
#include <cstdint>

#include "fuzzreader.h"
#include "heifformat.h"
#include "pixellimit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Pictures of up to 16 million pixels decode; larger ones would only test
  // the memory of the machine.
  MaxPixels = int64_t(1) << 24;
  // The last byte decides the reader, the image asked for and the warnings' fate.
  const uint8_t last = size > 0 ? data[size - 1] : 0;
  TAVIFFileFormatReader avif;
  THEIFFileFormatReader heic;
  TPixelGraphic graphic;
  graphic.SetReadWarningAction((last >> 2) & 1 ? pgwaIgnore : pgwaRaise);
  FuzzRead(data, size, last & 1 ? static_cast<TFileFormatReader&>(avif) : heic, graphic, (last >> 1) & 1);
  return 0;
}
