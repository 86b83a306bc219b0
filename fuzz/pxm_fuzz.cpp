// Feeds arbitrary bytes to the PBM, PGM and PPM reader, and writes back what
// it accepted: reading may refuse with a library error, but neither side may
// crash, read outside its buffers or fail otherwise.
#include <cstddef>
#include <cstdint>

#include "formatoptions.h"
#include "fuzzreader.h"
#include "pxmformat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TPPMFileFormatReader reader;
  TPixelGraphic graphic;
  if (!FuzzRead(data, size, reader, graphic)) return 0;
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
