#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "byteorder.h"
#include "codecpeer.h"
#include "failuremessage.h"
#include "formatoptions.h"
#include "formatregistry.h"
#include "namedpalettes.h"
#include "pcxformat.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "stream.h"

namespace {

using namespace codecpeer;
using Bytes = std::vector<uint8_t>;

// A PCX file: header fields, the coded scan lines and what follows them.
struct TPCXFile {
  uint8_t Version = 5;
  uint8_t BitsPerPixel = 8;
  uint8_t Planes = 1;
  int XMin = 0, YMin = 0;
  int Width = 1, Height = 1;
  int BytesPerLine = 1;
  int PaletteInfo = 1;
  uint8_t Reserved = 0;
  Bytes Palette16 = Bytes(48, 0);
  Bytes Data;
  Bytes Trailer;

  Bytes Build() const {
    Bytes b(128 + Data.size() + Trailer.size(), 0);
    b[0] = 0x0A;
    b[1] = Version;
    b[2] = 1;
    b[3] = BitsPerPixel;
    PutLE16(&b[4], uint32_t(XMin));
    PutLE16(&b[6], uint32_t(YMin));
    PutLE16(&b[8], uint32_t(XMin + Width - 1));
    PutLE16(&b[10], uint32_t(YMin + Height - 1));
    std::copy(Palette16.begin(), Palette16.end(), b.begin() + 16);
    b[64] = Reserved;
    b[65] = Planes;
    PutLE16(&b[66], uint32_t(BytesPerLine));
    PutLE16(&b[68], uint32_t(PaletteInfo));
    std::copy(Data.begin(), Data.end(), b.begin() + 128);
    std::copy(Trailer.begin(), Trailer.end(), b.begin() + 128 + std::ptrdiff_t(Data.size()));
    return b;
  }
};

// Codes every byte on its own: literally below 0xC0, else as a run of one.
Bytes Coded(const Bytes& raw) {
  Bytes b;
  for (uint8_t v : raw) {
    if (v >= 0xC0) b.push_back(0xC1);
    b.push_back(v);
  }
  return b;
}

Bytes EndPalette(uint8_t marker = 12) {
  Bytes b = {marker};
  for (int i = 0; i < 256; ++i) b.insert(b.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)});
  return b;
}

void ReadPCX(const Bytes& bytes, TPixelGraphic& g) { ReadWith<TPCXFileFormatReader>(bytes, g); }

std::string ReadFailure(const Bytes& bytes, TPixelGraphic& g, int index = 0) {
  return Failure<EPGPCXFileFormatReader>([&] { ReadWith<TPCXFileFormatReader>(bytes, g, index); });
}

std::string ReadFailure(const Bytes& bytes, int index = 0) {
  TPixelGraphic g;
  return ReadFailure(bytes, g, index);
}

TEST(PCXFormat, Registration) {
  TMemoryStream s;
  TPCXFile f;
  f.Data = {5};
  Fill(s, f.Build());
  TFileFormatReader* reader = FindReader(s, "tga");
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->Extension(), "pcx");
  EXPECT_EQ(reader->Description(), "Paintbrush");
  EXPECT_EQ(reader->ClassName(), "TPCXFileFormatReader");
  EXPECT_EQ(FindWriter("pcx"), nullptr);
}

TEST(PCXFormat, OneBitLines) {
  TPixelGraphic g;
  TPCXFile f;
  f.BitsPerPixel = 1;
  f.Width = 10;
  f.Height = 2;
  f.BytesPerLine = 4;  // more than the width needs
  f.Data = Coded({0xFF, 0xFF, 0xAB, 0xCD, 0x80, 0x7F, 0x00, 0x00});
  ReadPCX(f.Build(), g);
  EXPECT_EQ(g.BitCountNum(), 0);
  EXPECT_EQ(g.PaletteIdent(), pBlackWhite);
  // Bits beyond the width are cleared, bytes beyond it are not copied.
  EXPECT_EQ(g.ScanLine(0)[0], 0xFF);
  EXPECT_EQ(g.ScanLine(0)[1], 0xC0);
  EXPECT_EQ(g.ScanLine(0)[2], 0x00);
  EXPECT_EQ(g.ScanLine(1)[0], 0x80);
  EXPECT_EQ(g.ScanLine(1)[1], 0x40);
  EXPECT_EQ(g.GetPixelColor(1, 1), 0u);

  // A width of whole 32-bit words leaves the next row alone.
  f.Width = 32;
  f.Height = 2;
  f.BytesPerLine = 4;
  f.Data = Coded({0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x02, 0x03, 0x04});
  ReadPCX(f.Build(), g);
  EXPECT_EQ(g.ScanLine(0)[3], 0xFF);
  EXPECT_EQ(g.ScanLine(1)[0], 0x01);
  EXPECT_EQ(g.ScanLine(1)[3], 0x04);
}

TEST(PCXFormat, FourPlanes) {
  TPixelGraphic g;
  TPCXFile f;
  f.BitsPerPixel = 1;
  f.Planes = 4;
  f.Width = 9;
  f.BytesPerLine = 2;
  for (int i = 0; i < 48; ++i) f.Palette16[size_t(i)] = uint8_t(i * 5);
  // Pixel 0 has bits 0 and 3, pixel 1 bit 1, pixel 8 all four.
  f.Data = Coded({0x80, 0x80, 0x40, 0x80, 0x00, 0x80, 0x80, 0x80});
  ReadPCX(f.Build(), g);
  EXPECT_EQ(g.BitCountNum(), 1);
  EXPECT_EQ(g.GetPixel(0, 0), 9u);
  EXPECT_EQ(g.GetPixel(1, 0), 2u);
  EXPECT_EQ(g.GetPixel(2, 0), 0u);
  EXPECT_EQ(g.GetPixel(8, 0), 15u);
  ASSERT_EQ(g.PaletteCount(), 16);
  EXPECT_EQ(g.PaletteEntries(9), RGB(135, 140, 145));

  // Version 3 takes the system colours, whatever the header holds.
  f.Version = 3;
  ReadPCX(f.Build(), g);
  EXPECT_EQ(g.PaletteIdent(), pSys16);
  EXPECT_EQ(g.PaletteEntries(9), NamedPaletteEntries(pSys16)[9]);
}

TEST(PCXFormat, EightAndTwentyFourBits) {
  TPixelGraphic g;
  TPCXFile f;
  f.Width = 3;
  f.Height = 2;
  f.BytesPerLine = 4;
  // A run that crosses the end of a line is cut there.
  f.Data = {0xC6, 7, 1, 2, 0xC9, 250};
  f.Trailer = EndPalette();
  ReadPCX(f.Build(), g);
  EXPECT_EQ(g.BitCountNum(), 2);
  ASSERT_EQ(g.PaletteCount(), 256);
  EXPECT_EQ(g.PaletteEntries(7), RGB(7, 248, 3));
  EXPECT_EQ(g.GetPixel(0, 0), 7u);
  EXPECT_EQ(g.GetPixel(2, 0), 7u);
  EXPECT_EQ(g.GetPixel(0, 1), 1u);
  EXPECT_EQ(g.GetPixel(1, 1), 2u);
  EXPECT_EQ(g.GetPixel(2, 1), 250u);

  // Red plane first, blue last; a run of length 0 stores nothing.
  f.Planes = 3;
  f.BytesPerLine = 2;
  f.Height = 1;
  f.Width = 2;
  f.Data = {10, 11, 0xC0, 99, 20, 21, 30, 31};
  f.Trailer.clear();
  ReadPCX(f.Build(), g);
  EXPECT_EQ(g.BitCountNum(), 3);
  EXPECT_EQ(Colors(g), (std::vector<TRGB>{RGB(10, 20, 30), RGB(11, 21, 31)}));
}

TEST(PCXFormat, Refusals) {
  TPCXFile f;
  f.Width = 2;
  f.BytesPerLine = 2;
  f.Data = {1, 2};
  f.Trailer = EndPalette();
  EXPECT_EQ(ReadFailure(f.Build(), 1), "PCX: Index invalid");
  for (int info : {0, 2}) {
    TPCXFile grey = f;
    grey.PaletteInfo = info;
    EXPECT_EQ(ReadFailure(grey.Build()), "PCX: Unknown subformat");
  }
  TPCXFile reserved = f;
  reserved.Reserved = 1;
  EXPECT_EQ(ReadFailure(reserved.Build()), "PCX: Unknown subformat");
  for (auto layout : {std::pair{2, 1}, std::pair{1, 2}, std::pair{8, 4}, std::pair{4, 1}}) {
    TPCXFile other = f;
    other.BitsPerPixel = uint8_t(layout.first);
    other.Planes = uint8_t(layout.second);
    EXPECT_EQ(ReadFailure(other.Build()), "PCX: Unknown subformat");
  }
  // Lines shorter than the width, and an x maximum below the minimum.
  TPCXFile narrow = f;
  narrow.BytesPerLine = 1;
  EXPECT_EQ(ReadFailure(narrow.Build()), "PCX: Unknown subformat");
  narrow.BitsPerPixel = 1;
  narrow.Planes = 4;
  narrow.Width = 9;
  EXPECT_EQ(ReadFailure(narrow.Build()), "PCX: Unknown subformat");
  TPCXFile backwards = f;
  backwards.XMin = 5;
  backwards.Width = -1;
  EXPECT_EQ(ReadFailure(backwards.Build()), "PCX: Unknown subformat");

  // A missing end palette is noticed before the pixels, with the stream
  // left after the header.
  for (uint8_t marker : {11, 12}) {
    TPCXFile missing = f;
    missing.Trailer = EndPalette(marker);
    if (marker == 12) missing.Trailer.pop_back();
    TMemoryStream s;
    Fill(s, missing.Build());
    TPixelGraphic g;
    EXPECT_THROW(TPCXFileFormatReader().Read(s, g, 0), EPGPCXFileFormatReader);
    EXPECT_EQ(s.Position(), 128);
  }
  // Too short to hold a palette behind its header, or the header alone: cut short.
  TPCXFile tiny = f;
  tiny.Trailer.resize(10);
  EXPECT_EQ(ReadFailure(tiny.Build()), "PCX: Unexpected end of file");
  TPCXFile headerOnly = f;
  headerOnly.Data.clear();
  headerOnly.Trailer.clear();
  EXPECT_EQ(ReadFailure(headerOnly.Build()), "PCX: Unexpected end of file");

  EXPECT_EQ(ReadFailure(Bytes(100, 0x0A)), "PCX: Unexpected end of file");
  TPixelGraphic g;
  TPCXFile huge = f;
  huge.Planes = 3;
  huge.Width = huge.Height = huge.BytesPerLine = 60000;
  huge.Trailer.clear();
  EXPECT_EQ(ReadFailure(huge.Build(), g), "PCX: Unexpected end of file");
  EXPECT_TRUE(g.GetEmpty());

  // Rows decoded before the end stay.
  TPCXFile cut = f;
  cut.Planes = 3;
  cut.Height = 3;
  cut.Data = {1, 2, 3, 4, 5, 6, 7, 0xC5};
  cut.Trailer.clear();
  EXPECT_EQ(ReadFailure(cut.Build(), g), "PCX: Unexpected end of file");
  ASSERT_EQ(g.GetHeight(), 3);
  EXPECT_EQ(g.GetPixelColor(1, 0), RGB(2, 4, 6));
}

TEST(PCXFormat, Info) {
  struct {
    uint8_t version, bits, planes;
    const char* subFormat;
    int bitCount;
    const char* colors;
  } const cases[] = {
      {0, 1, 1, "Version 2.5 (0)", 1, "2"},
      {2, 1, 4, "Version 2.8 (2) with Palette", 4, "16"},
      {3, 8, 1, "Version 2.8 (3) without Palette", 8, "256"},
      {5, 8, 3, "Version 3.0 (5)", 24, "16.7M"},
      {4, 8, 4, "", 32, "4294967296"},
      {5, 255, 255, "Version 3.0 (5)", 65025, "2^65025"},
  };
  for (const auto& c : cases) {
    TPCXFile f;
    f.Version = c.version;
    f.BitsPerPixel = c.bits;
    f.Planes = c.planes;
    f.XMin = 3;
    f.Width = 640;
    f.Height = 480;
    TMemoryStream s;
    Fill(s, f.Build());
    TFileFormatInfo info;
    TPCXFileFormatReader().ReadInfo(s, 0, info);
    EXPECT_EQ(info.SubFormat, c.subFormat);
    EXPECT_EQ(info.BitCount, c.bitCount);
    EXPECT_EQ(info.ColorCount, c.colors);
    EXPECT_EQ(info.Width, 640);
    EXPECT_EQ(info.Height, 480);
  }
  TPCXFile grey;
  grey.PaletteInfo = 2;
  TMemoryStream s;
  Fill(s, grey.Build());
  TFileFormatInfo info;
  for (int index : {0, 1}) {
    try {
      TPCXFileFormatReader().ReadInfo(s, index, info);
      ADD_FAILURE();
    } catch (const EPGPCXFileFormatReader& e) {
      EXPECT_STREQ(e.what(), index == 0 ? "PCX: Unknown subformat" : "PCX: Invalid value for Index");
    }
  }
}

TEST(PCXFormat, ProgressEvents) {
  TPCXFileFormatReader reader;
  TPixelGraphic g;
  std::string log;
  g.OnProgressStart = [&](TObject* sender) { log += sender == &reader ? "[" : "?"; };
  g.OnProgress = [&](TObject* sender, int step, int max, bool& abort) {
    log += (sender == &reader ? "r" : "?") + std::to_string(step) + "/" + std::to_string(max);
    abort = step == 1;
  };
  g.OnProgressEnd = [&](TObject* sender) { log += sender == &reader ? "]" : "?"; };
  TPCXFile f;
  f.Height = 3;
  f.Planes = 3;
  f.Data = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  TMemoryStream s;
  Fill(s, f.Build());
  reader.Read(s, g, 0);
  EXPECT_EQ(log, "[r0/3r1/3]");
  EXPECT_EQ(g.GetPixelColor(0, 1), RGB(4, 5, 6));
  EXPECT_EQ(g.GetPixelColor(0, 2), 0u);

  log.clear();
  f.Data.resize(4);
  TMemoryStream cut;
  Fill(cut, f.Build());
  EXPECT_THROW(reader.Read(cut, g, 0), EPGPCXFileFormatReader);
  EXPECT_EQ(log, "[r0/3]");
}

// Netpbm and ImageMagick as the peers that write the files, netpbm as the
// one whose reading counts.

TEST(PCXFormat, ReadsWhatNetpbmAndImageMagickWrite) {
  if (!HaveTools("ppmtopcx pcxtoppm ppmquant pgmramp pgmtopbm pnmtoplainpnm /usr/bin/convert"))
    GTEST_SKIP() << "netpbm or ImageMagick is not installed";
  const TTempDirectory dir;
  ASSERT_FALSE(dir.Path.empty());
  const std::string src = dir / "src.ppm";
  ASSERT_EQ(Shell("/usr/bin/convert -size 37x11 -seed 4 plasma:fractal -depth 8 " + src), "");

  struct {
    const char* name;
    const char* command;  // writes $F from $S
    uint8_t bits, planes;
  } const files[] = {
      {"netpbm 1 bit", "pgmramp -diagonal 37 11 | pgmtopbm | ppmtopcx > $F", 1, 1},
      {"netpbm 4 planes", "ppmquant 16 $S | ppmtopcx -planes=4 > $F", 1, 4},
      {"netpbm 8 bits", "ppmquant 200 $S | ppmtopcx -8bit > $F", 8, 1},
      {"netpbm 24 bits", "ppmtopcx -24bit $S > $F", 8, 3},
      {"ImageMagick 8 bits", "/usr/bin/convert $S -colors 200 PCX:$F", 8, 1},
      {"ImageMagick 24 bits", "/usr/bin/convert $S PCX:$F", 8, 3},
      // Layouts that are not read.
      {"netpbm 2 planes", "ppmquant 4 $S | ppmtopcx -planes=2 > $F", 1, 2},
      {"netpbm packed 2 bits", "ppmquant 4 $S | ppmtopcx -packed > $F", 2, 1},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    const std::string file = dir / "f.pcx";
    ASSERT_EQ(Shell("S=" + src + " F=" + file + "; " + f.command), "");
    const Bytes bytes = FileBytes(file);
    ASSERT_GT(bytes.size(), 128u);
    ASSERT_EQ(bytes[3], f.bits);
    ASSERT_EQ(bytes[65], f.planes);
    if (f.bits * f.planes == 2) {
      EXPECT_EQ(ReadFailure(bytes), "PCX: Unknown subformat");
      continue;
    }
    int width = 0, height = 0;
    const std::vector<TRGB> expected =
        PlainPixmapColors(Shell("pcxtoppm " + file + " | pnmtoplainpnm"), width, height);
    ASSERT_EQ(expected.size(), size_t(width) * size_t(height));
    // ImageMagick takes set bits for black in one-plane bitmaps, unlike netpbm
    // and the header's palette.
    if (f.bits * f.planes != 1) {
      EXPECT_EQ(PlainPixmapColors(Shell("/usr/bin/convert " + file + " -depth 8 -compress none ppm:-"), width, height),
                expected);
    }
    TPixelGraphic g;
    TMemoryStream s;
    Fill(s, bytes);
    ASSERT_EQ(FindReader(s, "")->Extension(), "pcx");
    FindReader(s, "")->Read(s, g, 0);
    ASSERT_EQ(g.GetWidth(), width);
    ASSERT_EQ(g.GetHeight(), height);
    EXPECT_EQ(Colors(g), expected);
  }
}

}  // namespace
