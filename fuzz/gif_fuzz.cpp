// Feeds arbitrary bytes to the GIF reader: it may refuse them with a library
// error, but it must not crash, hang, read outside its buffers or fail otherwise.
#include <cstddef>
#include <cstdint>

#include "fuzzreader.h"
#include "gifformat.h"

// The first frame keeps its own palette; a later one is composed over those before it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TGIFFileFormatReader reader;
  FuzzReadFrames(data, size, reader);
  return 0;
}
