// Feeds arbitrary bytes to the PCX reader: it may refuse them with a library
// error, but it must not crash, read outside its buffers or fail otherwise.
#include <cstddef>
#include <cstdint>

#include "fuzzreader.h"
#include "pcxformat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TPCXFileFormatReader reader;
  TPixelGraphic graphic;
  FuzzRead(data, size, reader, graphic);
  return 0;
}
