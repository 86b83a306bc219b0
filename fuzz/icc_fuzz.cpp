// Feeds arbitrary bytes to the colour profile path: as JPEG APP2 segments
// joined in their sequence order, and as a profile that converts a small
// picture of each kind and CMYK rows. It must not crash, hang or read
// outside its buffers; a profile that cannot be used is only refused.
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "embeddedprofile.h"
#include "iccprofile.h"
#include "pixelgraphic.h"

namespace {

// The bytes cut into segments, each led by a length byte.
std::vector<std::pair<const uint8_t*, size_t>> Segments(const uint8_t* data, size_t size) {
  std::vector<std::pair<const uint8_t*, size_t>> segments;
  while (size > 0) {
    const size_t length = std::min<size_t>(data[0], size - 1);
    segments.emplace_back(data + 1, length);
    data += length + 1;
    size -= length + 1;
  }
  return segments;
}

void Convert(const TICCProfile& profile, uint8_t kind) {
  TPixelGraphic g;
  switch (kind % 3) {
    case 0: g.SetSize(5, 3, 3); break;
    case 1:
      g.SetSize(5, 3, 2);
      g.SetPaletteIdent(pGray256);
      break;
    default:
      g.SetSize(5, 3, 1);
      g.SetPaletteIdent(pSys16);
  }
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) g.SetPixel(x, y, uint32_t(x * 50 + y) & (kind % 3 == 0 ? 0xFFFFFF : 0x0F));
  profile.ConvertToSRGB(g);
  const TCMYKConversion inks(&profile, kind & 4);
  const uint8_t cmyk[8] = {0, 64, 128, 255, 255, 128, 64, 0};
  uint8_t bgr[6];
  inks.Convert(cmyk, bgr, 2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t kind = data[0];
  ++data;
  --size;
  if (kind & 8) {
    const TEmbeddedProfile joined = JoinICCSegments(Segments(data, size));
    if (!joined.Data.empty()) Convert(TICCProfile(joined.Data.data(), joined.Data.size()), kind);
  } else {
    Convert(TICCProfile(data, size), kind);
  }
  return 0;
}
