// Feeds arbitrary bytes to the GIF reader: it may refuse them with a library
// error, but it must not crash, hang, read outside its buffers or fail otherwise.
#include <cstddef>
#include <cstdint>

#include "fuzzreader.h"
#include "gifformat.h"
#include "pixellimit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Pictures of a million pixels at most: the limit itself is tested with the
  // readers, and larger ones would only slow the search down.
  MaxPixels = int64_t(1) << 20;
  // The last byte chooses the warning action and the frame: the first, with
  // its own palette, or a later one composed over those before it.
  const uint8_t last = size > 0 ? data[size - 1] : 0;
  TGIFFileFormatReader reader;
  TPixelGraphic graphic;
  graphic.SetReadWarningAction(last & 1 ? pgwaIgnore : pgwaRaise);
  graphic.SetBackGroundColor(RGB(last, 255 - last, 128));
  FuzzRead(data, size, reader, graphic, (last >> 1) & 3);
  return 0;
}
