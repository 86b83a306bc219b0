#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "codecpeer.h"
#include "failuremessage.h"
#include "formatoptions.h"
#include "formatregistry.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "pxmformat.h"
#include "stream.h"

namespace {

using namespace codecpeer;
using Bytes = std::vector<uint8_t>;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

void ReadPxM(const Bytes& bytes, TPixelGraphic& g) { ReadWith<TPPMFileFormatReader>(bytes, g); }

std::string ReadFailure(const Bytes& bytes, TPixelGraphic& g, int index = 0) {
  return Failure<EPGPxMFileFormatReader>([&] { ReadWith<TPGMFileFormatReader>(bytes, g, index); });
}

std::string ReadFailure(const Bytes& bytes, int index = 0) {
  TPixelGraphic g;
  return ReadFailure(bytes, g, index);
}

TRGB Gray(uint32_t v) { return RGB(v, v, v); }

std::string Written(TFileFormatWriter& writer, TPixelGraphic& g, bool binary) {
  PXMWriteBinary = binary;
  TMemoryStream s;
  writer.Write(s, g);
  PXMWriteBinary = false;
  return std::string(reinterpret_cast<const char*>(s.Memory()), size_t(s.Size()));
}

// Random pictures of the kind each writer takes.
void RandomPicture(TPixelGraphic& g, int kind, int32_t width, int32_t height, unsigned seed) {
  static constexpr uint8_t codes[3] = {0, 2, 3};
  g.SetSize(width, height, codes[kind]);
  if (kind == 0) g.SetPaletteIdent(pBlackWhite);
  if (kind == 1) g.SetPaletteIdent(pGray256);
  std::mt19937 random(seed);
  RandomPixels(g, random);
}

TEST(PxMFormat, RegisteredReadersAndWriters) {
  const auto reader = [](const std::string& ext) -> TFileFormatReader* {
    for (const auto& r : FileFormatReaders())
      if (r->Extension() == ext) return r.get();
    return nullptr;
  };
  const std::string kinds = "pbm pgm ppm pbm pgm ppm";
  for (char digit = '0'; digit <= '7'; ++digit) {
    TFileHeader h{};
    h[0] = 'P';
    h[1] = uint8_t(digit);
    for (const char* ext : {"pbm", "pgm", "ppm"}) {
      ASSERT_NE(reader(ext), nullptr);
      const bool expected = digit >= '1' && digit <= '6' && kinds.substr(size_t(digit - '1') * 4, 3) == ext;
      EXPECT_EQ(reader(ext)->CheckSignature(h), expected) << digit << " " << ext;
    }
  }
  TMemoryStream s;
  Fill(s, Text("P5\n1 1\n255\n\x7F"));
  EXPECT_EQ(FindReader(s, "ppm")->Extension(), "pgm");
  EXPECT_EQ(FindWriter("PBM")->CanWriteResolutions().Bits(), 0x01);
  EXPECT_EQ(FindWriter("pgm")->CanWriteResolutions().Bits(), 0x20);
  EXPECT_EQ(FindWriter("ppm")->CanWriteResolutions().Bits(), 0x80);
  EXPECT_EQ(FindWriter("ppm")->Description(), "Portable Pixelmap");
  EXPECT_EQ(FindWriter("pgm")->ClassName(), "TPGMFileFormatWriter");
}

TEST(PxMFormat, AsciiNumbersCommentsAndScaling) {
  TPixelGraphic g;
  g.SetGamma(1.0L);
  ReadPxM(Text("P2 # comment 9 9\n3 2 15\n0 1 2\n3 14 15\n"), g);
  EXPECT_EQ(g.Gamma(), ScreenGamma);
  EXPECT_EQ(g.BitCountNum(), 2);
  EXPECT_EQ(g.PaletteIdent(), pGray256);
  EXPECT_EQ(Colors(g), (std::vector<TRGB>{Gray(0), Gray(17), Gray(34), Gray(51), Gray(238), Gray(255)}));

  // Letters are skipped, a comment may end a number, the last digit may end
  // the file, and samples above the maximum count as the maximum.
  ReadPxM(Text("P3\n2x1#7\n200\n200 0 100 zz 50 1 300"), g);
  EXPECT_EQ(g.BitCountNum(), 3);
  EXPECT_EQ(Colors(g), (std::vector<TRGB>{RGB(255, 0, 127), RGB(63, 1, 255)}));

  // Plain bitmap samples are single digits, with or without white space.
  ReadPxM(Text("P1\n4 1\n0110 0 1 00"), g);
  EXPECT_EQ(g.BitCountNum(), 0);
  EXPECT_EQ(g.PaletteIdent(), pBlackWhite);
  EXPECT_EQ(Colors(g), (std::vector<TRGB>{0xFFFFFF, 0, 0, 0xFFFFFF}));
  ReadPxM(Text("P1 3 2 1#c\n0 1x1 0\n0"), g);
  EXPECT_EQ(Colors(g), (std::vector<TRGB>{0, 0xFFFFFF, 0, 0, 0xFFFFFF, 0xFFFFFF}));

  // ASCII files may have any maximum.
  ReadPxM(Text("P2\n2 1\n65535\n65535 32768\n"), g);
  EXPECT_EQ(Colors(g), (std::vector<TRGB>{Gray(255), Gray(127)}));
  ReadPxM(Text("P2\n1 1\n99999999999\n99999999999\n"), g);
  EXPECT_EQ(Colors(g), (std::vector<TRGB>{Gray(255)}));
}

TEST(PxMFormat, BinaryRows) {
  TPixelGraphic g;
  // Width 10 takes two bytes per row; the bits are inverted on the way in.
  ReadPxM(Text("P4\n10 2\n\xF0\x40\x0F\xFF"), g);
  ASSERT_EQ(g.GetWidth(), 10);
  EXPECT_EQ(g.ScanLine(0)[0], 0x0F);
  EXPECT_EQ(g.ScanLine(0)[1] & 0xC0, 0x80);
  EXPECT_EQ(g.ScanLine(1)[0], 0xF0);
  EXPECT_EQ(g.GetPixel(9, 1), 0u);

  // One separator only: the line feed after it is the first sample.
  ReadPxM(Text("P5 2 1 15\n\n\x0F"), g);
  EXPECT_EQ(Colors(g), (std::vector<TRGB>{Gray(170), Gray(255)}));

  ReadPxM(Text("P6\n2 1\n255\n\x01\x02\x03\xFA\xFB\xFC"), g);
  EXPECT_EQ(Colors(g), (std::vector<TRGB>{RGB(1, 2, 3), RGB(250, 251, 252)}));
  EXPECT_EQ(g.ScanLine(0)[0], 3);
  ReadPxM(Text("P6\n1 1\n100\n\x64\x32\xC8"), g);
  EXPECT_EQ(Colors(g), (std::vector<TRGB>{RGB(255, 127, 255)}));

  // Above 255, two bytes per sample, most significant first.
  ReadPxM(Text(std::string("P5 3 1 65535\n\xFF\xFF\x80\x00\x00\x00", 19)), g);
  EXPECT_EQ(g.PaletteIdent(), pGray256);
  EXPECT_EQ(Colors(g), (std::vector<TRGB>{Gray(255), Gray(127), Gray(0)}));
  ReadPxM(Text(std::string("P6 1 1 1023\n\x03\xFF\x00\x01\x02\x00", 18)), g);
  EXPECT_EQ(Colors(g), (std::vector<TRGB>{RGB(255, 0, 127)}));
}

TEST(PxMFormat, ReadRefusals) {
  EXPECT_EQ(ReadFailure(Text("P5\n1 1\n255\n\x01"), 1), "PxM: Index invalid");
  EXPECT_EQ(ReadFailure(Text("")), "PBM, PGM, PPM: Not a PBM, PGM, PPM file");
  EXPECT_EQ(ReadFailure(Text(" P5\n1 1\n255\n\x01")), "PBM, PGM, PPM: Not a PBM, PGM, PPM file");
  EXPECT_EQ(ReadFailure(Text("P7\n1 1\n255\n\x01")), "PBM, PGM, PPM: Unknown subformat");
  EXPECT_EQ(ReadFailure(Text("P5\n1 1\n65536\n\x01\x02")), "PBM, PGM, PPM: Not supported subformat");
  EXPECT_EQ(ReadFailure(Text("P5\n2 1\n65535\n\x01\x02\x03")), "PBM, PGM, PPM: Unexpected end of file");
  EXPECT_EQ(ReadFailure(Text("P6\n0 1\n255\n")), "PBM, PGM, PPM: Not supported subformat");
  EXPECT_EQ(ReadFailure(Text("P2\n1 1\n0\n0\n")), "PBM, PGM, PPM: Not supported subformat");
  EXPECT_EQ(ReadFailure(Text("P2\n3000000000 1\n255\n0\n")), "PBM, PGM, PPM: Not supported subformat");
  EXPECT_EQ(ReadFailure(Text("P2\n2 2")), "PBM, PGM, PPM: Unexpected end of file");
  EXPECT_EQ(ReadFailure(Text("P5\n2 2\n255\n\x01\x02\x03")), "PBM, PGM, PPM: Unexpected end of file");

  // A header larger than its file sets no memory aside.
  TPixelGraphic g;
  EXPECT_EQ(ReadFailure(Text("P6\n2000000000 2000000000\n255\n\x01"), g), "PBM, PGM, PPM: Unexpected end of file");
  EXPECT_TRUE(g.GetEmpty());

  // Rows read before the end stay.
  EXPECT_EQ(ReadFailure(Text("P2\n2 3\n255\n10 20 30 4 "), g), "PBM, PGM, PPM: Unexpected end of file");
  ASSERT_EQ(g.GetHeight(), 3);
  EXPECT_EQ(g.GetPixel(0, 0), 10u);
  EXPECT_EQ(g.GetPixel(1, 1), 4u);
}

TEST(PxMFormat, Info) {
  struct {
    const char* file;
    const char* subFormat;
    int bitCount;
    const char* colors;
  } const cases[] = {
      {"P1 #c\n12 34\n", "ASCII", 1, "2"},       {"P5\n12\n34 255\n", "Binary", 8, "256"},
      {"P3 12 34 65535\n", "ASCII", 24, "16.7M"}, {"P4 12 34", "Binary", 1, "2"},
      {"P5 12 34 65535\n", "Binary, 16 bits per sample", 16, "65536"},
      {"P6 12 34 1023\n", "Binary, 16 bits per sample", 48, "16.7M"},  {"P6 12 34", "Binary", 24, "16.7M"},
  };
  for (const auto& c : cases) {
    TMemoryStream s;
    Fill(s, Text(c.file));
    TFileFormatInfo info;
    info.FormatDescription = "kept";
    TPBMFileFormatReader().ReadInfo(s, 0, info);
    EXPECT_EQ(info.SubFormat, c.subFormat);
    EXPECT_EQ(info.BitCount, c.bitCount);
    EXPECT_EQ(info.ColorCount, c.colors);
    EXPECT_EQ(info.Width, 12);
    EXPECT_EQ(info.Height, 34);
    EXPECT_EQ(info.ImageCount, 1);
    EXPECT_EQ(info.FormatDescription, "kept");
  }
  TMemoryStream s;
  Fill(s, Text("P9 1 1"));
  TFileFormatInfo info;
  EXPECT_THROW(TPBMFileFormatReader().ReadInfo(s, 0, info), EPGPxMFileFormatReader);
  try {
    TPBMFileFormatReader().ReadInfo(s, 2, info);
  } catch (const EPGPxMFileFormatReader& e) {
    EXPECT_STREQ(e.what(), "PBM, PGM, PPM: Invalid value for Index");
  }
}

TEST(PxMFormat, WrittenBytes) {
  TPixelGraphic g;
  g.SetSize(10, 2, 0);
  g.SetPaletteIdent(pBlackWhite);
  g.SetPixel(0, 0, 1);
  g.SetPixel(9, 1, 1);
  TPBMFileFormatWriter pbm;
  EXPECT_EQ(Written(pbm, g, false), "P1\n10 2\n0 1 1 1 1 1 1 1 1 1\n1 1 1 1 1 1 1 1 1 0\n");
  const std::string binary = Written(pbm, g, true);
  EXPECT_EQ(binary.substr(0, 8), "P4\n10 2\n");
  EXPECT_EQ(Bytes(binary.begin() + 8, binary.end()), (Bytes{0x7F, 0xFF, 0xFF, 0xBF}));

  g.SetSize(3, 1, 2);
  g.SetPaletteIdent(pGray256);
  g.SetPixel(0, 0, 7);
  g.SetPixel(1, 0, 255);
  TPGMFileFormatWriter pgm;
  EXPECT_EQ(Written(pgm, g, false), "P2\n3 1\n255\n7 255 0\n");
  EXPECT_EQ(Written(pgm, g, true), std::string("P5\n3 1\n255\n\x07\xFF\x00", 14));

  g.SetSize(2, 2, 3);
  g.SetPixel(0, 0, RGB(1, 20, 255));
  g.SetPixel(1, 1, RGB(100, 0, 9));
  TPPMFileFormatWriter ppm;
  EXPECT_EQ(Written(ppm, g, false), "P3\n2 2\n255\n1 20 255 0 0 0\n0 0 0 100 0 9\n");
  EXPECT_EQ(Written(ppm, g, true), std::string("P6\n2 2\n255\n\x01\x14\xFF\0\0\0\0\0\0\x64\x00\x09", 23));
}

class TPxMTestWriter : public TPXMFileFormatWriter {
public:
  TPxMTestWriter() : TPXMFileFormatWriter("TPxMTestWriter", "pxm", "Test", crTrueColor) {}
};

TEST(PxMFormat, WriteRefusals) {
  const auto failure = [](TFileFormatWriter&& writer, TPixelGraphic& g) -> std::string {
    TMemoryStream s;
    try {
      writer.Write(s, g);
    } catch (const EPGPxMFileFormatWriter& e) {
      EXPECT_EQ(s.Size(), 0);
      return e.what();
    }
    return "no failure";
  };
  TPixelGraphic g;
  g.SetSize(2, 2, 3);
  EXPECT_EQ(failure(TPxMTestWriter(), g), "PBM, PGM, PPM: Unknown file extension \"pxm\"");
  EXPECT_EQ(failure(TPGMFileFormatWriter(), g), "PGM: Invalid color resolution");
  EXPECT_EQ(failure(TPBMFileFormatWriter(), g), "PBM: Invalid color resolution");
  g.SetSize(2, 0, 3);
  EXPECT_EQ(failure(TPPMFileFormatWriter(), g), "PBM, PGM, PPM: Width = 0 or Height = 0");
  // The palette must be the one the samples mean, at the depth the file has.
  g.SetSize(2, 2, 0);
  g.SetPaletteCount(2);
  g.SetPaletteEntries(0, 0xFFFFFF);
  EXPECT_EQ(failure(TPBMFileFormatWriter(), g), "PBM: Invalid color resolution");
  EXPECT_EQ(failure(TPPMFileFormatWriter(), g), "PPM: Invalid color resolution");
  g.SetSize(2, 2, 2);
  g.SetPaletteIdent(pBlackWhite);
  EXPECT_EQ(failure(TPBMFileFormatWriter(), g), "PBM: Invalid color resolution");
  g.SetPaletteIdent(pSpecial216);
  EXPECT_EQ(failure(TPGMFileFormatWriter(), g), "PGM: Invalid color resolution");
}

TEST(PxMFormat, RoundTripOfAllSixVariants) {
  TFileFormatWriter* writers[3] = {FindWriter("pbm"), FindWriter("pgm"), FindWriter("ppm")};
  // Rows longer than the 1024-byte blocks, and widths that pad.
  for (int32_t width : {1, 13, 701}) {
    for (int kind = 0; kind < 3; ++kind) {
      for (bool binary : {false, true}) {
        SCOPED_TRACE(std::to_string(width) + " " + std::to_string(kind) + (binary ? " binary" : " ascii"));
        TPixelGraphic src;
        RandomPicture(src, kind, width, 5, unsigned(width + kind));
        TMemoryStream s;
        PXMWriteBinary = binary;
        writers[kind]->Write(s, src);
        PXMWriteBinary = false;
        s.SetPosition(0);
        TFileFormatReader* reader = FindReader(s, "");
        ASSERT_NE(reader, nullptr);
        EXPECT_EQ(reader->Extension(), writers[kind]->Extension());
        TPixelGraphic back;
        reader->Read(s, back, 0);
        EXPECT_EQ(back.BitCountNum(), src.BitCountNum());
        EXPECT_EQ(back.PaletteIdent(), src.PaletteIdent());
        EXPECT_EQ(Colors(back), Colors(src));
      }
    }
  }
}

TEST(PxMFormat, ProgressEvents) {
  TPPMFileFormatReader reader;
  TPixelGraphic g;
  std::string log;
  int abortAt = -1;
  g.OnProgressStart = [&](TObject* sender) { log += sender == &reader ? "[" : "<"; };
  g.OnProgress = [&](TObject* sender, int step, int max, bool& abort) {
    log += (sender == &reader ? "r" : "g") + std::to_string(step) + "/" + std::to_string(max);
    abort = step == abortAt;
  };
  g.OnProgressEnd = [&](TObject* sender) { log += sender == &reader ? "]" : ">"; };
  TMemoryStream s;
  Fill(s, Text("P2\n1 3\n255\n1 2 3\n"));
  reader.Read(s, g, 0);
  EXPECT_EQ(log, "[r0/3r1/3r2/3]");

  log.clear();
  abortAt = 0;
  TMemoryStream aborted;
  Fill(aborted, Text("P2\n1 3\n255\n4 5 6\n"));
  reader.Read(aborted, g, 0);
  EXPECT_EQ(log, "[r0/3]");
  EXPECT_EQ(g.GetPixel(0, 0), 4u);
  EXPECT_EQ(g.GetPixel(0, 1), 0u);

  log.clear();
  abortAt = -1;
  TMemoryStream broken;
  Fill(broken, Text("P2\n1 3\n255\n4 5 x"));
  EXPECT_THROW(reader.Read(broken, g, 0), EPGPxMFileFormatReader);
  EXPECT_EQ(log, "[r0/3r1/3]");

  // Writing reports with the graphic as sender and does not stop.
  log.clear();
  g.SetPaletteIdent(pGray256);
  TMemoryStream out;
  FindWriter("pgm")->Write(out, g);
  EXPECT_EQ(log, "<g0/3g1/3g2/3>");
}

// Netpbm and ImageMagick as the peers.

bool HavePeers() { return HaveTools("pgmramp pgmtopbm pamdepth pbmmake pnmtoplainpnm /usr/bin/convert"); }

// A plain (ASCII) PNM as the peers write it: samples in file order.
struct TPlainPNM {
  char Kind = 0;
  int Width = 0, Height = 0;
  uint32_t MaxValue = 1;
  std::vector<uint32_t> Samples;

  explicit TPlainPNM(const std::string& text) {
    std::istringstream in(text);
    std::string magic;
    in >> magic;
    if (magic.size() != 2 || magic[0] != 'P') return;
    Kind = magic[1];
    in >> Width >> Height;
    if (Kind != '1') in >> MaxValue;
    char c;
    uint32_t v;
    while (Kind == '1' ? bool(in >> c) : bool(in >> v)) Samples.push_back(Kind == '1' ? uint32_t(c - '0') : v);
  }
};

// What the peer reads, in our terms: colours scaled by truncation to 0..255.
std::vector<TRGB> PeerColors(const TPlainPNM& p) {
  std::vector<TRGB> c;
  const auto scale = [&](uint32_t v) { return uint32_t(uint64_t(v) * 255 / p.MaxValue); };
  for (size_t i = 0; i < p.Samples.size(); i += p.Kind == '3' ? 3 : 1) {
    if (p.Kind == '1')
      c.push_back(p.Samples[i] ? 0 : 0xFFFFFF);
    else if (p.Kind == '2')
      c.push_back(Gray(scale(p.Samples[i])));
    else
      c.push_back(RGB(scale(p.Samples[i]), scale(p.Samples[i + 1]), scale(p.Samples[i + 2])));
  }
  return c;
}

TEST(PxMFormat, ReadsWhatNetpbmAndImageMagickWrite) {
  if (!HavePeers()) GTEST_SKIP() << "netpbm or ImageMagick is not installed";
  const TTempDirectory dir;
  const std::string d = dir.Path + "/";
  const std::string src = d + "src.ppm";
  ASSERT_EQ(Shell("/usr/bin/convert -size 13x7 -seed 4 plasma:fractal -depth 8 " + src), "");
  struct {
    const char* name;
    const char* command;  // writes the file to $F
  } const files[] = {
      {"P4 pbmmake", "pbmmake -gray 13 7 > $F"},
      {"P4 threshold", "pgmramp -lr 13 7 | pgmtopbm -threshold > $F"},
      {"P5 255", "pgmramp -diagonal 13 7 > $F"},
      {"P5 15", "pgmramp -lr 13 7 | pamdepth 15 > $F"},
      {"P6 255", "cp $S $F"},
      {"P6 15", "pamdepth 15 $S > $F"},
      {"P6 200", "pamdepth 200 $S > $F"},
      {"P5 15 ImageMagick", "/usr/bin/convert $S -depth 4 pgm:$F"},
      {"P1 ImageMagick", "/usr/bin/convert $S -monochrome -compress none pbm:$F"},
      {"P2 255", "pgmramp -lr 13 7 | pnmtoplainpnm > $F"},
      {"P2 65535", "pgmramp -lr 13 7 | pamdepth 65535 | pnmtoplainpnm > $F"},
      {"P3 15", "pamdepth 15 $S | pnmtoplainpnm > $F"},
      {"P3 65535 ImageMagick", "/usr/bin/convert $S -depth 16 -compress none ppm:$F"},
      {"P2 ImageMagick", "/usr/bin/convert $S -compress none pgm:$F"},
      {"P5 65535", "pgmramp -lr 13 7 | pamdepth 65535 > $F"},
      {"P6 65535", "pamdepth 65535 $S > $F"},
      {"P6 1023", "pamdepth 1023 $S > $F"},
      {"P6 65535 ImageMagick", "/usr/bin/convert $S -depth 16 ppm:$F"},
      {"P1 netpbm", "pbmmake -gray 13 7 | pnmtoplainpnm > $F"},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.name);
    const std::string file = d + "f.pnm";
    ASSERT_EQ(Shell("S=" + src + " F=" + file + "; " + f.command), "");
    const TPlainPNM peer(Shell("pnmtoplainpnm " + file));
    ASSERT_EQ(size_t(peer.Width) * size_t(peer.Height) * (peer.Kind == '3' ? 3 : 1), peer.Samples.size());
    TPixelGraphic g;
    ReadPxM(FileBytes(file), g);
    ASSERT_EQ(g.GetWidth(), peer.Width);
    ASSERT_EQ(g.GetHeight(), peer.Height);
    EXPECT_EQ(Colors(g), PeerColors(peer));
  }
}

TEST(PxMFormat, NetpbmAndImageMagickReadWhatItWrites) {
  if (!HavePeers()) GTEST_SKIP() << "netpbm or ImageMagick is not installed";
  const TTempDirectory dir;
  const char* extensions[3] = {"pbm", "pgm", "ppm"};
  for (int kind = 0; kind < 3; ++kind) {
    for (bool binary : {false, true}) {
      SCOPED_TRACE(std::string(extensions[kind]) + (binary ? " binary" : " ascii"));
      TPixelGraphic g;
      RandomPicture(g, kind, 203, 9, unsigned(kind));
      const std::string file = dir / ("ours." + std::string(extensions[kind]));
      {
        TFileStream s(file, fmCreate);
        PXMWriteBinary = binary;
        FindWriter(extensions[kind])->Write(s, g);
        PXMWriteBinary = false;
      }
      EXPECT_EQ(PeerColors(TPlainPNM(Shell("pnmtoplainpnm " + file))), Colors(g));
      // ImageMagick as a second reader, asked for plain pixmaps of 8 bits.
      EXPECT_EQ(PeerColors(TPlainPNM(Shell("/usr/bin/convert " + file + " -depth 8 -compress none ppm:-"))),
                Colors(g));
    }
  }
}

}  // namespace
