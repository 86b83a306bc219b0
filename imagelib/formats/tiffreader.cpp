#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

#include "alphablend.h"
#include "embeddedprofile.h"
#include "langstr.h"
#include "orientation.h"
#include "pixelgraphic.h"
#include "pixellimit.h"
#include "platform.h"
#include "stream.h"
#include "tiffformat.h"
#include "tifflibreader.h"
#include "tiffpackbits.h"

namespace {

constexpr uint16_t TagICCProfile = 34675;
constexpr uint16_t FieldUndefined = 7;

[[noreturn]] void RaiseEndOfFile() { RaiseTIFFReadError(LangStr(32)); }

// The TIFF data of a stream, read by offsets from where it begins. Reading
// beyond its end is refused, and Holds lets declared counts be checked
// against what the file has before memory is set aside for them.
class TTIFFData {
public:
  explicit TTIFFData(TStream& stream)
      : FStream(stream), FStart(stream.Position()), FLength(std::max<int64_t>(stream.Size() - FStart, 0)) {}

  TStream& Stream() const { return FStream; }
  int64_t Start() const { return FStart; }
  uint64_t Length() const { return FLength; }
  bool Holds(uint64_t offset, uint64_t count) const { return offset <= FLength && count <= FLength - offset; }

  void ReadAt(uint64_t offset, void* buffer, size_t count) const {
    if (!Holds(offset, count)) RaiseEndOfFile();
    FStream.SetPosition(FStart + int64_t(offset));
    FStream.ReadBuffer(buffer, count);
  }

private:
  TStream& FStream;
  int64_t FStart;
  uint64_t FLength;
};

struct TIFDEntry {
  uint16_t Tag;
  uint16_t Type;
  uint32_t Count;
  uint8_t Value[4];
};

size_t FieldSize(uint16_t type) {
  switch (type) {
    case tfByte: return 1;
    case tfShort: return 2;
    case tfLong: return 4;
    default: RaiseTIFFReadError("Unsupported field Type: " + std::to_string(type));
  }
}

class TIFD {
public:
  TIFD(const TTIFFData& data, TTIFFByteOrder order, uint32_t offset) : FData(data), FOrder(order) {
    uint8_t b[2];
    data.ReadAt(offset, b, 2);
    const size_t count = order.Get16(b);
    std::vector<uint8_t> raw(count * TIFFEntrySize);
    data.ReadAt(uint64_t(offset) + 2, raw.data(), raw.size());
    FEntries.resize(count);
    for (size_t i = 0; i < count; ++i) {
      const uint8_t* e = raw.data() + i * TIFFEntrySize;
      FEntries[i] = {order.Get16(e), order.Get16(e + 2), order.Get32(e + 4), {e[8], e[9], e[10], e[11]}};
    }
  }

  // A single value; an absent tag reads as 0.
  uint32_t Value(uint16_t tag) const {
    const TIFDEntry* e = Find(tag);
    if (!e) return 0;
    switch (FieldSize(e->Type)) {
      case 1: return e->Value[0];
      case 2: return FOrder.Get16(e->Value);
      default: return FOrder.Get32(e->Value);
    }
  }

  uint32_t Count(uint16_t tag) const {
    const TIFDEntry* e = Find(tag);
    return e ? e->Count : 0;
  }

  std::vector<uint32_t> Values(uint16_t tag) const {
    const TIFDEntry* e = Find(tag);
    if (!e) return {};
    const size_t size = FieldSize(e->Type);
    const uint64_t bytes = uint64_t(e->Count) * size;
    std::vector<uint8_t> stored;
    const uint8_t* p = e->Value;
    if (bytes > 4) {
      const uint32_t offset = FOrder.Get32(e->Value);
      if (!FData.Holds(offset, bytes)) RaiseEndOfFile();  // before allocating
      stored.resize(size_t(bytes));
      FData.ReadAt(offset, stored.data(), stored.size());
      p = stored.data();
    }
    std::vector<uint32_t> values(e->Count);
    for (uint32_t& v : values) {
      v = size == 1 ? *p : size == 2 ? FOrder.Get16(p) : FOrder.Get32(p);
      p += size;
    }
    return values;
  }

  // The bytes of a tag of bytes; damaged when they do not lie in the data.
  TEmbeddedProfile Profile(uint16_t tag) const {
    TEmbeddedProfile profile;
    const TIFDEntry* e = Find(tag);
    if (!e) return profile;
    const uint32_t offset = FOrder.Get32(e->Value);
    profile.Damaged = (e->Type != tfByte && e->Type != FieldUndefined) || e->Count == 0 ||
                      (e->Count > 4 && !FData.Holds(offset, e->Count));
    if (profile.Damaged) return profile;
    profile.Data.resize(e->Count);
    if (e->Count <= 4)
      std::memcpy(profile.Data.data(), e->Value, e->Count);
    else
      FData.ReadAt(offset, profile.Data.data(), e->Count);
    return profile;
  }

private:
  // Of several entries with one tag, the last counts.
  const TIFDEntry* Find(uint16_t tag) const {
    for (auto e = FEntries.rbegin(); e != FEntries.rend(); ++e)
      if (e->Tag == tag) return &*e;
    return nullptr;
  }

  const TTIFFData& FData;
  TTIFFByteOrder FOrder;
  std::vector<TIFDEntry> FEntries;
};

// What parsing finds out about the image asked for.
struct TTIFFImage {
  TTIFFByteOrder Order;
  int32_t ImageCount = 1;
  uint32_t IFDOffset = 0;
  // Read through libtiff; RowsPerStrip, StripOffsets and ColorMap stay empty.
  bool HandedOver = false;
  bool Tiled = false;
  bool Planar = false;
  // The first extra sample after the colours: 0, or 1 associated and 2 unassociated alpha.
  uint32_t Alpha = 0;
  uint32_t Width = 0;
  uint32_t Length = 0;
  uint32_t Compression = 0;
  uint32_t Photometric = 0;
  uint8_t Orientation = 1;
  uint32_t SamplesPerPixel = 0;
  uint32_t RowsPerStrip = 0;
  std::vector<uint32_t> BitsPerSample;
  std::vector<uint32_t> StripOffsets;
  std::vector<uint32_t> ColorMap;
  TEmbeddedProfile Profile;

  uint32_t PixelBits() const { return BitsPerSample[0] * SamplesPerPixel; }
};

// Follows the IFD chain from first and returns the number of IFDs, with
// offset set to IFD number index. A chain that leaves the data or grows
// beyond TIFFMaxImages counts as one image, the first.
int32_t CountImages(const TTIFFData& data, TTIFFByteOrder order, uint32_t first, int index, uint32_t& offset) {
  offset = first;
  int32_t count = 0;
  for (uint32_t ifd = first;;) {
    uint8_t b[4];
    if (!data.Holds(ifd, 2)) break;
    data.ReadAt(ifd, b, 2);
    const uint64_t next = uint64_t(ifd) + 2 + uint64_t(order.Get16(b)) * TIFFEntrySize;
    if (!data.Holds(next, 4)) break;
    if (count == index) offset = ifd;
    if (++count > TIFFMaxImages) break;
    data.ReadAt(next, b, 4);
    ifd = order.Get32(b);
    if (ifd == 0) return count;
  }
  offset = first;
  return 1;
}

bool AcceptedLayout(uint32_t photometric, const std::vector<uint32_t>& bits) {
  const auto all8 = [&] { return std::all_of(bits.begin(), bits.end(), [](uint32_t b) { return b == 8; }); };
  switch (photometric) {
    case tpWhiteIsZero:
    case tpBlackIsZero:
    case tpPalette: return bits.size() == 1 && (bits[0] == 1 || bits[0] == 4 || bits[0] == 8);
    case tpRGB: return (bits.size() == 3 || bits.size() == 4) && all8();
    case tpCMYK: return bits.size() == 4 && all8();
    default: return false;
  }
}

// What the first extra sample after the colours is, as ExtraSamples says:
// associated or unassociated alpha, or 0 for anything else.
uint32_t AlphaKind(const TIFD& ifd) {
  const uint32_t photometric = ifd.Value(ttPhotometricInterpretation);
  const uint32_t colours = photometric == tpRGB || photometric == 6 ? 3 : photometric == tpCMYK ? 4 : 1;
  if (ifd.Value(ttSamplesPerPixel) <= colours) return 0;
  try {
    const std::vector<uint32_t> extra = ifd.Values(ttExtraSamples);
    return !extra.empty() && (extra[0] == 1 || extra[0] == 2) ? extra[0] : 0;
  } catch (const EPGTIFFileFormatReader&) {
    // A broken ExtraSamples tag leaves the sample what it was before there was one.
    return 0;
  }
}

// Whether this reader refuses the image for its compression, tiles, planes,
// sample sizes or extra samples, and libtiff can read it instead. Everything
// else, and what libtiff has no codec for, meets this reader's checks.
bool HandedOver(const TIFD& ifd) {
  try {
    const uint32_t compression = ifd.Value(ttCompression);
    if (compression == 0 || !LibTIFFDecodes(compression)) return false;
    if (compression != tcNone && compression != tcPackBits) return true;
    if (ifd.Count(ttTileWidth) > 0 || ifd.Count(ttTileOffsets) > 0 || ifd.Value(ttPlanarConfiguration) == 2)
      return true;
    const uint32_t samples = ifd.Value(ttSamplesPerPixel), photometric = ifd.Value(ttPhotometricInterpretation);
    if (samples == 0 || ifd.Count(ttBitsPerSample) != samples) return false;
    const uint32_t least = photometric == tpRGB ? 3 : photometric == tpCMYK ? 4 : 1;
    if (photometric > tpCMYK || photometric == 4 || samples < least) return false;
    return !AcceptedLayout(photometric, ifd.Values(ttBitsPerSample));
  } catch (const EPGTIFFileFormatReader&) {
    return false;
  }
}

// A damaged Orientation tag counts as none.
uint8_t TIFFOrientation(const TIFD& ifd) {
  try {
    return ValidOrientation(ifd.Value(ttOrientation));
  } catch (const EPGTIFFileFormatReader&) {
    return oTopLeft;
  }
}

TTIFFImage ParseTIFF(const TTIFFData& data, int index) {
  TTIFFImage image;
  uint8_t header[TIFFHeaderSize] = {};
  const size_t got = size_t(std::min<uint64_t>(data.Length(), TIFFHeaderSize));
  data.ReadAt(0, header, got);
  const std::string notTIF = LangStr1(34, "TIF");
  if (got < 2 || header[0] != header[1] || (header[0] != 'I' && header[0] != 'M')) RaiseTIFFReadError(notTIF);
  image.Order = TTIFFByteOrder(header[0] == 'M');
  if (got < 4 || image.Order.Get16(header + 2) != 42) RaiseTIFFReadError(notTIF);
  if (got < TIFFHeaderSize) RaiseEndOfFile();
  uint32_t offset = image.Order.Get32(header + 4);
  if (TIFFCountImages) image.ImageCount = CountImages(data, image.Order, offset, index, offset);
  if (index < 0 || index >= image.ImageCount) RaiseTIFFReadError(LangStr1(7, "Index"));

  const TIFD ifd(data, image.Order, offset);
  image.IFDOffset = offset;
  image.Profile = ifd.Profile(TagICCProfile);
  image.Orientation = TIFFOrientation(ifd);
  if (HandedOver(ifd)) {
    image.HandedOver = true;
    image.Tiled = ifd.Count(ttTileWidth) > 0 || ifd.Count(ttTileOffsets) > 0;
    image.Planar = ifd.Value(ttPlanarConfiguration) == 2;
    image.Alpha = AlphaKind(ifd);
    image.Width = ifd.Value(ttImageWidth);
    image.Length = ifd.Value(ttImageLength);
    image.Compression = ifd.Value(ttCompression);
    image.Photometric = ifd.Value(ttPhotometricInterpretation);
    image.SamplesPerPixel = ifd.Value(ttSamplesPerPixel);
    image.BitsPerSample = ifd.Values(ttBitsPerSample);
    return image;
  }
  if (ifd.Value(ttPlanarConfiguration) > 1) RaiseTIFFReadError(LangStr1(7, "PlanarConfiguration"));
  image.SamplesPerPixel = ifd.Value(ttSamplesPerPixel);
  if (image.SamplesPerPixel != 1 && image.SamplesPerPixel != 3 && image.SamplesPerPixel != 4)
    RaiseTIFFReadError("Invalid SamplesPerPixel");
  if (ifd.Count(ttBitsPerSample) != image.SamplesPerPixel) RaiseTIFFReadError("Invalid count of SamplesPerPixel");
  image.BitsPerSample = ifd.Values(ttBitsPerSample);
  image.Photometric = ifd.Value(ttPhotometricInterpretation);
  if (!AcceptedLayout(image.Photometric, image.BitsPerSample)) RaiseTIFFReadError("Invalid SamplesPerPixel");
  image.Width = ifd.Value(ttImageWidth);
  image.Length = ifd.Value(ttImageLength);
  image.Compression = ifd.Value(ttCompression);
  image.StripOffsets = ifd.Values(ttStripOffsets);
  image.RowsPerStrip = ifd.Value(ttRowsPerStrip);
  if (image.RowsPerStrip == 0) {
    if (image.StripOffsets.size() > 1) RaiseTIFFReadError("Invalid RowsPerStrip");
    image.RowsPerStrip = image.Length;
  }
  image.ColorMap = ifd.Values(ttColorMap);
  image.Alpha = AlphaKind(ifd);
  return image;
}

void CheckCompression(uint32_t compression) {
  switch (compression) {
    case tcNone:
    case tcPackBits: return;
    case 2: RaiseTIFFReadError("Unsupported compression CCITT 1D");
    case 3: RaiseTIFFReadError("Unsupported compression Group 3 Fax");
    case 4: RaiseTIFFReadError("Unsupported compression Group 4 Fax");
    case 5: RaiseTIFFReadError("Unsupported compression LZW");
    case 6: RaiseTIFFReadError("Unsupported compression JPEG");
    default: RaiseTIFFReadError("Unsupported compression " + std::to_string(compression));
  }
}

// A strip count that does not fit the image is refused, except for a
// single strip, which is then taken to hold the whole image if the
// warning action lets the reading go on.
void CheckStripCount(TTIFFImage& image, const TPixelGraphic& graphic) {
  const uint64_t rows = image.RowsPerStrip;
  const uint64_t strips = rows > 0 ? (uint64_t(image.Length) + rows - 1) / rows : 0;
  if (strips == image.StripOffsets.size()) return;
  const std::string text = "NumStripOffsets<>(ImageLength+RowsPerStrip-1) div RowsPerStrip";
  if (image.StripOffsets.size() != 1) RaiseTIFFReadError(text);
  switch (graphic.ReadWarningAction()) {
    case pgwaIgnore: break;
    case pgwaOKBox: PGWarningBox("TIFF: " + text, "TIFF-" + LangStr(28), false); break;
    case pgwaOKCancelBox:
      if (!PGWarningBox("TIFF: " + text, "TIFF-" + LangStr(28), true)) RaiseTIFFReadError(text);
      break;
    default: RaiseTIFFReadError(text);
  }
  image.RowsPerStrip = image.Length;
}

// Refuses an image whose pixel data cannot be in the file, before its
// pixel memory is set aside: each row takes rowBytes bytes uncompressed, and
// at least two bytes for every 128 of them in PackBits.
void CheckDataSize(const TTIFFData& data, const TTIFFImage& image, uint64_t rowBytes) {
  if (image.Width > uint32_t(std::numeric_limits<int32_t>::max())) RaiseTIFFReadError(LangStr1(7, "ImageWidth"));
  if (image.Length > uint32_t(std::numeric_limits<int32_t>::max())) RaiseTIFFReadError(LangStr1(7, "ImageLength"));
  const uint64_t perRow = image.Compression == tcNone ? rowBytes : 2 * ((rowBytes + 127) / 128);
  if (perRow > 0 && image.Length > data.Length() / perRow) RaiseEndOfFile();
}

void SetPalette(TPixelGraphic& graphic, const TTIFFImage& image) {
  const uint8_t code = graphic.BitCountNum();
  if (code == 0) {
    // Bilevel files are black and white whatever their ColorMap says.
    graphic.SetPaletteIdent(pBlackWhite);
  } else if (image.Photometric == tpWhiteIsZero || image.Photometric == tpBlackIsZero) {
    graphic.SetPaletteIdent(code == 1 ? pGray16 : pGray256);
  } else if (image.Photometric == tpPalette) {
    const std::vector<uint32_t>& map = image.ColorMap;
    const size_t n = map.size() / 3;
    const int32_t kept = int32_t(std::min<size_t>(n, size_t(PaletteCapacity(code))));
    graphic.SetPaletteCount(kept);
    for (int32_t i = 0; i < kept; ++i)
      graphic.SetPaletteEntries(i, RGB(map[size_t(i)] / 256, map[n + size_t(i)] / 256, map[2 * n + size_t(i)] / 256));
  } else {
    RaiseTIFFReadError(code == 1 ? "Unsupported 4 Bits/Pixel" : "Unsupported 8 Bits/Pixel");
  }
}

// One channel of a CMYK sample: the light its ink and the black leave.
uint8_t LightLeft(int ink, int black) { return uint8_t(std::max(255 - ink - black, 0)); }

// Turns a row as the file stores it into a buffer row of the graphic; an
// alpha sample lays the colour over the background, as the PNG reader does.
void ConvertRow(const TTIFFImage& image, const uint8_t* src, size_t rowBytes, uint8_t* dest, int32_t width,
                TRGB background) {
  switch (image.PixelBits()) {
    case 24:
      for (int32_t x = 0; x < width; ++x, src += 3, dest += 3) {
        dest[0] = src[2];
        dest[1] = src[1];
        dest[2] = src[0];
      }
      break;
    case 32:
      for (int32_t x = 0; x < width; ++x, src += 4, dest += 3) {
        if (image.Photometric == tpCMYK) {
          dest[0] = LightLeft(src[2], src[3]);
          dest[1] = LightLeft(src[1], src[3]);
          dest[2] = LightLeft(src[0], src[3]);
        } else if (image.Alpha == 1) {
          dest[0] = PremultipliedOver(src[2], src[3], GetBValue(background));
          dest[1] = PremultipliedOver(src[1], src[3], GetGValue(background));
          dest[2] = PremultipliedOver(src[0], src[3], GetRValue(background));
        } else if (image.Alpha == 2) {
          dest[0] = BlendOver(src[2], src[3], GetBValue(background));
          dest[1] = BlendOver(src[1], src[3], GetGValue(background));
          dest[2] = BlendOver(src[0], src[3], GetRValue(background));
        } else {
          dest[0] = src[2];
          dest[1] = src[1];
          dest[2] = src[0];
        }
      }
      break;
    default:
      // Palette indices and grey levels; WhiteIsZero counts down from white.
      if (image.Photometric == tpWhiteIsZero)
        for (size_t i = 0; i < rowBytes; ++i) dest[i] = uint8_t(~src[i]);
      else
        std::memcpy(dest, src, rowBytes);
  }
}

void ReadRows(TObject* sender, const TTIFFData& data, const TTIFFImage& image, TPixelGraphic& graphic,
              uint64_t rowBytes, TRGB background) {
  // A picture without pixels has no rows to read, however wide it claims to be.
  if (graphic.GetEmpty()) return;
  std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
  TPackBitsDecoder decoder(data.Stream(), data.Start());
  const int32_t width = graphic.GetWidth(), length = int32_t(image.Length);
  uint64_t position = 0;
  for (int32_t y = 0; y < length; ++y) {
    if (y % image.RowsPerStrip == 0) {
      position = image.StripOffsets[y / image.RowsPerStrip];
      decoder.SetPosition(position);
    }
    if (image.Compression == tcNone) {
      data.ReadAt(position, row.data(), row.size());
      position += row.size();
    } else {
      decoder.DecodeRow(row.data(), row.size(), y);
    }
    ConvertRow(image, row.data(), row.size(), graphic.ScanLine(y), width, background);
    bool abort = false;
    if (graphic.OnProgress) graphic.OnProgress(sender, y, length, abort);
    if (abort) return;
  }
}

// Names of the photometric interpretations that libtiff turns into colours.
const char* ConvertedPhotometricName(uint32_t photometric) {
  switch (photometric) {
    case 6: return ", YCbCr";
    case 8: return ", CIELab";
    case 32844: return ", LogL";
    case 32845: return ", LogLuv";
    default: return nullptr;
  }
}

// Converts the picture read with the profile of its file.
void ConvertProfile(const TTIFFImage& image, TPixelGraphic& graphic) {
  const std::string failure = ConvertEmbeddedProfile(graphic, image.Profile, "TIFF");
  if (!failure.empty()) throw EPGTIFFileFormatReader(failure);
}

}  // namespace

void TTIFFileFormatReader::Read(TStream& Stream, TPixelGraphic& Graphic, int Index) {
  const TTIFFData data(Stream);
  TTIFFImage image = ParseTIFF(data, Index);
  Graphic.SetOrientation(image.Orientation);
  if (image.HandedOver) {
    ReadTIFFThroughLibTIFF(this, Stream, data.Start(), image.IFDOffset, Graphic);
    ConvertProfile(image, Graphic);
    return;
  }
  CheckCompression(image.Compression);
  CheckStripCount(image, Graphic);
  const uint64_t rowBytes = (uint64_t(image.PixelBits()) * image.Width + 7) / 8;
  CheckDataSize(data, image, rowBytes);
  CheckPixelLimit(image.Width, image.Length);
  // The background as it was before the size changes its palette.
  const TRGB background = Graphic.BackGroundColor();
  Graphic.SetSize(int32_t(image.Width), int32_t(image.Length),
                  image.SamplesPerPixel == 1 ? BitCountToNum(int(image.BitsPerSample[0])) : 3);
  if (Graphic.BitCountNum() < 3) SetPalette(Graphic, image);
  if (Graphic.OnProgressStart) Graphic.OnProgressStart(this);
  try {
    ReadRows(this, data, image, Graphic, rowBytes, background);
  } catch (...) {
    if (Graphic.OnProgressEnd) Graphic.OnProgressEnd(this);
    throw;
  }
  if (Graphic.OnProgressEnd) Graphic.OnProgressEnd(this);
  ConvertProfile(image, Graphic);
}

void TTIFFileFormatReader::ReadInfo(TStream& Stream, int Index, TFileFormatInfo& Info) {
  TFileFormatReader::ReadInfo(Stream, Index, Info);
  const TTIFFData data(Stream);
  const TTIFFImage image = ParseTIFF(data, Index);
  Info.ImageCount = image.ImageCount;
  Info.Orientation = image.Orientation;
  Info.SubFormat = image.Order.BigEndian() ? "M, " : "I, ";
  switch (image.Compression) {
    case tcNone: Info.SubFormat += "Uncompr."; break;
    case 2: Info.SubFormat += "CCITT 1D"; break;
    case 3: Info.SubFormat += "Group 3 F."; break;
    case 4: Info.SubFormat += "Group 4 F."; break;
    case 5: Info.SubFormat += "LZW"; break;
    case 6: Info.SubFormat += "JPEG"; break;
    case tcPackBits: Info.SubFormat += "PackBits"; break;
    // Compressions of later TIFF versions.
    case 7: Info.SubFormat += "JPEG"; break;
    case 8:
    case 32946: Info.SubFormat += "Deflate"; break;
    case 34661: Info.SubFormat += "JBIG"; break;
    case 34925: Info.SubFormat += "LZMA"; break;
    case 50000: Info.SubFormat += "ZSTD"; break;
    case 50001: Info.SubFormat += "WebP"; break;
    case 34676: Info.SubFormat += "SGILog"; break;
    case 34677: Info.SubFormat += "SGILog24"; break;
    default: break;
  }
  if (image.Compression >= 2 && image.Compression <= 6 && !image.HandedOver)
    Info.Details = "(Unsupported compression)";
  switch (image.Photometric) {
    case tpWhiteIsZero: Info.SubFormat += ", WhiteIsZero"; break;
    case tpBlackIsZero: Info.SubFormat += ", BlackIsZero"; break;
    case tpRGB: Info.SubFormat += ", RGB"; break;
    case tpPalette: Info.SubFormat += ", RGB Palette"; break;
    case tpCMYK: Info.SubFormat += ", CMYK"; break;
    default:
      if (const char* name = image.HandedOver ? ConvertedPhotometricName(image.Photometric) : nullptr) {
        Info.SubFormat += name;
        break;
      }
      RaiseTIFFReadError("Unsupported photometric interpretation " + std::to_string(image.Photometric));
  }
  if (image.Alpha) Info.SubFormat += ", alpha";
  if (image.Tiled) Info.SubFormat += ", tiled";
  if (image.Planar) Info.SubFormat += ", planar";
  const auto clamped = [](uint64_t v) { return int32_t(std::min<uint64_t>(v, std::numeric_limits<int32_t>::max())); };
  Info.Width = clamped(image.Width);
  Info.Height = clamped(image.Length);
  Info.BitCount = clamped(std::accumulate(image.BitsPerSample.begin(), image.BitsPerSample.end(), uint64_t(0)));
  Info.ColorCount = Info.BitCount > 23 ? "16.7 M" : std::to_string(1u << Info.BitCount);
  if (image.HandedOver) {
    const uint64_t rowBytes = (uint64_t(image.Width) * uint64_t(Info.BitCount) + 7) / 8;
    Info.ReadMemory = LibTIFFReadMemory(data.Length(), rowBytes, image.Width);
  }
}
