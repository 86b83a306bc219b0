#include <gtest/gtest.h>

#include <string>

#include "pixelgraphic.h"
#include "stream.h"

namespace {

uint32_t LE32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

}  // namespace

TEST(GraphicEmbedding, LengthThenBMPFile) {
  TPixelGraphic g;
  g.SetSize(5, 3, 1);
  g.SetPaletteIdent(pSys16);
  for (int32_t x = 0; x < 5; ++x) g.SetPixel(x, x % 3, uint32_t(x + 9));
  TMemoryStream bmp;
  g.SaveToStream(bmp);

  TMemoryStream s;
  s.WriteBuffer("abc", 3);
  g.WriteData(s);
  EXPECT_EQ(s.Position(), 3 + 4 + bmp.Size());
  EXPECT_EQ(s.Size(), s.Position());
  EXPECT_EQ(LE32(s.Memory() + 3), uint32_t(bmp.Size()));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Memory()) + 7, size_t(bmp.Size())),
            std::string(reinterpret_cast<const char*>(bmp.Memory()), size_t(bmp.Size())));

  // The stream ends up after the declared length, whatever the reader took.
  s.WriteBuffer("padding tail", 12);
  const uint32_t padded = uint32_t(bmp.Size() + 7);
  const uint8_t length[4] = {uint8_t(padded), uint8_t(padded >> 8), uint8_t(padded >> 16), uint8_t(padded >> 24)};
  s.SetPosition(3);
  s.WriteBuffer(length, 4);
  s.SetPosition(3);
  TPixelGraphic back;
  back.ReadData(s);
  EXPECT_EQ(s.Position(), 3 + 4 + int64_t(padded));
  EXPECT_EQ(back.PaletteIdent(), pSys16);
  for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(back.GetPixel(x, x % 3), uint32_t(x + 9));
}
