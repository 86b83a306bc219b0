// Feeds arbitrary bytes to the TGA reader, and writes back what it accepted:
// reading may refuse with a library error, but neither side may crash, read
// outside its buffers or fail otherwise.
#include <cstddef>
#include <cstdint>

#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "stream.h"
#include "tgaformat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMyMemoryStream stream;
  // The stream only reads, so the input block stays unchanged.
  stream.SetPointer(const_cast<uint8_t*>(data), size);
  TTGAFileFormatReader reader;
  try {
    TFileFormatInfo info;
    reader.ReadInfo(stream, 0, info);
  } catch (const EPixelGraphic&) {
  }
  stream.SetPosition(0);
  TPixelGraphic graphic;
  try {
    reader.Read(stream, graphic, 0);
  } catch (const EPixelGraphic&) {
    return 0;
  }
  TMemoryStream out;
  TTGAFileFormatWriter().Write(out, graphic);
  return 0;
}
