// Feeds arbitrary bytes to the TGA reader, and writes back what it accepted:
// reading may refuse with a library error, but neither side may crash, read
// outside its buffers or fail otherwise.
#include <cstddef>
#include <cstdint>

#include "fuzzreader.h"
#include "tgaformat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TTGAFileFormatReader reader;
  TPixelGraphic graphic;
  if (!FuzzRead(data, size, reader, graphic)) return 0;
  TMemoryStream out;
  TTGAFileFormatWriter().Write(out, graphic);
  return 0;
}
