#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bmpformat.h"
#include "byteorder.h"
#include "codecpeer.h"
#include "failuremessage.h"
#include "formatoptions.h"
#include "formatregistry.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "stream.h"

namespace {

using namespace codecpeer;
using Bytes = std::vector<uint8_t>;

// A BMP file with a 40-byte info header; extra holds palette or masks.
struct TBMPFile {
  int32_t Width = 1;
  int32_t Height = 1;
  uint16_t BitCount = 24;
  uint32_t Compression = 0;
  uint32_t ImageSize = 0;
  uint32_t ColorsUsed = 0;
  uint16_t Planes = 1;
  uint32_t HeaderSize = 40;
  Bytes Extra;
  Bytes Pixels;

  Bytes Build() const {
    Bytes b = {'B', 'M'};
    Put32(b, uint32_t(54 + Extra.size() + Pixels.size()));
    Put32(b, 0);
    Put32(b, uint32_t(54 + Extra.size()));
    Put32(b, HeaderSize);
    Put32(b, uint32_t(Width));
    Put32(b, uint32_t(Height));
    Put16(b, Planes);
    Put16(b, BitCount);
    Put32(b, Compression);
    Put32(b, ImageSize);
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, ColorsUsed);
    Put32(b, 0);
    b.insert(b.end(), Extra.begin(), Extra.end());
    b.insert(b.end(), Pixels.begin(), Pixels.end());
    return b;
  }
};

Bytes GrayPalette(int n) {
  Bytes b;
  for (int i = 0; i < n; ++i) Put32(b, uint32_t(i * 0x010101));
  return b;
}

void ReadBMP(const Bytes& bytes, TPixelGraphic& g) { ReadWith<TBMPFileFormatReader>(bytes, g); }

TFileFormatInfo InfoOf(const Bytes& bytes) { return InfoWith<TBMPFileFormatReader>(bytes); }

// The message of the exception reading bytes raises.
template <class E = EPGBMPFileFormatReader>
std::string ReadFailure(const Bytes& bytes, TPixelGraphic& g) {
  return Failure<E>([&] { ReadBMP(bytes, g); });
}

template <class E = EPGBMPFileFormatReader>
std::string ReadFailure(const Bytes& bytes) {
  TPixelGraphic g;
  return ReadFailure<E>(bytes, g);
}

TEST(BMPFormat, RoundTripOfEveryColorResolution) {
  struct {
    TColorResolution resolution;
    uint8_t code;
    TPaletteIdent ident;
  } const cases[] = {
      {crBlackWhite, 0, pBlackWhite}, {cr2Colors, 0, pUnknown},  {crGray16, 1, pGray16},
      {crSys16, 1, pSys16},           {cr16Colors, 1, pUnknown}, {crGray256, 2, pGray256},
      {cr256Colors, 2, pUnknown},     {crTrueColor, 3, pTrueColor},
  };
  std::mt19937 random(5);
  for (const auto& c : cases) {
    SCOPED_TRACE(ColorResolutionName(c.resolution));
    TPixelGraphic src;
    // An odd width pads every row.
    src.SetSize(13, 7, c.code);
    if (c.ident == pUnknown)
      RandomPalette(src, c.code == 0 ? 2 : c.code == 1 ? 11 : 200, random);
    else if (c.code != 3)
      src.SetPaletteIdent(c.ident);
    RandomPixels(src, random);
    src.IdentifyPalette();
    ASSERT_EQ(CurrentColorResolution(src), c.resolution);

    TMemoryStream s;
    FindWriter("bmp")->Write(s, src);
    const uint8_t* m = s.Memory();
    EXPECT_EQ(GetLE32(m + 2), uint64_t(s.Size()));
    EXPECT_EQ(GetLE32(m + 10), 54u + 4 * uint32_t(src.PaletteCount()));
    EXPECT_EQ(uint64_t(s.Size()), 54 + 4 * uint64_t(src.PaletteCount()) + uint64_t(src.ImageSize()));

    s.SetPosition(0);
    TFileFormatReader* reader = FindReader(s, "");
    ASSERT_NE(reader, nullptr);
    TPixelGraphic back;
    reader->Read(s, back, 0);
    back.IdentifyPalette();
    EXPECT_EQ(s.Position(), s.Size());
    EXPECT_EQ(back.BitCountNum(), c.code);
    EXPECT_EQ(CurrentColorResolution(back), c.resolution);
    ASSERT_EQ(back.PaletteCount(), src.PaletteCount());
    for (int32_t i = 0; i < src.PaletteCount(); ++i) EXPECT_EQ(back.PaletteEntries(i), src.PaletteEntries(i));
    EXPECT_EQ(Colors(back), Colors(src));
  }
}

TEST(BMPFormat, PackedDIBForTheClipboard) {
  TPixelGraphic src;
  src.SetSize(3, 2, 1);
  src.SetPaletteIdent(pSys16);
  src.SetPixel(0, 0, 9);
  src.SetPixel(2, 1, 14);
  EXPECT_EQ(PackedDIBSize(src), 58 + 64 + 8);

  std::vector<uint8_t> block(size_t(PackedDIBSize(src)), 0xCC);
  TMyMemoryStream s;
  s.SetPointer(block.data(), block.size());
  WriteDIB(src, s);
  EXPECT_EQ(s.Position(), PackedDIBSize(src) - 18);
  EXPECT_EQ(GetLE32(block.data()), 40u);
  EXPECT_EQ(GetLE32(block.data() + 20), 8u);
  EXPECT_EQ(GetLE32(block.data() + 32), 16u);
  s.SetPosition(0);
  TPixelGraphic back;
  ReadDIB(back, s, false);
  s.Detach();
  EXPECT_EQ(Colors(back), Colors(src));
  EXPECT_EQ(back.PaletteEntries(9), src.PaletteEntries(9));

  TPixelGraphic trueColor;
  trueColor.SetSize(2, 2, 3);
  EXPECT_EQ(PackedDIBSize(trueColor), 58 + 16);
}

TEST(BMPFormat, TopDownAndInfo) {
  TBMPFile f;
  f.Width = 2;
  f.Height = -3;
  // Rows from the top: red, green, blue; each padded to 8 bytes.
  f.Pixels = {0, 0, 255, 0, 0, 255, 0, 0, 0, 255, 0, 0, 255, 0, 0, 0, 255, 0, 0, 255, 0, 0, 0, 0};
  TPixelGraphic g;
  ReadBMP(f.Build(), g);
  EXPECT_EQ(g.GetHeight(), 3);
  EXPECT_EQ(g.GetPixelColor(1, 0), RGB(255, 0, 0));
  EXPECT_EQ(g.GetPixelColor(0, 1), RGB(0, 255, 0));
  EXPECT_EQ(g.GetPixelColor(1, 2), RGB(0, 0, 255));

  TFileFormatInfo info = InfoOf(f.Build());
  EXPECT_EQ(info.Height, -3);
  EXPECT_EQ(info.Width, 2);
  EXPECT_EQ(info.SubFormat, "Windows, RGB, Top-Down");
  EXPECT_EQ(info.ColorCount, "16.7M");
  EXPECT_EQ(info.ImageCount, 1);

  // Top-down 8 bits: an odd number of rows keeps its middle row.
  TBMPFile p;
  p.Width = 1;
  p.Height = -3;
  p.BitCount = 8;
  p.Extra = GrayPalette(256);
  p.Pixels = {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0};
  ReadBMP(p.Build(), g);
  EXPECT_EQ(g.GetPixel(0, 0), 1u);
  EXPECT_EQ(g.GetPixel(0, 1), 2u);
  EXPECT_EQ(g.GetPixel(0, 2), 3u);

  p.Compression = 1;
  EXPECT_EQ(ReadFailure(p.Build()), "BMP: BitmapInfoHeader.biCompression invalid");
  p.Height = 3;
  EXPECT_EQ(InfoOf(p.Build()).SubFormat, "Windows, RLE8");
  p.BitCount = 4;
  p.Compression = 2;
  EXPECT_EQ(InfoOf(p.Build()).SubFormat, "Windows, RLE4");
  EXPECT_EQ(InfoOf(p.Build()).ColorCount, "16");
  p.BitCount = 16;
  p.Compression = 3;
  EXPECT_EQ(InfoOf(p.Build()).SubFormat, "Windows");
  EXPECT_EQ(InfoOf(p.Build()).ColorCount, "64K");

  TMemoryStream s;
  Fill(s, f.Build());
  try {
    TBMPFileFormatReader().ReadInfo(s, 1, info);
    FAIL();
  } catch (const EPGBMPFileFormatReader& e) {
    EXPECT_STREQ(e.what(), "BMP: Invalid value for Index");
  }
  try {
    TBMPFileFormatReader().Read(s, g, 1);
    FAIL();
  } catch (const EPGBMPFileFormatReader& e) {
    EXPECT_STREQ(e.what(), "BMP: Index invalid");
  }
}

TEST(BMPFormat, HeaderChecks) {
  TBMPFile f;
  f.Pixels = {1, 2, 3, 0};
  for (uint32_t size : {100u, 41u, 0u}) {
    f.HeaderSize = size;
    EXPECT_EQ(ReadFailure(f.Build()), "BMP: Invalid size of BitmapInfoHeader/BitmapCoreHeader");
    TMemoryStream s;
    Fill(s, f.Build());
    TFileFormatInfo info;
    EXPECT_THROW(TBMPFileFormatReader().ReadInfo(s, 0, info), EPGBMPFileFormatReader);
  }
  f.HeaderSize = 40;
  f.Planes = 2;
  EXPECT_EQ(ReadFailure(f.Build()), "BMP: BitmapInfoHeader.biPlanes invalid");
  f.Planes = 1;
  f.BitCount = 2;
  EXPECT_EQ(ReadFailure(f.Build()), "BMP: BitmapInfoHeader.biBitCount invalid");
  f.BitCount = 24;
  f.Compression = 3;
  EXPECT_EQ(ReadFailure(f.Build()), "BMP: BitmapInfoHeader.biCompression invalid");
  f.BitCount = 8;
  f.Compression = 2;
  EXPECT_EQ(ReadFailure(f.Build()), "BMP: BitmapInfoHeader.biCompression invalid");
  f.Compression = 4;
  EXPECT_EQ(ReadFailure(f.Build()), "BMP: BitmapInfoHeader.biCompression invalid");

  f.BitCount = 24;
  f.Compression = 0;
  f.Width = -1;
  EXPECT_EQ(ReadFailure<EPGInvalidSize>(f.Build()), "Negative width");
  f.Width = 1;
  f.Height = INT32_MIN;
  EXPECT_EQ(ReadFailure(f.Build()), "BMP: BitmapInfoHeader.biHeight invalid");

  // A file that ends inside its header fails in the stream.
  Bytes cut = TBMPFile().Build();
  cut.resize(30);
  EXPECT_EQ(ReadFailure<EStreamError>(cut), "Unexpected end of file");
}

TEST(BMPFormat, NewerInfoHeaders) {
  // The header's rest: masks (red, green, blue, alpha) and zeroed colour space fields.
  const auto file = [](uint32_t size, uint16_t bitCount, uint32_t compression, std::vector<uint32_t> masks,
                       const Bytes& pixels) {
    TBMPFile f;
    f.Width = int32_t(pixels.size() / (bitCount / 8));
    f.HeaderSize = size;
    f.BitCount = bitCount;
    f.Compression = compression;
    masks.resize((size - 40) / 4);
    for (uint32_t m : masks) Put32(f.Extra, m);
    f.Pixels = pixels;
    return f.Build();
  };
  TPixelGraphic g;
  const char* const names[] = {"Windows V2", "Windows V3", "OS/2 2.x", "Windows V4", "Windows V5"};
  const uint32_t sizes[] = {52, 56, 64, 108, 124};
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(sizes[i]);
    // Masks in the header count only with compression 3; otherwise, or for
    // OS/2, the defaults hold.
    EXPECT_EQ(InfoOf(file(sizes[i], 24, 0, {}, {1, 2, 3, 0})).SubFormat, names[i] + std::string(", RGB"));
    ReadBMP(file(sizes[i], 32, 0, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}, {1, 2, 3, 0}), g);
    EXPECT_EQ(g.GetPixelColor(0, 0), RGB(3, 2, 1));
  }
  ReadBMP(file(52, 16, 3, {0xF800, 0x07E0, 0x001F}, {0xE0, 0x07, 0, 0}), g);
  EXPECT_EQ(g.GetPixelColor(0, 0), RGB(0, 255, 0));
  EXPECT_EQ(InfoOf(file(52, 16, 3, {0xF800, 0x07E0, 0x001F}, {0, 0})).SubFormat, "Windows V2, BitFields");
  // OS/2 2.x keeps its masks after the header, as the 40-byte header does.
  Bytes os2 = file(64, 16, 3, {}, {0x1F, 0, 0, 0}), masks;
  for (uint32_t m : {0xF800u, 0x07E0u, 0x001Fu}) Put32(masks, m);
  os2.insert(os2.end() - 4, masks.begin(), masks.end());
  ReadBMP(os2, g);
  EXPECT_EQ(g.GetPixelColor(0, 0), RGB(0, 0, 255));

  // Alpha is laid over the background colour: opaque, transparent, half, and
  // a 1-bit alpha channel.
  g.SetBackGroundColor(RGB(0, 100, 200));
  ReadBMP(file(56, 32, 3, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, {10, 20, 30, 255, 10, 20, 30, 0, 0, 0, 255, 128}), g);
  EXPECT_EQ(Colors(g), (std::vector<TRGB>{RGB(30, 20, 10), RGB(0, 100, 200), RGB(128, 50, 100)}));
  ReadBMP(file(124, 16, 3, {0x7C00, 0x03E0, 0x001F, 0x8000}, {0xFF, 0xFF, 0xFF, 0x7F}), g);
  EXPECT_EQ(Colors(g), (std::vector<TRGB>{0xFFFFFF, RGB(0, 100, 200)}));
}

Bytes CoreFile(uint16_t width, uint16_t height, uint16_t bitCount, const Bytes& palette, const Bytes& pixels,
               uint16_t planes = 1) {
  Bytes b = {'B', 'M'};
  Put32(b, uint32_t(26 + palette.size() + pixels.size()));
  Put32(b, 0);
  Put32(b, uint32_t(26 + palette.size()));
  Put32(b, 12);
  Put16(b, width);
  Put16(b, height);
  Put16(b, planes);
  Put16(b, bitCount);
  b.insert(b.end(), palette.begin(), palette.end());
  b.insert(b.end(), pixels.begin(), pixels.end());
  return b;
}

TEST(BMPFormat, CoreHeader) {
  const Bytes palette = {10, 20, 30, 40, 50, 60};
  const Bytes pixels = {0x40, 0, 0, 0, 0x80, 0, 0, 0};
  TPixelGraphic g;
  ReadBMP(CoreFile(3, 2, 1, palette, pixels), g);
  EXPECT_EQ(g.BitCountNum(), 0);
  ASSERT_EQ(g.PaletteCount(), 2);
  EXPECT_EQ(g.PaletteEntries(0), RGB(30, 20, 10));
  EXPECT_EQ(g.PaletteEntries(1), RGB(60, 50, 40));
  EXPECT_EQ(g.GetPixel(1, 1), 1u);
  EXPECT_EQ(g.GetPixel(0, 0), 1u);
  EXPECT_EQ(g.GetPixel(1, 0), 0u);

  TFileFormatInfo info = InfoOf(CoreFile(3, 2, 1, palette, pixels));
  EXPECT_EQ(info.SubFormat, "OS/2");
  EXPECT_EQ(info.BitCount, 1);
  EXPECT_EQ(info.ColorCount, "2");
  EXPECT_EQ(info.Width, 3);

  EXPECT_EQ(ReadFailure(CoreFile(3, 2, 1, palette, pixels, 0)), "BMP: BitmapCoreHeader.bcPlanes invalid");
  EXPECT_EQ(ReadFailure(CoreFile(3, 2, 16, palette, pixels)), "BMP: BitmapCoreHeader.bcBitCount invalid");
  EXPECT_EQ(ReadFailure(CoreFile(65535, 65535, 24, {}, pixels)), "BMP: Unexpected end of file");
}

TEST(BMPFormat, PaletteLengthFollowsColorsUsed) {
  TBMPFile f;
  f.Width = 2;
  f.BitCount = 8;
  f.ColorsUsed = 20;
  f.Extra = GrayPalette(20);
  f.Pixels = {19, 7, 0, 0};
  TPixelGraphic g;
  ReadBMP(f.Build(), g);
  EXPECT_EQ(g.PaletteCount(), 20);
  EXPECT_EQ(g.GetPixelColor(0, 0), RGB(19, 19, 19));

  // More entries than the depth holds: the rest is skipped, the pixels are still found.
  f.ColorsUsed = 300;
  f.Extra = GrayPalette(300);
  ReadBMP(f.Build(), g);
  EXPECT_EQ(g.PaletteCount(), 256);
  EXPECT_EQ(g.GetPixel(0, 0), 19u);
  EXPECT_EQ(g.GetPixel(1, 0), 7u);
  EXPECT_EQ(g.PaletteEntries(255), RGB(255, 255, 255));

  f.BitCount = 4;
  f.ColorsUsed = 20;
  f.Extra = GrayPalette(20);
  f.Pixels = {0xF3, 0, 0, 0};
  ReadBMP(f.Build(), g);
  EXPECT_EQ(g.PaletteCount(), 16);
  EXPECT_EQ(g.GetPixel(0, 0), 15u);
  EXPECT_EQ(g.GetPixel(1, 0), 3u);

  // A palette in a true-colour file is skipped.
  TBMPFile t;
  t.ColorsUsed = 2;
  t.Extra = GrayPalette(2);
  t.Pixels = {1, 2, 3, 0};
  ReadBMP(t.Build(), g);
  EXPECT_EQ(g.GetPixelColor(0, 0), RGB(3, 2, 1));
}

TEST(BMPFormat, BitFields) {
  TBMPFile f;
  f.Width = 4;
  f.BitCount = 16;
  // Red 31, 30, 1, 0 in the default 5-5-5 layout.
  f.Pixels = {0x00, 0x7C, 0x00, 0x78, 0x00, 0x04, 0xFF, 0x03};
  TPixelGraphic g;
  ReadBMP(f.Build(), g);
  EXPECT_EQ(GetRValue(g.GetPixelColor(0, 0)), 255);
  EXPECT_EQ(GetRValue(g.GetPixelColor(1, 0)), 248);
  EXPECT_EQ(GetRValue(g.GetPixelColor(2, 0)), 16);
  EXPECT_EQ(g.GetPixelColor(3, 0), RGB(0, 255, 255));
  BitFieldsFullRange = false;
  ReadBMP(f.Build(), g);
  BitFieldsFullRange = true;
  EXPECT_EQ(GetRValue(g.GetPixelColor(0, 0)), 248);
  EXPECT_EQ(GetRValue(g.GetPixelColor(2, 0)), 8);

  // 5-6-5: green g becomes 4g + 4 (and 0 stays 0).
  f.Compression = 3;
  f.Extra.clear();
  for (uint32_t m : {0xF800u, 0x07E0u, 0x001Fu}) Put32(f.Extra, m);
  f.Pixels = {0x20, 0x00, 0xE0, 0x07, 0x00, 0x00, 0x40, 0x00};
  ReadBMP(f.Build(), g);
  EXPECT_EQ(g.GetPixelColor(0, 0), RGB(0, 8, 0));
  EXPECT_EQ(g.GetPixelColor(1, 0), RGB(0, 255, 0));
  EXPECT_EQ(g.GetPixelColor(2, 0), RGB(0, 0, 0));
  EXPECT_EQ(g.GetPixelColor(3, 0), RGB(0, 12, 0));
  EXPECT_EQ(InfoOf(f.Build()).SubFormat, "Windows");

  // 32 bits: default masks, then swapped red and blue; a zero mask gives 0.
  TBMPFile t;
  t.Width = 1;
  t.BitCount = 32;
  t.Pixels = {0x11, 0x22, 0x33, 0x44};
  ReadBMP(t.Build(), g);
  EXPECT_EQ(g.GetPixelColor(0, 0), RGB(0x33, 0x22, 0x11));
  t.Compression = 3;
  for (uint32_t m : {0x0000FFu, 0x00FF00u, 0xFF0000u}) Put32(t.Extra, m);
  ReadBMP(t.Build(), g);
  EXPECT_EQ(g.GetPixelColor(0, 0), RGB(0x11, 0x22, 0x33));
  t.Extra.clear();
  for (uint32_t m : {0x0000FFu, 0u, 0xFF000000u}) Put32(t.Extra, m);
  ReadBMP(t.Build(), g);
  EXPECT_EQ(g.GetPixelColor(0, 0), RGB(0x11, 0, 0x44));
  // A channel wider than 8 bits is clamped.
  t.Extra.clear();
  for (uint32_t m : {0xFFFF0000u, 0u, 0u}) Put32(t.Extra, m);
  ReadBMP(t.Build(), g);
  EXPECT_EQ(g.GetPixelColor(0, 0), RGB(255, 0, 0));
}

Bytes RLEFile(uint16_t bitCount, int32_t width, int32_t height, const Bytes& data, uint32_t imageSize = 0) {
  TBMPFile f;
  f.Width = width;
  f.Height = height;
  f.BitCount = bitCount;
  f.Compression = bitCount == 8 ? 1 : 2;
  f.ImageSize = imageSize ? imageSize : uint32_t(data.size());
  f.Extra = GrayPalette(bitCount == 8 ? 256 : 16);
  f.Pixels = data;
  return f.Build();
}

std::string Rows(const TPixelGraphic& g) {
  std::string s;
  for (int32_t y = 0; y < g.GetHeight(); ++y) {
    for (int32_t x = 0; x < g.GetWidth(); ++x) s += "0123456789ABCDEF"[g.GetPixel(x, y) & 15];
    s += "/";
  }
  return s;
}

TEST(BMPFormat, RLE8) {
  TPixelGraphic g;
  // Bottom row: run of 3 x 5, absolute run 1 2 3 (padded), end of line; then
  // a delta of (1, 1) and a run of 2 x 7 on the top row; end of bitmap.
  const Bytes data = {3, 5, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 1, 1, 2, 7, 0, 1, 9, 9};
  ReadBMP(RLEFile(8, 6, 3, data), g);
  EXPECT_EQ(Rows(g), "077000/000000/555123/");

  // An absolute run longer than the data ends the decoding quietly.
  ReadBMP(RLEFile(8, 4, 1, {2, 4, 0, 9, 1, 2}), g);
  EXPECT_EQ(Rows(g), "4400/");
  // So does a delta cut off by the end of the data.
  ReadBMP(RLEFile(8, 4, 2, {1, 3, 0, 2, 1}), g);
  EXPECT_EQ(Rows(g), "0000/3000/");
  // An image size beyond the file is cut to what the file holds.
  ReadBMP(RLEFile(8, 4, 1, {4, 6, 0, 1}, 0xFFFFFFF0u), g);
  EXPECT_EQ(Rows(g), "6666/");

  // Pixels beyond the picture are dropped, or refused when the graphic checks ranges.
  ReadBMP(RLEFile(8, 2, 1, {5, 1, 0, 0, 3, 2}), g);
  EXPECT_EQ(Rows(g), "11/");
  g.SetXYRangeCheck(true);
  EXPECT_EQ(ReadFailure<EPGXYIndexOutOfRange>(RLEFile(8, 2, 1, {5, 1}), g), "X, Y index out of range");
}

TEST(BMPFormat, RLE4) {
  TPixelGraphic g;
  // Run of 5 alternating 1 and 2; absolute run of 3 nibbles 3 4 5 (2 bytes,
  // no pad needed); end of line; a run of 9 fills the top row.
  const Bytes data = {5, 0x12, 0, 3, 0x34, 0x50, 0, 0, 9, 0xAB, 0, 1};
  ReadBMP(RLEFile(4, 9, 2, data), g);
  EXPECT_EQ(Rows(g), "ABABABABA/121213450/");

  // An absolute run of 5 nibbles needs 3 bytes, and then a pad byte.
  ReadBMP(RLEFile(4, 6, 1, {0, 5, 0x67, 0x89, 0xA0, 0, 1, 0xC0}), g);
  EXPECT_EQ(Rows(g), "6789AC/");
  // Damaged: the absolute run claims more nibbles than there are bytes.
  ReadBMP(RLEFile(4, 6, 1, {2, 0x77, 0, 9, 0x12}), g);
  EXPECT_EQ(Rows(g), "770000/");
  // Even with range checks, x beyond the width is skipped silently.
  g.SetXYRangeCheck(true);
  ReadBMP(RLEFile(4, 2, 1, {4, 0x12}), g);
  EXPECT_EQ(Rows(g), "12/");
}

TEST(BMPFormat, HostileHeadersAreRefusedQuickly) {
  const auto start = std::chrono::steady_clock::now();
  TBMPFile f;
  f.Width = 60000;
  f.Height = 60000;
  TPixelGraphic g;
  g.SetSize(2, 2, 3);
  EXPECT_EQ(ReadFailure(f.Build(), g), "BMP: Unexpected end of file");
  // Refused before the picture is touched.
  EXPECT_EQ(g.GetWidth(), 2);
  f.Height = -60000;
  EXPECT_EQ(ReadFailure(f.Build()), "BMP: Unexpected end of file");
  f.BitCount = 8;
  EXPECT_EQ(ReadFailure(f.Build()), "BMP: Unexpected end of file");
  f.BitCount = 32;
  f.Compression = 3;
  EXPECT_EQ(ReadFailure(f.Build()), "BMP: Unexpected end of file");

  // Colour tables that cannot be in the file.
  TBMPFile p;
  p.ColorsUsed = 0xFFFFFFFFu;
  p.Pixels = {1, 2, 3, 0};
  EXPECT_EQ(ReadFailure(p.Build()), "BMP: Unexpected end of file");
  p.BitCount = 8;
  p.Compression = 1;
  p.ImageSize = 0xFFFFFFFFu;
  EXPECT_EQ(ReadFailure(p.Build()), "BMP: Unexpected end of file");

  // A file cut short by one byte.
  TBMPFile cut;
  cut.Width = 3;
  cut.Height = 2;
  cut.Pixels.assign(23, 0);
  EXPECT_EQ(ReadFailure(cut.Build()), "BMP: Unexpected end of file");
  cut.Pixels.push_back(0);
  ReadBMP(cut.Build(), g);
  EXPECT_EQ(g.GetWidth(), 3);

  // Width 0 with the largest height reads nothing and does not loop.
  TBMPFile empty;
  empty.Width = 0;
  empty.Height = INT32_MAX;
  empty.BitCount = 32;
  ReadBMP(empty.Build(), g);
  EXPECT_EQ(g.GetHeight(), INT32_MAX);
  EXPECT_TRUE(g.GetEmpty());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(BMPFormat, ProgressAndAbort) {
  TPixelGraphic src;
  src.SetSize(40, 30, 3);
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < 40; ++x) src.SetPixel(x, y, 0x804020);
  TMemoryStream s;
  SpareBMPWriter().Write(s, src);

  std::string log;
  int abortAt = -1;
  TPixelGraphic g;
  g.OnProgressStart = [&](TObject* sender) {
    EXPECT_EQ(sender, &g);
    log += "[";
  };
  g.OnProgress = [&](TObject*, int step, int max, bool& abort) {
    log += std::to_string(step) + "/" + std::to_string(max) + " ";
    abort = step == abortAt;
  };
  g.OnProgressEnd = [&](TObject*) { log += "]"; };

  s.SetPosition(0);
  TBMPFileFormatReader().Read(s, g, 0);
  EXPECT_EQ(log, "[1/10 2/10 3/10 4/10 5/10 6/10 7/10 8/10 9/10 10/10 ]");
  EXPECT_EQ(Colors(g), Colors(src));

  // Abort after the second tenth: the rest stays blank, without an error.
  log.clear();
  abortAt = 2;
  s.SetPosition(0);
  TBMPFileFormatReader().Read(s, g, 0);
  EXPECT_EQ(log, "[1/10 2/10 ]");
  EXPECT_EQ(g.GetPixel(0, 29), 0x804020u);
  EXPECT_EQ(g.GetPixel(0, 0), 0u);

  // Bit-field rows report row by row.
  log.clear();
  abortAt = 1;
  TBMPFile f;
  f.Width = 1;
  f.Height = 3;
  f.BitCount = 16;
  f.Pixels = {0xFF, 0x7F, 0, 0, 0xFF, 0x7F, 0, 0, 0xFF, 0x7F, 0, 0};
  ReadBMP(f.Build(), g);
  EXPECT_EQ(log, "[0/3 1/3 ]");
  EXPECT_EQ(g.GetPixel(0, 2), 0xFFFFFFu);
  EXPECT_EQ(g.GetPixel(0, 0), 0u);

  // The end event comes also after a failure.
  log.clear();
  f.Pixels.resize(2);
  EXPECT_EQ(ReadFailure(f.Build(), g), "BMP: Unexpected end of file");
  EXPECT_EQ(log, "[]");
}

// ImageMagick as the peer that writes the files.

// ImageMagick writes bit fields only with a 124-byte header, which is not
// read here: the same file with a 40-byte header and the masks after it.
Bytes WithInfoHeaderAndMasks(const Bytes& v5) {
  const uint32_t offBits = GetLE32(v5.data() + 10);
  Bytes b(v5.begin(), v5.begin() + 54);
  b[14] = 40;
  b[15] = b[16] = b[17] = 0;
  b.insert(b.end(), v5.begin() + 54, v5.begin() + 66);
  b.insert(b.end(), v5.begin() + offBits, v5.end());
  return b;
}

TEST(BMPFormat, ReadsWhatImageMagickWrites) {
  // ImageMagick's own program, not whatever else answers to the name first.
  const std::string convert = access("/usr/bin/convert", X_OK) == 0 ? "/usr/bin/convert " : "convert ";
  if (Shell(convert + "-version").find("ImageMagick") == std::string::npos)
    GTEST_SKIP() << "ImageMagick's convert is not installed";
  const TTempDirectory dir;
  ASSERT_FALSE(dir.Path.empty());
  const std::string source = dir / "source.png";
  ASSERT_EQ(Shell(convert + "-size 13x7 -seed 4 plasma:fractal " + source), "");

  struct {
    const char* name;
    const char* options;
    uint32_t headerSize;
    uint16_t bitCount;
    uint32_t compression;
  } const variants[] = {
      {"t24", "-type truecolor -compress None BMP3:", 40, 24, 0},
      {"t32", "-alpha set -define bmp3:alpha=true BMP3:", 40, 32, 0},
      {"p8", "-colors 200 -type palette -compress None BMP3:", 40, 8, 0},
      {"r8", "-colors 200 -type palette -compress RLE BMP3:", 40, 8, 1},
      {"p4", "-colors 12 -type palette -compress None BMP3:", 40, 4, 0},
      {"p1", "-monochrome -compress None BMP3:", 40, 1, 0},
      {"os2t", "-type truecolor BMP2:", 12, 24, 0},
      {"os2p", "-colors 100 -type palette BMP2:", 12, 8, 0},
      {"b565", "-define bmp:subtype=RGB565 BMP:", 124, 16, 3},
      {"b555", "-define bmp:subtype=RGB555 BMP:", 124, 16, 3},
  };
  for (const auto& v : variants) {
    SCOPED_TRACE(v.name);
    const std::string bmp = dir / (v.name + std::string(".bmp"));
    const std::string ppm = dir / (v.name + std::string(".ppm"));
    ASSERT_EQ(Shell(convert + source + " " + v.options + bmp), "");
    ASSERT_EQ(Shell(convert + bmp + " -depth 8 ppm:" + ppm), "");
    Bytes file = FileBytes(bmp);
    ASSERT_GT(file.size(), 30u);
    ASSERT_EQ(GetLE32(file.data() + 14), v.headerSize);
    ASSERT_EQ(file[v.headerSize == 12 ? 24 : 28], v.bitCount);
    if (v.headerSize == 40) {
      ASSERT_EQ(GetLE32(file.data() + 30), v.compression);
    }
    if (v.headerSize == 124) file = WithInfoHeaderAndMasks(file);

    const TPNMImage peer = ReadPNM(ppm);
    const int32_t width = peer.Width, height = peer.Height;
    std::vector<TRGB> expected = peer.Colors();
    ASSERT_EQ(expected.size(), 13u * 7u);
    if (v.bitCount == 16) {
      // ImageMagick scales a channel of n bits by 255 / (2^n - 1); this
      // reader stretches it by shifting and adding the lowest step.
      const bool green6 = std::string(v.name) == "b565";
      const auto expand = [](uint8_t c, int bits) {
        const int max = (1 << bits) - 1;
        const int value = (c * max + 127) / 255;
        return value == 0 ? 0 : std::min(255, (value << (8 - bits)) + (1 << (8 - bits)));
      };
      for (TRGB& c : expected)
        c = RGB(expand(GetRValue(c), 5), expand(GetGValue(c), green6 ? 6 : 5), expand(GetBValue(c), 5));
    }
    TPixelGraphic g;
    TMemoryStream s;
    Fill(s, file);
    TFileFormatReader* reader = FindReader(s, "bmp");
    ASSERT_NE(reader, nullptr);
    reader->Read(s, g, 0);
    ASSERT_EQ(g.GetWidth(), width);
    ASSERT_EQ(g.GetHeight(), height);
    EXPECT_EQ(Colors(g), expected);
  }
}

// ImageMagick writes 124-byte headers; their first 108 bytes are the V4 header.
Bytes AsV4(const Bytes& v5) {
  Bytes b(v5.begin(), v5.begin() + 14 + 108);
  b[14] = 108;
  b.insert(b.end(), v5.begin() + 14 + 124, v5.end());
  return b;
}

TEST(BMPFormat, ReadsImageMagicksV4AndV5Headers) {
  const std::string convert = "/usr/bin/convert ";
  if (Shell(convert + "-version").find("ImageMagick") == std::string::npos)
    GTEST_SKIP() << "ImageMagick's convert is not installed";
  const TTempDirectory dir;
  ASSERT_FALSE(dir.Path.empty());
  const std::string source = dir / "source.png";
  ASSERT_EQ(Shell(convert + "-size 13x7 -seed 4 plasma:fractal " + source), "");
  const TRGB background = RGB(0, 100, 200);
  struct {
    const char* name;
    const char* options;
    const char* subFormat;
  } const variants[] = {
      {"t24", "-type truecolor", "Windows V5, RGB"},
      {"p8", "-colors 200 -type palette", "Windows V5, RLE8"},
      {"p4", "-colors 12 -type palette", "Windows V5, RGB"},
      {"a32", "-alpha set -channel A -fx '(i+j)/(w+h)' +channel", "Windows V5, BitFields, alpha"},
  };
  for (const auto& v : variants) {
    SCOPED_TRACE(v.name);
    const std::string bmp = dir / (v.name + std::string(".bmp")), ppm = dir / (v.name + std::string(".ppm"));
    ASSERT_EQ(Shell(convert + source + " " + v.options + " " + bmp), "");
    ASSERT_EQ(Shell(convert + bmp + " -background 'rgb(0,100,200)' -flatten -depth 8 ppm:" + ppm), "");
    const Bytes v5 = FileBytes(bmp);
    ASSERT_EQ(GetLE32(v5.data() + 14), 124u);
    EXPECT_EQ(InfoOf(v5).SubFormat, v.subFormat);
    const std::vector<uint8_t> expected = ReadPNM(ppm).RGB();
    for (const Bytes& file : {v5, AsV4(v5)}) {
      TPixelGraphic g;
      g.SetBackGroundColor(background);
      ReadBMP(file, g);
      // ImageMagick blends in 16 bits, so may round the other way.
      EXPECT_LE(MaxDifference(GraphicRGB(g), expected), v.name[0] == 'a' ? 1 : 0);
    }
  }
}

}  // namespace
