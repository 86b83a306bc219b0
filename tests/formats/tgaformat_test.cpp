#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "codecpeer.h"
#include "failuremessage.h"
#include "formatregistry.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "stream.h"
#include "tgaformat.h"

namespace {

using namespace codecpeer;
using Bytes = std::vector<uint8_t>;

// A TGA file: header fields, identification, colour map and pixel bytes.
struct TTGAFile {
  uint8_t ColorMapType = 0;
  uint8_t ImageType = 2;
  uint16_t FirstEntry = 0;
  uint16_t ColorMapLength = 0;
  uint8_t EntrySize = 0;
  uint16_t Width = 1, Height = 1;
  uint8_t PixelDepth = 24;
  uint8_t Descriptor = 0;
  Bytes Id;
  Bytes ColorMap;
  Bytes Pixels;

  Bytes Build() const {
    Bytes b = {uint8_t(Id.size()), ColorMapType, ImageType};
    Put16(b, FirstEntry);
    Put16(b, ColorMapLength);
    b.push_back(EntrySize);
    Put16(b, 0);
    Put16(b, 0);
    Put16(b, Width);
    Put16(b, Height);
    b.push_back(PixelDepth);
    b.push_back(Descriptor);
    for (const Bytes* part : {&Id, &ColorMap, &Pixels}) b.insert(b.end(), part->begin(), part->end());
    return b;
  }
};

void ReadTGA(const Bytes& bytes, TPixelGraphic& g) { ReadWith<TTGAFileFormatReader>(bytes, g); }

std::string ReadFailure(const Bytes& bytes, TPixelGraphic& g, int index = 0) {
  return Failure<EPGTGAFileFormatReader>([&] { ReadWith<TTGAFileFormatReader>(bytes, g, index); });
}

std::string ReadFailure(const Bytes& bytes, int index = 0) {
  TPixelGraphic g;
  return ReadFailure(bytes, g, index);
}

TEST(TGAFormat, FoundByExtensionOnly) {
  TTGAFile f;
  f.Pixels = {1, 2, 3};
  TMemoryStream s;
  Fill(s, f.Build());
  ASSERT_NE(FindReader(s, ".TGA"), nullptr);
  EXPECT_EQ(FindReader(s, "tga")->ClassName(), "TTGAFileFormatReader");
  EXPECT_EQ(FindReader(s, "dat"), nullptr);
  EXPECT_FALSE(FindReader(s, "tga")->HasSignature());
  EXPECT_EQ(FindWriter("tga")->CanWriteResolutions().Bits(), 0xC0);
  EXPECT_EQ(FindWriter("tga")->Description(), "Truevision Targa");
}

TEST(TGAFormat, ColorMaps) {
  TPixelGraphic g;
  TTGAFile f;
  f.ColorMapType = 1;
  f.ImageType = 1;
  f.PixelDepth = 8;
  f.Width = 3;
  f.Id = {'a', 'b'};
  // Two entries before the first one used; n = 5 - 2 entries are read.
  f.FirstEntry = 2;
  f.ColorMapLength = 5;
  f.EntrySize = 24;
  f.ColorMap = {9, 9, 9, 9, 9, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  f.Pixels = {2, 0, 1};
  ReadTGA(f.Build(), g);
  EXPECT_EQ(g.BitCountNum(), 2);
  ASSERT_EQ(g.PaletteCount(), 3);
  EXPECT_EQ(Colors(g), (std::vector<TRGB>{RGB(9, 8, 7), RGB(3, 2, 1), RGB(6, 5, 4)}));

  f.FirstEntry = 0;
  f.ColorMapLength = 2;
  f.EntrySize = 16;
  f.ColorMap = {0xFF, 0x7F, 0x21, 0x04};  // 0x7FFF and 0x0421
  f.Pixels = {1, 0, 1};
  ReadTGA(f.Build(), g);
  EXPECT_EQ(Colors(g), (std::vector<TRGB>{RGB(8, 8, 8), RGB(248, 248, 248), RGB(8, 8, 8)}));

  f.EntrySize = 32;
  f.ColorMap = {1, 2, 3, 99, 4, 5, 6, 99};
  ReadTGA(f.Build(), g);
  EXPECT_EQ(Colors(g), (std::vector<TRGB>{RGB(6, 5, 4), RGB(3, 2, 1), RGB(6, 5, 4)}));

  // A map longer than a palette holds: its first 256 entries.
  f.ColorMapLength = 300;
  f.EntrySize = 24;
  f.ColorMap.clear();
  for (int i = 0; i < 300; ++i) f.ColorMap.insert(f.ColorMap.end(), {uint8_t(i), 0, 0});
  f.Pixels = {255, 0, 7};
  ReadTGA(f.Build(), g);
  ASSERT_EQ(g.PaletteCount(), 256);
  EXPECT_EQ(Colors(g), (std::vector<TRGB>{RGB(0, 0, 255), 0, RGB(0, 0, 7)}));

  f.EntrySize = 15;
  EXPECT_EQ(ReadFailure(f.Build()), "TGA: Not supported subformat");

  // Without a map, 8 bits are grey; a map is passed over in true colour,
  // entries of 15 bits taking two bytes each.
  TTGAFile gray;
  gray.ImageType = 3;
  gray.PixelDepth = 8;
  gray.Pixels = {77};
  ReadTGA(gray.Build(), g);
  EXPECT_EQ(g.PaletteIdent(), pGray256);
  EXPECT_EQ(Colors(g), (std::vector<TRGB>{RGB(77, 77, 77)}));
  for (uint8_t entrySize : {15, 24}) {
    TTGAFile mapped;
    mapped.ColorMapType = 1;
    mapped.ColorMapLength = 3;
    mapped.EntrySize = entrySize;
    mapped.ColorMap = Bytes(size_t(3 * ((entrySize + 7) / 8)), 0xEE);
    mapped.Pixels = {10, 20, 30};
    ReadTGA(mapped.Build(), g);
    EXPECT_EQ(g.BitCountNum(), 3);
    EXPECT_EQ(Colors(g), (std::vector<TRGB>{RGB(30, 20, 10)}));
  }
}

TEST(TGAFormat, OriginsDepthsAndRuns) {
  // Stored rows, first to last: A B / C D, each pixel one value.
  const uint8_t a = 10, b = 20, c = 30, d = 40;
  const auto stored = [](uint8_t depth, const Bytes& values) {
    Bytes p;
    for (uint8_t v : values) {
      if (depth == 16) {
        p.insert(p.end(), {v, v});
      } else {
        p.push_back(v);
        if (depth >= 24) p.insert(p.end(), {uint8_t(v + 1), uint8_t(v + 2)});
        if (depth == 32) p.push_back(0x55);
      }
    }
    return p;
  };
  const auto color = [](uint8_t depth, uint8_t v) -> TRGB {
    if (depth == 8) return RGB(v, v, v);
    if (depth == 16) {
      const uint32_t w = v * 0x101u;
      return RGB(((w >> 10) & 31) * 8, ((w >> 5) & 31) * 8, (w & 31) * 8);
    }
    return RGB(v + 2, v + 1, v);
  };
  for (uint8_t depth : {8, 16, 24, 32}) {
    for (uint8_t descriptor : {0x00, 0x10, 0x20, 0x30}) {
      SCOPED_TRACE(std::to_string(depth) + " bits, descriptor " + std::to_string(descriptor));
      TTGAFile f;
      f.ImageType = depth == 8 ? 3 : 2;
      f.PixelDepth = depth;
      f.Width = 2;
      f.Height = 2;
      f.Descriptor = descriptor;
      f.Pixels = stored(depth, {a, b, c, d});
      const bool rightToLeft = descriptor & 0x10, topToBottom = descriptor & 0x20;
      std::vector<TRGB> expected = {color(depth, a), color(depth, b), color(depth, c), color(depth, d)};
      if (rightToLeft) expected = {expected[1], expected[0], expected[3], expected[2]};
      if (!topToBottom) expected = {expected[2], expected[3], expected[0], expected[1]};
      TPixelGraphic g;
      ReadTGA(f.Build(), g);
      EXPECT_EQ(g.BitCountNum(), depth == 8 ? 2 : 3);
      EXPECT_EQ(Colors(g), expected);

      // The same run-length encoded, with a literal packet that goes on
      // into the next row.
      f.ImageType |= 8;
      f.Pixels.clear();
      for (const Bytes& part : {Bytes{0x80}, stored(depth, {a}), Bytes{0x02}, stored(depth, {b, c, d})})
        f.Pixels.insert(f.Pixels.end(), part.begin(), part.end());
      ReadTGA(f.Build(), g);
      EXPECT_EQ(Colors(g), expected);
      // And a run that does.
      f.Pixels.clear();
      for (const Bytes& part : {Bytes{0x82}, stored(depth, {b}), Bytes{0x00}, stored(depth, {a})})
        f.Pixels.insert(f.Pixels.end(), part.begin(), part.end());
      expected = {color(depth, b), color(depth, b), color(depth, b), color(depth, a)};
      if (rightToLeft) expected = {expected[1], expected[0], expected[3], expected[2]};
      if (!topToBottom) expected = {expected[2], expected[3], expected[0], expected[1]};
      ReadTGA(f.Build(), g);
      EXPECT_EQ(Colors(g), expected);
    }
  }
}

TEST(TGAFormat, Refusals) {
  TTGAFile f;
  f.Width = 2;
  f.Height = 2;
  f.Pixels = Bytes(12, 1);
  EXPECT_EQ(ReadFailure(f.Build(), 1), "TGA: Index invalid");
  for (uint8_t depth : {0, 1, 4, 15, 48}) {
    f.PixelDepth = depth;
    EXPECT_EQ(ReadFailure(f.Build()), "TGA: Not supported subformat");
  }
  f.PixelDepth = 24;
  EXPECT_EQ(ReadFailure(Bytes{0, 0, 2, 0, 0}), "TGA: Unexpected end of file");
  TTGAFile longId = f;
  longId.Id = Bytes(200, 0);
  longId.Pixels.clear();
  EXPECT_EQ(ReadFailure(longId.Build()), "TGA: Unexpected end of file");

  // A header larger than its file sets no memory aside.
  TPixelGraphic g;
  TTGAFile huge = f;
  huge.Width = huge.Height = 0xFFFF;
  huge.ImageType = 10;
  EXPECT_EQ(ReadFailure(huge.Build(), g), "TGA: Unexpected end of file");
  EXPECT_TRUE(g.GetEmpty());

  TTGAFile cut = f;
  cut.Descriptor = 0x20;
  cut.Pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(ReadFailure(cut.Build(), g), "TGA: Unexpected end of file");
  EXPECT_TRUE(g.GetEmpty());
  // Rows decoded before the end of packets stay.
  cut.ImageType = 10;
  cut.Pixels = {0x81, 1, 2, 3, 0x83, 4, 5};
  EXPECT_EQ(ReadFailure(cut.Build(), g), "TGA: Unexpected end of file");
  EXPECT_EQ(g.GetPixelColor(1, 0), RGB(3, 2, 1));
}

TEST(TGAFormat, ReadingRefusesTheImageTypesInfoRefuses) {
  TTGAFile f;
  f.Pixels = {1, 2, 3};
  for (uint8_t type : {0, 4, 32, 99}) {
    f.ImageType = type;
    EXPECT_EQ(ReadFailure(f.Build()), "TGA: Invalid value for ImageType") << int(type);
    EXPECT_EQ(Failure<EPGTGAFileFormatReader>([&] { InfoWith<TTGAFileFormatReader>(f.Build()); }),
              "TGA: Invalid value for ImageType");
  }
}

TEST(TGAFormat, Info) {
  struct {
    uint8_t type, depth;
    const char* subFormat;
    const char* details;
    const char* colors;
  } const cases[] = {
      {1, 8, "Uncompressed", "Color-mapped", "256"},
      {2, 16, "Uncompressed", "True-color", "65536"},
      {3, 8, "Uncompressed", "\"Black-and-white\"", "256"},
      {9, 8, "Run-length encoded", "Color-mapped", "256"},
      {10, 24, "Run-length encoded", "True-color", "16.7M"},
      {11, 32, "Run-length encoded", "\"Black-and-white\"", "16.7M ?"},
  };
  for (const auto& c : cases) {
    TTGAFile f;
    f.ImageType = c.type;
    f.PixelDepth = c.depth;
    f.Width = 640;
    f.Height = 480;
    TMemoryStream s;
    Fill(s, f.Build());
    TFileFormatInfo info;
    TTGAFileFormatReader().ReadInfo(s, 0, info);
    EXPECT_EQ(info.SubFormat, c.subFormat);
    EXPECT_EQ(info.Details, c.details);
    EXPECT_EQ(info.ColorCount, c.colors);
    EXPECT_EQ(info.BitCount, c.depth);
    EXPECT_EQ(info.Width, 640);
    EXPECT_EQ(info.Height, 480);
    EXPECT_EQ(info.ImageCount, 1);
  }
  for (int index : {0, 1}) {
    TTGAFile f;
    f.ImageType = 0;
    TMemoryStream s;
    Fill(s, f.Build());
    TFileFormatInfo info;
    try {
      TTGAFileFormatReader().ReadInfo(s, index, info);
      ADD_FAILURE();
    } catch (const EPGTGAFileFormatReader& e) {
      EXPECT_STREQ(e.what(), index == 0 ? "TGA: Invalid value for ImageType" : "TGA: Invalid value for Index");
    }
  }
}

Bytes Written(TPixelGraphic& g) { return WrittenWith<TTGAFileFormatWriter>(g); }

TEST(TGAFormat, WrittenBytes) {
  TPixelGraphic g;
  g.SetSize(2, 2, 3);
  g.SetPixel(0, 0, RGB(1, 2, 3));
  g.SetPixel(1, 1, RGB(4, 5, 6));
  TTGAFile f;
  f.Width = f.Height = 2;
  f.Pixels = {0, 0, 0, 6, 5, 4, 3, 2, 1, 0, 0, 0};  // bottom row first, no padding
  EXPECT_EQ(Written(g), f.Build());

  g.SetSize(3, 1, 2);
  g.SetPaletteCount(2);
  g.SetPaletteEntries(0, RGB(10, 20, 30));
  g.SetPaletteEntries(1, RGB(40, 50, 60));
  g.SetPixel(2, 0, 1);
  TTGAFile p;
  p.ColorMapType = 1;
  p.ImageType = 1;
  p.ColorMapLength = 2;
  p.EntrySize = 24;
  p.PixelDepth = 8;
  p.Width = 3;
  p.ColorMap = {30, 20, 10, 60, 50, 40};
  p.Pixels = {0, 0, 1};
  EXPECT_EQ(Written(g), p.Build());

  // Pictures of 1 and 4 bits go out as 8-bit indices.
  g.SetSize(3, 1, 1);
  g.SetPaletteIdent(pSys16);
  g.SetPixel(1, 0, 13);
  g.SetPixel(2, 0, 6);
  const Bytes b = Written(g);
  EXPECT_EQ(b[5], 16);
  EXPECT_EQ(Bytes(b.end() - 3, b.end()), (Bytes{0, 13, 6}));

  g.SetSize(70000, 1, 3);
  EXPECT_THROW(Written(g), EPGTGAFileFormatWriter);
  g.SetSize(0, 0, 3);
  EXPECT_EQ(Written(g).size(), 18u);
}

TEST(TGAFormat, RoundTripAndProgress) {
  std::mt19937 random(3);
  for (uint8_t code : {0, 1, 2, 3}) {
    SCOPED_TRACE(int(code));
    TPixelGraphic src;
    src.SetSize(517, 3, code);
    if (code < 3) RandomPalette(src, PaletteCapacity(code), random);
    RandomPixels(src, random);
    std::string log;
    src.OnProgressStart = [&](TObject* sender) { log += sender == &src ? "<" : "?"; };
    src.OnProgress = [&](TObject* sender, int step, int max, bool& abort) {
      log += (sender == &src ? "g" : "?") + std::to_string(step) + "/" + std::to_string(max);
      abort = true;
    };
    src.OnProgressEnd = [&](TObject* sender) { log += sender == &src ? ">" : "?"; };
    TMemoryStream s;
    FindWriter("tga")->Write(s, src);
    EXPECT_EQ(log, "<g0/3g1/3g2/3>");

    TTGAFileFormatReader reader;
    TPixelGraphic back;
    log.clear();
    back.OnProgressStart = [&](TObject* sender) { log += sender == &reader ? "[" : "?"; };
    back.OnProgress = [&](TObject* sender, int step, int max, bool&) {
      log += (sender == &reader ? "r" : "?") + std::to_string(step) + "/" + std::to_string(max);
    };
    back.OnProgressEnd = [&](TObject* sender) { log += sender == &reader ? "]" : "?"; };
    s.SetPosition(0);
    reader.Read(s, back, 0);
    EXPECT_EQ(log, "[r0/3r1/3r2/3]");
    EXPECT_EQ(s.Position(), s.Size());
    EXPECT_EQ(back.BitCountNum(), code == 3 ? 3 : 2);
    EXPECT_EQ(Colors(back), Colors(src));
  }
}

// Netpbm and ImageMagick write the files; netpbm's reading counts.
// ImageMagick takes origin bit 5 the other way round, and netpbm ignores bit
// 4 (right to left), so its pixels are mirrored for such files here.

bool HavePeers() { return HaveTools("ppmtotga tgatoppm ppmquant pnmtoplainpnm /usr/bin/convert"); }

TEST(TGAFormat, ReadsWhatNetpbmAndImageMagickWrite) {
  if (!HavePeers()) GTEST_SKIP() << "netpbm or ImageMagick is not installed";
  const TTempDirectory dir;
  const std::string src = dir / "src.ppm";
  ASSERT_EQ(Shell("/usr/bin/convert -size 37x11 -seed 4 plasma:fractal -depth 8 " + src), "");
  struct {
    const char* name;
    const char* command;  // writes $F from $S
    uint8_t type, depth, descriptor;
  } const files[] = {
      {"netpbm mapped RLE", "ppmquant 200 $S | ppmtotga -cmap > $F", 9, 8, 0},
      {"netpbm mapped", "ppmquant 200 $S | ppmtotga -cmap -norle > $F", 1, 8, 0},
      {"netpbm grey RLE", "ppmtotga -mono $S > $F", 11, 8, 0},
      {"netpbm grey", "ppmtotga -mono -norle $S > $F", 3, 8, 0},
      {"netpbm RGB RLE", "ppmtotga -rgb $S > $F", 10, 24, 0},
      {"netpbm RGB", "ppmtotga -rgb -norle $S > $F", 2, 24, 0},
      {"ImageMagick RGB", "/usr/bin/convert $S -orient BottomLeft TGA:$F", 2, 24, 0},
      {"ImageMagick RGB RLE", "/usr/bin/convert $S -compress RLE TGA:$F", 10, 24, 0},
      {"ImageMagick mapped", "/usr/bin/convert $S -type palette TGA:$F", 1, 8, 0},
      {"ImageMagick mapped RLE", "/usr/bin/convert $S -type palette -compress RLE TGA:$F", 9, 8, 0},
      {"ImageMagick grey", "/usr/bin/convert $S -type grayscale TGA:$F", 3, 8, 0},
      {"ImageMagick top left", "/usr/bin/convert $S -orient TopLeft TGA:$F", 2, 24, 0x20},
      {"ImageMagick top right", "/usr/bin/convert $S -orient TopRight TGA:$F", 2, 24, 0x30},
      {"ImageMagick bottom right", "/usr/bin/convert $S -orient BottomRight TGA:$F", 2, 24, 0x10},
      {"ImageMagick alpha", "/usr/bin/convert $S -alpha set TGA:$F", 2, 32, 8},
      {"ImageMagick alpha RLE", "/usr/bin/convert $S -alpha set -compress RLE TGA:$F", 10, 32, 8},
      {"ImageMagick alpha top right RLE", "/usr/bin/convert $S -alpha set -orient TopRight -compress RLE TGA:$F", 10,
       32, 0x38},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    const std::string file = dir / "f.tga";
    ASSERT_EQ(Shell("S=" + src + " F=" + file + "; " + f.command), "");
    const Bytes bytes = FileBytes(file);
    ASSERT_GT(bytes.size(), 18u);
    ASSERT_EQ(bytes[2], f.type);
    ASSERT_EQ(bytes[16], f.depth);
    ASSERT_EQ(bytes[17], f.descriptor);
    int width = 0, height = 0;
    std::vector<TRGB> expected = PlainPixmapColors(Shell("tgatoppm " + file + " | pnmtoplainpnm"), width, height);
    ASSERT_EQ(expected.size(), size_t(width) * size_t(height));
    if (f.descriptor & 0x10)
      for (int y = 0; y < height; ++y) std::reverse(expected.begin() + y * width, expected.begin() + (y + 1) * width);
    TPixelGraphic g;
    TMemoryStream s;
    Fill(s, bytes);
    FindReader(s, "tga")->Read(s, g, 0);
    ASSERT_EQ(g.GetWidth(), width);
    ASSERT_EQ(g.GetHeight(), height);
    EXPECT_EQ(Colors(g), expected);
  }

  // Colour maps of 15-bit entries are not read.
  const std::string file = dir / "cmap16.tga";
  ASSERT_EQ(Shell("ppmquant 200 " + src + " | ppmtotga -cmap16 > " + file), "");
  EXPECT_EQ(ReadFailure(FileBytes(file)), "TGA: Not supported subformat");
}

TEST(TGAFormat, NetpbmReadsWhatItWrites) {
  if (!HavePeers()) GTEST_SKIP() << "netpbm or ImageMagick is not installed";
  const TTempDirectory dir;
  std::mt19937 random(8);
  for (uint8_t code : {2, 3}) {
    SCOPED_TRACE(int(code));
    TPixelGraphic g;
    g.SetSize(203, 9, code);
    if (code == 2) RandomPalette(g, 252, random);
    RandomPixels(g, random);
    const std::string file = dir / "ours.tga";
    {
      TFileStream s(file, fmCreate);
      FindWriter("tga")->Write(s, g);
    }
    int width = 0, height = 0;
    EXPECT_EQ(PlainPixmapColors(Shell("tgatoppm " + file + " | pnmtoplainpnm"), width, height), Colors(g));
  }
}

}  // namespace
