// Feeds arbitrary bytes to the BMP reader: it may refuse them with a library
// error, but it must not crash, read outside its buffers or fail otherwise.
#include <cstddef>
#include <cstdint>

#include "bmpformat.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMyMemoryStream stream;
  // The stream only reads, so the input block stays unchanged.
  stream.SetPointer(const_cast<uint8_t*>(data), size);
  TBMPFileFormatReader reader;
  try {
    TFileFormatInfo info;
    reader.ReadInfo(stream, 0, info);
  } catch (const EPixelGraphic&) {
  }
  stream.SetPosition(0);
  try {
    TPixelGraphic graphic;
    // The first byte after the signature decides whether stray RLE positions raise.
    graphic.SetXYRangeCheck(size > 2 && (data[2] & 1));
    reader.Read(stream, graphic, 0);
  } catch (const EPixelGraphic&) {
  }
  stream.Detach();
  return 0;
}
