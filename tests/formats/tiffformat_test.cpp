#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "alphablend.h"
#include "codecpeer.h"
#include "failuremessage.h"
#include "formatoptions.h"
#include "formatregistry.h"
#include "langstr.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "pngformat.h"
#include "scriptedplatform.h"
#include "stream.h"
#include "tiffformat.h"
#include "tifflibreader.h"
#include "tiffpackbits.h"

namespace {

using namespace codecpeer;
using Bytes = std::vector<uint8_t>;

// Builds TIFF files entry by entry: header, data blocks, then the IFD with
// the values that do not fit into their entries.
struct TTIFFBuilder {
  struct TEntry {
    uint16_t Tag, Type;
    std::vector<uint32_t> Values;
  };
  bool Big = false;
  Bytes Data;
  std::vector<TEntry> Entries;
  uint32_t NextIFD = 0;

  uint32_t AddData(const Bytes& b) {
    Data.insert(Data.end(), b.begin(), b.end());
    return uint32_t(8 + Data.size() - b.size());
  }
  TTIFFBuilder& Set(uint16_t tag, uint16_t type, std::vector<uint32_t> values) {
    Entries.push_back({tag, type, std::move(values)});
    return *this;
  }
  TTIFFBuilder& Drop(uint16_t tag) {
    std::erase_if(Entries, [&](const TEntry& e) { return e.Tag == tag; });
    return *this;
  }
  void Put(Bytes& b, size_t at, uint32_t v, int size) const {
    for (int i = 0; i < size; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * (Big ? size - 1 - i : i)));
  }
  Bytes Build() const {
    Bytes b(8 + Data.size());
    b[0] = b[1] = Big ? 'M' : 'I';
    Put(b, 2, 42, 2);
    std::copy(Data.begin(), Data.end(), b.begin() + 8);
    if (b.size() & 1) b.push_back(0);
    const size_t ifd = b.size();
    Put(b, 4, uint32_t(ifd), 4);
    b.resize(ifd + 6 + 12 * Entries.size());
    Put(b, ifd, uint32_t(Entries.size()), 2);
    Put(b, b.size() - 4, NextIFD, 4);
    for (size_t i = 0; i < Entries.size(); ++i) {
      const TEntry& e = Entries[i];
      const size_t at = ifd + 2 + 12 * i;
      const int size = e.Type == 1 ? 1 : e.Type == 3 ? 2 : 4;
      Put(b, at, e.Tag, 2);
      Put(b, at + 2, e.Type, 2);
      Put(b, at + 4, uint32_t(e.Values.size()), 4);
      size_t place = at + 8;
      if (e.Values.size() * size_t(size) > 4) {
        Put(b, at + 8, uint32_t(b.size()), 4);
        place = b.size();
        b.resize(b.size() + e.Values.size() * size_t(size));
      }
      for (uint32_t v : e.Values) Put(b, (place += size) - size, v, size);
    }
    return b;
  }
};

// A one-strip image of the given samples around pixel data.
TTIFFBuilder Image(uint32_t width, uint32_t height, std::vector<uint32_t> bits, uint32_t photometric,
                   const Bytes& pixels, uint32_t compression = 1) {
  TTIFFBuilder t;
  const uint32_t samples = uint32_t(bits.size());
  t.Set(256, 4, {width}).Set(257, 4, {height}).Set(258, 3, std::move(bits)).Set(259, 3, {compression});
  t.Set(262, 3, {photometric}).Set(273, 4, {t.AddData(pixels)}).Set(277, 3, {samples});
  return t;
}

// The same image with its strip after the IFD, at the very end of the file.
Bytes WithStripAtEnd(TTIFFBuilder t, const Bytes& strip) {
  t.Drop(273).Set(273, 4, {0});
  const uint32_t offset = uint32_t(t.Build().size());
  Bytes b = t.Drop(273).Set(273, 4, {offset}).Build();
  b.insert(b.end(), strip.begin(), strip.end());
  return b;
}

// Sets the count of the entry with the tag in a little-endian file.
void SetCount(Bytes& b, uint16_t tag, uint32_t count) {
  const size_t ifd = b[4] | (b[5] << 8);
  for (size_t e = ifd + 2; e + 12 <= b.size(); e += 12)
    if ((b[e] | (b[e + 1] << 8)) == tag)
      for (int i = 0; i < 4; ++i) b[e + 4 + size_t(i)] = uint8_t(count >> (8 * i));
}

TMemoryStream& Filled(TMemoryStream& s, const Bytes& b) {
  Fill(s, b);
  return s;
}

void ReadTIFF(const Bytes& b, TPixelGraphic& g, int index = 0) { ReadWith<TTIFFileFormatReader>(b, g, index); }

// The TIFF reader's exceptions unless told otherwise.
template <class E = EPGTIFFileFormatReader>
std::string Failure(const std::function<void()>& action) {
  return ::Failure<E>(action);
}

std::string ReadFailure(const Bytes& b, int index = 0) {
  TPixelGraphic g;
  g.SetReadWarningAction(pgwaRaise);
  return Failure([&] { ReadTIFF(b, g, index); });
}

TFileFormatInfo InfoOf(const Bytes& b) { return InfoWith<TTIFFileFormatReader>(b); }

const TRGB Black = 0, White = 0xFFFFFF;

TEST(TIFFFormat, SignatureAndRegistration) {
  const TTIFFileFormatReader reader;
  EXPECT_TRUE(reader.CheckSignature({'I', 'I', 42, 0}));
  EXPECT_TRUE(reader.CheckSignature({'M', 'M', 0, 42}));
  EXPECT_FALSE(reader.CheckSignature({'I', 'I', 0, 42}));
  EXPECT_FALSE(reader.CheckSignature({'M', 'I', 0, 42}));
  TMemoryStream s;
  const TFileFormatReader* found = FindReader(Filled(s, Image(1, 1, {8}, 1, {0}).Build()), "bmp");
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->Extension(), "tif");
  EXPECT_EQ(found->Description(), "Tagged Image File Format");
  for (const char* extension : {"tif", "TIFF"}) {
    const TFileFormatWriter* writer = FindWriter(extension);
    ASSERT_NE(writer, nullptr);
    EXPECT_EQ(writer->CanWriteResolutions().Bits(), 0xFD);
    EXPECT_EQ(writer->Listed(), extension[1] == 'i');
  }
}

TEST(TIFFFormat, ReadsEveryLayout) {
  for (const bool big : {false, true}) {
    SCOPED_TRACE(big ? "MM" : "II");
    TPixelGraphic g;
    const auto read = [&](TTIFFBuilder t) {
      t.Big = big;
      ReadTIFF(t.Build(), g);
      return Colors(g);
    };
    // Bilevel: WhiteIsZero is inverted, a ColorMap is of no use.
    EXPECT_EQ(read(Image(10, 1, {1}, 1, {0xA0, 0x40})), (std::vector<TRGB>{White, Black, White, Black, Black, Black,
                                                                              Black, Black, Black, White}));
    EXPECT_EQ(read(Image(3, 1, {1}, 0, {0xA0})), (std::vector<TRGB>{Black, White, Black}));
    EXPECT_EQ(g.PaletteIdent(), pBlackWhite);
    EXPECT_EQ(read(Image(2, 1, {1}, 3, {0x40}).Set(320, 3, std::vector<uint32_t>(6, 0x8000))),
              (std::vector<TRGB>{Black, White}));
    // 4 and 8 bits: grey ramps, counting down with WhiteIsZero, or a ColorMap.
    EXPECT_EQ(read(Image(3, 1, {4}, 1, {0x1F, 0x30})), (std::vector<TRGB>{0x111111, White, 0x333333}));
    EXPECT_EQ(g.PaletteIdent(), pGray16);
    EXPECT_EQ(read(Image(3, 1, {4}, 0, {0x1F, 0x30})), (std::vector<TRGB>{0xEEEEEE, Black, 0xCCCCCC}));
    EXPECT_EQ(read(Image(2, 1, {8}, 0, {0x10, 0xFF})), (std::vector<TRGB>{0xEFEFEF, Black}));
    EXPECT_EQ(g.PaletteIdent(), pGray256);
    std::vector<uint32_t> map(48, 0);
    map[1] = 0x12FF, map[16 + 1] = 0x3400, map[32 + 1] = 0x56AB;
    EXPECT_EQ(read(Image(2, 1, {4}, 3, {0x10}).Set(320, 3, map)), (std::vector<TRGB>{RGB(0x12, 0x34, 0x56), Black}));
    EXPECT_EQ(g.PaletteCount(), 16);
    EXPECT_EQ(read(Image(2, 1, {8}, 3, {1, 0}).Set(320, 3, {0, 0xFF00, 0, 0x8000, 0, 0x100})),
              (std::vector<TRGB>{RGB(0xFF, 0x80, 1), Black}));
    EXPECT_EQ(g.PaletteCount(), 2);
    // RGB with and without an extra sample, and CMYK clipped at 0.
    EXPECT_EQ(read(Image(2, 1, {8, 8, 8}, 2, {1, 2, 3, 4, 5, 6})), (std::vector<TRGB>{RGB(1, 2, 3), RGB(4, 5, 6)}));
    EXPECT_EQ(read(Image(1, 1, {8, 8, 8, 8}, 2, {1, 2, 3, 4})), (std::vector<TRGB>{RGB(1, 2, 3)}));
    EXPECT_EQ(read(Image(2, 1, {8, 8, 8, 8}, 5, {10, 20, 30, 40, 200, 0, 100, 60})),
              (std::vector<TRGB>{RGB(205, 195, 185), RGB(0, 195, 95)}));
  }
}

TEST(TIFFFormat, FieldValuesAndArrays) {
  TPixelGraphic g;
  // Two SHORT strip offsets share the value field; three SHORTs lie at an offset.
  TTIFFBuilder t = Image(1, 2, {8, 8, 8}, 2, {}).Drop(273);
  const uint32_t second = t.AddData({4, 5, 6}), first = t.AddData({1, 2, 3});
  t.Set(273, 3, {first, second}).Set(278, 1, {1});
  ReadTIFF(t.Build(), g);
  EXPECT_EQ(Colors(g), (std::vector<TRGB>{RGB(1, 2, 3), RGB(4, 5, 6)}));
  // Of two entries with one tag the last counts; BYTE values work too.
  ReadTIFF(Image(1, 1, {8}, 1, {7}).Set(262, 1, {0}).Set(256, 1, {1}).Build(), g);
  EXPECT_EQ(Colors(g), std::vector<TRGB>{0xF8F8F8});
  EXPECT_EQ(ReadFailure(Image(1, 1, {8}, 1, {7}).Set(256, 5, {1, 1}).Build()), "TIFF: Unsupported field Type: 5");
  EXPECT_EQ(ReadFailure(Image(1, 1, {8}, 1, {7}).Set(320, 12, {}).Build()), "TIFF: Unsupported field Type: 12");
}

TEST(TIFFFormat, Refusals) {
  const Bytes gray = Image(2, 2, {8}, 1, {1, 2, 3, 4}).Build();
  EXPECT_EQ(ReadFailure({'I', 'M', 42, 0, 8, 0, 0, 0}), "TIFF: Not a TIF file");
  EXPECT_EQ(ReadFailure({'M', 'M', 42, 0, 8, 0, 0, 0}), "TIFF: Not a TIF file");
  EXPECT_EQ(ReadFailure({'I'}), "TIFF: Not a TIF file");
  EXPECT_EQ(ReadFailure({'I', 'I', 42, 0, 8}), "TIFF: Unexpected end of file");
  EXPECT_EQ(ReadFailure(gray, 1), "TIFF: Index invalid");
  EXPECT_EQ(ReadFailure(Image(2, 2, {8}, 1, {}).Set(284, 3, {3}).Build()), "TIFF: PlanarConfiguration invalid");
  EXPECT_EQ(ReadFailure(Image(8, 1, {1}, 1, {0}).Drop(277).Build()), "TIFF: Invalid SamplesPerPixel");
  EXPECT_EQ(ReadFailure(Image(1, 1, {8, 8}, 2, {}).Build()), "TIFF: Invalid SamplesPerPixel");
  EXPECT_EQ(ReadFailure(Image(1, 1, {8, 8, 8}, 2, {}).Set(277, 3, {4}).Build()),
            "TIFF: Invalid count of SamplesPerPixel");
  EXPECT_EQ(ReadFailure(Image(1, 1, {8}, 2, {0}).Build()), "TIFF: Invalid SamplesPerPixel");
  EXPECT_EQ(ReadFailure(Image(1, 1, {8, 8, 8}, 6, {0, 0, 0}).Build()), "TIFF: Invalid SamplesPerPixel");
  EXPECT_EQ(ReadFailure(Image(1, 1, {8, 8, 8}, 5, {0, 0, 0}).Build()), "TIFF: Invalid SamplesPerPixel");
  EXPECT_EQ(ReadFailure(Image(1, 1, {8}, 4, {0}).Build()), "TIFF: Invalid SamplesPerPixel");
  EXPECT_EQ(ReadFailure(Image(8, 1, {1}, 1, {0}).Drop(259).Build()), "TIFF: Unsupported compression 0");
  const char* const unsupported[] = {"CCITT 1D", "Group 3 Fax", "Group 4 Fax", "LZW", "JPEG", "7"};
  // Compressions libtiff can decode go to libtiff instead.
  for (uint32_t c = 2; c <= 7; ++c) {
    if (LibTIFFDecodes(c)) continue;
    EXPECT_EQ(ReadFailure(Image(8, 1, {1}, 1, {0}, c).Build()), std::string("TIFF: Unsupported compression ") +
                                                                        unsupported[c - 2]);
  }
  EXPECT_EQ(ReadFailure(Image(8, 1, {1}, 1, {0}, 34712).Build()), "TIFF: Unsupported compression 34712");
  TTIFFBuilder twoStrips = Image(2, 2, {8}, 1, {1, 2});
  twoStrips.Set(273, 4, {8, twoStrips.AddData({3, 4})});
  EXPECT_EQ(ReadFailure(twoStrips.Build()), "TIFF: Invalid RowsPerStrip");
  twoStrips.Set(278, 4, {2});
  EXPECT_EQ(ReadFailure(twoStrips.Build()), "TIFF: NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip");
  EXPECT_EQ(ReadFailure(Image(2, 2, {8}, 1, {}).Drop(273).Build()),
            "TIFF: NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip");
  SetPGLanguage(1);
  EXPECT_EQ(ReadFailure(gray, 1), "TIFF: Index ungültig");
  SetPGLanguage(0);
}

TEST(TIFFFormat, SingleStripThatDoesNotFitFollowsTheWarningAction) {
  // Two rows per strip declared for four rows, and one strip holding all.
  const Bytes file = Image(1, 4, {8}, 1, {1, 2, 3, 4}).Set(278, 4, {2}).Build();
  std::string boxes;
  bool answer = true;
  TScriptedPlatform platform;
  platform.Box = [&](const std::string& text, const std::string& caption, TPGBoxButtons buttons) {
    boxes += caption + (buttons == pgbOKCancel ? " ?: " : ": ") + text + "\n";
    return answer ? pgaOK : pgaCancel;
  };
  const std::string text = "TIFF: NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip";
  TPixelGraphic g;
  for (TPGWarningAction a : {pgwaIgnore, pgwaOKBox, pgwaOKCancelBox}) {
    g.SetReadWarningAction(a);
    ReadTIFF(file, g);
    EXPECT_EQ(Colors(g), (std::vector<TRGB>{0x010101, 0x020202, 0x030303, 0x040404}));
  }
  EXPECT_EQ(boxes, "TIFF-Warning: " + text + "\nTIFF-Warning ?: " + text + "\n");
  answer = false;
  EXPECT_EQ(Failure([&] { ReadTIFF(file, g); }), text);
  g.SetReadWarningAction(pgwaRaise);
  EXPECT_EQ(Failure([&] { ReadTIFF(file, g); }), text);
}

TEST(TIFFFormat, PackBits) {
  const auto encode = [](const Bytes& row) {
    Bytes code;
    TPackBitsEncoder().EncodeRow(row.data(), row.size(), code);
    return code;
  };
  // Runs of two next to literal bytes join them; longer runs repeat.
  EXPECT_EQ(encode({1, 2, 2, 3}), (Bytes{3, 1, 2, 2, 3}));
  EXPECT_EQ(encode({2, 2, 3}), (Bytes{2, 2, 2, 3}));
  EXPECT_EQ(encode({1, 1, 1, 2}), (Bytes{0xFE, 1, 0, 2}));
  EXPECT_EQ(encode({5, 5, 6, 6, 6}), (Bytes{0xFF, 5, 0xFE, 6}));
  Bytes long130(130, 9), long129(129, 9);
  long129.push_back(7);
  EXPECT_EQ(encode(long130), (Bytes{0x81, 9, 0xFF, 9}));
  EXPECT_EQ(encode(long129), (Bytes{0x81, 9, 0, 9, 0, 7}));
  Bytes literal(200);
  for (size_t i = 0; i < literal.size(); ++i) literal[i] = uint8_t(i);
  EXPECT_EQ(encode(literal).size(), 202u);
  EXPECT_EQ(encode(literal)[129], 71);

  // The rules position by position, as simply as they can be put, against
  // rows of few byte values and runs of every length.
  const auto rules = [](const Bytes& row) {
    const size_t n = row.size();
    std::vector<size_t> run(n);
    for (size_t i = 0, j = 0; i < n; i = j) {
      while (j < n && row[j] == row[i]) ++j;
      std::fill(run.begin() + ptrdiff_t(i), run.begin() + ptrdiff_t(j), j - i);
    }
    for (size_t p = 1; p < n; ++p)
      if (run[p] == 2 && run[p - 1] == 1) run[p] = 1;
    for (size_t p = n; p-- > 1;)
      if (run[p - 1] == 2 && run[p] == 1) run[p - 1] = 1;
    Bytes code;
    for (size_t p = 0, length = 1; p < n; p += length, length = 1) {
      if (run[p] == 1) {
        while (length < 128 && p + length < n && run[p + length] <= 1) ++length;
        code.push_back(uint8_t(length - 1));
        code.insert(code.end(), row.begin() + ptrdiff_t(p), row.begin() + ptrdiff_t(p + length));
      } else {
        while (length < 128 && p + length < n && row[p + length] == row[p]) ++length;
        code.push_back(uint8_t(1 - length));
        code.push_back(row[p]);
      }
    }
    return code;
  };
  std::mt19937 random(7);
  for (int i = 0; i < 3000; ++i) {
    Bytes row(random() % 400);
    const uint32_t values = 2 + i % 3, stay = i % 4 == 0 ? 98 : 0;
    for (size_t k = 0; k < row.size(); ++k) row[k] = k > 0 && random() % 100 < stay ? row[k - 1] : random() % values;
    ASSERT_EQ(encode(row), rules(row)) << i;
  }

  // Decoding: a row may end inside a strip and the next continue there; -128 is skipped.
  TPixelGraphic g;
  ReadTIFF(Image(3, 2, {8}, 1, {0x80, 0xFE, 7, 0x01, 1, 2, 0x80, 0x00, 2}, 32773).Build(), g);
  EXPECT_EQ(Colors(g), (std::vector<TRGB>{0x070707, 0x070707, 0x070707, 0x010101, 0x020202, 0x020202}));
  g.SetSize(0, 0, 3);
  EXPECT_EQ(ReadFailure(Image(3, 2, {8}, 1, {0xFE, 7, 0xFD, 1}, 32773).Build()),
            "TIFF (PackBits): Invalid count of bytes in row 1");
  EXPECT_EQ(ReadFailure(Image(3, 2, {8}, 1, {0xFE, 7, 0x03, 1, 2, 3, 4}, 32773).Build()),
            "TIFF (PackBits): Invalid count of bytes in row 1");
  // Code that ends early; the rows read before stay in the graphic.
  EXPECT_EQ(Failure([&] { ReadTIFF(WithStripAtEnd(Image(3, 2, {8}, 1, {}, 32773), {0xFE, 7, 0x02, 1, 2}), g); }),
            "TIFF: Unexpected end of file");
  EXPECT_EQ(g.GetPixel(2, 0), 7u);

  // Rows far longer than the code window, and strips of several rows.
  TPixelGraphic big, back;
  big.SetSize(3001, 40, 3);
  for (int32_t y = 0; y < 40; ++y)
    for (int32_t x = 0; x < 3001; ++x) big.SetPixel(x, y, (x / 7 + y) % 3 ? random() & 0xFFFFFF : 0x123456);
  TIFFWriteCompression = 32773;
  TMemoryStream s;
  TTIFFileFormatWriter().Write(s, big);
  TIFFWriteCompression = 1;
  s.SetPosition(0);
  TTIFFileFormatReader().Read(s, back, 0);
  EXPECT_EQ(Colors(back), Colors(big));
}

TEST(TIFFFormat, HostileFilesAreRefusedQuickly) {
  const std::string eof = "TIFF: Unexpected end of file";
  // Strips, arrays and IFDs outside the file, and sizes no file this small holds.
  EXPECT_EQ(ReadFailure(Image(2, 2, {8}, 1, {}).Set(273, 4, {0xFFFFFFF0}).Build()), eof);
  EXPECT_EQ(ReadFailure(Image(2, 2, {8}, 1, {}).Set(273, 4, {0x7FFFFFFF}).Build()), eof);
  for (const uint16_t tag : {258, 273, 320}) {
    Bytes hugeCount = Image(2, 1, {8}, tag == 320 ? 3 : 1, {1, 2}).Set(320, 3, std::vector<uint32_t>(768)).Build();
    SetCount(hugeCount, tag, 0xFFFFFFFF);
    EXPECT_EQ(ReadFailure(hugeCount), tag == 258 ? "TIFF: Invalid count of SamplesPerPixel" : eof);
  }
  EXPECT_EQ(ReadFailure(Image(0x7FFFFFFF, 0x7FFFFFFF, {8, 8, 8}, 2, {1, 2, 3}).Build()), eof);
  EXPECT_EQ(ReadFailure(Image(0x7FFFFFFF, 0x7FFFFFFF, {1}, 1, {0xFE, 0}, 32773).Build()), eof);
  EXPECT_EQ(ReadFailure(Image(0x80000000u, 1, {1}, 1, {0}).Build()), "TIFF: ImageWidth invalid");
  EXPECT_EQ(ReadFailure(Image(1, 0xFFFFFFFFu, {1}, 1, {0}).Build()), "TIFF: ImageLength invalid");
  Bytes badIFD = Image(1, 1, {8}, 1, {0}).Build();
  badIFD[4] = 0xF0;
  EXPECT_EQ(ReadFailure(badIFD), eof);
  // An IFD whose entries run beyond the file.
  Bytes shortIFD = Image(1, 1, {8}, 1, {0}).Build();
  shortIFD.resize(shortIFD.size() - 20);
  EXPECT_EQ(ReadFailure(shortIFD), eof);
  // Empty images need no data, and no row buffer however wide they are.
  TPixelGraphic g;
  ReadTIFF(Image(0, 0, {8}, 1, {}).Drop(273).Build(), g);
  EXPECT_TRUE(g.GetEmpty());
  ReadTIFF(Image(0x7FFFFFFF, 0, {8, 8, 8, 8}, 5, {}).Build(), g);
  EXPECT_EQ(g.GetWidth(), 0x7FFFFFFF);
  ReadTIFF(Image(0, 5, {8}, 1, {}).Set(278, 3, {1}).Set(273, 4, {9, 9, 9, 9, 0xFFFFFFFF}).Build(), g);
  EXPECT_EQ(g.GetHeight(), 5);
}

TEST(TIFFFormat, CountingImages) {
  // A second IFD, the first one's copy pointing at the other pixel, after the first.
  Bytes file = Image(1, 1, {8}, 1, {5, 9}).Build();
  const size_t ifd = file[4], ifdSize = 2 + 12 * 7 + 4, second = file.size();
  file.insert(file.end(), file.begin() + ptrdiff_t(ifd), file.begin() + ptrdiff_t(ifd + ifdSize));
  file[second + 2 + 12 * 5 + 8] = 9;  // StripOffsets
  file[ifd + ifdSize - 4] = uint8_t(second);

  TPixelGraphic g;
  EXPECT_EQ(InfoOf(file).ImageCount, 1);
  EXPECT_EQ(ReadFailure(file, 1), "TIFF: Index invalid");
  TIFFCountImages = true;
  EXPECT_EQ(InfoOf(file).ImageCount, 2);
  ReadTIFF(file, g, 1);
  EXPECT_EQ(g.GetPixel(0, 0), 9u);
  ReadTIFF(file, g, 0);
  EXPECT_EQ(g.GetPixel(0, 0), 5u);
  EXPECT_EQ(ReadFailure(file, 2), "TIFF: Index invalid");
  EXPECT_EQ(ReadFailure(file, -1), "TIFF: Index invalid");
  TIFFMaxImages = 1;
  EXPECT_EQ(InfoOf(file).ImageCount, 1);
  TIFFMaxImages = 1000;
  // A chain that loops or leaves the file counts as one image.
  Bytes loop = file;
  loop[second + ifdSize - 4] = uint8_t(ifd);
  EXPECT_EQ(InfoOf(loop).ImageCount, 1);
  Bytes away = file;
  away[second + ifdSize - 1] = 0x70;
  EXPECT_EQ(InfoOf(away).ImageCount, 1);
  EXPECT_EQ(ReadFailure(away, 1), "TIFF: Index invalid");
  TIFFCountImages = false;
}

TEST(TIFFFormat, Info) {
  TFileFormatInfo info = InfoOf(Image(5, 3, {8, 8, 8}, 2, {0}, 32773).Build());
  EXPECT_EQ(info.SubFormat, "I, PackBits, RGB");
  EXPECT_EQ(info.Details, "");
  EXPECT_EQ(info.BitCount, 24);
  EXPECT_EQ(info.ColorCount, "16.7 M");
  EXPECT_EQ(info.Width, 5);
  EXPECT_EQ(info.Height, 3);
  TTIFFBuilder lzw = Image(5, 3, {4}, 3, {0}, 5);
  lzw.Big = true;
  info = InfoOf(lzw.Build());
  EXPECT_EQ(info.SubFormat, "M, LZW, RGB Palette");
  EXPECT_EQ(info.Details, LibTIFFDecodes(5) ? "" : "(Unsupported compression)");
  EXPECT_EQ(info.ColorCount, "16");
  EXPECT_EQ(InfoOf(Image(1, 1, {1}, 0, {0}, 9).Build()).SubFormat, "I, , WhiteIsZero");
  EXPECT_EQ(InfoOf(Image(1, 1, {8, 8, 8, 8}, 5, {0}).Build()).SubFormat, "I, Uncompr., CMYK");
  EXPECT_EQ(InfoOf(Image(1, 1, {8}, 1, {0}).Build()).ColorCount, "256");
  TMemoryStream s;
  EXPECT_EQ(Failure([&] { TTIFFileFormatReader().ReadInfo(Filled(s, Image(1, 1, {8}, 1, {0}).Build()), 1, info); }),
            "TIFF: Index invalid");
}

TEST(TIFFFormat, WhatThisReaderRefusesGoesToLibTIFF) {
  // 16-bit grey keeps its high byte; strips are counted so libtiff has no warning.
  const auto gray16 = [](bool big) {
    TTIFFBuilder t = Image(2, 1, {16}, 0, big ? Bytes{0x12, 0x34, 0xFF, 0xFF} : Bytes{0x34, 0x12, 0xFF, 0xFF});
    t.Big = big;
    return t.Set(279, 4, {4});
  };
  TPixelGraphic g;
  g.SetReadWarningAction(pgwaRaise);
  ReadTIFF(gray16(true).Build(), g);
  EXPECT_EQ(Colors(g), (std::vector<TRGB>{0xEDEDED, Black}));
  const TFileFormatInfo info = InfoOf(gray16(false).Build());
  EXPECT_EQ(info.SubFormat, "I, Uncompr., WhiteIsZero");
  EXPECT_EQ(info.BitCount, 16);
  EXPECT_EQ(info.ColorCount, "65536");

  // libtiff's errors in its own words; the progress events name the reader.
  std::string log;
  g.OnProgressStart = [&](TObject* s) { log += dynamic_cast<TTIFFileFormatReader*>(s) ? "r[" : "?["; };
  g.OnProgressEnd = [&](TObject*) { log += "]"; };
  EXPECT_EQ(Failure([&] { ReadTIFF(Image(8, 2, {8}, 1, {0xFF, 0xFF, 0xFF}, 5).Set(279, 4, {3}).Build(), g); }),
            "TIFF: Using code not yet in table");
  EXPECT_EQ(log, "r[]");
  g.OnProgressStart = nullptr;
  g.OnProgressEnd = nullptr;

  // Its warnings follow the warning action, in the own reader's box.
  const Bytes uncounted = gray16(false).Drop(279).Build();
  const std::string warning =
      "TIFF: TIFFReadDirectory: TIFF directory is missing required \"StripByteCounts\" field, calculating from "
      "imagelength";
  EXPECT_EQ(Failure([&] { ReadTIFF(uncounted, g); }), warning);
  std::string boxes;
  TScriptedPlatform platform;
  platform.Box = [&](const std::string& text, const std::string& caption, TPGBoxButtons buttons) {
    boxes += caption + (buttons == pgbOKCancel ? " ?: " : ": ") + text + "\n";
    return pgaCancel;
  };
  g.SetReadWarningAction(pgwaOKBox);
  ReadTIFF(uncounted, g);
  EXPECT_EQ(g.GetPixel(0, 0), 0xEDu);
  g.SetReadWarningAction(pgwaOKCancelBox);
  EXPECT_EQ(Failure([&] { ReadTIFF(uncounted, g); }), warning);
  EXPECT_EQ(boxes, "TIFF-Warning: " + warning + "\nTIFF-Warning ?: " + warning + "\n");
  g.SetReadWarningAction(pgwaIgnore);
  ReadTIFF(uncounted, g);

  // Sizes no file this small can fill are refused before the picture is touched.
  g.SetSize(3, 3, 3);
  EXPECT_EQ(Failure([&] { ReadTIFF(Image(60000, 60000, {8, 8, 8}, 2, {0, 0}, 5).Set(279, 4, {2}).Build(), g); }),
            "TIFF: Unexpected end of file");
  EXPECT_EQ(g.GetWidth(), 3);
}

TEST(TIFFFormat, LibTIFFErrorsAfterWhichThePixelsComeFollowTheWarningAction) {
  // An entry of tag 0, which libtiff reports as an error and then passes over.
  TTIFFBuilder t = Image(2, 1, {16}, 1, {0x34, 0x12, 0xFF, 0xFF}).Set(279, 4, {4});
  t.Entries.insert(t.Entries.begin(), {0, 0, {}});
  const Bytes file = t.Build();
  std::string boxes;
  TScriptedPlatform platform;
  platform.Box = [&](const std::string& text, const std::string&, TPGBoxButtons) {
    boxes += text + "\n";
    return pgaOK;
  };
  TPixelGraphic g;
  g.SetReadWarningAction(pgwaOKBox);
  ReadTIFF(file, g);
  EXPECT_EQ(Colors(g), (std::vector<TRGB>{0x121212, White}));
  EXPECT_EQ(boxes,
            "TIFF: TIFFReadDirectory: Unknown field with tag 0 (0x0) encountered\n"
            "TIFF: TIFFFetchNormalTag: Defined set_field_type of custom tag 0 (Tag 0) is TIFF_SETGET_UNDEFINED and "
            "thus tag is not read from file\n");
  g.SetReadWarningAction(pgwaIgnore);
  ReadTIFF(file, g);
  EXPECT_EQ(g.GetPixel(0, 0), 0x12u);
  g.SetReadWarningAction(pgwaRaise);
  EXPECT_EQ(Failure([&] { ReadTIFF(file, g); }), "TIFF: TIFFReadDirectory: Unknown field with tag 0 (0x0) encountered");
}

TEST(TIFFFormat, TilesTooLargeToDecodeAtOnceAreRefused) {
  // A single Deflate tile of 8208 x 8208 greys; its data is never decoded.
  TTIFFBuilder t = Image(8208, 8208, {8}, 1, {}, 8).Drop(273);
  t.Set(322, 4, {8208}).Set(323, 4, {8208}).Set(324, 4, {t.AddData(Bytes(4096))}).Set(325, 4, {4096});
  EXPECT_EQ(ReadFailure(t.Build()), "TIFF: A tile or strip of 67371264 bytes exceeds the limit of 67108864 bytes");
  SetPGLanguage(1);
  EXPECT_EQ(ReadFailure(t.Build()),
            "TIFF: Eine Kachel oder ein Streifen von 67371264 Bytes überschreitet die Grenze von 67108864 Bytes");
  SetPGLanguage(0);
}

TEST(TIFFFormat, AlphaIsLaidOverTheBackgroundAlikeInEveryLayout) {
  // A grey of 44 at alpha 211, as ExtraSamples says, over white: 80
  // unassociated, 44 + 44 associated, 44 when the sample is no alpha.
  const auto grayAlpha = [](uint32_t extra, bool planes) {
    TTIFFBuilder t = Image(2, 1, {8, 8}, 1, planes ? Bytes{44, 200} : Bytes{44, 211, 200, 255});
    if (planes) t.Drop(273).Set(273, 4, {8, t.AddData({211, 255})}).Set(284, 3, {2}).Set(278, 4, {1});
    return t.Set(338, 3, {extra}).Build();
  };
  const auto rgba = [](uint32_t extra, uint32_t compression) {
    const Bytes pixels = {44, 100, 250, 211, 1, 2, 3, 255};
    TTIFFBuilder t = compression == 1 ? Image(2, 1, {8, 8, 8, 8}, 2, pixels)
                                      : Image(2, 1, {8, 8, 8, 8}, 2, Bytes{7, 44, 100, 250, 211, 1, 2, 3, 255}, 32773);
    return t.Set(338, 3, {extra}).Build();
  };
  // Over a background colour; the files are read as they come.
  const auto read = [](const Bytes& file, TRGB background) {
    TPixelGraphic g;
    g.SetBackGroundColor(background);
    g.SetReadWarningAction(pgwaIgnore);
    ReadTIFF(file, g);
    return Colors(g);
  };
  const std::pair<uint32_t, TRGB> kinds[] = {{2, 0x505050}, {1, 0x585858}, {0, 0x2C2C2C}};
  for (const auto& [extra, gray] : kinds) {
    SCOPED_TRACE(extra);
    EXPECT_EQ(read(grayAlpha(extra, false), White), (std::vector<TRGB>{gray, 0xC8C8C8}));
    EXPECT_EQ(read(grayAlpha(extra, true), White), (std::vector<TRGB>{gray, 0xC8C8C8}));
    // RGB read by this reader, uncompressed and PackBits, and by libtiff in planes and tiles.
    const TRGB background = RGB(0, 100, 200);
    const std::vector<TRGB> colors = read(rgba(extra, 1), background);
    EXPECT_EQ(colors[1], RGB(1, 2, 3));
    EXPECT_EQ(read(rgba(extra, 32773), background), colors);
    TTIFFBuilder planar = Image(2, 1, {8, 8, 8, 8}, 2, {44, 1}).Set(284, 3, {2}).Set(338, 3, {extra});
    planar.Drop(273).Set(273, 4, {8, planar.AddData({100, 2}), planar.AddData({250, 3}), planar.AddData({211, 255})});
    EXPECT_EQ(read(planar.Build(), background), colors);
    Bytes tile(16 * 16 * 4);
    std::copy_n(Bytes{44, 100, 250, 211, 1, 2, 3, 255}.begin(), 8, tile.begin());
    TTIFFBuilder tiled = Image(2, 1, {8, 8, 8, 8}, 2, {}).Drop(273).Set(338, 3, {extra});
    tiled.Set(322, 3, {16}).Set(323, 3, {16}).Set(324, 4, {tiled.AddData(tile)}).Set(325, 4, {uint32_t(tile.size())});
    EXPECT_EQ(read(tiled.Build(), background), colors);
    if (extra == 2)
      EXPECT_EQ(colors[0], RGB(BlendOver(44, 211, 0), BlendOver(100, 211, 100), BlendOver(250, 211, 200)));
    if (extra == 0) EXPECT_EQ(colors[0], RGB(44, 100, 250));
  }
  EXPECT_EQ(InfoOf(rgba(2, 1)).SubFormat, "I, Uncompr., RGB, alpha");
}

// The entries of the first IFD of a file this library wrote, by tag:
// {type, count, value field}.
std::map<uint16_t, std::array<uint32_t, 3>> Entries(const Bytes& b) {
  const bool big = b[0] == 'M';
  const auto get = [&](size_t at, int size) {
    uint32_t v = 0;
    for (int i = 0; i < size; ++i) v |= uint32_t(b[at + size_t(i)]) << (8 * (big ? size - 1 - i : i));
    return v;
  };
  std::map<uint16_t, std::array<uint32_t, 3>> entries;
  const uint32_t ifd = get(4, 4);
  for (uint32_t i = 0; i < get(ifd, 2); ++i) {
    const size_t e = ifd + 2 + 12 * i;
    const uint32_t type = get(e + 2, 2), count = get(e + 4, 4);
    entries[uint16_t(get(e, 2))] = {type, count, type == 3 && count == 1 ? get(e + 8, 2) : get(e + 8, 4)};
  }
  return entries;
}

Bytes Written(TPixelGraphic& g) { return WrittenWith<TTIFFileFormatWriter>(g); }

TEST(TIFFFormat, WriterLayout) {
  TPixelGraphic g;
  g.SetSize(640, 40, 3);
  Bytes b = Written(g);
  EXPECT_EQ(Bytes(b.begin(), b.begin() + 4), (Bytes{'I', 'I', 42, 0}));
  auto e = Entries(b);
  const std::vector<uint16_t> tags = {254, 256, 257, 258, 259, 262, 273, 277, 278, 279, 282, 283, 296};
  ASSERT_EQ(e.size(), tags.size());
  EXPECT_EQ(e[258][1], 3u);
  EXPECT_EQ(e[259][2], 1u);
  EXPECT_EQ(e[262][2], 2u);
  EXPECT_EQ(e[278][2], 17u);
  EXPECT_EQ(e[273][1], 3u);
  EXPECT_EQ(e[296][2], 2u);
  EXPECT_EQ(Bytes(b.begin() + e[282][2], b.begin() + e[282][2] + 16), (Bytes{44, 1, 0, 0, 1, 0, 0, 0, 44, 1, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(Bytes(b.begin() + e[258][2], b.begin() + e[258][2] + 6), (Bytes{8, 0, 8, 0, 8, 0}));
  TIFFWriteCompression = 32773;
  TIFFWriteByteOrder = 1;
  TIFFWriteResolutionUnit = 2;
  b = Written(g);
  EXPECT_EQ(Bytes(b.begin(), b.begin() + 4), (Bytes{'M', 'M', 0, 42}));
  e = Entries(b);
  EXPECT_EQ(e[278][2], 8u);
  EXPECT_EQ(e[259][2], 32773u);
  EXPECT_EQ(e[296][2], 3u);
  TIFFWriteCompression = 5;
  EXPECT_EQ(Failure<EPGTIFFileFormatWriter>([&] { Written(g); }), "TIFF: Internal Error");
  TIFFWriteCompression = 1;
  TIFFWriteByteOrder = 0;
  TIFFWriteResolutionUnit = 1;

  // 16 greys as WhiteIsZero: photometric 0 and the nibbles counted down.
  g.SetSize(3, 1, 1);
  g.SetPaletteIdent(pGray16);
  g.SetPixel(0, 0, 1);
  g.SetPixel(1, 0, 15);
  TIFFWriteGrayScalePhotInterpret = 1;
  b = Written(g);
  TIFFWriteGrayScalePhotInterpret = 0;
  e = Entries(b);
  EXPECT_EQ(e[262][2], 0u);
  EXPECT_EQ(e[279][2], 2u);
  EXPECT_EQ(b[e[273][2]], 0xE0);
  EXPECT_EQ(b[e[273][2] + 1], 0xF0);
  EXPECT_EQ(e[273][2] % 2, 0u);
  // A palette picture gets a ColorMap of 16-bit values, zero beyond the palette.
  g.SetSize(3, 1, 2);
  g.SetPaletteCount(2);
  g.SetPaletteEntries(1, RGB(1, 2, 255));
  e = Entries(b = Written(g));
  EXPECT_EQ(e[262][2], 3u);
  EXPECT_EQ(e[320][1], 768u);
  const size_t map = e[320][2];
  EXPECT_EQ((Bytes(b.begin() + map, b.begin() + map + 6)), (Bytes{0, 0, 0, 1, 0, 0}));
  EXPECT_EQ(b[map + 512 + 3], 2);
  EXPECT_EQ(b[map + 1024 + 3], 255);
}

TEST(TIFFFormat, RoundTripOfEveryOption) {
  std::mt19937 random(11);
  struct TCase {
    uint8_t Code;
    TPaletteIdent Palette;
  } const cases[] = {{0, pBlackWhite}, {1, pGray16}, {1, pSys16}, {2, pGray256}, {2, pSpecial216}, {3, pTrueColor}};
  for (const TCase& c : cases)
    for (int option = 0; option < 8; ++option) {
      SCOPED_TRACE(std::to_string(c.Palette) + " option " + std::to_string(option));
      TIFFWriteCompression = option & 1 ? 32773 : 1;
      TIFFWriteByteOrder = (option >> 1) & 1;
      TIFFWriteGrayScalePhotInterpret = TIFFWriteTrueColorPhotInterpret = (option >> 2) & 1;
      TPixelGraphic g, back;
      g.SetSize(45, 700, c.Code);
      g.SetPaletteIdent(c.Palette);
      const uint32_t range = c.Code == 3 ? 0x1000000 : uint32_t(g.PaletteCount());
      for (int32_t y = 0; y < g.GetHeight(); ++y)
        for (int32_t x = 0; x < g.GetWidth(); ++x) g.SetPixel(x, y, x % 5 < 2 ? 1 : random() % range);
      ReadTIFF(Written(g), back);
      EXPECT_EQ(back.BitCountNum(), c.Code);
      EXPECT_EQ(Colors(back), Colors(g));
    }
  TIFFWriteCompression = 1;
  TIFFWriteByteOrder = TIFFWriteGrayScalePhotInterpret = TIFFWriteTrueColorPhotInterpret = 0;
}

TEST(TIFFFormat, ProgressEventsNameReaderAndWriter) {
  TPixelGraphic g;
  g.SetSize(2, 3, 2);
  g.SetPaletteIdent(pGray256);
  std::string log;
  int abortAt = -1;
  const auto name = [](TObject* s) {
    return dynamic_cast<TTIFFileFormatReader*>(s) ? "r" : dynamic_cast<TTIFFileFormatWriter*>(s) ? "w" : "?";
  };
  g.OnProgressStart = [&](TObject* s) { log += std::string(name(s)) + "["; };
  g.OnProgress = [&](TObject* s, int step, int max, bool& abort) {
    log += name(s) + std::to_string(step) + "/" + std::to_string(max) + " ";
    abort = step == abortAt;
  };
  g.OnProgressEnd = [&](TObject* s) { log += std::string(name(s)) + "]"; };
  TMemoryStream s;
  abortAt = 0;  // writing does not stop
  TTIFFileFormatWriter().Write(s, g);
  EXPECT_EQ(log, "w[w0/2 w1/2 w2/2 w]");
  log.clear();
  s.SetPosition(0);
  TTIFFileFormatReader().Read(s, g, 0);
  EXPECT_EQ(log, "r[r0/3 r]");
  // The end event comes also after a failure, which keeps the rows read.
  log.clear();
  abortAt = -1;
  EXPECT_EQ(Failure([&] { ReadTIFF(WithStripAtEnd(Image(2, 3, {8}, 1, {}), {1, 2, 3, 4, 5}), g); }),
            "TIFF: Unexpected end of file");
  EXPECT_EQ(log, "r[r0/3 r1/3 r]");
  EXPECT_EQ(g.GetPixel(1, 1), 4u);
  log.clear();
  EXPECT_EQ(Failure([&] { ReadTIFF(Image(2, 3, {8}, 1, {0xFF, 1, 0xFD, 2}, 32773).Build(), g); }),
            "TIFF (PackBits): Invalid count of bytes in row 1");
  EXPECT_EQ(log, "r[r0/3 r]");
}

// libtiff's tools and ImageMagick as the peers.

void WriteFile(const std::string& path, const Bytes& b) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

// Raw CMYK samples turned into colours the way this library reads them;
// ImageMagick and libtiff multiply instead of subtracting.
std::vector<TRGB> ReadCMYK(const std::string& path) {
  const Bytes b = FileBytes(path);
  std::vector<TRGB> pixels;
  const auto channel = [](int ink, int black) { return uint32_t(std::max(255 - ink - black, 0)); };
  for (size_t i = 0; i + 3 < b.size(); i += 4)
    pixels.push_back(RGB(channel(b[i], b[i + 3]), channel(b[i + 1], b[i + 3]), channel(b[i + 2], b[i + 3])));
  return pixels;
}

// What libtiff makes of a TIFF file: its colours as RGBA, without the
// scaling of ImageMagick, which reads ColorMap values as fractions of 65535
// and takes 4-bit WhiteIsZero samples for BlackIsZero. CMYK files give their
// raw samples instead.
std::vector<TRGB> PeerPixels(const std::string& tif, bool cmyk) {
  const std::string out = tif + ".out";
  if (cmyk) return Shell("/usr/bin/convert " + tif + " -depth 8 cmyk:" + out) == "" ? ReadCMYK(out) : std::vector<TRGB>();
  if (Shell("tiff2rgba -c none " + tif + " " + out + ".tif") != "") return {};
  return Shell("/usr/bin/convert " + out + ".tif -depth 8 ppm:" + out) == "" ? ReadPNM(out).Colors() : std::vector<TRGB>();
}

class TIFFPeers : public ::testing::Test {
protected:
  void SetUp() override {
    const auto missing = [](const std::string& tool, const char* says) {
      return Shell("(" + tool + ") 2>&1; true").find(says) == std::string::npos;
    };
    if (missing("/usr/bin/convert -version", "ImageMagick") || missing("tiffcp", "LIBTIFF") ||
        missing("tiff2rgba", "LIBTIFF") || missing("tiffinfo", "LIBTIFF"))
      GTEST_SKIP() << "ImageMagick's convert or libtiff's tools are not installed";
    ASSERT_FALSE(Dir.Path.empty());
  }
  TTempDirectory Dir;
};

TEST_F(TIFFPeers, WeReadWhatPeersWrite) {
  const std::string source = Dir / "source.png";
  ASSERT_EQ(Shell("/usr/bin/convert -size 37x23 -seed 4 plasma:fractal " + source), "");
  struct {
    const char* name;
    const char* options;
    int bits;
    const char* photometric;
  } const variants[] = {
      {"bilevel", "-monochrome -depth 1", 1, "BlackIsZero"},
      {"bilevelw", "-monochrome -depth 1 -define quantum:polarity=min-is-white", 1, "WhiteIsZero"},
      {"gray4", "-colorspace gray -depth 4", 4, "BlackIsZero"},
      {"gray4w", "-colorspace gray -depth 4 -define quantum:polarity=min-is-white", 4, "WhiteIsZero"},
      {"gray8", "-colorspace gray -depth 8", 8, "BlackIsZero"},
      {"gray8w", "-colorspace gray -depth 8 -define quantum:polarity=min-is-white", 8, "WhiteIsZero"},
      {"pal4", "-colors 12 -type palette -depth 4", 4, "RGB Palette"},
      {"pal8", "-colors 200 -type palette -depth 8", 8, "RGB Palette"},
      {"rgb", "-type truecolor -depth 8", 24, "RGB"},
      {"cmyk", "-colorspace CMYK -depth 8", 32, "CMYK"},
  };
  struct {
    const char* options;
    const char* subFormat;
  } const copies[] = {{"-c none -L", "I, Uncompr., "},
                      {"-c none -B -r 5", "M, Uncompr., "},
                      {"-c packbits -L -r 1", "I, PackBits, "},
                      {"-c packbits -B -r 4", "M, PackBits, "}};
  for (const auto& v : variants) {
    const std::string tif = Dir / (v.name + std::string(".tif"));
    ASSERT_EQ(Shell("/usr/bin/convert " + source + " " + v.options + " -compress None " + tif), "");
    const std::vector<TRGB> pixels = PeerPixels(tif, std::string(v.name) == "cmyk");
    ASSERT_EQ(pixels.size(), 37u * 23u) << v.name;
    for (const auto& c : copies) {
      SCOPED_TRACE(std::string(v.name) + " " + c.options);
      const std::string copy = Dir / "copy.tif";
      ASSERT_EQ(Shell(std::string("tiffcp ") + c.options + " " + tif + " " + copy), "");
      const TFileFormatInfo info = InfoOf(FileBytes(copy));
      EXPECT_EQ(info.SubFormat, c.subFormat + std::string(v.photometric));
      EXPECT_EQ(info.BitCount, v.bits);
      TPixelGraphic g;
      TFileStream s(copy, fmOpenRead);
      TFileFormatReader* reader = FindReader(s, "tif");
      ASSERT_NE(reader, nullptr);
      reader->Read(s, g, 0);
      EXPECT_EQ(Colors(g), pixels);
    }
  }
  // tiff2rgba writes RGB with an extra alpha sample, which is ignored.
  TPixelGraphic g;
  TFileStream s(Dir / "pal8.tif.out.tif", fmOpenRead);
  TTIFFileFormatReader().Read(s, g, 0);
  EXPECT_EQ(Colors(g), ReadPNM(Dir / "pal8.tif.out").Colors());
}

// ImageMagick's decoding of a 16-bit file, each sample cut to its high byte.
std::vector<TRGB> PeerPixels16(const std::string& tif) {
  std::istringstream in(Shell("/usr/bin/convert " + tif + " -depth 16 -compress none ppm:-"));
  std::string magic;
  int width = 0, height = 0;
  uint32_t maxValue = 0, r, g, b;
  in >> magic >> width >> height >> maxValue;
  std::vector<TRGB> pixels;
  while (maxValue == 65535 && in >> r >> g >> b) pixels.push_back(RGB(r >> 8, g >> 8, b >> 8));
  return pixels;
}

TEST_F(TIFFPeers, LibTIFFReadsWhatThisReaderRefuses) {
  const std::string source = Dir / "source.png";
  ASSERT_EQ(Shell("/usr/bin/convert -size 37x23 -seed 4 plasma:fractal " + source), "");
  const std::string alpha = "-alpha set -channel A -fx '(i+j)/(w+h)' +channel ";
  // ImageMagick writes the file, tiffcp copies it with its options.
  struct {
    const char* name;
    std::string write;
    const char* copy;
    const char* subFormat;
    uint8_t code;
  } const variants[] = {
      {"lzw", "-type truecolor -depth 8", "-c lzw", "I, LZW, RGB", 3},
      {"lzw2", "-type truecolor -depth 8", "-c lzw:2 -B", "M, LZW, RGB", 3},
      {"zip16", "-type truecolor -depth 16", "-c zip:2", "I, Deflate, RGB", 3},
      {"jpeg", "-type truecolor -depth 8", "-c jpeg", "I, JPEG, YCbCr", 3},
      {"g3", "-monochrome -depth 1", "-c g3", "I, Group 3 F., BlackIsZero", 0},
      {"g4", "-monochrome -depth 1 -define quantum:polarity=min-is-white", "-c g4", "I, Group 4 F., WhiteIsZero", 0},
      {"tiled", "-type truecolor -depth 8", "-t -w 16 -l 16", "I, Uncompr., RGB, tiled", 3},
      {"paltiled", "-colors 200 -type palette -depth 8", "-t -w 16 -l 16 -c zip", "I, Deflate, RGB Palette, tiled", 2},
      {"planar", "-type truecolor -depth 8", "-p separate -c lzw", "I, LZW, RGB, planar", 3},
      {"gray16", "-colorspace gray -depth 16", "", "I, Uncompr., BlackIsZero", 2},
      {"gray2", "-colorspace gray -depth 2", "-c lzw", "I, LZW, BlackIsZero", 1},
      {"pal4", "-colors 12 -type palette -depth 4", "-c lzw", "I, LZW, RGB Palette", 1},
      {"cmyk", "-colorspace CMYK -depth 8", "-c lzw", "I, LZW, CMYK", 3},
      {"rgba", alpha + "-depth 8", "-c lzw", "I, LZW, RGB, alpha", 3},
      {"rgba16", alpha + "-depth 16", "", "I, Uncompr., RGB, alpha", 3},
      {"graya", "-colorspace gray " + alpha + "-depth 8", "", "I, Uncompr., BlackIsZero, alpha", 2},
  };
  for (const auto& v : variants) {
    SCOPED_TRACE(v.name);
    const std::string written = Dir / (v.name + std::string("0.tif")), tif = Dir / (v.name + std::string(".tif"));
    ASSERT_EQ(Shell("/usr/bin/convert " + source + " " + v.write + " -compress None " + written), "");
    ASSERT_EQ(Shell(std::string("tiffcp ") + v.copy + " " + written + " " + tif), "");
    EXPECT_EQ(InfoOf(FileBytes(tif)).SubFormat, v.subFormat);
    TPixelGraphic g;
    const bool gray = v.name[0] == 'g' && v.name[1] == 'r';
    g.SetBackGroundColor(gray ? RGB(100, 100, 100) : RGB(0, 100, 200));
    ReadTIFF(FileBytes(tif), g);
    EXPECT_EQ(g.BitCountNum(), v.code);
    if (v.write.find("-alpha") != std::string::npos) {
      // ImageMagick lays the alpha over in 16 bits; this reader rounds after
      // cutting 16-bit samples.
      const std::string ppm = Dir / "flat.ppm";
      ASSERT_EQ(Shell("/usr/bin/convert " + tif + " -background " + (gray ? "'rgb(100,100,100)'" : "'rgb(0,100,200)'") +
                      " -flatten -depth 8 ppm:" + ppm),
                "");
      EXPECT_LE(MaxDifference(GraphicRGB(g), ReadPNM(ppm).RGB()), v.write.find("16") != std::string::npos ? 2 : 1);
    } else {
      const std::vector<TRGB> peer = v.write.find("16") != std::string::npos ? PeerPixels16(tif) : PeerPixels(tif, false);
      ASSERT_EQ(peer.size(), 37u * 23u);
      EXPECT_EQ(Colors(g), peer);
    }
    if (v.code == 1 && v.name[0] == 'g') {
      EXPECT_EQ(g.PaletteIdent(), pGray4);
    }
    if (std::string(v.name).starts_with("pal")) {
      EXPECT_EQ(g.PaletteCount(), v.code == 1 ? 16 : 256);
    }
  }

  // Pages after the first, when images are counted.
  const std::string pages = Dir / "pages.tif";
  ASSERT_EQ(Shell("tiffcp " + Dir / "gray2.tif " + Dir / "lzw.tif " + pages), "");
  TIFFCountImages = true;
  EXPECT_EQ(InfoOf(FileBytes(pages)).ImageCount, 2);
  TPixelGraphic g;
  ReadTIFF(FileBytes(pages), g, 1);
  TIFFCountImages = false;
  EXPECT_EQ(Colors(g), PeerPixels(Dir / "lzw.tif", false));
}

TEST_F(TIFFPeers, InfoDescribesWhatLibTIFFTurnsIntoColours) {
  const std::string source = Dir / "source.png";
  ASSERT_EQ(Shell("/usr/bin/convert -size 37x23 -seed 4 plasma:fractal " + source), "");
  // LogLuv and LogL from 16-bit RGB and grey.
  for (const auto& [write, subFormat] : {std::pair{"-depth 16", "I, SGILog, LogLuv"},
                                         std::pair{"-colorspace gray -depth 16", "I, SGILog, LogL"}}) {
    SCOPED_TRACE(subFormat);
    const std::string written = Dir / "written.tif", tif = Dir / "log.tif";
    ASSERT_EQ(Shell("/usr/bin/convert " + source + " " + write + " -compress None " + written), "");
    ASSERT_EQ(Shell("tiffcp -c sgilog " + written + " " + tif), "");
    EXPECT_EQ(InfoOf(FileBytes(tif)).SubFormat, subFormat);
    TPixelGraphic g;
    ReadTIFF(FileBytes(tif), g);
    EXPECT_EQ(Colors(g), PeerPixels(tif, false));
  }
}

TEST_F(TIFFPeers, OldStyleJPEGIsDecodedStripByStrip) {
  const std::string source = Dir / "source.png";
  ASSERT_EQ(Shell("/usr/bin/convert -size 37x23 -seed 4 plasma:fractal " + source), "");
  // A JPEG stream as the single strip, without RowsPerStrip, with and without subsampling.
  for (const char* sampling : {"1x1", "2x2"}) {
    SCOPED_TRACE(sampling);
    const std::string jpg = Dir / "old.jpg", tif = Dir / "old.tif";
    ASSERT_EQ(Shell("/usr/bin/convert " + source + " -sampling-factor " + sampling + " " + jpg), "");
    const Bytes stream = FileBytes(jpg);
    TTIFFBuilder t = Image(37, 23, {8, 8, 8}, 6, {}, 6).Drop(273);
    const uint32_t at = t.AddData(stream), length = uint32_t(stream.size());
    t.Set(273, 4, {at}).Set(279, 4, {length}).Set(513, 4, {at}).Set(514, 4, {length});
    WriteFile(tif, t.Build());
    TPixelGraphic g;
    g.SetReadWarningAction(pgwaIgnore);
    ReadTIFF(FileBytes(tif), g);
    EXPECT_EQ(Colors(g), PeerPixels(tif, false));
  }
}

TEST_F(TIFFPeers, OnePictureReadsAlikeInEveryOrganisation) {
  // Wide enough for strips to be read in several groups of rows and tiles
  // to be cut at the right and bottom edges.
  const std::string source = Dir / "source.png";
  ASSERT_EQ(Shell("/usr/bin/convert -size 1000x300 -seed 6 plasma:fractal " + source), "");
  const std::string alpha = "-alpha set -channel A -fx '(i+2*j)/(w+2*h)' +channel ";
  // Copies of the file in every organisation: tiffcp keeps the samples as
  // they are but cannot put 16-bit samples into planes, which ImageMagick
  // does instead.
  const auto copies = [](const std::string& tif, bool wide) {
    std::vector<std::string> commands;
    for (const char* c : {"-c none", "-c packbits", "-c lzw -r 300", "-c zip -r 7", "-t -w 64 -l 48",
                          "-p separate -c zip -r 300", "-p separate -c lzw -r 7",
                          "-p separate -t -w 64 -l 48 -c zip"}) {
      const bool planes = std::string(c).starts_with("-p");
      if (planes && wide)
        commands.push_back("/usr/bin/convert " + tif + " -interlace plane -compress zip " +
                           (std::string(c).find("-t") != std::string::npos ? "-define tiff:tile-geometry=64x48 "
                                                                           : "-define tiff:rows-per-strip=7 "));
      else
        commands.push_back(std::string("tiffcp ") + c + " " + tif + " ");
    }
    return commands;
  };
  const auto read = [&](const std::string& tif) {
    TPixelGraphic g;
    g.SetBackGroundColor(RGB(0, 100, 200));
    ReadTIFF(FileBytes(tif), g);
    return Colors(g);
  };
  // Alpha as the PNG reader lays it over, associated alpha alike in every
  // copy, CMYK as libtiff turns it into colours.
  struct {
    const char* name;
    std::string write;
  } const pictures[] = {{"rgba8", alpha + "-depth 8"},
                        {"rgba16", alpha + "-depth 16"},
                        {"graya16", "-colorspace gray " + alpha + "-depth 16"},
                        {"associated", alpha + "-depth 8 -define tiff:alpha=associated"},
                        {"cmyk", "-colorspace CMYK -depth 8"}};
  for (const auto& picture : pictures) {
    SCOPED_TRACE(picture.name);
    const std::string name = picture.name, written = Dir / (name + ".tif");
    ASSERT_EQ(Shell("/usr/bin/convert " + source + " " + picture.write + " -compress None " + written), "");
    std::vector<TRGB> expected;
    if (name == "cmyk") {
      expected = PeerPixels(written, false);
    } else if (name != "associated") {
      const std::string png = Dir / "same.png";
      const std::string plain = " -define png:exclude-chunks=bKGD,gAMA,cHRM,sRGB,iCCP ";
      ASSERT_EQ(Shell("/usr/bin/convert " + written + plain + png), "");
      TPixelGraphic g;
      g.SetBackGroundColor(RGB(0, 100, 200));
      PNGUseFileBackground = false;
      g.LoadFromFile(png);
      PNGUseFileBackground = true;
      expected = Colors(g);
    }
    for (const std::string& command : copies(written, picture.write.find("16") != std::string::npos)) {
      SCOPED_TRACE(command);
      // This reader's own CMYK colours are not libtiff's.
      if (name == "cmyk" && command.find("-c none") != std::string::npos) continue;
      if (name == "cmyk" && command.find("-c packbits") != std::string::npos) continue;
      const std::string tif = Dir / "copy.tif";
      ASSERT_EQ(Shell(command + tif), "");
      if (expected.empty()) expected = read(tif);
      EXPECT_EQ(read(tif), expected);
    }
  }
}

TEST_F(TIFFPeers, PeersReadWhatWeWrite) {
  std::mt19937 random(5);
  struct TCase {
    uint8_t Code;
    TPaletteIdent Palette;
  } const cases[] = {{0, pBlackWhite}, {1, pGray16}, {1, pSys16}, {2, pGray256}, {2, pSpecial252}, {3, pTrueColor}};
  for (const TCase& c : cases) {
    TPixelGraphic g;
    g.SetSize(131, 300, c.Code);
    g.SetPaletteIdent(c.Palette);
    const uint32_t range = c.Code == 3 ? 0x1000000 : uint32_t(g.PaletteCount());
    for (int32_t y = 0; y < g.GetHeight(); ++y)
      for (int32_t x = 0; x < g.GetWidth(); ++x) g.SetPixel(x, y, (x + y / 3) % 9 < 4 ? 0 : random() % range);
    for (int option = 0; option < 8; ++option) {
      SCOPED_TRACE(std::to_string(c.Palette) + " option " + std::to_string(option));
      TIFFWriteCompression = option & 1 ? 32773 : 1;
      TIFFWriteByteOrder = (option >> 1) & 1;
      TIFFWriteGrayScalePhotInterpret = TIFFWriteTrueColorPhotInterpret = (option >> 2) & 1;
      const std::string tif = Dir / "ours.tif";
      WriteFile(tif, Written(g));
      EXPECT_EQ(Shell("(tiffinfo -D " + tif + " 2>&1 >/dev/null)"), "");
      EXPECT_EQ(PeerPixels(tif, c.Code == 3 && TIFFWriteTrueColorPhotInterpret == 1), Colors(g));
    }
  }
  TIFFWriteCompression = 1;
  TIFFWriteByteOrder = TIFFWriteGrayScalePhotInterpret = TIFFWriteTrueColorPhotInterpret = 0;
}

}  // namespace
