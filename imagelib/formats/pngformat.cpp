#include "pngformat.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "codecescape.h"
#include "codecwarning.h"
#include "embeddedprofile.h"
#include "exifblock.h"
#include "formatoptions.h"
#include "langstr.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "pixellimit.h"
#include "progressevents.h"
#include "stream.h"

bool PNGUseFileBackground = true;

namespace {

// Deflate never packs more than this many bytes into one.
constexpr int64_t DeflateMaxRatio = 1032;

[[noreturn]] void RaisePNGError(const std::string& text) { throw EPGPNGFileFormatReaderWriter("PNG: " + text); }

void CheckPNGLibraryVersion() {
  if (png_access_version_number() / 100 != PNG_LIBPNG_VER / 100 || zlibVersion()[0] != ZLIB_VERSION[0])
    RaisePNGError("Invalid library version");
}

// What libpng's callbacks need during one read or write.
class TPNGSession {
public:
  TPNGSession(TStream& stream, TPGWarningAction warningAction) : FStream(stream), FWarningAction(warningAction) {}

  // Runs library calls; a library error or a raising warning comes out as
  // our exception.
  template <class TCall>
  void Call(const TCall& call) {
    if (!CodecCall(FEscape, call)) throw EPGPNGFileFormatReaderWriter(FEscape.Failure);
  }

  static void Error(png_structp png, png_const_charp message) {
    TPNGSession& s = Of(png);
    s.FEscape.Failure = "PNG: " + std::string(message ? message : "");
    LeaveCodec(s.FEscape);
  }

  static void Warning(png_structp png, png_const_charp message) {
    TPNGSession& s = Of(png);
    s.FEscape.Failure = CodecWarningFailure(s.FWarningAction, "PNG", message ? message : "");
    if (!s.FEscape.Failure.empty()) LeaveCodec(s.FEscape);
  }

  static void ReadData(png_structp png, png_bytep data, size_t length) {
    TPNGSession& s = Of(png);
    if (!s.ReadExactly(data, length)) LeaveCodec(s.FEscape);
  }

  static void WriteData(png_structp png, png_bytep data, size_t length) {
    TPNGSession& s = Of(png);
    if (!s.WriteAll(data, length)) LeaveCodec(s.FEscape);
  }

  static void Flush(png_structp) {}

private:
  static TPNGSession& Of(png_structp png) { return *static_cast<TPNGSession*>(png_get_error_ptr(png)); }

  bool ReadExactly(png_bytep data, size_t length) {
    try {
      size_t got = 0;
      while (got < length) {
        const size_t n = FStream.Read(data + got, length - got);
        if (n == 0) break;
        got += n;
      }
      if (got == length) return true;
      FEscape.Failure = "PNG: " + LangStr(32);
    } catch (const std::exception& e) {
      FEscape.Failure = std::string("PNG: ") + e.what();
    }
    return false;
  }

  bool WriteAll(png_bytep data, size_t length) {
    try {
      FStream.WriteBuffer(data, length);
      return true;
    } catch (const std::exception& e) {
      FEscape.Failure = std::string("PNG: ") + e.what();
    }
    return false;
  }

  TStream& FStream;
  TPGWarningAction FWarningAction;
  TCodecEscape FEscape;
};

// libpng's read or write structure with its info structure, destroyed on
// every way out.
class TPNGReadStructs {
public:
  explicit TPNGReadStructs(TPNGSession& session) {
    session.Call([&] {
      Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &session, TPNGSession::Error, TPNGSession::Warning);
    });
    if (!Png) RaisePNGError(LangStr1(31, "png_create_read_struct"));
    Info = png_create_info_struct(Png);
    if (!Info) {
      png_destroy_read_struct(&Png, nullptr, nullptr);
      RaisePNGError(LangStr1(31, "png_create_info_struct"));
    }
    png_set_read_fn(Png, &session, TPNGSession::ReadData);
    // The pixel limit guards memory; libpng's default of a million rows
    // would refuse tall pictures the format allows.
    png_set_user_limits(Png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  }
  ~TPNGReadStructs() { png_destroy_read_struct(&Png, Info ? &Info : nullptr, nullptr); }
  TPNGReadStructs(const TPNGReadStructs&) = delete;
  TPNGReadStructs& operator=(const TPNGReadStructs&) = delete;

  png_structp Png = nullptr;
  png_infop Info = nullptr;
};

class TPNGWriteStructs {
public:
  explicit TPNGWriteStructs(TPNGSession& session) {
    session.Call([&] {
      Png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &session, TPNGSession::Error, TPNGSession::Warning);
    });
    if (!Png) RaisePNGError(LangStr1(31, "png_create_write_struct"));
    Info = png_create_info_struct(Png);
    if (!Info) {
      png_destroy_write_struct(&Png, nullptr);
      RaisePNGError(LangStr1(31, "png_create_info_struct"));
    }
    png_set_write_fn(Png, &session, TPNGSession::WriteData, TPNGSession::Flush);
    png_set_user_limits(Png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  }
  ~TPNGWriteStructs() { png_destroy_write_struct(&Png, Info ? &Info : nullptr); }
  TPNGWriteStructs(const TPNGWriteStructs&) = delete;
  TPNGWriteStructs& operator=(const TPNGWriteStructs&) = delete;

  png_structp Png = nullptr;
  png_infop Info = nullptr;
};

// Skips the chunks the reader has no use for, then reads those up to the
// pixels. libpng would set aside memory for whatever length a text or other
// metadata chunk claims before reading it.
// The EXIF chunk is kept as it is: libpng's own handling would fail a
// file over a damaged one.
void ReadHeaderChunks(png_structp png, png_infop info) {
  static constexpr png_byte unused[] = "tEXt\0zTXt\0iTXt\0sPLT\0pCAL\0sCAL";
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, unused, sizeof unused / 5);
  static constexpr png_byte exif[] = "eXIf";
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, exif, 1);
  png_read_info(png, info);
}

// The first eXIf chunk read so far; empty without one.
std::vector<uint8_t> ExifChunk(png_structp png, png_infop info) {
  png_unknown_chunkp chunks = nullptr;
  const int count = png_get_unknown_chunks(png, info, &chunks);
  for (int i = 0; i < count; ++i)
    if (std::memcmp(chunks[i].name, "eXIf", 4) == 0 && chunks[i].data)
      return std::vector<uint8_t>(chunks[i].data, chunks[i].data + chunks[i].size);
  return {};
}

// An 8-bit value of a sample stored with the given depth.
uint8_t Sample8(uint32_t value, int depth) {
  if (depth >= 16) return uint8_t(value >> 8);
  if (depth == 8) return uint8_t(value);
  return uint8_t(value * 255 / ((1u << depth) - 1));
}

// Asks libpng to composite transparent pixels (alpha channel or tRNS)
// against a background, and returns that background as the graphic's
// colour. libpng 1.6 takes the background in the depth of the rows it
// delivers (8 bits here, the file's own depth for grey below 8 bits) and
// widens it itself before compositing 16-bit samples.
TRGB SetUpBackground(png_structp png, png_infop info, TRGB graphicBackground, bool& fromFile) {
  const int depth = png_get_bit_depth(png, info);
  png_color_16p fileBackground = nullptr;
  fromFile = PNGUseFileBackground && png_get_bKGD(png, info, &fileBackground) != 0;
  if (fromFile) {
    png_color_16 background = *fileBackground;
    if (depth == 16) {
      background.red >>= 8;
      background.green >>= 8;
      background.blue >>= 8;
      background.gray >>= 8;
    }
    png_set_background(png, &background, PNG_BACKGROUND_GAMMA_FILE, 0, 1.0);
    const int colorType = png_get_color_type(png, info);
    if ((colorType & PNG_COLOR_MASK_COLOR) == 0) {
      const uint8_t gray = Sample8(fileBackground->gray, depth);
      return RGB(gray, gray, gray);
    }
    // A palette file's bKGD colour is its palette entry, in 8 bits.
    const int colorDepth = colorType == PNG_COLOR_TYPE_PALETTE ? 8 : depth;
    return RGB(Sample8(fileBackground->red, colorDepth), Sample8(fileBackground->green, colorDepth),
               Sample8(fileBackground->blue, colorDepth));
  }
  png_color_16 background{};
  background.red = GetRValue(graphicBackground);
  background.green = GetGValue(graphicBackground);
  background.blue = GetBValue(graphicBackground);
  const uint32_t gray = (uint32_t(background.red) + background.green + background.blue) / 3;
  const uint32_t grayMax = depth < 8 ? (1u << depth) - 1 : 255;
  background.gray = png_uint_16((gray * grayMax + 127) / 255);
  png_set_background(png, &background, PNG_BACKGROUND_GAMMA_SCREEN, 0, 1.0);
  return graphicBackground;
}

void SetPalette(TPixelGraphic& graphic, png_structp png, png_infop info, int colorType, int depth) {
  if (colorType == PNG_COLOR_TYPE_PALETTE) {
    png_colorp palette = nullptr;
    int count = 0;
    png_get_PLTE(png, info, &palette, &count);
    count = std::min(count, PaletteCapacity(graphic.BitCountNum()));
    graphic.SetPaletteCount(count);
    for (int i = 0; i < count; ++i)
      graphic.SetPaletteEntries(i, RGB(palette[i].red, palette[i].green, palette[i].blue));
  } else if ((colorType & PNG_COLOR_MASK_COLOR) == 0) {
    switch (depth) {
      case 1: graphic.SetPaletteIdent(pBlackWhite); break;
      case 2: graphic.SetPaletteIdent(pGray4); break;
      case 4: graphic.SetPaletteIdent(pGray16); break;
      default: graphic.SetPaletteIdent(pGray256);
    }
  }
}

// Widens rows of 2-bit pixels in place to 4 bits. Right to left and one
// nibble at a time, no value is overwritten before it has been read.
void Expand2To4Bits(TPixelGraphic& graphic) {
  const int32_t width = graphic.GetWidth();
  for (int32_t y = 0; y < graphic.GetHeight(); ++y) {
    uint8_t* row = graphic.ScanLine(y);
    for (int32_t x = width - 1; x >= 0; --x) {
      const uint8_t v = (row[x / 4] >> (6 - 2 * (x % 4))) & 3;
      uint8_t& pair = row[x / 2];
      if (x % 2 == 1)
        pair = uint8_t((pair & 0xF0) | v);
      else
        // Beyond an odd width the low nibble is padding.
        pair = uint8_t((v << 4) | (x + 1 < width ? pair & 0x0F : 0));
    }
  }
}

// sRGB's chromaticities; a cHRM within this of them needs no conversion.
constexpr TChromaticities SRGBChromaticities{0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06};
constexpr double ChromaticityTolerance = 0.001;

bool NearSRGB(const TChromaticities& c) {
  const double a[] = {c.WhiteX, c.WhiteY, c.RedX, c.RedY, c.GreenX, c.GreenY, c.BlueX, c.BlueY};
  const TChromaticities& s = SRGBChromaticities;
  const double b[] = {s.WhiteX, s.WhiteY, s.RedX, s.RedY, s.GreenX, s.GreenY, s.BlueX, s.BlueY};
  for (size_t i = 0; i < std::size(a); ++i)
    if (std::fabs(a[i] - b[i]) > ChromaticityTolerance) return false;
  return true;
}

// The colour space the file declares: an iCCP profile outranks the sRGB
// chunk, which outranks cHRM. An sRGB file, and a cHRM of sRGB's primaries,
// need no conversion beyond the gamma correction.
std::unique_ptr<TICCProfile> DeclaredProfile(png_structp png, png_infop info, long double gamma,
                                             TEmbeddedProfile& embedded) {
  png_charp name = nullptr;
  png_bytep data = nullptr;
  png_uint_32 length = 0;
  int compression = 0;
  if (png_get_iCCP(png, info, &name, &compression, &data, &length) != 0 && data) {
    embedded.Data.assign(data, data + length);
    return nullptr;
  }
  int intent = 0;
  if (png_get_sRGB(png, info, &intent) != 0) return nullptr;
  TChromaticities c{};
  if (png_get_cHRM(png, info, &c.WhiteX, &c.WhiteY, &c.RedX, &c.RedY, &c.GreenX, &c.GreenY, &c.BlueX, &c.BlueY) == 0 ||
      NearSRGB(c))
    return nullptr;
  return std::make_unique<TICCProfile>(c, double(gamma));
}

std::string ChunkDetails(png_structp png, png_infop info) {
  static constexpr struct {
    png_uint_32 Flag;
    const char* Name;
  } chunks[] = {{PNG_INFO_gAMA, "gama"}, {PNG_INFO_sBIT, "sbit"}, {PNG_INFO_cHRM, "chrm"}, {PNG_INFO_PLTE, "plte"},
                {PNG_INFO_tRNS, "trns"}, {PNG_INFO_bKGD, "bkgd"}, {PNG_INFO_hIST, "hist"}, {PNG_INFO_pHYs, "phys"},
                {PNG_INFO_oFFs, "offs"}, {PNG_INFO_tIME, "time"}};
  std::string names;
  for (const auto& chunk : chunks) {
    if (png_get_valid(png, info, chunk.Flag) == 0) continue;
    if (!names.empty()) names += ", ";
    names += chunk.Name;
  }
  return names.empty() ? names : "(" + names + ")";
}

std::string ColorCountText(int pixelDepth) {
  switch (pixelDepth) {
    case 1: return "2";
    case 2: return "4";
    case 4: return "16";
    case 8: return "256";
    case 16: return "64K?";
    case 24: return "16.7M";
    case 32: return "16.7M?";
    default: return "?";
  }
}

}  // namespace

TPNGFileFormatReader::TPNGFileFormatReader()
    : TFileFormatReader("TPNGFileFormatReader", "png", "Portable Network Graphics", true) {}

bool TPNGFileFormatReader::CheckSignature(const TFileHeader& Header) const {
  static constexpr uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  return std::equal(std::begin(signature), std::end(signature), Header.begin());
}

void TPNGFileFormatReader::Read(TStream& Stream, TPixelGraphic& Graphic, int Index) {
  if (Index != 0) RaisePNGError(LangStr1(7, "Index"));
  CheckPNGLibraryVersion();
  Graphic.SetGamma(ScreenGamma);
  TPNGSession session(Stream, Graphic.ReadWarningAction());
  TPNGReadStructs structs(session);
  png_structp png = structs.Png;
  png_infop info = structs.Info;
  session.Call([&] { ReadHeaderChunks(png, info); });

  const int32_t width = int32_t(png_get_image_width(png, info));
  const int32_t height = int32_t(png_get_image_height(png, info));
  const int colorType = png_get_color_type(png, info);
  const int depth = png_get_bit_depth(png, info);
  const int channels = png_get_channels(png, info);
  uint8_t code = 2;
  bool expand2 = false;
  if (channels > 2) {
    code = 3;
  } else if (depth == 1) {
    code = 0;
  } else if (depth == 2 || depth == 4) {
    code = 1;
    expand2 = depth == 2;
  }
  // A header may promise far more pixels than the rest of the file can
  // inflate to; refuse it before setting memory aside.
  const int64_t pixelBytes = (int64_t(width) * height * depth * channels + 7) / 8;
  if (pixelBytes / DeflateMaxRatio > Stream.Size() - Stream.Position()) RaisePNGError(LangStr(32));

  bool fileBackground = false;
  TRGB background = Graphic.BackGroundColor();
  if (png_get_valid(png, info, PNG_INFO_tRNS) != 0 || (colorType & PNG_COLOR_MASK_ALPHA) != 0)
    session.Call([&] { background = SetUpBackground(png, info, background, fileBackground); });
  double fileGamma = 0;
  if (png_get_gAMA(png, info, &fileGamma) != 0 && fileGamma > 0) Graphic.SetGamma(1.0L / fileGamma);
  int passes = 1;
  session.Call([&] {
    if (depth == 16) png_set_strip_16(png);
    if (colorType == PNG_COLOR_TYPE_RGB || colorType == PNG_COLOR_TYPE_RGB_ALPHA) png_set_bgr(png);
    passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
  });

  CheckPixelLimit(width, height);
  Graphic.SetSize(width, height, code);
  // The palette after the update: libpng has composited a tRNS into it.
  SetPalette(Graphic, png, info, colorType, depth);
  if (fileBackground) Graphic.SetBackGroundColor(background);
  if (png_get_rowbytes(png, info) > size_t(Graphic.Stride())) RaisePNGError(LangStr(30));

  RaiseProgressStart(Graphic, this);
  bool aborted = false;
  if (width > 0 && height > 0) {
    for (int pass = 0; pass < passes && !aborted; ++pass) {
      for (int32_t n = 0; n < height && !aborted; ++n) {
        png_bytep row = Graphic.ScanLine(n);
        session.Call([&] { png_read_row(png, row, nullptr); });
        aborted = RaiseProgress(Graphic, this, n + height * pass, height * passes);
      }
    }
  }
  if (!aborted && expand2) Expand2To4Bits(Graphic);
  RaiseProgressEnd(Graphic, this);
  if (aborted) return;
  session.Call([&] { png_read_end(png, info); });
  // The chunk may follow the pixels.
  Graphic.SetExifBlock(ExifChunk(png, info));
  Graphic.SetOrientation(ExifOrientation(Graphic.ExifBlock()));
  TEmbeddedProfile embedded;
  const std::unique_ptr<TICCProfile> chromaticities = DeclaredProfile(png, info, Graphic.Gamma(), embedded);
  if (chromaticities && ConvertToSRGB) {
    // Made from the file's numbers, it is never a warning; a grey ramp it does not fit stays as it is.
    if (chromaticities->ConvertToSRGB(Graphic)) Graphic.SetGamma(SRGBGamma);
    return;
  }
  const std::string failure = ConvertEmbeddedProfile(Graphic, embedded, "PNG");
  if (!failure.empty()) throw EPGPNGFileFormatReaderWriter(failure);
}

void TPNGFileFormatReader::ReadInfo(TStream& Stream, int Index, TFileFormatInfo& Info) {
  if (Index != 0) RaisePNGError(LangStr1(20, "Index"));
  TFileFormatReader::ReadInfo(Stream, Index, Info);
  TPNGSession session(Stream, pgwaRaise);
  TPNGReadStructs structs(session);
  png_structp png = structs.Png;
  png_infop info = structs.Info;
  session.Call([&] { ReadHeaderChunks(png, info); });

  const int colorType = png_get_color_type(png, info);
  Info.SubFormat = "GrayScale";
  if ((colorType & PNG_COLOR_MASK_PALETTE) != 0)
    Info.SubFormat = "palette";
  else if ((colorType & PNG_COLOR_MASK_COLOR) != 0)
    Info.SubFormat = "RGB";
  if ((colorType & PNG_COLOR_MASK_ALPHA) != 0) Info.SubFormat += ", alpha";
  if (png_get_interlace_type(png, info) == PNG_INTERLACE_ADAM7) Info.SubFormat += ", interlaced";
  Info.Details = ChunkDetails(png, info);
  Info.Width = int32_t(png_get_image_width(png, info));
  Info.Height = int32_t(png_get_image_height(png, info));
  Info.BitCount = png_get_bit_depth(png, info) * png_get_channels(png, info);
  Info.ColorCount = ColorCountText(Info.BitCount);
  Info.Orientation = ExifOrientation(ExifChunk(png, info));
}

TPNGFileFormatWriter::TPNGFileFormatWriter()
    : TFileFormatWriter("TPNGFileFormatWriter", "png", "Portable Network Graphics", true, TColorResolutions(0xFF)) {}

void TPNGFileFormatWriter::Write(TStream& Stream, TPixelGraphic& Graphic) {
  CheckPNGLibraryVersion();
  TPNGSession session(Stream, Graphic.ReadWarningAction());
  TPNGWriteStructs structs(session);
  png_structp png = structs.Png;
  png_infop info = structs.Info;

  const int32_t width = Graphic.GetWidth(), height = Graphic.GetHeight();
  int depth = 8, colorType = PNG_COLOR_TYPE_RGB;
  std::vector<png_color> palette;
  if (Graphic.BitCountNum() != 3) {
    depth = Graphic.BitCount();
    if (Graphic.PaletteIdent() == pGray256) {
      colorType = PNG_COLOR_TYPE_GRAY;
    } else {
      colorType = PNG_COLOR_TYPE_PALETTE;
      for (int32_t i = 0; i < Graphic.PaletteCount(); ++i) {
        const TRGB c = Graphic.PaletteEntries(i);
        palette.push_back({GetRValue(c), GetGValue(c), GetBValue(c)});
      }
    }
  }
  // libpng takes the gamma as a double but it travels as a single.
  const double fileGamma = float(1.0L / Graphic.Gamma());
  // gAMA holds 1/100000 steps in 31 bits; a gamma beyond that is left unsaid
  // rather than failing the whole file.
  const bool gammaFits = fileGamma >= 0.00001 && fileGamma <= 21474.83647;
  session.Call([&] {
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), depth, colorType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(png, info, palette.data(), int(palette.size()));
    if (WriteGamma && gammaFits) png_set_gAMA(png, info, fileGamma);
    png_write_info(png, info);
    png_set_bgr(png);
  });

  RaiseProgressStart(Graphic, this);
  for (int32_t r = 0; r < height; ++r) {
    png_bytep row = Graphic.ScanLine(r);
    session.Call([&] { png_write_row(png, row); });
    RaiseProgress(Graphic, this, r, height - 1);
  }
  RaiseProgressEnd(Graphic, this);
  session.Call([&] { png_write_end(png, info); });
}

void RegisterPNGFileFormats(TFileFormatReaders& Readers, TFileFormatWriters& Writers) {
  Readers.push_back(std::make_unique<TPNGFileFormatReader>());
  Writers.push_back(std::make_unique<TPNGFileFormatWriter>());
}
