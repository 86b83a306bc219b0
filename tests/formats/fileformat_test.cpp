#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fileformat.h"
#include "formatregistry.h"
#include "langstr.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "stream.h"

namespace {

// Carries only what sorting looks at.
class TStubReader : public TFileFormatReader {
public:
  explicit TStubReader(const char* extension) : TFileFormatReader("TStubReader", extension, "", true) {}
};

constexpr const char* OpenFilter =
    "Image files|*.avif; *.bmp; *.dib; *.gif; *.heic; *.heif; *.jif; *.jpeg; *.jpg; *.pbm; *.pcx; *.pgm; *.png; "
    "*.ppm; *.rle; *.tga; *.tif; *.tiff; *.webp|AVIF - AV1 Image File Format|*.avif|BMP - Bitmap|*.bmp|"
    "DIB - Bitmap|*.dib|GIF - Graphics Interchange Format|*.gif|"
    "HEIC - High Efficiency Image File Format|*.heic|HEIF - High Efficiency Image File Format|*.heif|"
    "JIF - JPEG (JFIF compliant)|*.jif|"
    "JPEG - JPEG (JFIF compliant)|*.jpeg|JPG - JPEG (JFIF compliant)|*.jpg|PBM - Portable Bitmap|*.pbm|"
    "PCX - Paintbrush|*.pcx|PGM - Portable Graymap|*.pgm|PNG - Portable Network Graphics|*.png|"
    "PPM - Portable Pixelmap|*.ppm|RLE - Bitmap|*.rle|TGA - Truevision Targa|*.tga|"
    "TIF - Tagged Image File Format|*.tif|TIFF - Tagged Image File Format|*.tiff|WEBP - WebP|*.webp|"
    "All files|*.*";

constexpr const char* SaveFilter =
    "AVIF - AV1 Image File Format|*.avif|BMP - Bitmap|*.bmp|JPG - JPEG (JFIF compliant)|*.jpg|"
    "PBM - Portable Bitmap|*.pbm|"
    "PGM - Portable Graymap|*.pgm|PNG - Portable Network Graphics|*.png|PPM - Portable Pixelmap|*.ppm|"
    "TGA - Truevision Targa|*.tga|TIF - Tagged Image File Format|*.tif|WEBP - WebP|*.webp|";

template <class List>
std::string Extensions(const List& list) {
  std::string s;
  for (const auto& e : list) s += e->Extension() + " ";
  return s;
}

void Fill(TMemoryStream& s, const std::vector<uint8_t>& bytes) {
  s.WriteBuffer(bytes.data(), bytes.size());
  s.SetPosition(0);
}

// A stream whose reading always fails.
class TBrokenStream : public TMemoryStream {
public:
  size_t Read(void*, size_t) override { throw EStreamError("broken"); }
};

std::string TempPath(const std::string& name) {
  return ::testing::TempDir() + "quillet_fileformat_" + std::to_string(getpid()) + "_" + name;
}

TEST(Stream, MemoryStreamReadsWritesAndSeeks) {
  TMemoryStream s;
  s.WriteBuffer("abcdef", 6);
  EXPECT_EQ(s.Size(), 6);
  EXPECT_EQ(s.Position(), 6);
  // Writing beyond the end leaves a zero-filled gap.
  s.Seek(2, soCurrent);
  s.WriteBuffer("z", 1);
  EXPECT_EQ(s.Size(), 9);
  EXPECT_EQ(std::memcmp(s.Memory(), "abcdef\0\0z", 9), 0);
  EXPECT_EQ(s.Seek(-3, soEnd), 6);
  char b[4] = {};
  EXPECT_EQ(s.Read(b, 4), 3u);
  s.SetPosition(1);
  s.ReadBuffer(b, 2);
  EXPECT_EQ(std::string(b, 2), "bc");
  // A short read fails in the stream's own words and moves nothing more.
  s.SetPosition(8);
  try {
    s.ReadBuffer(b, 2);
    FAIL();
  } catch (const EStreamError& e) {
    EXPECT_STREQ(e.what(), "Unexpected end of file");
  }
  EXPECT_THROW(s.Seek(-1, soBeginning), EStreamError);
}

TEST(Stream, MyMemoryStreamStaysInsideForeignBlock) {
  std::vector<uint8_t> block(8, 0xEE);
  {
    TMyMemoryStream s;
    s.SetPointer(block.data(), 6);
    EXPECT_EQ(s.Size(), 6);
    s.WriteBuffer("1234", 4);
    EXPECT_EQ(s.Write("5678", 4), 2u);
    EXPECT_THROW(s.WriteBuffer("x", 1), EStreamError);
    s.SetPosition(0);
    uint8_t b[6];
    s.ReadBuffer(b, 6);
    EXPECT_EQ(std::memcmp(b, "123456", 6), 0);
    s.Detach();
    EXPECT_EQ(s.Size(), 0);
  }
  // Bytes outside the given size are untouched and the block outlives the stream.
  EXPECT_EQ(block[6], 0xEE);
  EXPECT_EQ(block[0], '1');
}

TEST(Stream, FileStreamRoundTrip) {
  const std::string path = TempPath("stream.bin");
  {
    TFileStream s(path, fmCreate);
    s.WriteBuffer("hello world", 11);
    EXPECT_EQ(s.Size(), 11);
    s.SetPosition(6);
    char b[5];
    s.ReadBuffer(b, 5);
    EXPECT_EQ(std::string(b, 5), "world");
    // Reading and writing alternate without positioning in between.
    s.WriteBuffer("!", 1);
    s.SetPosition(0);
    s.WriteBuffer("J", 1);
    s.ReadBuffer(b, 4);
    EXPECT_EQ(std::string(b, 4), "ello");
    EXPECT_EQ(s.Position(), 5);
  }
  {
    TFileStream s(path, fmOpenRead);
    EXPECT_EQ(s.Size(), 12);
    char b[12];
    s.ReadBuffer(b, 12);
    EXPECT_EQ(std::string(b, 12), "Jello world!");
    EXPECT_THROW(s.ReadBuffer(b, 1), EStreamError);
    EXPECT_THROW(s.WriteBuffer("x", 1), EStreamError);
  }
  std::remove(path.c_str());
  EXPECT_THROW({ TFileStream missing(path, fmOpenRead); }, EStreamError);
}

TEST(FileFormatRegistry, RegisteredEntriesInExtensionOrder) {
  TFileFormatReaders& readers = FileFormatReaders();
  TFileFormatWriters& writers = FileFormatWriters();
  SortFileFormats(readers);
  SortFileFormats(writers);
  EXPECT_EQ(Extensions(readers),
            "avif bmp dib gif heic heif jif jpeg jpg pbm pcx pgm png ppm rle tga tif tiff webp ");
  EXPECT_EQ(Extensions(writers), "avif bmp dib jif jpeg jpg pbm pgm png ppm tga tif tiff webp ");
  for (const auto& r : readers) {
    EXPECT_TRUE(r->Listed());
    EXPECT_EQ(r->HasSignature(), r->Extension() != "tga") << r->Extension();
  }
  EXPECT_EQ(readers[14]->ClassName(), "TRLEFileFormatReader");
  EXPECT_EQ(writers[2]->ClassName(), "TDIBFileFormatWriter");
  EXPECT_FALSE(writers[2]->Listed());
  EXPECT_EQ(writers[2]->CanWriteResolutions().Bits(), 0xFF);
  EXPECT_EQ(FindWriter("BMP"), writers[1].get());
  EXPECT_EQ(FindWriter("dib"), writers[2].get());
  EXPECT_EQ(FindWriter("gif"), nullptr);
  EXPECT_EQ(FindWriter(".bmp"), nullptr);

  TFileFormatReaders mixed;
  for (const char* ext : {"png", "TGA", "Bmp"}) mixed.push_back(std::make_unique<TStubReader>(ext));
  SortFileFormats(mixed);
  EXPECT_EQ(Extensions(mixed), "Bmp png TGA ");
}

TEST(FileFormatRegistry, FindReaderBySignatureThenExtension) {
  const std::vector<uint8_t> bmp = {'B', 'M', 0, 0, 0, 0};
  const std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0};
  const std::vector<uint8_t> tga = {0, 0, 2, 0, 0, 0};
  const std::vector<uint8_t> tgaWithId = {10, 0, 2, 0, 0, 0};

  const auto find = [&](const std::vector<uint8_t>& bytes, const std::string& ext) -> std::string {
    TMemoryStream s;
    Fill(s, bytes);
    TFileFormatReader* r = FindReader(s, ext);
    return r ? r->Extension() : "none";
  };
  // Content wins over the name; the first alias in extension order answers.
  EXPECT_EQ(find(jpeg, "bmp"), "jif");
  EXPECT_EQ(find(bmp, "tga"), "bmp");
  EXPECT_EQ(find(bmp, ""), "bmp");
  // The extension only finds readers without a signature, in any case and with a dot.
  EXPECT_EQ(find(tga, "tga"), "tga");
  EXPECT_EQ(find(tga, "TGA"), "tga");
  EXPECT_EQ(find(tga, ".TgA"), "tga");
  EXPECT_EQ(find(tga, "..tga"), "none");
  EXPECT_EQ(find(tga, "dat"), "none");
  EXPECT_EQ(find(tga, ""), "none");
  EXPECT_EQ(find(tga, "bmp"), "none");
  // A TGA whose identification length is 10 looks like PCX.
  EXPECT_EQ(find(tgaWithId, "tga"), "pcx");
  // Short and empty streams are padded with zeros.
  EXPECT_EQ(find({'B'}, "bmp"), "none");
  EXPECT_EQ(find({}, "tga"), "tga");

  // The header is taken at the current position, which is kept.
  TMemoryStream s;
  Fill(s, {1, 2, 3, 'B', 'M', 9});
  s.SetPosition(3);
  EXPECT_EQ(FindReader(s, "")->Extension(), "bmp");
  EXPECT_EQ(s.Position(), 3);

  TBrokenStream broken;
  broken.WriteBuffer("BM", 2);
  broken.SetPosition(1);
  EXPECT_EQ(FindReader(broken, "tga"), nullptr);
  EXPECT_EQ(broken.Position(), 1);
}

TEST(FileFormatRegistry, FilterStrings) {
  EXPECT_EQ(GetOpenFilter(), OpenFilter);
  EXPECT_EQ(GetSaveFilter(), SaveFilter);
  TFileFormatReaders noReaders;
  TFileFormatWriters noWriters;
  EXPECT_EQ(GetOpenFilter(noReaders), "All files|*.*");
  EXPECT_EQ(GetSaveFilter(noWriters), "");

  SetPGLanguage(1);
  const std::string german = GetOpenFilter();
  SetPGLanguage(0);
  EXPECT_EQ(german.substr(0, 14), "Grafikdateien|");
  EXPECT_EQ(german.substr(german.size() - 16), "Alle Dateien|*.*");

  // Filter indexes count listed entries; the open filter starts with all image files.
  EXPECT_EQ(OpenFilterExtension(1), "");
  EXPECT_EQ(OpenFilterExtension(2), "avif");
  EXPECT_EQ(OpenFilterExtension(5), "gif");
  EXPECT_EQ(OpenFilterExtension(19), "tiff");
  EXPECT_EQ(OpenFilterExtension(20), "webp");
  EXPECT_EQ(OpenFilterExtension(21), "");
  EXPECT_EQ(SaveFilterExtension(1), "avif");
  EXPECT_EQ(SaveFilterExtension(3), "jpg");
  EXPECT_EQ(SaveFilterExtension(9), "tif");
  EXPECT_EQ(SaveFilterExtension(10), "webp");
  EXPECT_EQ(SaveFilterExtension(11), "");
  EXPECT_EQ(SaveFilterExtension(0), "");
  EXPECT_EQ(SaveFilterIndex("jpg"), 3);
  EXPECT_EQ(SaveFilterIndex("TIF"), 9);
  EXPECT_EQ(SaveFilterIndex("jpeg"), 0);
  EXPECT_EQ(SaveFilterIndex("gif"), 0);
}

TEST(FileFormatRegistry, ColorResolutions) {
  // Sets are stored as bytes of the ordinals.
  EXPECT_EQ((TColorResolutions{crGray256, crTrueColor}.Bits()), 0xA0);
  EXPECT_FALSE(TColorResolutions(0xFD).Contains(cr2Colors));
  EXPECT_EQ(ColorResolutionName(cr2Colors), "2 colors");

  struct {
    uint8_t code;
    TPaletteIdent ident;
    TColorResolution expected;
  } const cases[] = {
      {0, pBlackWhite, crBlackWhite}, {0, pUnknown, cr2Colors},   {1, pSys16, crSys16},
      {1, pGray16, crGray16},         {1, pGray4, cr16Colors},    {2, pGray256, crGray256},
      {2, pSpecial216, cr256Colors},  {3, pTrueColor, crTrueColor},
  };
  for (const auto& c : cases) {
    TPixelGraphic g;
    g.SetSize(2, 2, c.code);
    if (c.ident == pUnknown) {
      g.SetPaletteCount(2);
      g.SetPaletteEntries(0, RGB(10, 20, 30));
    } else if (c.code != 3) {
      g.SetPaletteIdent(c.ident);
    }
    g.IdentifyPalette();
    EXPECT_EQ(CurrentColorResolution(g), c.expected) << int(c.code) << " " << int(c.ident);
  }
}

TEST(FileFormatRegistry, GetFileFormatInfo) {
  TPixelGraphic g;
  g.SetSize(5, 3, 2);
  g.SetPaletteIdent(pGray256);
  const std::string path = TempPath("info.PIC");
  {
    TFileStream s(path, fmCreate);
    SpareBMPWriter().Write(s, g);
  }
  TFileFormatInfo info;
  ASSERT_TRUE(GetFileFormatInfo(path, 0, info));
  EXPECT_EQ(info.FormatDescription, "Bitmap");
  EXPECT_EQ(info.SubFormat, "Windows, RGB");
  EXPECT_EQ(info.ImageCount, 1);
  EXPECT_EQ(info.Width, 5);
  EXPECT_EQ(info.Height, 3);
  EXPECT_EQ(info.BitCount, 8);
  EXPECT_EQ(info.ColorCount, "256");
  EXPECT_EQ(info.Details, "");

  EXPECT_FALSE(GetFileFormatInfo(path, 1, info));
  EXPECT_FALSE(GetFileFormatInfo(path + ".missing", 0, info));
  EXPECT_FALSE(GetFileFormatInfo(::testing::TempDir() + "/", 0, info));

  // Unrecognised content: the outputs are cleared.
  {
    TFileStream s(path, fmCreate);
    s.WriteBuffer("XIF89a", 6);
  }
  info.Width = 7;
  EXPECT_FALSE(GetFileFormatInfo(path, 0, info));
  EXPECT_EQ(info.Width, 0);
  EXPECT_EQ(info.ImageCount, 0);
  EXPECT_EQ(info.FormatDescription, "");
  std::remove(path.c_str());

  EXPECT_EQ(FileNameExtension("dir/Picture.BMP"), "bmp");
  EXPECT_EQ(FileNameExtension("dir.d/picture"), "");
  EXPECT_EQ(FileNameExtension("C:\\a.b\\c"), "");
  EXPECT_EQ(FileNameExtension("a.tar.gz"), "gz");
  EXPECT_EQ(FileNameExtension("name."), "");
}

}  // namespace
