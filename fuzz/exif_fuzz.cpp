// Feeds arbitrary bytes as a photo's EXIF block: read for its orientation,
// prepared for saving, carried in a JPEG's APP1 segment through the reader,
// the turn upright and the writer. Nothing in it may fail the picture,
// crash, hang or read outside its buffers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "exifblock.h"
#include "formatoptions.h"
#include "jpegformat.h"
#include "orientation.h"
#include "pixelgraphic.h"
#include "stream.h"

namespace {

// A small picture whose every pixel differs, as a JPEG file.
std::vector<uint8_t> SmallJPEG() {
  TPixelGraphic g;
  g.SetSize(9, 5, 3);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 9; ++x) g.SetPixel(x, y, RGB(x * 28, y * 50, 99));
  TMemoryStream s;
  TJPGFileFormatWriter().Write(s, g);
  return std::vector<uint8_t>(s.Memory(), s.Memory() + s.Size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<uint8_t> jpeg = SmallJPEG();
  const std::vector<uint8_t> block(data, data + size);
  const uint8_t orientation = ExifOrientation(block);
  if (orientation < 1 || orientation > 8) std::abort();
  const std::vector<uint8_t> saved = ExifForSaving(block, uint8_t(size % 9));
  if (saved.size() > block.size() || ExifOrientation(saved) < 1) std::abort();
  if (!saved.empty() && ExifForSaving(saved, 1).empty()) std::abort();

  if (size > 65533 - 6) return 0;
  std::vector<uint8_t> file = {0xFF, 0xD8, 0xFF, 0xE1, uint8_t((size + 8) >> 8), uint8_t(size + 8),
                               'E',  'x',  'i',  'f',  0,                         0};
  file.insert(file.end(), block.begin(), block.end());
  file.insert(file.end(), jpeg.begin() + 2, jpeg.end());
  TMyMemoryStream stream;
  stream.SetPointer(file.data(), file.size());
  AutoOrient = true;
  KeepPhotoInfo = true;
  TPixelGraphic graphic;
  graphic.SetReadWarningAction(pgwaRaise);
  // A damaged block never fails the picture.
  graphic.LoadFromStream(stream);
  stream.Detach();
  if (graphic.ExifBlock() != block) std::abort();
  const bool swapped = OrientationSwapsSides(orientation);
  if (graphic.GetWidth() != (swapped ? 5 : 9) || graphic.GetHeight() != (swapped ? 9 : 5)) std::abort();
  TMemoryStream out;
  TJPGFileFormatWriter().Write(out, graphic);
  return 0;
}
