// Feeds arbitrary bytes to the JPEG reader: it may refuse them with a library
// error, but it must not crash, hang, read outside its buffers or fail otherwise.
#include <cstddef>
#include <cstdint>

#include "formatoptions.h"
#include "fuzzreader.h"
#include "jpegformat.h"

namespace {
// A few bytes of JPEG may describe a picture of gigabytes, which the reader
// takes on as long as a graphic can hold it; decoding all of it would only
// spend the fuzzer's memory, so such pictures stop after their first row.
constexpr int64_t FuzzPixelLimit = int64_t(1) << 22;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The last byte chooses the warning action and the decoding method.
  const uint8_t last = size > 0 ? data[size - 1] : 0;
  JPEGDecompMethod = (last >> 2) % 3;
  TJPGFileFormatReader reader;
  TPixelGraphic graphic;
  graphic.SetReadWarningAction(TPGWarningAction(last & 3));
  graphic.SetFastLoad((last >> 4) & 1);
  graphic.OnProgress = [&graphic](TObject*, int, int, bool& abort) {
    abort = int64_t(graphic.GetWidth()) * graphic.GetHeight() > FuzzPixelLimit;
  };
  FuzzRead(data, size, reader, graphic);
  return 0;
}
