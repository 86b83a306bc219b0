#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "codecpeer.h"
#include "failuremessage.h"
#include "langstr.h"
#include "pixelgraphic.h"
#include "pixellimit.h"
#include "stream.h"

namespace {

using namespace codecpeer;
using Bytes = std::vector<uint8_t>;

struct TPixelLimitScope {
  explicit TPixelLimitScope(int64_t limit) { MaxPixels = limit; }
  ~TPixelLimitScope() { MaxPixels = DefaultMaxPixels; }
};

std::string LoadFailure(const Bytes& file, const std::string& extension = std::string()) {
  TMemoryStream s;
  Fill(s, file);
  TPixelGraphic g;
  return Failure<EPGPictureTooLarge>([&] { g.LoadFromStreamExt(s, extension, 0); });
}

// An RLE8 bitmap of a kilobyte that declares 46340 x 46340 pixels.
Bytes HugeRLEBitmap() {
  Bytes b = {'B', 'M'};
  Put32(b, 0), Put32(b, 0), Put32(b, 14 + 40 + 1024);
  Put32(b, 40), Put32(b, 46340), Put32(b, 46340), Put16(b, 1), Put16(b, 8);
  Put32(b, 1), Put32(b, 2), Put32(b, 0), Put32(b, 0), Put32(b, 0), Put32(b, 0);
  b.resize(b.size() + 1024, 0);
  b.insert(b.end(), {0, 1});
  return b;
}

// A one-bit Paintbrush file of 40 x 30 white pixels.
Bytes SmallPCX() {
  Bytes b(128, 0);
  b[0] = 0x0A, b[1] = 5, b[2] = 1, b[3] = 1, b[8] = 39, b[10] = 29, b[65] = 1, b[66] = 5, b[68] = 1;
  b.resize(b.size() + 150, 0x3F);
  return b;
}

TEST(PixelLimit, EveryReaderRefusesMorePixelsThanTheLimitBeforeSizing) {
  EXPECT_EQ(LoadFailure(HugeRLEBitmap()), "Picture of 46340 × 46340 pixels exceeds the limit of 268435456 pixels");

  // Every format at 40 x 30: one pixel below its size refuses it, its size loads.
  TTempDirectory dir;
  TPixelGraphic picture;
  FillRandom(picture, 40, 30, 7);
  std::vector<std::pair<Bytes, std::string>> files = {{SmallPCX(), "pcx"}};
  for (const char* extension : {"bmp", "png", "jpg", "ppm", "tga", "tif"}) {
    picture.SaveToFile(dir / (std::string("p.") + extension));
    files.emplace_back(FileBytes(dir / (std::string("p.") + extension)), extension);
  }
  // A compressed TIFF is read through libtiff.
  ASSERT_EQ(std::system(("tiffcp -c lzw '" + (dir / "p.tif") + "' '" + (dir / "lzw.tif") + "'").c_str()), 0);
  files.emplace_back(FileBytes(dir / "lzw.tif"), "tif");
  for (const auto& [file, extension] : files) {
    TPixelLimitScope limit(1199);
    EXPECT_EQ(LoadFailure(file, extension), "Picture of 40 × 30 pixels exceeds the limit of 1199 pixels") << extension;
    MaxPixels = 1200;
    EXPECT_EQ(LoadFailure(file, extension), "no failure") << extension;
  }
}

}  // namespace
