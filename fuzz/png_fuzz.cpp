// Feeds arbitrary bytes to the PNG reader: it may refuse them with a library
// error, but it must not crash, hang, read outside its buffers or fail otherwise.
#include <cstddef>
#include <cstdint>

#include "fuzzreader.h"
#include "pngformat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The last byte chooses the warning action and which background is used.
  const uint8_t last = size > 0 ? data[size - 1] : 0;
  PNGUseFileBackground = (last >> 2) & 1;
  TPNGFileFormatReader reader;
  TPixelGraphic graphic;
  graphic.SetReadWarningAction(TPGWarningAction(last & 3));
  graphic.SetBackGroundColor(RGB(last, 255 - last, 128));
  FuzzRead(data, size, reader, graphic);
  return 0;
}
