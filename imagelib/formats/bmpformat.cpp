#include "bmpformat.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "alphablend.h"
#include "byteorder.h"
#include "formatoptions.h"
#include "langstr.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "pixellimit.h"
#include "stream.h"

namespace {

enum TBMPCompression : uint32_t { BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3 };

[[noreturn]] void RaiseBMPError(const std::string& text) { throw EPGBMPFileFormatReader("BMP: " + text); }

[[noreturn]] void RaiseInvalid(const char* field) { RaiseBMPError(LangStr1(7, field)); }

int32_t ClampToInt32(int64_t v) {
  return int32_t(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

int64_t RowBytes(int bitCount, int32_t width) { return (int64_t(bitCount) * width + 31) / 32 * 4; }

// Info headers beyond the 40-byte one: Windows V2 to V5, which carry the
// bit-field masks themselves, and OS/2 2.x, whose first 40 bytes are laid out
// as the Windows header's.
constexpr uint32_t BitmapV2HeaderSize = 52, BitmapV3HeaderSize = 56, OS2V2HeaderSize = 64, BitmapV4HeaderSize = 108,
                   BitmapV5HeaderSize = 124;

// The fields of a core or info header that the reading uses.
struct TDIBHeader {
  int32_t Width = 0;
  int32_t Height = 0;  // negative: rows stored top-down
  uint16_t BitCount = 0;
  uint32_t Compression = BI_RGB;
  uint32_t ImageSize = 0;
  uint32_t ColorsUsed = 0;
  bool MasksInHeader = false;
  uint32_t Masks[4] = {};  // red, green, blue, alpha

  // Alpha counts only where the masks are used at all.
  uint32_t AlphaMask() const { return Compression == BI_BITFIELDS ? Masks[3] : 0; }
};

TDIBHeader ReadCoreHeader(TStream& stream) {
  uint8_t b[BitmapCoreHeaderSize];
  stream.ReadBuffer(b, sizeof b);
  TDIBHeader h;
  h.Width = GetLE16(b + 4);
  h.Height = GetLE16(b + 6);
  if (GetLE16(b + 8) != 1) RaiseInvalid("BitmapCoreHeader.bcPlanes");
  h.BitCount = GetLE16(b + 10);
  if (h.BitCount != 1 && h.BitCount != 4 && h.BitCount != 8 && h.BitCount != 24)
    RaiseInvalid("BitmapCoreHeader.bcBitCount");
  return h;
}

TDIBHeader ReadInfoHeader(TStream& stream, uint32_t headerSize = BitmapInfoHeaderSize) {
  uint8_t b[BitmapV5HeaderSize];
  stream.ReadBuffer(b, headerSize);
  TDIBHeader h;
  h.Width = int32_t(GetLE32(b + 4));
  h.Height = int32_t(GetLE32(b + 8));
  if (GetLE16(b + 12) != 1) RaiseInvalid("BitmapInfoHeader.biPlanes");
  h.BitCount = GetLE16(b + 14);
  switch (h.BitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: RaiseInvalid("BitmapInfoHeader.biBitCount");
  }
  h.Compression = GetLE32(b + 16);
  const bool accepted = h.Compression == BI_RGB ||
                        (h.Compression == BI_BITFIELDS && (h.BitCount == 16 || h.BitCount == 32)) ||
                        (h.Compression == BI_RLE4 && h.BitCount == 4 && h.Height >= 0) ||
                        (h.Compression == BI_RLE8 && h.BitCount == 8 && h.Height >= 0);
  if (!accepted) RaiseInvalid("BitmapInfoHeader.biCompression");
  // The one height whose size has no positive counterpart.
  if (h.Height == std::numeric_limits<int32_t>::min()) RaiseInvalid("BitmapInfoHeader.biHeight");
  h.ImageSize = GetLE32(b + 20);
  h.ColorsUsed = GetLE32(b + 32);
  // Colour space, gamma and profile fields are of no use here.
  if (headerSize >= BitmapV2HeaderSize && headerSize != OS2V2HeaderSize) {
    h.MasksInHeader = true;
    for (int i = 0; i < (headerSize >= BitmapV3HeaderSize ? 4 : 3); ++i) h.Masks[i] = GetLE32(b + 40 + 4 * i);
  }
  return h;
}

bool KnownHeaderSize(uint32_t size) {
  switch (size) {
    case BitmapCoreHeaderSize:
    case BitmapInfoHeaderSize:
    case BitmapV2HeaderSize:
    case BitmapV3HeaderSize:
    case OS2V2HeaderSize:
    case BitmapV4HeaderSize:
    case BitmapV5HeaderSize: return true;
    default: return false;
  }
}

// Skips the file header and returns the size of the header that follows.
uint32_t SkipFileHeader(TStream& stream) {
  uint8_t b[BitmapFileHeaderSize + 4];
  stream.ReadBuffer(b, sizeof b);
  stream.Seek(-4, soCurrent);
  const uint32_t size = GetLE32(b + BitmapFileHeaderSize);
  if (!KnownHeaderSize(size)) RaiseBMPError(LangStr1(27, "BitmapInfoHeader/BitmapCoreHeader"));
  return size;
}

// Refuses a header that declares more bytes than the stream has left, before
// any memory is set aside for them.
void CheckDeclaredBytes(TStream& stream, int64_t declared) {
  if (declared > stream.Size() - stream.Position()) RaiseBMPError(LangStr(32));
}

// Reads length bytes, in tenths with progress events when the block is
// large enough to be worth reporting.
void ReadBlockWithProgress(TPixelGraphic& graphic, TStream& stream, uint8_t* dest, int64_t length) {
  if (length < 101) {
    stream.ReadBuffer(dest, size_t(length));
    return;
  }
  const int64_t piece = length / 10;
  for (int k = 1; k <= 10; ++k) {
    const int64_t n = k < 10 ? piece : length - 9 * piece;
    stream.ReadBuffer(dest, size_t(n));
    dest += n;
    if (graphic.Progress(k, 10) && k < 10) return;
  }
}

void ReadPalette(TPixelGraphic& graphic, TStream& stream, int64_t stated, int entrySize) {
  const int32_t kept = int32_t(std::min<int64_t>(stated, PaletteCapacity(graphic.BitCountNum())));
  std::vector<uint8_t> b(size_t(kept) * entrySize);
  stream.ReadBuffer(b.data(), b.size());
  graphic.SetPaletteCount(kept);
  for (int32_t i = 0; i < kept; ++i) {
    const uint8_t* e = b.data() + size_t(i) * entrySize;
    graphic.SetPaletteEntries(i, RGB(e[2], e[1], e[0]));
  }
  // Entries beyond what the depth can use still lie before the pixels.
  stream.Seek((stated - kept) * entrySize, soCurrent);
}

// One colour channel of a bit-field pixel.
class TBitFieldChannel {
public:
  TBitFieldChannel(uint32_t mask, bool fullRange) : FMask(mask) {
    if (mask == 0) return;
    uint32_t m = mask;
    while ((m & 1) == 0) {
      m >>= 1;
      --FShift;
    }
    while ((m & 0x80) == 0) {
      m <<= 1;
      ++FShift;
    }
    // Lifts a short channel's maximum to 255; black stays black.
    if (fullRange) FOffset = m & (~m + 1);
  }

  uint8_t Value(uint32_t pixel) const {
    const uint32_t v = pixel & FMask;
    if (v == 0) return 0;
    const uint64_t c = (FShift >= 0 ? uint64_t(v) << FShift : uint64_t(v) >> -FShift) + FOffset;
    return uint8_t(std::min<uint64_t>(c, 255));
  }

private:
  uint32_t FMask;
  int FShift = 0;
  uint32_t FOffset = 0;
};

// The alpha channel of a bit-field pixel, scaled exactly to 0..255.
class TBitFieldAlpha {
public:
  explicit TBitFieldAlpha(uint32_t mask) : FMask(mask) {
    if (mask == 0) return;
    while (((mask >> FShift) & 1) == 0) ++FShift;
    FMax = mask >> FShift;
  }

  bool Present() const { return FMask != 0; }
  uint32_t Value(uint32_t pixel) const { return uint32_t(uint64_t((pixel & FMask) >> FShift) * 255 / FMax); }

private:
  uint32_t FMask;
  int FShift = 0;
  uint32_t FMax = 1;
};

// Pixels with an alpha mask are laid over background.
void ReadBitFieldPixels(TPixelGraphic& graphic, TStream& stream, const TDIBHeader& h, const uint32_t masks[4],
                        TRGB background) {
  const bool fullRange = BitFieldsFullRange && h.BitCount == 16;
  const TBitFieldChannel red(masks[0], fullRange), green(masks[1], fullRange), blue(masks[2], fullRange);
  const TBitFieldAlpha alpha(masks[3]);
  const int32_t width = graphic.GetWidth(), height = graphic.GetHeight();
  const int bytesPerPixel = h.BitCount / 8;
  std::vector<uint8_t> row(size_t(RowBytes(h.BitCount, width)));
  for (int32_t r = 0; r < height; ++r) {
    stream.ReadBuffer(row.data(), row.size());
    uint8_t* dest = graphic.ScanLine(height - 1 - r);
    const uint8_t* src = row.data();
    for (int32_t x = 0; x < width; ++x, src += bytesPerPixel, dest += 3) {
      const uint32_t v = bytesPerPixel == 2 ? GetLE16(src) : GetLE32(src);
      dest[0] = blue.Value(v);
      dest[1] = green.Value(v);
      dest[2] = red.Value(v);
      if (alpha.Present()) {
        const uint32_t a = alpha.Value(v);
        dest[0] = BlendOver(dest[0], a, GetBValue(background));
        dest[1] = BlendOver(dest[1], a, GetGValue(background));
        dest[2] = BlendOver(dest[2], a, GetRValue(background));
      }
    }
    if (graphic.Progress(r, height)) return;
  }
}

// Decodes RLE8 or RLE4 data, starting with the bottom row. Runs that would
// reach beyond the data end the decoding.
void DecodeRLE(TPixelGraphic& graphic, const uint8_t* data, int64_t size, bool rle4) {
  const int32_t width = graphic.GetWidth();
  int64_t x = 0, y = int64_t(graphic.GetHeight()) - 1, p = 0;
  const auto set = [&](int64_t px, uint32_t v) {
    if (!rle4 || px < width) graphic.SetPixel(ClampToInt32(px), ClampToInt32(y), v);
  };
  const int64_t tenth = size / 10;
  while (p < size - 1) {
    if (tenth > 0 && p % tenth == 0 && graphic.Progress(int(p / tenth), 10)) return;
    const uint8_t n = data[p], c = data[p + 1];
    if (n > 0) {
      for (int i = 0; i < n; ++i) set(x + i, rle4 ? ((i & 1) ? c & 0x0F : c >> 4) : c);
      x += n;
      p += 2;
    } else if (c == 0) {
      x = 0;
      --y;
      p += 2;
    } else if (c == 1) {
      return;
    } else if (c == 2) {
      if (p >= size - 3) return;
      x += data[p + 2];
      y -= data[p + 3];
      p += 4;
    } else {
      const int64_t bytes = rle4 ? (c + 1) / 2 : c;
      if (p + 2 + bytes > size) return;
      const uint8_t* run = data + p + 2;
      for (int i = 0; i < c; ++i) set(x + i, rle4 ? ((i & 1) ? run[i / 2] & 0x0F : run[i / 2] >> 4) : run[i]);
      x += c;
      p += bytes + 2;
      if (p & 1) ++p;
    }
  }
}

void FlipRows(TPixelGraphic& graphic) {
  if (graphic.GetEmpty()) return;
  const int32_t height = graphic.GetHeight();
  std::vector<uint8_t> row(size_t(graphic.Stride()));
  for (int32_t j = 0; j < height / 2; ++j) {
    uint8_t* a = graphic.ScanLine(j);
    uint8_t* b = graphic.ScanLine(height - 1 - j);
    std::memcpy(row.data(), a, row.size());
    std::memcpy(a, b, row.size());
    std::memcpy(b, row.data(), row.size());
  }
}

void ReadCoreDIB(TPixelGraphic& graphic, TStream& stream) {
  const TDIBHeader h = ReadCoreHeader(stream);
  const uint8_t code = BitCountToNum(h.BitCount);
  const int32_t entries = PaletteCapacity(code);
  CheckDeclaredBytes(stream, 3 * entries + RowBytes(h.BitCount, h.Width) * h.Height);
  CheckPixelLimit(h.Width, h.Height);
  graphic.SetSize(h.Width, h.Height, code);
  ReadPalette(graphic, stream, entries, 3);
  ReadBlockWithProgress(graphic, stream, graphic.Bits(), graphic.GetEmpty() ? 0 : graphic.ImageSize());
}

void ReadInfoDIB(TPixelGraphic& graphic, TStream& stream, uint32_t headerSize) {
  const TDIBHeader h = ReadInfoHeader(stream, headerSize);
  const int32_t height = h.Height < 0 ? -h.Height : h.Height;
  const bool uncompressed = h.Compression == BI_RGB || h.Compression == BI_BITFIELDS;
  const int64_t pixelBytes = uncompressed ? RowBytes(h.BitCount, h.Width) * height : 0;
  if (h.BitCount > 8) {
    const bool masksFollow = h.Compression == BI_BITFIELDS && !h.MasksInHeader;
    CheckDeclaredBytes(stream, (masksFollow ? 12 : 0) + 4 * int64_t(h.ColorsUsed) + pixelBytes);
    CheckPixelLimit(h.Width, height);
    const TRGB background = graphic.BackGroundColor();
    graphic.SetSize(h.Width, height, 3);
    uint32_t masks[4] = {0, 0, 0, h.AlphaMask()};
    if (masksFollow) {
      uint8_t b[12];
      stream.ReadBuffer(b, sizeof b);
      for (int i = 0; i < 3; ++i) masks[i] = GetLE32(b + 4 * i);
    } else if (h.Compression == BI_BITFIELDS) {
      std::copy(h.Masks, h.Masks + 3, masks);
    } else if (h.BitCount == 16) {
      masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
    } else {
      masks[0] = 0xFF0000, masks[1] = 0x00FF00, masks[2] = 0x0000FF;
    }
    // A palette in a true-colour file is of no use here.
    stream.Seek(4 * int64_t(h.ColorsUsed), soCurrent);
    if (h.BitCount == 24)
      ReadBlockWithProgress(graphic, stream, graphic.Bits(), graphic.GetEmpty() ? 0 : graphic.ImageSize());
    else if (!graphic.GetEmpty())
      ReadBitFieldPixels(graphic, stream, h, masks, background);
  } else {
    const uint8_t code = BitCountToNum(h.BitCount);
    const int64_t entries = h.ColorsUsed != 0 ? h.ColorsUsed : PaletteCapacity(code);
    CheckDeclaredBytes(stream, 4 * entries + pixelBytes);
    CheckPixelLimit(h.Width, height);
    graphic.SetSize(h.Width, height, code);
    ReadPalette(graphic, stream, entries, 4);
    if (uncompressed) {
      ReadBlockWithProgress(graphic, stream, graphic.Bits(), graphic.GetEmpty() ? 0 : graphic.ImageSize());
    } else {
      // The image size field may claim more than the file holds.
      const int64_t size = std::min<int64_t>(h.ImageSize, stream.Size() - stream.Position());
      std::vector<uint8_t> work(size_t(std::max<int64_t>(size, 0)));
      stream.ReadBuffer(work.data(), work.size());
      DecodeRLE(graphic, work.data(), int64_t(work.size()), h.Compression == BI_RLE4);
    }
  }
  if (h.Height < 0) FlipRows(graphic);
}

// Reads a bitmap whose header has the given size, one of the known ones.
void ReadDIBOfHeaderSize(TPixelGraphic& graphic, TStream& stream, uint32_t headerSize) {
  graphic.ProgressStart();
  try {
    if (headerSize == BitmapCoreHeaderSize)
      ReadCoreDIB(graphic, stream);
    else
      ReadInfoDIB(graphic, stream, headerSize);
  } catch (...) {
    graphic.ProgressEnd();
    throw;
  }
  graphic.ProgressEnd();
}

std::string HeaderName(uint32_t headerSize) {
  switch (headerSize) {
    case BitmapV2HeaderSize: return "Windows V2";
    case BitmapV3HeaderSize: return "Windows V3";
    case OS2V2HeaderSize: return "OS/2 2.x";
    case BitmapV4HeaderSize: return "Windows V4";
    case BitmapV5HeaderSize: return "Windows V5";
    default: return "Windows";
  }
}

std::string ColorCountText(int bitCount) {
  switch (bitCount) {
    case 1: return "2";
    case 4: return "16";
    case 8: return "256";
    case 16: return "64K";
    default: return "16.7M";
  }
}

int32_t WrittenPaletteEntries(const TPixelGraphic& graphic) {
  return graphic.BitCountNum() == 3 ? 0 : graphic.PaletteCount();
}

int64_t WrittenImageBytes(const TPixelGraphic& graphic) { return graphic.GetEmpty() ? 0 : graphic.ImageSize(); }

}  // namespace

TBMPFileFormatReader::TBMPFileFormatReader(const char* ClassName, const char* Extension)
    : TFileFormatReader(ClassName, Extension, "Bitmap", true) {}

bool TBMPFileFormatReader::CheckSignature(const TFileHeader& Header) const {
  return Header[0] == 'B' && Header[1] == 'M';
}

void TBMPFileFormatReader::Read(TStream& Stream, TPixelGraphic& Graphic, int Index) {
  if (Index != 0) RaiseInvalid("Index");
  ReadDIBOfHeaderSize(Graphic, Stream, SkipFileHeader(Stream));
}

void TBMPFileFormatReader::ReadInfo(TStream& Stream, int Index, TFileFormatInfo& Info) {
  if (Index != 0) RaiseBMPError(LangStr1(20, "Index"));
  TFileFormatReader::ReadInfo(Stream, Index, Info);
  const uint32_t headerSize = SkipFileHeader(Stream);
  const bool core = headerSize == BitmapCoreHeaderSize;
  const TDIBHeader h = core ? ReadCoreHeader(Stream) : ReadInfoHeader(Stream, headerSize);
  Info.Width = h.Width;
  Info.Height = h.Height;
  Info.BitCount = h.BitCount;
  Info.ColorCount = ColorCountText(h.BitCount);
  if (core) {
    Info.SubFormat = "OS/2";
    return;
  }
  Info.SubFormat = HeaderName(headerSize);
  static constexpr const char* compression[3] = {", RGB", ", RLE8", ", RLE4"};
  if (h.Compression < 3) Info.SubFormat += compression[h.Compression];
  if (h.Compression == BI_BITFIELDS && headerSize > BitmapInfoHeaderSize) Info.SubFormat += ", BitFields";
  if (h.AlphaMask() != 0) Info.SubFormat += ", alpha";
  if (h.Height < 0) Info.SubFormat += ", Top-Down";
}

TBMPFileFormatWriter::TBMPFileFormatWriter(const char* ClassName, const char* Extension, bool Listed)
    : TFileFormatWriter(ClassName, Extension, "Bitmap", Listed, TColorResolutions(0xFF)) {}

void TBMPFileFormatWriter::Write(TStream& Stream, TPixelGraphic& Graphic) {
  const uint32_t bitsOffset = BitmapFileHeaderSize + BitmapInfoHeaderSize + 4 * WrittenPaletteEntries(Graphic);
  uint8_t b[BitmapFileHeaderSize] = {'B', 'M'};
  PutLE32(b + 2, bitsOffset + uint32_t(WrittenImageBytes(Graphic)));
  PutLE32(b + 10, bitsOffset);
  Stream.WriteBuffer(b, sizeof b);
  WriteDIB(Graphic, Stream);
}

void RegisterBMPFileFormats(TFileFormatReaders& Readers, TFileFormatWriters& Writers) {
  Readers.push_back(std::make_unique<TBMPFileFormatReader>());
  Readers.push_back(std::make_unique<TDIBFileFormatReader>());
  Readers.push_back(std::make_unique<TRLEFileFormatReader>());
  Writers.push_back(std::make_unique<TBMPFileFormatWriter>());
  Writers.push_back(std::make_unique<TDIBFileFormatWriter>());
}

void ReadDIB(TPixelGraphic& Graphic, TStream& Stream, bool CoreHeader) {
  ReadDIBOfHeaderSize(Graphic, Stream, CoreHeader ? BitmapCoreHeaderSize : BitmapInfoHeaderSize);
}

void WriteDIB(const TPixelGraphic& Graphic, TStream& Stream) {
  const int32_t entries = WrittenPaletteEntries(Graphic);
  const int64_t imageBytes = WrittenImageBytes(Graphic);
  std::vector<uint8_t> head(size_t(BitmapInfoHeaderSize + 4 * entries), 0);
  uint8_t* h = head.data();
  PutLE32(h, BitmapInfoHeaderSize);
  PutLE32(h + 4, uint32_t(Graphic.GetWidth()));
  PutLE32(h + 8, uint32_t(Graphic.GetHeight()));
  PutLE16(h + 12, 1);
  PutLE16(h + 14, uint32_t(Graphic.BitCount()));
  PutLE32(h + 20, uint32_t(imageBytes));
  PutLE32(h + 32, uint32_t(entries));
  for (int32_t i = 0; i < entries; ++i) {
    const TRGB c = Graphic.PaletteEntries(i);
    uint8_t* e = h + BitmapInfoHeaderSize + 4 * i;
    e[0] = GetBValue(c);
    e[1] = GetGValue(c);
    e[2] = GetRValue(c);
  }
  Stream.WriteBuffer(head.data(), head.size());
  Stream.WriteBuffer(Graphic.Bits(), size_t(imageBytes));
}

int64_t PackedDIBSize(const TPixelGraphic& Graphic) {
  return 58 + 4 * int64_t(WrittenPaletteEntries(Graphic)) + WrittenImageBytes(Graphic);
}
