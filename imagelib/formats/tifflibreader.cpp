#include "tifflibreader.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <string>
#include <vector>

#include "alphablend.h"
#include "langstr.h"
#include "pixelgraphic.h"
#include "pixellimit.h"
#include "platform.h"
#include "progressevents.h"
#include "stream.h"
#include "tiffstructure.h"

namespace {

// Compressed data claiming more bytes of pixels than this many per byte of
// file is refused before memory is set aside for it. Blank fax pages come
// within a tenth of it.
constexpr double MaxCompressionRatio = 1 << 15;

std::string LibTIFFText(const char* module, const char* format, va_list arguments) {
  char text[1024];
  std::vsnprintf(text, sizeof text, format, arguments);
  return module && *module ? std::string(module) + ": " + text : std::string(text);
}

// What a warning of libtiff leads to: the message of the failure to raise,
// or an empty string to go on. The box is the one the own reader shows.
std::string WarningFailure(TPGWarningAction action, const std::string& text) {
  const std::string message = "TIFF: " + text;
  switch (action) {
    case pgwaIgnore: return std::string();
    case pgwaOKBox: PGWarningBox(message, "TIFF-" + LangStr(28), false); return std::string();
    case pgwaOKCancelBox: return PGWarningBox(message, "TIFF-" + LangStr(28), true) ? std::string() : message;
    default: return message;
  }
}

// The stream as libtiff's file, the TIFF data starting at Start. libtiff's
// handlers return to it, so they only note the first failure, and Check
// raises it once the call that met it is back.
class TLibTIFFFile {
public:
  TLibTIFFFile(TStream& stream, int64_t start, TPGWarningAction warningAction)
      : FStream(stream), FStart(start), FSize(std::max<int64_t>(stream.Size() - start, 0)),
        FWarningAction(warningAction) {}
  ~TLibTIFFFile() {
    if (FTIFF) TIFFClose(FTIFF);
  }
  TLibTIFFFile(const TLibTIFFFile&) = delete;
  TLibTIFFFile& operator=(const TLibTIFFFile&) = delete;

  uint64_t Size() const { return uint64_t(FSize); }

  // Opens the file on the IFD at ifdOffset; the first IFD is read only when
  // it is the one asked for.
  TIFF* Open(uint64_t ifdOffset) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    Check(options != nullptr, "TIFFOpenOptionsAlloc");
    TIFFOpenOptionsSetErrorHandlerExtR(options, Error, this);
    TIFFOpenOptionsSetWarningHandlerExtR(options, Warning, this);
    // libtiff reads the header from where the stream stands.
    FStream.SetPosition(FStart);
    FTIFF = TIFFClientOpenExt("", "rh", this, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc, MapProc, UnmapProc,
                              options);
    TIFFOpenOptionsFree(options);
    Check(FTIFF != nullptr, "TIFFClientOpen");
    Check(TIFFSetSubDirectory(FTIFF, ifdOffset) != 0, "TIFFSetSubDirectory");
    return FTIFF;
  }

  // Opens the file again from a copy in memory. libtiff 4.5 refuses to
  // convert uncompressed tiles that it reads into a buffer of its own, unless
  // their size is a multiple of 1024; from memory it reads none.
  TIFF* OpenInMemory(uint64_t ifdOffset) {
    TIFFClose(FTIFF);
    FTIFF = nullptr;
    FMemory.resize(size_t(FSize));
    FStream.SetPosition(FStart);
    FStream.ReadBuffer(FMemory.data(), FMemory.size());
    return Open(ifdOffset);
  }

  // Raises what went wrong in the libtiff call just made.
  void Check(bool succeeded, const char* call) const {
    RaiseNoted();
    if (!succeeded) RaiseTIFFReadError(LangStr1(31, call));
  }
  // Raises a failure the handlers noted, if there is one.
  void RaiseNoted() const {
    if (!FFailure.empty()) throw EPGTIFFileFormatReader(FFailure);
  }

private:
  static TLibTIFFFile& Of(void* handle) { return *static_cast<TLibTIFFFile*>(handle); }

  void Note(const std::string& failure) noexcept {
    try {
      if (FFailure.empty()) FFailure = failure;
    } catch (...) {
    }
  }

  static int Error(TIFF*, void* handle, const char* module, const char* format, va_list arguments) {
    try {
      Of(handle).Note("TIFF: " + LibTIFFText(module, format, arguments));
    } catch (...) {
      Of(handle).Note("TIFF: " + LangStr(29));
    }
    return 1;
  }

  static int Warning(TIFF*, void* handle, const char* module, const char* format, va_list arguments) {
    TLibTIFFFile& f = Of(handle);
    if (!f.FFailure.empty()) return 1;
    try {
      f.Note(WarningFailure(f.FWarningAction, LibTIFFText(module, format, arguments)));
    } catch (const std::exception& e) {
      f.Note(std::string("TIFF: ") + e.what());
    } catch (...) {
      f.Note("TIFF: " + LangStr(29));
    }
    return 1;
  }

  static tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
    TLibTIFFFile& f = Of(handle);
    if (size < 0) return -1;
    try {
      return tmsize_t(f.FStream.Read(buffer, size_t(size)));
    } catch (const std::exception& e) {
      f.Note(std::string("TIFF: ") + e.what());
    }
    return -1;
  }

  static tmsize_t WriteProc(thandle_t, void*, tmsize_t) { return -1; }

  static toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
    TLibTIFFFile& f = Of(handle);
    constexpr toff_t failed = toff_t(-1);
    try {
      // Relative moves come as unsigned numbers; they may go backwards.
      const int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? f.FStream.Position() - f.FStart : f.FSize;
      int64_t target = 0;
      if (whence == SEEK_SET ? offset > uint64_t(std::numeric_limits<int64_t>::max())
                             : __builtin_add_overflow(base, int64_t(offset), &target))
        return failed;
      if (whence == SEEK_SET) target = int64_t(offset);
      if (target < 0 || target > std::numeric_limits<int64_t>::max() - f.FStart) return failed;
      f.FStream.SetPosition(f.FStart + target);
      return toff_t(target);
    } catch (const std::exception&) {
      return failed;
    }
  }

  static int CloseProc(thandle_t) { return 0; }
  static toff_t SizeProc(thandle_t handle) { return toff_t(Of(handle).FSize); }
  static int MapProc(thandle_t handle, void** base, toff_t* size) {
    TLibTIFFFile& f = Of(handle);
    if (f.FMemory.empty()) return 0;
    *base = f.FMemory.data();
    *size = f.FMemory.size();
    return 1;
  }
  static void UnmapProc(thandle_t, void*, toff_t) {}

  TStream& FStream;
  int64_t FStart;
  int64_t FSize;
  TPGWarningAction FWarningAction;
  TIFF* FTIFF = nullptr;
  std::string FFailure;
  std::vector<uint8_t> FMemory;
};

// The image as libtiff describes it.
struct TLayout {
  uint32_t Width = 0, Length = 0;
  uint16_t Bits = 1, Samples = 1, Photometric = PHOTOMETRIC_MINISWHITE, SampleFormat = SAMPLEFORMAT_UINT;
  uint16_t Compression = COMPRESSION_NONE, Planar = PLANARCONFIG_CONTIG;
  // The extra sample after a grey one: none, or associated or unassociated alpha.
  uint16_t Alpha = 0;
  bool Tiled = false;
  uint32_t TileWidth = 0;
  // Rows decoded together: a strip's or a row of tiles.
  uint32_t BandRows = 1;

  bool Gray() const { return Photometric == PHOTOMETRIC_MINISWHITE || Photometric == PHOTOMETRIC_MINISBLACK; }
  // Palette indices and grey levels (with an alpha sample or without), taken
  // from the samples themselves; everything else goes through libtiff's RGBA
  // conversion.
  bool Indexed() const {
    const bool small = Bits == 1 || Bits == 2 || Bits == 4 || Bits == 8;
    if (SampleFormat != SAMPLEFORMAT_UINT) return false;
    if (Samples > 1) return Gray() && Planar == PLANARCONFIG_CONTIG && (Bits == 8 || Bits == 16);
    return (Photometric == PHOTOMETRIC_PALETTE && small) || (Gray() && (small || Bits == 16));
  }
  uint8_t BitCountNum() const {
    if (!Indexed()) return Gray() ? 2 : 3;
    return Bits == 1 ? 0 : Bits <= 4 ? 1 : 2;
  }
};

TLayout ReadLayout(TIFF* tif) {
  TLayout l;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &l.Width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &l.Length);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &l.Bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &l.Samples);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &l.SampleFormat);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &l.Compression);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &l.Photometric);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &l.Planar);
  uint16_t extraCount = 0;
  uint16_t* extra = nullptr;
  if (l.Gray() && l.Samples > 1 && TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) && extraCount > 0 &&
      extra && (extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA))
    l.Alpha = extra[0];
  l.Tiled = TIFFIsTiled(tif) != 0;
  if (l.Tiled) {
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &l.TileWidth);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &l.BandRows);
    // Tiles are copied into rows byte by byte.
    if (l.TileWidth == 0 || uint64_t(l.TileWidth) * l.Bits * l.Samples % 8 != 0)
      RaiseTIFFReadError(LangStr1(7, "TileWidth"));
    if (l.BandRows == 0) RaiseTIFFReadError(LangStr1(7, "TileLength"));
  } else {
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &l.BandRows);
  }
  l.BandRows = std::clamp<uint32_t>(l.BandRows, 1, std::max<uint32_t>(l.Length, 1));
  return l;
}

// Refuses an image whose pixels, a tile or a band of them cannot come from a
// file this small, before any memory is set aside for them.
void CheckDataSize(TIFF* tif, const TLayout& l, uint64_t fileBytes) {
  if (l.Width > uint32_t(std::numeric_limits<int32_t>::max())) RaiseTIFFReadError(LangStr1(7, "ImageWidth"));
  if (l.Length > uint32_t(std::numeric_limits<int32_t>::max())) RaiseTIFFReadError(LangStr1(7, "ImageLength"));
  const double ratio = l.Compression == COMPRESSION_NONE       ? 1
                       : l.Compression == COMPRESSION_PACKBITS ? 64
                                                               : MaxCompressionRatio;
  const double limit = double(fileBytes) * ratio;
  const double rowBytes = std::ceil(double(l.Width) * l.Bits * l.Samples / 8);
  const double tileBytes = l.Tiled ? double(TIFFTileSize64(tif)) : 0;
  // libtiff's conversion takes 4 bytes a pixel for a band, whatever the samples take.
  const double bandPixels = l.Indexed() ? 0 : double(l.Width) * l.BandRows;
  if (rowBytes * l.Length > limit || tileBytes > limit || bandPixels > limit) RaiseTIFFReadError(LangStr(32));
}

void SetPalette(TPixelGraphic& graphic, TIFF* tif, const TLayout& l) {
  if (graphic.BitCountNum() == 3) return;
  if (l.Photometric != PHOTOMETRIC_PALETTE || !l.Indexed()) {
    static constexpr TPaletteIdent byCode[3] = {pBlackWhite, pGray16, pGray256};
    graphic.SetPaletteIdent(l.Indexed() && l.Bits == 2 ? pGray4 : byCode[graphic.BitCountNum()]);
    return;
  }
  uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
  if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
    RaiseTIFFReadError(LangStr1(7, "ColorMap"));
  const int32_t entries = std::min(1 << l.Bits, PaletteCapacity(graphic.BitCountNum()));
  graphic.SetPaletteCount(entries);
  for (int32_t i = 0; i < entries; ++i) graphic.SetPaletteEntries(i, RGB(red[i] >> 8, green[i] >> 8, blue[i] >> 8));
}

// libtiff's RGBA pixels carry their alpha multiplied in, as associated
// alpha samples do.
uint8_t PremultipliedOver(uint32_t value, uint32_t alpha, uint32_t background) {
  return uint8_t(std::min<uint32_t>(255, value + (background * (255 - alpha) + 127) / 255));
}

// Sample i of a row of 8- or 16-bit samples, cut to its high byte.
uint32_t Sample8(const uint8_t* row, size_t i, int bits) {
  if (bits == 8) return row[i];
  uint16_t v;
  std::memcpy(&v, row + 2 * i, 2);
  return v >> 8;
}

// One row of samples into the graphic's row: 2-bit samples widened to
// nibbles, 16-bit ones cut to their high byte, WhiteIsZero counted down,
// alpha laid over the grey of the background.
void ConvertIndexedRow(const TLayout& l, const uint8_t* src, uint8_t* dest, uint32_t backGray) {
  const uint32_t width = l.Width;
  const bool invert = l.Photometric == PHOTOMETRIC_MINISWHITE;
  if (l.Bits == 2) {
    for (uint32_t x = 0; x < width; ++x) {
      uint8_t v = (src[x / 4] >> (6 - 2 * (x % 4))) & 3;
      if (invert) v = uint8_t(3 - v);
      dest[x / 2] = x % 2 ? uint8_t(dest[x / 2] | v) : uint8_t(v << 4);
    }
  } else if (l.Samples == 1 && l.Bits != 16) {
    const size_t bytes = (size_t(width) * l.Bits + 7) / 8;
    if (invert)
      for (size_t i = 0; i < bytes; ++i) dest[i] = uint8_t(~src[i]);
    else
      std::memcpy(dest, src, bytes);
  } else {
    for (uint32_t x = 0; x < width; ++x) {
      const size_t at = size_t(x) * l.Samples;
      uint32_t v = Sample8(src, at, l.Bits);
      if (invert) v = 255 - v;
      if (l.Alpha == EXTRASAMPLE_ASSOCALPHA)
        v = PremultipliedOver(v, Sample8(src, at + 1, l.Bits), backGray);
      else if (l.Alpha == EXTRASAMPLE_UNASSALPHA)
        v = BlendOver(v, Sample8(src, at + 1, l.Bits), backGray);
      dest[x] = uint8_t(v);
    }
  }
}

// Reads the rows of band y0 into band, a scanline apart; tile is room for one tile.
void ReadBand(const TLibTIFFFile& file, TIFF* tif, const TLayout& l, uint32_t y0, std::vector<uint8_t>& band,
              size_t scanline, std::vector<uint8_t>& tile) {
  if (!l.Tiled) {
    file.Check(TIFFReadScanline(tif, band.data(), y0, 0) >= 0, "TIFFReadScanline");
    return;
  }
  const size_t tileRow = size_t(TIFFTileRowSize64(tif));
  tile.resize(size_t(TIFFTileSize64(tif)));
  const uint32_t rows = std::min(l.BandRows, l.Length - y0);
  if (tileRow * rows > tile.size()) RaiseTIFFReadError(LangStr1(7, "TileLength"));
  for (uint32_t x0 = 0; x0 < l.Width; x0 += l.TileWidth) {
    file.Check(TIFFReadTile(tif, tile.data(), x0, y0, 0, 0) >= 0, "TIFFReadTile");
    const size_t at = size_t(x0) * l.Bits * l.Samples / 8;
    const size_t n = std::min(tileRow, scanline - at);
    for (uint32_t r = 0; r < rows; ++r) std::memcpy(band.data() + r * scanline + at, tile.data() + r * tileRow, n);
  }
}

void ReadIndexed(const TLibTIFFFile& file, TIFF* tif, const TLayout& l, TPixelGraphic& graphic, uint32_t backGray,
                 TObject* sender) {
  const size_t scanline = size_t(TIFFScanlineSize64(tif));
  if (scanline < (size_t(l.Width) * l.Bits * l.Samples + 7) / 8) RaiseTIFFReadError(LangStr1(7, "BitsPerSample"));
  const uint32_t bandRows = l.Tiled ? l.BandRows : 1;
  std::vector<uint8_t> band(scanline * bandRows), tile;
  for (uint32_t y0 = 0; y0 < l.Length; y0 += bandRows) {
    ReadBand(file, tif, l, y0, band, scanline, tile);
    for (uint32_t y = y0; y < std::min(y0 + bandRows, l.Length); ++y) {
      ConvertIndexedRow(l, band.data() + (y - y0) * scanline, graphic.ScanLine(int32_t(y)), backGray);
      if (RaiseProgress(graphic, sender, int(y), int(l.Length))) return;
    }
  }
}

void ReadConverted(const TLibTIFFFile& file, TIFF* tif, const TLayout& l, TPixelGraphic& graphic, TRGB background,
                   uint32_t backGray, TObject* sender) {
  char message[1024] = "";
  TIFFRGBAImage image{};
  if (!TIFFRGBAImageBegin(&image, tif, 1, message)) {
    file.RaiseNoted();
    RaiseTIFFReadError(message);
  }
  struct TEnd {
    TIFFRGBAImage& Image;
    ~TEnd() { TIFFRGBAImageEnd(&Image); }
  } end{image};
  // Rows as stored, whatever the Orientation tag says, as the own reader takes them.
  image.req_orientation = image.orientation = ORIENTATION_TOPLEFT;
  // 16-bit samples keep their high byte, as in 16-bit PNG files; libtiff
  // would round instead.
  if (image.Bitdepth16To8)
    for (uint32_t n = 0; n < 65536; ++n) image.Bitdepth16To8[n] = uint8_t(n >> 8);
  const bool gray = graphic.BitCountNum() == 2;
  // libtiff multiplies unassociated alpha in, except for grey pixels.
  const bool straight = gray && image.alpha == EXTRASAMPLE_UNASSALPHA;
  std::vector<uint32_t> raster(size_t(l.Width) * l.BandRows);
  for (uint32_t y0 = 0; y0 < l.Length; y0 += l.BandRows) {
    const uint32_t rows = std::min(l.BandRows, l.Length - y0);
    image.row_offset = int(y0);
    image.col_offset = 0;
    file.Check(TIFFRGBAImageGet(&image, raster.data(), l.Width, rows) != 0, "TIFFRGBAImageGet");
    for (uint32_t r = 0; r < rows; ++r) {
      const uint32_t* src = raster.data() + size_t(r) * l.Width;
      uint8_t* dest = graphic.ScanLine(int32_t(y0 + r));
      for (uint32_t x = 0; x < l.Width; ++x) {
        const uint32_t p = src[x], a = TIFFGetA(p);
        if (gray) {
          dest[x] = straight ? BlendOver(TIFFGetR(p), a, backGray) : PremultipliedOver(TIFFGetR(p), a, backGray);
        } else {
          dest[3 * size_t(x)] = PremultipliedOver(TIFFGetB(p), a, GetBValue(background));
          dest[3 * size_t(x) + 1] = PremultipliedOver(TIFFGetG(p), a, GetGValue(background));
          dest[3 * size_t(x) + 2] = PremultipliedOver(TIFFGetR(p), a, GetRValue(background));
        }
      }
      if (RaiseProgress(graphic, sender, int(y0 + r), int(l.Length))) return;
    }
  }
}

}  // namespace

bool LibTIFFDecodes(uint32_t Compression) {
  return Compression <= std::numeric_limits<uint16_t>::max() && TIFFIsCODECConfigured(uint16_t(Compression)) != 0;
}

void ReadTIFFThroughLibTIFF(TObject* Sender, TStream& Stream, int64_t Start, uint64_t IFDOffset,
                            TPixelGraphic& Graphic) {
  TLibTIFFFile file(Stream, Start, Graphic.ReadWarningAction());
  TIFF* tif = file.Open(IFDOffset);
  const TLayout layout = ReadLayout(tif);
  if (layout.Tiled && layout.Compression == COMPRESSION_NONE && !layout.Indexed()) tif = file.OpenInMemory(IFDOffset);
  char message[1024] = "";
  if (!layout.Indexed() && !TIFFRGBAImageOK(tif, message)) {
    file.RaiseNoted();
    RaiseTIFFReadError(message);
  }
  CheckDataSize(tif, layout, file.Size());
  file.RaiseNoted();
  CheckPixelLimit(layout.Width, layout.Length);
  const TRGB background = Graphic.BackGroundColor();
  // Grey pictures are laid over the background's grey, as PNG's are.
  const uint32_t backGray = (GetRValue(background) + GetGValue(background) + GetBValue(background)) / 3;
  Graphic.SetSize(int32_t(layout.Width), int32_t(layout.Length), layout.BitCountNum());
  SetPalette(Graphic, tif, layout);
  RaiseProgressStart(Graphic, Sender);
  try {
    if (!Graphic.GetEmpty() && layout.Indexed())
      ReadIndexed(file, tif, layout, Graphic, backGray, Sender);
    else if (!Graphic.GetEmpty())
      ReadConverted(file, tif, layout, Graphic, background, backGray, Sender);
  } catch (...) {
    RaiseProgressEnd(Graphic, Sender);
    throw;
  }
  RaiseProgressEnd(Graphic, Sender);
}
