// Feeds arbitrary bytes to the WebP reader: it may refuse them with a library
// error, but it must not crash, hang, read outside its buffers or fail otherwise.
#include <cstddef>
#include <cstdint>

#include "fuzzreader.h"
#include "webpformat.h"

// A still picture, or any frame of an animation.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TWebPFileFormatReader reader;
  FuzzReadFrames(data, size, reader);
  return 0;
}
