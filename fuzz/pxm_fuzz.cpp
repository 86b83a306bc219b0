// Feeds arbitrary bytes to the PBM, PGM and PPM reader, and writes back what
// it accepted: reading may refuse with a library error, but neither side may
// crash, read outside its buffers or fail otherwise.
#include <cstddef>
#include <cstdint>

#include "formatoptions.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "pxmformat.h"
#include "stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMyMemoryStream stream;
  // The stream only reads, so the input block stays unchanged.
  stream.SetPointer(const_cast<uint8_t*>(data), size);
  TPPMFileFormatReader reader;
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
  TPBMFileFormatWriter pbm;
  TPGMFileFormatWriter pgm;
  TPPMFileFormatWriter ppm;
  TFileFormatWriter* writers[4] = {&pbm, nullptr, &pgm, &ppm};
  for (bool binary : {false, true}) {
    PXMWriteBinary = binary;
    TMemoryStream out;
    writers[graphic.BitCountNum()]->Write(out, graphic);
  }
  return 0;
}
