// Feeds arbitrary bytes to the PNG reader: it may refuse them with a library
// error, but it must not crash, hang, read outside its buffers or fail otherwise.
#include <cstddef>
#include <cstdint>

#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "pngformat.h"
#include "stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMyMemoryStream stream;
  // The stream only reads, so the input block stays unchanged.
  stream.SetPointer(const_cast<uint8_t*>(data), size);
  // The last byte chooses the warning action and which background is used.
  const uint8_t last = size > 0 ? data[size - 1] : 0;
  PNGUseFileBackground = (last >> 2) & 1;
  TPNGFileFormatReader reader;
  try {
    TFileFormatInfo info;
    reader.ReadInfo(stream, 0, info);
  } catch (const EPixelGraphic&) {
  }
  stream.SetPosition(0);
  try {
    TPixelGraphic graphic;
    graphic.SetReadWarningAction(TPGWarningAction(last & 3));
    graphic.SetBackGroundColor(RGB(last, 255 - last, 128));
    reader.Read(stream, graphic, 0);
  } catch (const EPixelGraphic&) {
  }
  stream.Detach();
  return 0;
}
