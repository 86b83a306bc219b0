#include <gtest/gtest.h>

#include <png.h>
#include <zlib.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "codecpeer.h"
#include "failuremessage.h"
#include "formatoptions.h"
#include "formatregistry.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "pngformat.h"
#include "scriptedplatform.h"
#include "stream.h"

namespace {

using namespace codecpeer;
using Bytes = std::vector<uint8_t>;
using TSample = std::function<uint32_t(int32_t x, int32_t y, int channel)>;

// What a test file holds; written with libpng itself.
struct TPNGLayout {
  int32_t Width = 5;
  int32_t Height = 4;
  int Depth = 8;
  int ColorType = PNG_COLOR_TYPE_RGB;
  bool Interlaced = false;
  TSample Sample = [](int32_t x, int32_t y, int c) { return uint32_t(x * 40 + y * 7 + c * 90) & 0xFF; };
  std::vector<png_color> Palette;
  Bytes PaletteAlpha;
  std::optional<png_color_16> Transparent;
  std::optional<png_color_16> Background;
  std::optional<double> Gamma;
  bool Offset = false;
};

int Channels(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    default: return 1;
  }
}

void Collect(png_structp png, png_bytep data, size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

Bytes MakePNG(const TPNGLayout& layout) {
  const int channels = Channels(layout.ColorType);
  const size_t rowBytes = (size_t(layout.Width) * layout.Depth * channels + 7) / 8;
  std::vector<Bytes> rows(size_t(layout.Height), Bytes(rowBytes, 0));
  for (int32_t y = 0; y < layout.Height; ++y)
    for (int32_t x = 0; x < layout.Width; ++x)
      for (int c = 0; c < channels; ++c) {
        const uint32_t v = layout.Sample(x, y, c);
        const int64_t bit = (int64_t(x) * channels + c) * layout.Depth;
        uint8_t* row = rows[size_t(y)].data();
        if (layout.Depth == 16) {
          row[bit / 8] = uint8_t(v >> 8);
          row[bit / 8 + 1] = uint8_t(v);
        } else {
          row[bit / 8] |= uint8_t(v << (8 - layout.Depth - bit % 8));
        }
      }
  std::vector<png_bytep> pointers;
  for (Bytes& row : rows) pointers.push_back(row.data());

  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) throw std::runtime_error("test file not written");
  png_set_write_fn(png, &out, Collect, nullptr);
  png_set_IHDR(png, info, png_uint_32(layout.Width), png_uint_32(layout.Height), layout.Depth, layout.ColorType,
               layout.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!layout.Palette.empty()) png_set_PLTE(png, info, layout.Palette.data(), int(layout.Palette.size()));
  if (!layout.PaletteAlpha.empty())
    png_set_tRNS(png, info, layout.PaletteAlpha.data(), int(layout.PaletteAlpha.size()), nullptr);
  if (layout.Transparent) png_set_tRNS(png, info, nullptr, 0, &*layout.Transparent);
  if (layout.Background) png_set_bKGD(png, info, &*layout.Background);
  if (layout.Gamma) png_set_gAMA(png, info, *layout.Gamma);
  if (layout.Offset) png_set_oFFs(png, info, 3, 4, PNG_OFFSET_PIXEL);
  png_write_info(png, info);
  png_write_image(png, pointers.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

png_color_16 Color16(uint16_t red, uint16_t green, uint16_t blue, uint16_t gray = 0) {
  png_color_16 c{};
  c.red = red;
  c.green = green;
  c.blue = blue;
  c.gray = gray;
  return c;
}

void ReadPNG(const Bytes& file, TPixelGraphic& g) { ReadWith<TPNGFileFormatReader>(file, g); }

TFileFormatInfo InfoOf(const Bytes& file) { return InfoWith<TPNGFileFormatReader>(file); }

Bytes WritePNG(TPixelGraphic& g) { return WrittenWith<TPNGFileFormatWriter>(g); }

// The message of the PNG exception that action raises.
std::string Failure(const std::function<void()>& action) { return ::Failure<EPGPNGFileFormatReaderWriter>(action); }

uint32_t GetBE32(const uint8_t* p) { return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

// The payload of the first chunk of that type; empty when there is none.
Bytes ChunkPayload(const Bytes& file, const std::string& type) {
  for (size_t p = 8; p + 12 <= file.size();) {
    const uint32_t length = GetBE32(&file[p]);
    if (std::string(file.begin() + long(p) + 4, file.begin() + long(p) + 8) == type)
      return Bytes(file.begin() + long(p) + 8, file.begin() + long(p + 8 + length));
    p += 12 + length;
  }
  return Bytes();
}

bool HasChunk(const Bytes& file, const std::string& type) {
  return !ChunkPayload(file, type).empty() || type == "IEND";
}

// Breaks the CRC of the first chunk of that type.
void SpoilCRC(Bytes& file, const std::string& type) {
  for (size_t p = 8; p + 12 <= file.size();) {
    const uint32_t length = GetBE32(&file[p]);
    if (std::string(file.begin() + long(p) + 4, file.begin() + long(p) + 8) == type) {
      file[p + 8 + length] ^= 0xFF;
      return;
    }
    p += 12 + length;
  }
}

// Inserts a chunk with a correct CRC just before IDAT.
void InsertChunk(Bytes& file, const std::string& type, const Bytes& payload) {
  Bytes chunk(12 + payload.size());
  const auto putBE32 = [](uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (24 - 8 * i));
  };
  putBE32(chunk.data(), uint32_t(payload.size()));
  std::copy(type.begin(), type.begin() + 4, chunk.begin() + 4);
  std::copy(payload.begin(), payload.end(), chunk.begin() + 8);
  putBE32(chunk.data() + 8 + payload.size(),
          uint32_t(crc32(crc32(0, nullptr, 0), chunk.data() + 4, uInt(4 + payload.size()))));
  for (size_t p = 8; p + 12 <= file.size();) {
    if (std::string(file.begin() + long(p) + 4, file.begin() + long(p) + 8) == "IDAT") {
      file.insert(file.begin() + long(p), chunk.begin(), chunk.end());
      return;
    }
    p += 12 + GetBE32(&file[p]);
  }
}

TEST(PNGFormat, SignatureAndRegistration) {
  TFileHeader header{};
  const Bytes file = MakePNG(TPNGLayout());
  std::copy(file.begin(), file.begin() + 17, header.begin());
  EXPECT_TRUE(TPNGFileFormatReader().CheckSignature(header));
  header[7] = 0;
  EXPECT_FALSE(TPNGFileFormatReader().CheckSignature(header));

  // Found by content whatever the name says.
  TMemoryStream s;
  Fill(s, file);
  const TFileFormatReader* reader = FindReader(s, ".bmp");
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->Extension(), "png");
  EXPECT_EQ(reader->Description(), "Portable Network Graphics");
  const TFileFormatWriter* writer = FindWriter("PNG");
  ASSERT_NE(writer, nullptr);
  EXPECT_EQ(writer->CanWriteResolutions().Bits(), 0xFF);
  EXPECT_TRUE(writer->Listed());
}

TEST(PNGFormat, RoundTripOfEveryColorResolution) {
  struct {
    TColorResolution resolution;
    uint8_t code;
    TPaletteIdent ident;
    int colorType;
    int depth;
  } const cases[] = {
      {crBlackWhite, 0, pBlackWhite, 3, 1}, {cr2Colors, 0, pUnknown, 3, 1},     {crGray16, 1, pGray16, 3, 4},
      {crSys16, 1, pSys16, 3, 4},           {cr16Colors, 1, pUnknown, 3, 4},    {crGray256, 2, pGray256, 0, 8},
      {cr256Colors, 2, pUnknown, 3, 8},     {crTrueColor, 3, pTrueColor, 2, 8},
  };
  std::mt19937 random(11);
  for (const auto& c : cases) {
    SCOPED_TRACE(ColorResolutionName(c.resolution));
    TPixelGraphic src;
    src.SetSize(13, 7, c.code);
    if (c.ident == pUnknown)
      RandomPalette(src, c.code == 0 ? 2 : c.code == 1 ? 11 : 200, random);
    else if (c.code != 3)
      src.SetPaletteIdent(c.ident);
    RandomPixels(src, random);
    src.IdentifyPalette();
    ASSERT_EQ(CurrentColorResolution(src), c.resolution);
    src.SetGamma(2.5L);

    const Bytes file = WritePNG(src);
    const Bytes ihdr = ChunkPayload(file, "IHDR");
    ASSERT_EQ(ihdr.size(), 13u);
    EXPECT_EQ(ihdr[8], c.depth);
    EXPECT_EQ(ihdr[9], c.colorType);
    EXPECT_EQ(ChunkPayload(file, "PLTE").size(), c.colorType == 3 ? 3u * src.PaletteCount() : 0u);
    // 1 / 2.5 in units of 1/100000.
    EXPECT_EQ(ChunkPayload(file, "gAMA"), (Bytes{0, 0, 0x9C, 0x40}));

    TPixelGraphic back;
    ReadPNG(file, back);
    back.IdentifyPalette();
    EXPECT_EQ(back.BitCountNum(), c.code);
    EXPECT_EQ(back.PaletteIdent(), src.PaletteIdent());
    EXPECT_EQ(GraphicRGB(back), GraphicRGB(src));
    EXPECT_NEAR(double(back.Gamma()), 2.5, 1e-4);
  }

  const bool writeGamma = WriteGamma;
  WriteGamma = false;
  TPixelGraphic g;
  g.SetSize(3, 2, 3);
  const Bytes file = WritePNG(g);
  WriteGamma = writeGamma;
  EXPECT_FALSE(HasChunk(file, "gAMA"));
  TPixelGraphic back;
  back.SetGamma(1.0L);
  ReadPNG(file, back);
  EXPECT_EQ(back.Gamma(), ScreenGamma);
}

TEST(PNGFormat, PicturesTallerThanAMillionRowsRoundTrip) {
  TPixelGraphic src;
  src.SetSize(1, 1000001, 2);
  src.SetPaletteIdent(pGray256);
  src.SetPixel(0, 1000000, 200);
  TMemoryStream s;
  src.SaveToStreamExt(s, "png");
  s.SetPosition(0);
  TPixelGraphic back;
  back.LoadFromStream(s);
  ASSERT_EQ(back.GetHeight(), 1000001);
  EXPECT_EQ(back.GetPixel(0, 1000000), 200u);
}

TEST(PNGFormat, TwoBitPicturesWidenToFourBits) {
  TPNGLayout gray;
  gray.Width = 7;
  gray.Height = 3;
  gray.Depth = 2;
  gray.ColorType = PNG_COLOR_TYPE_GRAY;
  gray.Sample = [](int32_t x, int32_t y, int) { return uint32_t(x + 2 * y) % 4; };
  TPixelGraphic g;
  ReadPNG(MakePNG(gray), g);
  ASSERT_EQ(g.BitCountNum(), 1);
  EXPECT_EQ(g.PaletteIdent(), pGray4);
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 7; ++x) EXPECT_EQ(g.GetPixel(x, y), uint32_t(x + 2 * y) % 4) << x << "," << y;
    // The nibble beyond an odd width stays clear.
    EXPECT_EQ(g.ScanLine(y)[3] & 0x0F, 0);
  }

  TPNGLayout palette = gray;
  palette.ColorType = PNG_COLOR_TYPE_PALETTE;
  palette.Palette = {{200, 0, 0}, {0, 200, 0}, {0, 0, 200}, {9, 9, 9}};
  ReadPNG(MakePNG(palette), g);
  ASSERT_EQ(g.BitCountNum(), 1);
  ASSERT_EQ(g.PaletteCount(), 4);
  EXPECT_EQ(g.PaletteEntries(2), RGB(0, 0, 200));
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 7; ++x) EXPECT_EQ(g.GetPixel(x, y), uint32_t(x + 2 * y) % 4);
}

TEST(PNGFormat, LayoutFollowsDepthAndColorType) {
  struct {
    int depth;
    int colorType;
    uint8_t code;
    TPaletteIdent ident;
  } const cases[] = {
      {1, PNG_COLOR_TYPE_GRAY, 0, pBlackWhite}, {4, PNG_COLOR_TYPE_GRAY, 1, pGray16},
      {8, PNG_COLOR_TYPE_GRAY, 2, pGray256},    {16, PNG_COLOR_TYPE_GRAY, 2, pGray256},
      {16, PNG_COLOR_TYPE_RGB, 3, pTrueColor},  {8, PNG_COLOR_TYPE_RGB, 3, pTrueColor},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.depth) + " bits, colour type " + std::to_string(c.colorType));
    TPNGLayout layout;
    layout.Depth = c.depth;
    layout.ColorType = c.colorType;
    const uint32_t top = (1u << c.depth) - 1;
    layout.Sample = [top](int32_t x, int32_t y, int ch) { return uint32_t(x * 977 + y * 331 + ch * 4099) % (top + 1); };
    TPixelGraphic g;
    ReadPNG(MakePNG(layout), g);
    ASSERT_EQ(g.BitCountNum(), c.code);
    EXPECT_EQ(g.PaletteIdent(), c.ident);
    for (int32_t y = 0; y < layout.Height; ++y)
      for (int32_t x = 0; x < layout.Width; ++x) {
        // Sixteen bits lose their low byte; grey levels below eight bits stay indices.
        const auto level = [&](int ch) { return c.depth == 16 ? layout.Sample(x, y, ch) >> 8 : layout.Sample(x, y, ch); };
        const uint32_t expected = c.code == 3 ? RGB(level(0), level(1), level(2)) : level(0);
        EXPECT_EQ(g.GetPixel(x, y), expected) << x << "," << y;
      }
  }
}

TEST(PNGFormat, TransparencyIsCompositedAgainstABackground) {
  const TRGB own = RGB(10, 200, 30);
  const auto read = [&](const TPNGLayout& layout, TPixelGraphic& g) {
    g.SetSize(0, 0, 3);
    g.SetBackGroundColor(own);
    ReadPNG(MakePNG(layout), g);
  };
  TPixelGraphic g;

  // Alpha 0 shows the background exactly, full alpha the pixel, in 16 and in 8 bits.
  for (int depth : {16, 8}) {
    SCOPED_TRACE(depth);
    TPNGLayout rgba;
    rgba.Depth = depth;
    rgba.ColorType = PNG_COLOR_TYPE_RGB_ALPHA;
    const uint32_t top = (1u << depth) - 1;
    rgba.Sample = [top](int32_t x, int32_t, int c) { return c == 3 ? (x % 2 ? top : 0) : top / 3 * (c + 1); };
    read(rgba, g);
    ASSERT_EQ(g.BitCountNum(), 3);
    EXPECT_EQ(g.GetPixelColor(0, 0), own);
    const uint32_t third = depth == 16 ? top / 3 >> 8 : top / 3;
    EXPECT_EQ(g.GetPixelColor(1, 0), RGB(third, third * 2, third * 3));
    EXPECT_EQ(g.BackGroundColor(), own);

    // The file's bKGD takes the place of the graphic's colour, and becomes it.
    rgba.Background = depth == 16 ? Color16(0xFFFF, 0x8000, 0x0000) : Color16(0xFF, 0x80, 0x00);
    read(rgba, g);
    EXPECT_EQ(g.GetPixelColor(0, 0), RGB(255, 128, 0));
    EXPECT_EQ(g.BackGroundColor(), RGB(255, 128, 0));
    PNGUseFileBackground = false;
    read(rgba, g);
    PNGUseFileBackground = true;
    EXPECT_EQ(g.GetPixelColor(0, 0), own);
  }

  // Grey with a transparent level: the background's grey, in the file's depth.
  TPNGLayout gray;
  gray.ColorType = PNG_COLOR_TYPE_GRAY;
  gray.Sample = [](int32_t x, int32_t, int) { return uint32_t(x * 50); };
  gray.Transparent = Color16(0, 0, 0, 100);
  read(gray, g);
  EXPECT_EQ(g.GetPixel(2, 0), (10u + 200 + 30) / 3);
  EXPECT_EQ(g.GetPixel(3, 0), 150u);
  gray.Depth = 2;
  gray.Sample = [](int32_t x, int32_t, int) { return uint32_t(x % 4); };
  gray.Transparent = Color16(0, 0, 0, 1);
  read(gray, g);
  // (10 + 200 + 30) / 3 = 80 is level 1 of 0..3.
  EXPECT_EQ(g.GetPixel(1, 0), 1u);
  gray.Background = Color16(3, 3, 3, 3);
  read(gray, g);
  EXPECT_EQ(g.GetPixel(1, 0), 3u);
  EXPECT_EQ(g.GetPixel(2, 0), 2u);
  EXPECT_EQ(g.BackGroundColor(), RGB(255, 255, 255));

  // A palette's transparent entries are blended into the palette itself.
  TPNGLayout palette;
  palette.ColorType = PNG_COLOR_TYPE_PALETTE;
  palette.Palette = {{255, 0, 0}, {0, 0, 255}, {0, 255, 0}};
  palette.PaletteAlpha = {0, 255};
  palette.Sample = [](int32_t x, int32_t, int) { return uint32_t(x % 3); };
  read(palette, g);
  ASSERT_EQ(g.BitCountNum(), 2);
  EXPECT_EQ(g.PaletteEntries(0), own);
  EXPECT_EQ(g.PaletteEntries(1), RGB(0, 0, 255));
  EXPECT_EQ(g.PaletteEntries(2), RGB(0, 255, 0));
  EXPECT_EQ(g.GetPixel(3, 0), 0u);
}

TEST(PNGFormat, GammaOfTheFileBecomesTheGraphicsGamma) {
  TPNGLayout layout;
  layout.Gamma = 0.45455;
  TPixelGraphic g;
  ReadPNG(MakePNG(layout), g);
  EXPECT_NEAR(double(g.Gamma()), 2.2, 1e-4);
  layout.Gamma.reset();
  ReadPNG(MakePNG(layout), g);
  EXPECT_EQ(g.Gamma(), ScreenGamma);

  // A gamma that gAMA cannot hold is left out instead of failing the file.
  for (long double gamma : {0.00001L, 0.0L, -1.0L, 2.2L}) {
    TPixelGraphic out;
    out.SetSize(2, 2, 3);
    out.SetGamma(gamma);
    TMemoryStream s;
    out.SaveToStreamExt(s, "png");
    const std::string bytes(reinterpret_cast<const char*>(s.Memory()), size_t(s.Size()));
    EXPECT_EQ(bytes.find("gAMA") != std::string::npos, gamma == 2.2L) << double(gamma);
  }
}

TEST(PNGFormat, InfoDescribesTheFileWithoutDecoding) {
  struct {
    int depth;
    int colorType;
    bool interlaced;
    const char* subFormat;
    int bitCount;
    const char* colorCount;
  } const cases[] = {
      {8, PNG_COLOR_TYPE_PALETTE, true, "palette, interlaced", 8, "256"},
      {2, PNG_COLOR_TYPE_PALETTE, false, "palette", 2, "4"},
      {1, PNG_COLOR_TYPE_GRAY, false, "GrayScale", 1, "2"},
      {4, PNG_COLOR_TYPE_GRAY, false, "GrayScale", 4, "16"},
      {16, PNG_COLOR_TYPE_GRAY, false, "GrayScale", 16, "64K?"},
      {8, PNG_COLOR_TYPE_GRAY_ALPHA, false, "GrayScale, alpha", 16, "64K?"},
      {8, PNG_COLOR_TYPE_RGB, true, "RGB, interlaced", 24, "16.7M"},
      {8, PNG_COLOR_TYPE_RGB_ALPHA, false, "RGB, alpha", 32, "16.7M?"},
      {16, PNG_COLOR_TYPE_RGB_ALPHA, false, "RGB, alpha", 64, "?"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.subFormat);
    TPNGLayout layout;
    layout.Width = 21;
    layout.Height = 9;
    layout.Depth = c.depth;
    layout.ColorType = c.colorType;
    layout.Interlaced = c.interlaced;
    layout.Sample = [](int32_t, int32_t, int) { return 1u; };
    if (c.colorType == PNG_COLOR_TYPE_PALETTE) layout.Palette.assign(2, png_color{1, 2, 3});
    TFileFormatInfo info;
    info.FormatDescription = "kept";
    info = InfoOf(MakePNG(layout));
    EXPECT_EQ(info.SubFormat, c.subFormat);
    EXPECT_EQ(info.BitCount, c.bitCount);
    EXPECT_EQ(info.ColorCount, c.colorCount);
    EXPECT_EQ(info.Width, 21);
    EXPECT_EQ(info.Height, 9);
    EXPECT_EQ(info.ImageCount, 1);
    EXPECT_EQ(info.Details, c.colorType == PNG_COLOR_TYPE_PALETTE ? "(plte)" : "");
  }

  TPNGLayout layout;
  layout.Offset = true;
  EXPECT_EQ(InfoOf(MakePNG(layout)).Details, "(offs)");
  layout.ColorType = PNG_COLOR_TYPE_PALETTE;
  layout.Palette.assign(2, png_color{1, 2, 3});
  layout.Sample = [](int32_t, int32_t, int) { return 1u; };
  layout.PaletteAlpha = {7};
  layout.Background = Color16(0, 0, 0);
  layout.Gamma = 0.5;
  EXPECT_EQ(InfoOf(MakePNG(layout)).Details, "(gama, plte, trns, bkgd, offs)");
}

TEST(PNGFormat, ProgressCoversEveryPassAndAbortKeepsTheRowsRead) {
  TPNGLayout layout;
  layout.Width = 9;
  layout.Height = 10;
  layout.Interlaced = true;
  TPixelGraphic plain, interlaced;
  TPNGLayout flat = layout;
  flat.Interlaced = false;
  ReadPNG(MakePNG(flat), plain);

  TPNGFileFormatReader reader;
  std::vector<int> steps;
  int starts = 0, ends = 0;
  interlaced.OnProgressStart = [&](TObject* sender) {
    EXPECT_EQ(sender, &reader);
    ++starts;
  };
  interlaced.OnProgress = [&](TObject* sender, int step, int max, bool&) {
    EXPECT_EQ(sender, &reader);
    EXPECT_EQ(max, 70);
    steps.push_back(step);
  };
  interlaced.OnProgressEnd = [&](TObject*) { ++ends; };
  TMemoryStream s;
  Fill(s, MakePNG(layout));
  reader.Read(s, interlaced, 0);
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(ends, 1);
  ASSERT_EQ(steps.size(), 70u);
  EXPECT_EQ(steps.front(), 0);
  EXPECT_EQ(steps.back(), 69);
  EXPECT_EQ(GraphicRGB(interlaced), GraphicRGB(plain));

  // Abort after the third row: no error, the rest stays empty.
  TPixelGraphic aborted;
  aborted.OnProgress = [](TObject*, int step, int, bool& abort) { abort = step == 2; };
  aborted.OnProgressEnd = [&](TObject*) { ++ends; };
  ReadPNG(MakePNG(flat), aborted);
  EXPECT_EQ(ends, 2);
  EXPECT_EQ(aborted.GetPixel(4, 2), plain.GetPixel(4, 2));
  EXPECT_EQ(aborted.GetPixel(4, 3), 0u);

  TPNGFileFormatWriter writer;
  std::vector<int> written;
  plain.OnProgress = [&](TObject* sender, int step, int max, bool& abort) {
    EXPECT_EQ(sender, &writer);
    EXPECT_EQ(max, 9);
    written.push_back(step);
    abort = true;
  };
  TMemoryStream out;
  writer.Write(out, plain);
  // Writing goes on whatever the handler says.
  EXPECT_EQ(written, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

// A stream whose reading fails with the stream's own error after some bytes.
class TFailingStream : public TMemoryStream {
public:
  explicit TFailingStream(size_t goodBytes) : FGood(goodBytes) {}
  size_t Read(void* Buffer, size_t Count) override {
    if (Position() + int64_t(Count) > int64_t(FGood)) throw EStreamError("disk gone");
    return TMemoryStream::Read(Buffer, Count);
  }

private:
  size_t FGood;
};

TEST(PNGFormat, BrokenFilesRaisePNGErrors) {
  const Bytes good = MakePNG(TPNGLayout());
  TPixelGraphic g;
  EXPECT_EQ(Failure([&] {
              TMemoryStream s;
              Fill(s, good);
              TPNGFileFormatReader().Read(s, g, 1);
            }),
            "PNG: Index invalid");
  EXPECT_EQ(Failure([&] {
              TMemoryStream s;
              Fill(s, good);
              TFileFormatInfo info;
              TPNGFileFormatReader().ReadInfo(s, 1, info);
            }),
            "PNG: Invalid value for Index");

  Bytes cut(good.begin(), good.end() - 20);
  EXPECT_EQ(Failure([&] { ReadPNG(cut, g); }), "PNG: Unexpected end of file");
  Bytes crc = good;
  SpoilCRC(crc, "IHDR");
  EXPECT_EQ(Failure([&] { ReadPNG(crc, g); }), "PNG: IHDR: CRC error");
  EXPECT_EQ(Failure([&] { InfoOf(crc); }), "PNG: IHDR: CRC error");
  Bytes notPNG = good;
  notPNG[1] = 'Q';
  EXPECT_EQ(Failure([&] { ReadPNG(notPNG, g); }), "PNG: Not a PNG file");

  // A header that promises far more than the file can hold is refused at once.
  TPNGLayout huge;
  huge.Width = 1;
  huge.Height = 1;
  Bytes big = MakePNG(huge);
  big[16 + 1] = 0x0F;  // width 0x000F0001
  big[20 + 1] = 0x0F;  // height 0x000F0001
  const uint32_t crcValue = uint32_t(crc32(crc32(0, nullptr, 0), &big[12], 17));
  for (int i = 0; i < 4; ++i) big[29 + i] = uint8_t(crcValue >> (24 - 8 * i));
  EXPECT_EQ(Failure([&] { ReadPNG(big, g); }), "PNG: Unexpected end of file");

  // A text chunk that claims 2 GB after the pixels: libpng would set that
  // much aside, and zero it, before finding the file at its end.
  Bytes text(good.begin(), good.end() - 12);
  text.insert(text.end(), {0x78, 0, 0, 0x25, 't', 'E', 'X', 't', 'd', 'a', 't', 'e'});
  EXPECT_EQ(Failure([&] { ReadPNG(text, g); }), "PNG: Unexpected end of file");

  // Stream errors arrive with the PNG prefix and leave nothing behind.
  EXPECT_EQ(Failure([&] {
              TFailingStream s(40);
              Fill(s, good);
              TPNGFileFormatReader().Read(s, g, 0);
            }),
            "PNG: disk gone");
  EXPECT_EQ(Failure([&] {
              Bytes block(30);
              TMyMemoryStream s;
              s.SetPointer(block.data(), block.size());
              TPixelGraphic picture;
              picture.SetSize(20, 20, 3);
              TPNGFileFormatWriter().Write(s, picture);
            }).rfind("PNG: ", 0),
            0u);
}

TEST(PNGFormat, WarningsFollowReadWarningAction) {
  // A tIME chunk of the wrong length draws a warning from libpng.
  Bytes file = MakePNG(TPNGLayout());
  InsertChunk(file, "tIME", {7, 0xE0});
  struct TBox {
    int Calls = 0;
    std::string Caption;
    bool OKCancel = false;
    bool Answer = true;
  } box;
  TScriptedPlatform platform;
  platform.Box = [&](const std::string&, const std::string& caption, TPGBoxButtons buttons) {
    ++box.Calls;
    box.Caption = caption;
    box.OKCancel = buttons == pgbOKCancel;
    return box.Answer ? pgaOK : pgaCancel;
  };
  TPixelGraphic g;
  const auto readWith = [&](TPGWarningAction action) {
    g.SetReadWarningAction(action);
    return Failure([&] { ReadPNG(file, g); });
  };
  EXPECT_EQ(readWith(pgwaIgnore), "no failure");
  EXPECT_EQ(box.Calls, 0);
  EXPECT_EQ(readWith(pgwaOKBox), "no failure");
  EXPECT_EQ(box.Calls, 1);
  EXPECT_EQ(box.Caption, "PNG Warning");
  EXPECT_FALSE(box.OKCancel);
  EXPECT_EQ(readWith(pgwaOKCancelBox), "no failure");
  EXPECT_TRUE(box.OKCancel);
  box.Answer = false;
  EXPECT_EQ(readWith(pgwaOKCancelBox), "PNG: Operation aborted on user request");
  const std::string raised = readWith(pgwaRaise);
  EXPECT_EQ(raised.rfind("PNG: tIME", 0), 0u) << raised;
  EXPECT_EQ(Failure([&] { InfoOf(file); }), raised);
}

// Peers: ImageMagick writes PNG files that we read, and reads the files we
// write; both sides are compared through plain PNM files.
class PNGPeers : public ::testing::Test {
protected:
  void SetUp() override {
    if (!Executable(Convert)) GTEST_SKIP() << "ImageMagick's convert is not installed";
  }

  // The picture as ImageMagick reads the file, flattened on a colour if given.
  std::vector<uint8_t> PeerRGB(const std::string& file, const std::string& background = "") {
    const std::string pnm = Dir / "peer.ppm";
    const std::string flatten = background.empty() ? "" : " -background '" + background + "' -flatten";
    EXPECT_TRUE(RunQuietly(Convert + " '" + file + "'" + flatten + " -depth 8 ppm:'" + pnm + "'"));
    return ReadPNM(pnm).RGB();
  }

  void Load(const std::string& file, TPixelGraphic& g) {
    TFileStream s(file, fmOpenRead);
    TPNGFileFormatReader().Read(s, g, 0);
  }

  // A random picture; with few colours when asked, so that a palette holds it.
  void RandomPicture(TPixelGraphic& g, int colors = 0) {
    std::mt19937 random(3);
    g.SetSize(37, 23, 3);
    for (int32_t y = 0; y < 23; ++y)
      for (int32_t x = 0; x < 37; ++x) g.SetPixel(x, y, colors ? (random() % colors) * 0x050A0F : random() & 0xFFFFFF);
  }

  const std::string Convert = "/usr/bin/convert";
  TTempDirectory Dir;
};

TEST_F(PNGPeers, WeReadWhatImageMagickWrites) {
  TPixelGraphic source;
  RandomPicture(source);
  const std::string ppm = Dir / "source.ppm";
  WritePNM(ppm, source);
  struct {
    const char* options;
    const char* subFormat;
    int bitCount;
  } const cases[] = {
      {"-interlace PNG PNG24:", "RGB, interlaced", 24},
      {"-colors 200 PNG8:", "palette", 8},
      {"-colorspace Gray -define png:color-type=0 -define png:bit-depth=8 ", "GrayScale", 8},
      {"-colorspace Gray -depth 2 ", "GrayScale", 2},
      {"-depth 16 PNG48:", "RGB", 48},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    const std::string png = Dir / "peer.png";
    ASSERT_TRUE(RunQuietly(Convert + " '" + ppm + "' " + c.options + "'" + png + "'"));
    TFileStream s(png, fmOpenRead);
    TFileFormatInfo info;
    TPNGFileFormatReader().ReadInfo(s, 0, info);
    EXPECT_EQ(info.SubFormat, c.subFormat);
    EXPECT_EQ(info.BitCount, c.bitCount);
    TPixelGraphic g;
    Load(png, g);
    EXPECT_EQ(GraphicRGB(g), PeerRGB(png));
  }

  // Sixteen bits of our own: libpng keeps the high byte, ImageMagick rounds.
  std::ofstream wide(Dir / "wide.ppm", std::ios::binary);
  wide << "P6\n37 23\n65535\n";
  std::mt19937 random(9);
  std::vector<uint8_t> high;
  for (int i = 0; i < 37 * 23 * 3; ++i) {
    const uint16_t v = uint16_t(random());
    wide << char(v >> 8) << char(v);
    high.push_back(uint8_t(v >> 8));
  }
  wide.close();
  ASSERT_TRUE(RunQuietly(Convert + " '" + (Dir / "wide.ppm") + "' PNG48:'" + (Dir / "wide.png") + "'"));
  TPixelGraphic g;
  Load(Dir / "wide.png", g);
  EXPECT_EQ(GraphicRGB(g), high);
  EXPECT_LE(MaxDifference(GraphicRGB(g), PeerRGB(Dir / "wide.png")), 1);
}

TEST_F(PNGPeers, TransparencyAndGammaAsImageMagickSeesThem) {
  // Binary transparency, so that compositing leaves no room for rounding.
  const std::string rgba = Dir / "alpha.png";
  ASSERT_TRUE(RunQuietly(Convert + " -seed 4 -size 37x23 plasma:fractal -channel A -fx 'i%3==0?0:1' +channel " +
                         "-define png:exclude-chunks=bKGD PNG32:'" + rgba + "'"));
  const std::string palette = Dir / "palette.png";
  ASSERT_TRUE(
      RunQuietly(Convert + " '" + rgba + "' -colors 100 -define png:exclude-chunks=bKGD PNG8:'" + palette + "'"));
  for (const std::string& file : {rgba, palette}) {
    SCOPED_TRACE(file);
    TFileStream s(file, fmOpenRead);
    TFileFormatInfo info;
    TPNGFileFormatReader().ReadInfo(s, 0, info);
    EXPECT_EQ(info.SubFormat, file == rgba ? "RGB, alpha" : "palette");
    EXPECT_EQ(info.Details, file == rgba ? "(gama, chrm, time)" : "(gama, chrm, plte, trns, time)");
    TPixelGraphic g;
    g.SetBackGroundColor(RGB(10, 200, 30));
    Load(file, g);
    EXPECT_EQ(GraphicRGB(g), PeerRGB(file, "rgb(10,200,30)"));
  }

  const std::string gamma = Dir / "gamma.png";
  for (double value : {0.7, 0.45455, 1.0}) {
    ASSERT_TRUE(RunQuietly(Convert + " -size 5x3 xc:gray50 -set gamma " + std::to_string(value) + " '" + gamma + "'"));
    TPixelGraphic g;
    Load(gamma, g);
    EXPECT_NEAR(double(g.Gamma()), 1 / value, 1e-4);
    // The reader leaves the stored samples alone; gamma correction comes
    // after it. ImageMagick converts a linear file on reading, so there the
    // stored grey is the reference.
    if (value == 1.0)
      EXPECT_EQ(g.GetPixel(0, 0), 127u);
    else
      EXPECT_EQ(GraphicRGB(g), PeerRGB(gamma));
  }
}

TEST_F(PNGPeers, ImageMagickReadsWhatWeWrite) {
  TPixelGraphic truecolor, indexed, gray, gray16, bw;
  RandomPicture(truecolor);
  indexed.SetSize(37, 23, 2);
  indexed.SetPaletteCount(40);
  for (int i = 0; i < 40; ++i) indexed.SetPaletteEntries(i, TRGB(i * 0x050A0F));
  gray.SetSize(37, 23, 2);
  gray.SetPaletteIdent(pGray256);
  gray16.SetSize(37, 23, 1);
  gray16.SetPaletteIdent(pGray16);
  bw.SetSize(37, 23, 0);
  bw.SetPaletteIdent(pBlackWhite);
  std::mt19937 random(5);
  for (int32_t y = 0; y < 23; ++y)
    for (int32_t x = 0; x < 37; ++x) {
      indexed.SetPixel(x, y, random() % 40);
      gray.SetPixel(x, y, random() % 256);
      gray16.SetPixel(x, y, random() % 16);
      bw.SetPixel(x, y, random() % 2);
    }
  for (TPixelGraphic* g : {&truecolor, &indexed, &gray, &gray16, &bw}) {
    SCOPED_TRACE(g->BitCount());
    const std::string file = Dir / "ours.png";
    {
      TFileStream s(file, fmCreate);
      TPNGFileFormatWriter().Write(s, *g);
    }
    EXPECT_EQ(PeerRGB(file), GraphicRGB(*g));
  }
}

}  // namespace
