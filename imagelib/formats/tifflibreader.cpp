#include "tifflibreader.h"

#include <tiffio.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
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

// The most libtiff may set aside at once for a buffer of its own. Decoded
// samples go into this reader's buffers; the raw data of a strip or tile,
// which libtiff reads whole, is bounded by the file instead.
constexpr tmsize_t LibTIFFAllocationLimit = tmsize_t(64) << 20;
// The most a tile, or a strip that can only be decoded whole, may take
// decoded, and again as libtiff's colours.
constexpr uint64_t PieceLimit = uint64_t(64) << 20;
// Rows of a strip are decoded, and turned into colours, about this many
// bytes at a time; libtiff decodes a strip row by row, however large.
constexpr uint64_t RowGroupBytes = uint64_t(1) << 20;
// Samples read per pixel at most: three colours and an alpha.
constexpr int MaxPlanes = 4;

const TPGLangStrEntry PieceTooLargeText = {
    0,
    {"A tile or strip of %S1 bytes exceeds the limit of %S2 bytes",
     "Eine Kachel oder ein Streifen von %S1 Bytes überschreitet die Grenze von %S2 Bytes",
     "Une tuile ou bande de %S1 octets dépasse la limite de %S2 octets",
     "Een tegel of strook van %S1 bytes overschrijdt de grens van %S2 bytes",
     "Un mosaico o franja de %S1 bytes supera el límite de %S2 bytes", ""}};

void CheckPieceSize(uint64_t bytes) {
  if (bytes <= PieceLimit) return;
  const std::string text = SubstitutePlaceholder(LangText(PieceTooLargeText), "%S1", std::to_string(bytes));
  RaiseTIFFReadError(SubstitutePlaceholder(text, "%S2", std::to_string(PieceLimit)));
}

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
// handlers return to it, so they only note what went wrong, and Check acts
// on it once the call that met it is back.
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
  // it is the one asked for. A quiet opening passes over what libtiff
  // reports of the IFD, which another handle on it has reported already.
  TIFF* Open(uint64_t ifdOffset, bool quiet = false) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    Check(options != nullptr, "TIFFOpenOptionsAlloc");
    TIFFOpenOptionsSetErrorHandlerExtR(options, Error, this);
    TIFFOpenOptionsSetWarningHandlerExtR(options, Warning, this);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, LibTIFFAllocationLimit);
    // libtiff reads the header from where the stream stands.
    FStream.SetPosition(FStart);
    FQuiet = quiet;
    FTIFF = TIFFClientOpenExt("", "rh", this, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc, MapProc, UnmapProc,
                              options);
    TIFFOpenOptionsFree(options);
    const bool opened = FTIFF != nullptr && TIFFSetSubDirectory(FTIFF, ifdOffset) != 0;
    FQuiet = false;
    Check(FTIFF != nullptr, "TIFFClientOpen");
    Check(opened, "TIFFSetSubDirectory");
    return FTIFF;
  }

  // Acts on what went wrong in the libtiff call just made: its failure is
  // raised, and an error libtiff reported while it still succeeded counts
  // as a warning.
  void Check(bool succeeded, const char* call) {
    if (!succeeded) {
      RaiseNoted();
      RaiseTIFFReadError(LangStr1(31, call));
    }
    if (!FFailure.empty()) throw EPGTIFFileFormatReader(FFailure);
    if (FError.empty()) return;
    const std::string failure = WarningFailure(FWarningAction, FError);
    FError.clear();
    if (!failure.empty()) throw EPGTIFFileFormatReader(failure);
  }
  // Raises a failure or error the handlers noted, if there is one.
  void RaiseNoted() const {
    if (!FFailure.empty()) throw EPGTIFFileFormatReader(FFailure);
    if (!FError.empty()) RaiseTIFFReadError(FError);
  }

private:
  static TLibTIFFFile& Of(void* handle) { return *static_cast<TLibTIFFFile*>(handle); }

  void Note(std::string& slot, const std::string& text) noexcept {
    try {
      if (slot.empty()) slot = text;
    } catch (...) {
    }
  }

  static int Error(TIFF*, void* handle, const char* module, const char* format, va_list arguments) {
    TLibTIFFFile& f = Of(handle);
    if (f.FQuiet) return 1;
    try {
      f.Note(f.FError, LibTIFFText(module, format, arguments));
    } catch (...) {
      f.Note(f.FError, LangStr(29));
    }
    return 1;
  }

  static int Warning(TIFF*, void* handle, const char* module, const char* format, va_list arguments) {
    TLibTIFFFile& f = Of(handle);
    if (f.FQuiet || !f.FFailure.empty()) return 1;
    try {
      f.Note(f.FFailure, WarningFailure(f.FWarningAction, LibTIFFText(module, format, arguments)));
    } catch (const std::exception& e) {
      f.Note(f.FFailure, std::string("TIFF: ") + e.what());
    } catch (...) {
      f.Note(f.FFailure, "TIFF: " + LangStr(29));
    }
    return 1;
  }

  static tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
    TLibTIFFFile& f = Of(handle);
    if (size < 0) return -1;
    try {
      return tmsize_t(f.FStream.Read(buffer, size_t(size)));
    } catch (const std::exception& e) {
      f.Note(f.FFailure, std::string("TIFF: ") + e.what());
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
  static int MapProc(thandle_t, void**, toff_t*) { return 0; }
  static void UnmapProc(thandle_t, void*, toff_t) {}

  TStream& FStream;
  int64_t FStart;
  int64_t FSize;
  TPGWarningAction FWarningAction;
  TIFF* FTIFF = nullptr;
  bool FQuiet = false;
  // A failure to raise at the next check, and an error libtiff reported.
  std::string FFailure;
  std::string FError;
};

// The image as libtiff describes it.
struct TLayout {
  uint32_t Width = 0, Length = 0;
  uint16_t Bits = 1, Samples = 1, Photometric = PHOTOMETRIC_MINISWHITE, SampleFormat = SAMPLEFORMAT_UINT;
  uint16_t Compression = COMPRESSION_NONE, Planar = PLANARCONFIG_CONTIG;
  // The first extra sample after the colours: none, or associated or unassociated alpha.
  uint16_t Alpha = 0;
  bool Tiled = false;
  uint32_t TileWidth = 0;
  // Rows of a strip, or of a tile.
  uint32_t BandRows = 1;

  bool Gray() const { return Photometric == PHOTOMETRIC_MINISWHITE || Photometric == PHOTOMETRIC_MINISBLACK; }
  uint16_t ColourSamples() const { return Photometric == PHOTOMETRIC_RGB ? 3 : 1; }
  bool Separate() const { return Planar == PLANARCONFIG_SEPARATE && Samples > 1; }
  // Palette indices, grey levels and RGB, with an alpha sample or without,
  // taken from the samples themselves; everything else goes through
  // libtiff's RGBA conversion.
  bool Direct() const {
    if (SampleFormat != SAMPLEFORMAT_UINT) return false;
    const bool small = Bits == 1 || Bits == 2 || Bits == 4 || Bits == 8;
    if (Samples == 1) return (Photometric == PHOTOMETRIC_PALETTE && small) || (Gray() && (small || Bits == 16));
    return (Bits == 8 || Bits == 16) && (Gray() || (Photometric == PHOTOMETRIC_RGB && Samples >= 3));
  }
  // Planes read of a directly taken image: its colours and its alpha.
  int DirectPlanes() const { return Separate() ? ColourSamples() + (Alpha != 0) : 1; }
  // Bytes of a plane's decoded samples that rows of width pixels take.
  uint64_t DecodedBytes(uint32_t width, uint32_t rows) const {
    return uint64_t(rows) * ((uint64_t(width) * Bits * (Separate() ? 1 : Samples) + 7) / 8);
  }
  uint8_t BitCountNum() const {
    if (!Direct()) return Gray() ? 2 : 3;
    if (Samples > 1) return Gray() ? 2 : 3;
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
  if ((l.Gray() || l.Photometric == PHOTOMETRIC_RGB) && l.Samples > l.ColourSamples() &&
      TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) && extraCount > 0 && extra &&
      (extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA))
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

// Refuses an image whose pixels or a tile of them cannot come from a file
// this small, before any memory is set aside for them.
void CheckDataSize(TIFF* tif, const TLayout& l, uint64_t fileBytes) {
  if (l.Width > uint32_t(std::numeric_limits<int32_t>::max())) RaiseTIFFReadError(LangStr1(7, "ImageWidth"));
  if (l.Length > uint32_t(std::numeric_limits<int32_t>::max())) RaiseTIFFReadError(LangStr1(7, "ImageLength"));
  const double ratio = l.Compression == COMPRESSION_NONE       ? 1
                       : l.Compression == COMPRESSION_PACKBITS ? 64
                                                               : MaxCompressionRatio;
  const double limit = double(fileBytes) * ratio;
  const double rowBytes = std::ceil(double(l.Width) * l.Bits * l.Samples / 8);
  const double tileBytes = l.Tiled ? double(TIFFTileSize64(tif)) : 0;
  if (rowBytes * l.Length > limit || tileBytes > limit) RaiseTIFFReadError(LangStr(32));
}

void SetPalette(TPixelGraphic& graphic, TIFF* tif, const TLayout& l) {
  if (graphic.BitCountNum() == 3) return;
  if (l.Photometric != PHOTOMETRIC_PALETTE || !l.Direct()) {
    static constexpr TPaletteIdent byCode[3] = {pBlackWhite, pGray16, pGray256};
    graphic.SetPaletteIdent(l.Direct() && l.Bits == 2 ? pGray4 : byCode[graphic.BitCountNum()]);
    return;
  }
  uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
  if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
    RaiseTIFFReadError(LangStr1(7, "ColorMap"));
  const int32_t entries = std::min(1 << l.Bits, PaletteCapacity(graphic.BitCountNum()));
  graphic.SetPaletteCount(entries);
  for (int32_t i = 0; i < entries; ++i) graphic.SetPaletteEntries(i, RGB(red[i] >> 8, green[i] >> 8, blue[i] >> 8));
}

// The decoded samples of a part of the image: Rows rows of Width pixels
// from column X of row Y, Stride bytes apart, each row followed by Skew
// pixels beyond the image. Samples stored in planes come a plane each.
struct TPiece {
  uint32_t X = 0, Y = 0, Width = 0, Rows = 0, Skew = 0;
  size_t Stride = 0;
  std::array<const uint8_t*, MaxPlanes> Planes{};
};

using TPieceHandler = std::function<void(const TPiece&)>;
// Reports a row done; true asks to stop.
using TRowDone = std::function<bool(uint32_t y)>;

bool RowsDone(const TRowDone& done, uint32_t y0, uint32_t rows) {
  for (uint32_t y = y0; y < y0 + rows; ++y)
    if (done(y)) return true;
  return false;
}

// Strips a group of rows at a time, each plane through a handle of its own
// so that no plane's decoding starts over for another's rows.
void ReadRowGroups(const std::vector<std::pair<TLibTIFFFile*, TIFF*>>& planes, const TLayout& l,
                   uint64_t bytesPerRow, const TPieceHandler& handle, const TRowDone& done) {
  const size_t scanline = size_t(TIFFScanlineSize64(planes[0].second));
  const uint64_t fitting = RowGroupBytes / std::max<uint64_t>(bytesPerRow, 1);
  const uint32_t group = uint32_t(std::clamp<uint64_t>(fitting, 1, l.Length));
  std::vector<std::vector<uint8_t>> rows(planes.size(), std::vector<uint8_t>(scanline * group));
  TPiece piece;
  piece.Width = l.Width;
  piece.Stride = scanline;
  for (size_t p = 0; p < planes.size(); ++p) piece.Planes[p] = rows[p].data();
  for (uint32_t y0 = 0; y0 < l.Length; y0 += group) {
    piece.Y = y0;
    piece.Rows = std::min(group, l.Length - y0);
    for (size_t p = 0; p < planes.size(); ++p)
      for (uint32_t r = 0; r < piece.Rows; ++r)
        planes[p].first->Check(TIFFReadScanline(planes[p].second, rows[p].data() + r * scanline, y0 + r,
                                                uint16_t(l.Separate() ? p : 0)) >= 0,
                               "TIFFReadScanline");
    handle(piece);
    if (RowsDone(done, y0, piece.Rows)) return;
  }
}

// Strips whole, for data libtiff decodes in blocks of rows, or in strips only.
void ReadWholeStrips(TLibTIFFFile& file, TIFF* tif, const TLayout& l, int planes, const TPieceHandler& handle,
                     const TRowDone& done) {
  const uint64_t stripBytes = TIFFStripSize64(tif);
  std::vector<std::vector<uint8_t>> strips(size_t(planes), std::vector<uint8_t>(size_t(stripBytes), 0));
  TPiece piece;
  piece.Width = l.Width;
  piece.Stride = size_t(TIFFScanlineSize64(tif));
  for (int p = 0; p < planes; ++p) piece.Planes[size_t(p)] = strips[size_t(p)].data();
  for (uint32_t y0 = 0; y0 < l.Length; y0 += l.BandRows) {
    piece.Y = y0;
    piece.Rows = std::min(l.BandRows, l.Length - y0);
    for (int p = 0; p < planes; ++p)
      file.Check(TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, y0, uint16_t(p)), strips[size_t(p)].data(),
                                      tmsize_t(stripBytes)) >= 0,
                 "TIFFReadEncodedStrip");
    handle(piece);
    if (RowsDone(done, y0, piece.Rows)) return;
  }
}

void ReadTiles(TLibTIFFFile& file, TIFF* tif, const TLayout& l, int planes, const TPieceHandler& handle,
               const TRowDone& done) {
  const uint64_t tileBytes = TIFFTileSize64(tif), tileRow = TIFFTileRowSize64(tif);
  std::vector<std::vector<uint8_t>> tiles(size_t(planes), std::vector<uint8_t>(size_t(tileBytes), 0));
  TPiece piece;
  piece.Stride = size_t(tileRow);
  for (int p = 0; p < planes; ++p) piece.Planes[size_t(p)] = tiles[size_t(p)].data();
  for (uint32_t y0 = 0; y0 < l.Length; y0 += l.BandRows) {
    piece.Y = y0;
    piece.Rows = std::min(l.BandRows, l.Length - y0);
    for (uint32_t x0 = 0; x0 < l.Width; x0 += l.TileWidth) {
      for (int p = 0; p < planes; ++p)
        file.Check(TIFFReadTile(tif, tiles[size_t(p)].data(), x0, y0, 0, uint16_t(p)) >= 0, "TIFFReadTile");
      piece.X = x0;
      piece.Width = std::min(l.TileWidth, l.Width - x0);
      piece.Skew = l.TileWidth - piece.Width;
      handle(piece);
    }
    if (RowsDone(done, y0, piece.Rows)) return;
  }
}

// Colour sample c of pixel x in row r of a piece, as stored.
uint32_t Sample(const TLayout& l, const TPiece& piece, uint32_t r, uint32_t x, int c) {
  const bool planes = l.Separate();
  const uint8_t* row = piece.Planes[planes ? size_t(c) : 0] + r * piece.Stride;
  const size_t i = planes ? x : size_t(x) * l.Samples + size_t(c);
  if (l.Bits == 8) return row[i];
  uint16_t v;
  std::memcpy(&v, row + 2 * i, 2);
  return v;
}

// A colour sample of 8 or 16 bits laid over the background by the alpha.
uint8_t Over(const TLayout& l, uint32_t value, uint32_t alpha, uint32_t background) {
  const bool wide = l.Bits == 16;
  switch (l.Alpha) {
    case EXTRASAMPLE_ASSOCALPHA:
      return wide ? PremultipliedOver16(value, alpha, background) : PremultipliedOver(value, alpha, background);
    case EXTRASAMPLE_UNASSALPHA:
      return wide ? BlendOver16(value, alpha, background) : BlendOver(value, alpha, background);
    default: return uint8_t(wide ? value >> 8 : value);
  }
}

// Row r of a piece into the graphic's row: 2-bit samples widened to
// nibbles, 16-bit ones cut to their high byte, WhiteIsZero counted down,
// alpha laid over the background.
void ConvertDirectRow(const TLayout& l, const TPiece& piece, uint32_t r, uint8_t* dest, TRGB background,
                      uint32_t backGray) {
  const uint8_t* src = piece.Planes[0] + r * piece.Stride;
  const uint32_t x0 = piece.X, width = piece.Width;
  const bool invert = l.Photometric == PHOTOMETRIC_MINISWHITE;
  if (l.Samples == 1 && l.Bits == 2) {
    for (uint32_t x = 0; x < width; ++x) {
      uint8_t v = (src[x / 4] >> (6 - 2 * (x % 4))) & 3;
      if (invert) v = uint8_t(3 - v);
      const uint32_t at = x0 + x;
      dest[at / 2] = at % 2 ? uint8_t(dest[at / 2] | v) : uint8_t(v << 4);
    }
    return;
  }
  if (l.Samples == 1 && l.Bits != 16) {
    const size_t bytes = (size_t(width) * l.Bits + 7) / 8;
    dest += size_t(x0) * l.Bits / 8;
    if (invert)
      for (size_t i = 0; i < bytes; ++i) dest[i] = uint8_t(~src[i]);
    else
      std::memcpy(dest, src, bytes);
    return;
  }
  const uint32_t most = l.Bits == 16 ? 65535 : 255;
  const int colours = l.ColourSamples();
  for (uint32_t x = 0; x < width; ++x) {
    const uint32_t alpha = l.Alpha ? Sample(l, piece, r, x, colours) : most;
    if (colours == 1) {
      uint32_t v = Sample(l, piece, r, x, 0);
      if (invert) v = most - v;
      dest[x0 + x] = Over(l, v, alpha, backGray);
    } else {
      uint8_t* d = dest + 3 * size_t(x0 + x);
      d[0] = Over(l, Sample(l, piece, r, x, 2), alpha, GetBValue(background));
      d[1] = Over(l, Sample(l, piece, r, x, 1), alpha, GetGValue(background));
      d[2] = Over(l, Sample(l, piece, r, x, 0), alpha, GetRValue(background));
    }
  }
}

// libtiff's conversion of everything the samples cannot give directly into
// RGBA colours, piece by piece.
class TRGBAConversion {
public:
  TRGBAConversion(TLibTIFFFile& file, TIFF* tif) {
    char message[1024] = "";
    if (!TIFFRGBAImageOK(tif, message) || !TIFFRGBAImageBegin(&FImage, tif, 1, message)) {
      file.RaiseNoted();
      RaiseTIFFReadError(message);
    }
    // 16-bit samples keep their high byte, as in 16-bit PNG files; libtiff
    // would round instead.
    if (FImage.Bitdepth16To8)
      for (uint32_t n = 0; n < 65536; ++n) FImage.Bitdepth16To8[n] = uint8_t(n >> 8);
    if (!FImage.put.any) {
      TIFFRGBAImageEnd(&FImage);
      RaiseTIFFReadError(LangStr(30));
    }
    if (FImage.photometric == PHOTOMETRIC_YCBCR)
      TIFFGetFieldDefaulted(tif, TIFFTAG_YCBCRSUBSAMPLING, &FHorizontal, &FVertical);
    FHorizontal = std::max<uint16_t>(FHorizontal, 1);
    FVertical = std::max<uint16_t>(FVertical, 1);
    FBlocks = FHorizontal * FVertical > 1;
    const bool gray = FImage.photometric == PHOTOMETRIC_MINISWHITE || FImage.photometric == PHOTOMETRIC_MINISBLACK ||
                      FImage.photometric == PHOTOMETRIC_PALETTE;
    FColourPlanes = gray ? 1 : 3;
  }
  ~TRGBAConversion() { TIFFRGBAImageEnd(&FImage); }
  TRGBAConversion(const TRGBAConversion&) = delete;
  TRGBAConversion& operator=(const TRGBAConversion&) = delete;

  // Whether colours come in blocks of rows, converted only whole.
  bool Blocks() const { return FBlocks; }
  int Planes() const { return FImage.isContig ? 1 : FColourPlanes + (FImage.alpha != 0); }
  // Bytes of a plane's decoded samples that the conversion of rows of width pixels takes.
  uint64_t DecodedBytes(uint32_t width, uint32_t rows) const {
    if (FBlocks)
      return (uint64_t(width) + FHorizontal - 1) / FHorizontal * ((uint64_t(rows) + FVertical - 1) / FVertical) *
             (uint64_t(FHorizontal) * FVertical + 2);
    const uint64_t samples = FImage.isContig ? FImage.samplesperpixel : 1;
    return uint64_t(rows) * ((uint64_t(width) * samples * FImage.bitspersample + 7) / 8);
  }

  void Convert(const TPiece& piece, TPixelGraphic& graphic, TRGB background, uint32_t backGray) {
    const uint32_t width = piece.Width;
    const uint32_t group = FBlocks ? piece.Rows
                                   : uint32_t(std::clamp<uint64_t>(RowGroupBytes / (uint64_t(width) * 4), 1,
                                                                   std::max<uint32_t>(piece.Rows, 1)));
    FRaster.resize(size_t(width) * group);
    const bool gray = graphic.BitCountNum() == 2;
    for (uint32_t r0 = 0; r0 < piece.Rows; r0 += group) {
      const uint32_t rows = std::min(group, piece.Rows - r0);
      const size_t at = size_t(r0) * piece.Stride;
      auto plane = [&](int p) { return const_cast<uint8_t*>(piece.Planes[size_t(p)]) + at; };
      if (FImage.isContig) {
        FImage.put.contig(&FImage, FRaster.data(), piece.X, piece.Y + r0, width, rows, int32_t(piece.Skew), 0,
                          plane(0));
      } else {
        const int c = FColourPlanes;
        FImage.put.separate(&FImage, FRaster.data(), piece.X, piece.Y + r0, width, rows, int32_t(piece.Skew), 0,
                            plane(0), plane(c > 1 ? 1 : 0), plane(c > 1 ? 2 : 0),
                            FImage.alpha ? plane(c) : nullptr);
      }
      // libtiff's colours carry their alpha multiplied in.
      for (uint32_t r = 0; r < rows; ++r) {
        const uint32_t* src = FRaster.data() + size_t(r) * width;
        uint8_t* dest = graphic.ScanLine(int32_t(piece.Y + r0 + r));
        for (uint32_t x = 0; x < width; ++x) {
          const uint32_t p = src[x], a = TIFFGetA(p);
          if (gray) {
            dest[piece.X + x] = PremultipliedOver(TIFFGetR(p), a, backGray);
          } else {
            uint8_t* d = dest + 3 * size_t(piece.X + x);
            d[0] = PremultipliedOver(TIFFGetB(p), a, GetBValue(background));
            d[1] = PremultipliedOver(TIFFGetG(p), a, GetGValue(background));
            d[2] = PremultipliedOver(TIFFGetR(p), a, GetRValue(background));
          }
        }
      }
    }
  }

private:
  TIFFRGBAImage FImage{};
  // YCbCr subsampling: the pixels of a block across and down.
  uint16_t FHorizontal = 1, FVertical = 1;
  bool FBlocks = false;
  int FColourPlanes = 3;
  std::vector<uint32_t> FRaster;
};

// Refuses pieces too large to decode at once, before the picture is touched:
// a tile or a whole strip of every plane, and libtiff's colours of a row,
// or of a tile or strip when colours come in blocks of rows.
void CheckPieces(TIFF* tif, const TLayout& l, int planes, bool wholeStrips, const TRGBAConversion* conversion) {
  if (l.Tiled) CheckPieceSize(TIFFTileSize64(tif) * uint64_t(planes));
  if (!l.Tiled && wholeStrips) CheckPieceSize(TIFFStripSize64(tif) * uint64_t(planes));
  const uint64_t width = l.Tiled ? l.TileWidth : l.Width;
  if (conversion) CheckPieceSize(width * 4 * (conversion->Blocks() || l.Tiled ? l.BandRows : 1));
}

// Refuses rows, tiles or strips as libtiff decodes them that hold less
// than is taken from them: a row from each row of a piece, or a whole
// piece when its samples come in blocks of rows.
void CheckDecodedSizes(TIFF* tif, const TLayout& l, bool wholeStrips, bool blocks,
                       const std::function<uint64_t(uint32_t width, uint32_t rows)>& taken) {
  const uint32_t width = l.Tiled ? l.TileWidth : l.Width, rows = l.Tiled || wholeStrips ? l.BandRows : 1;
  const uint64_t row = l.Tiled ? TIFFTileRowSize64(tif) : TIFFScanlineSize64(tif);
  const uint64_t piece = l.Tiled ? TIFFTileSize64(tif) : wholeStrips ? TIFFStripSize64(tif) : row;
  const bool enough = blocks ? piece >= taken(width, rows) : row >= taken(width, 1) && piece >= row * rows;
  if (!enough) RaiseTIFFReadError(LangStr1(7, "BitsPerSample"));
}

// Decodes the image piece by piece into the graphic, which has its size.
void ReadPieces(TLibTIFFFile& file, TIFF* tif, const TLayout& l, int planes, bool wholeStrips,
                TRGBAConversion* conversion, TPixelGraphic& graphic, TRGB background, TObject* sender, TStream& stream,
                int64_t start, uint64_t ifdOffset, uint64_t rowBytes) {
  // Grey pictures are laid over the background's grey, as PNG's are.
  const uint32_t backGray = (GetRValue(background) + GetGValue(background) + GetBValue(background)) / 3;
  const TPieceHandler convert = [&](const TPiece& piece) {
    if (conversion) {
      conversion->Convert(piece, graphic, background, backGray);
      return;
    }
    for (uint32_t r = 0; r < piece.Rows; ++r)
      ConvertDirectRow(l, piece, r, graphic.ScanLine(int32_t(piece.Y + r)), background, backGray);
  };
  const TRowDone done = [&](uint32_t y) { return RaiseProgress(graphic, sender, int(y), int(l.Length)); };
  if (l.Tiled) {
    ReadTiles(file, tif, l, planes, convert, done);
  } else if (wholeStrips) {
    ReadWholeStrips(file, tif, l, planes, convert, done);
  } else {
    // Each further plane gets a handle of its own on the same IFD.
    std::vector<std::unique_ptr<TLibTIFFFile>> others;
    std::vector<std::pair<TLibTIFFFile*, TIFF*>> handles{{&file, tif}};
    for (int p = 1; p < planes; ++p) {
      others.push_back(std::make_unique<TLibTIFFFile>(stream, start, graphic.ReadWarningAction()));
      handles.emplace_back(others.back().get(), others.back()->Open(ifdOffset, true));
    }
    const uint64_t samples = rowBytes * uint64_t(planes);
    ReadRowGroups(handles, l, conversion ? std::max(samples, uint64_t(l.Width) * 4) : samples, convert, done);
  }
}

}  // namespace

bool LibTIFFDecodes(uint32_t Compression) {
  return Compression <= std::numeric_limits<uint16_t>::max() && TIFFIsCODECConfigured(uint16_t(Compression)) != 0;
}

int64_t LibTIFFReadMemory(uint64_t FileBytes, uint64_t RowBytes, uint32_t Width) {
  // Groups of rows of samples and colours, or a tile or strip twice.
  const uint64_t rows = std::max(RowGroupBytes, RowBytes) + std::max(RowGroupBytes, uint64_t(Width) * 4);
  const uint64_t pieces = std::max(rows, 2 * PieceLimit);
  const uint64_t total = uint64_t(LibTIFFAllocationLimit) + pieces + FileBytes;
  return int64_t(std::min<uint64_t>(total, std::numeric_limits<int64_t>::max()));
}

void ReadTIFFThroughLibTIFF(TObject* Sender, TStream& Stream, int64_t Start, uint64_t IFDOffset,
                            TPixelGraphic& Graphic) {
  TLibTIFFFile file(Stream, Start, Graphic.ReadWarningAction());
  TIFF* tif = file.Open(IFDOffset);
  const TLayout layout = ReadLayout(tif);
  std::unique_ptr<TRGBAConversion> conversion;
  if (!layout.Direct()) conversion = std::make_unique<TRGBAConversion>(file, tif);
  CheckDataSize(tif, layout, file.Size());
  file.Check(true, "TIFFGetField");
  CheckPixelLimit(layout.Width, layout.Length);
  const int planes = conversion ? conversion->Planes() : layout.DirectPlanes();
  if (planes > layout.Samples || planes > MaxPlanes) RaiseTIFFReadError(LangStr1(7, "SamplesPerPixel"));
  const uint64_t rowBytes = layout.DecodedBytes(layout.Width, 1);
  // Subsampled colours come in blocks of rows, which strips hold whole, and
  // libtiff decodes old-style JPEG by whole strips only.
  const bool wholeStrips = (conversion && conversion->Blocks()) || layout.Compression == COMPRESSION_OJPEG;
  CheckPieces(tif, layout, planes, wholeStrips, conversion.get());
  CheckDecodedSizes(tif, layout, wholeStrips, conversion && conversion->Blocks(), [&](uint32_t width, uint32_t rows) {
    return conversion ? conversion->DecodedBytes(width, rows) : layout.DecodedBytes(width, rows);
  });
  // The background as it was before the size changes its palette.
  const TRGB background = Graphic.BackGroundColor();
  Graphic.SetSize(int32_t(layout.Width), int32_t(layout.Length), layout.BitCountNum());
  SetPalette(Graphic, tif, layout);
  RaiseProgressStart(Graphic, Sender);
  try {
    if (!Graphic.GetEmpty())
      ReadPieces(file, tif, layout, planes, wholeStrips, conversion.get(), Graphic, background, Sender, Stream, Start,
                 IFDOffset, rowBytes);
  } catch (...) {
    RaiseProgressEnd(Graphic, Sender);
    throw;
  }
  RaiseProgressEnd(Graphic, Sender);
}
