// Feeds arbitrary bytes to the TIFF reader: it may refuse them with a library
// error, but it must not crash, hang, read outside its buffers or fail otherwise.
#include <cstddef>
#include <cstdint>

#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "stream.h"
#include "tiffformat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMyMemoryStream stream;
  // The stream only reads, so the input block stays unchanged.
  stream.SetPointer(const_cast<uint8_t*>(data), size);
  // The last byte decides whether the IFD chain is followed, and which image is asked for.
  const uint8_t last = size > 0 ? data[size - 1] : 0;
  TIFFCountImages = last & 1;
  const int index = (last >> 1) & 1;
  TTIFFileFormatReader reader;
  try {
    TFileFormatInfo info;
    reader.ReadInfo(stream, index, info);
  } catch (const EPixelGraphic&) {
  }
  stream.SetPosition(0);
  try {
    TPixelGraphic graphic;
    graphic.SetReadWarningAction((last >> 2) & 1 ? pgwaIgnore : pgwaRaise);
    reader.Read(stream, graphic, index);
  } catch (const EPixelGraphic&) {
  }
  stream.Detach();
  return 0;
}
