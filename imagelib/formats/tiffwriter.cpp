#include <algorithm>
#include <cstdint>
#include <vector>

#include "formatoptions.h"
#include "pixelgraphic.h"
#include "stream.h"
#include "tiffformat.h"
#include "tiffpackbits.h"

namespace {

// Places in the IFD, whose entries are written in a fixed order; ColorMap
// follows the thirteen others in palette images only.
constexpr uint32_t StripOffsetsEntry = 6;
constexpr uint32_t StripByteCountsEntry = 9;
constexpr uint32_t BaselineEntries = 13;

// How the graphic goes into the file, from the graphic and the options.
struct TTIFFLayout {
  int BitCount = 0;
  bool CMYK = false;
  bool Invert = false;  // grey levels stored counting down from white
  uint32_t Photometric = 0;
  uint32_t Samples = 1;
  uint32_t RowBytes = 0;
  uint32_t RowsPerStrip = 1;
  uint32_t Strips = 0;

  bool Palette() const { return Photometric == tpPalette; }
  uint32_t ColorMapValues() const { return Palette() ? 3u << BitCount : 0; }
};

TTIFFLayout PlanLayout(const TPixelGraphic& graphic, bool packBits) {
  TTIFFLayout l;
  l.BitCount = graphic.BitCount();
  const uint32_t width = uint32_t(graphic.GetWidth()), height = uint32_t(graphic.GetHeight());
  const bool whiteIsZero = TIFFWriteGrayScalePhotInterpret == 1;
  const uint32_t grey = whiteIsZero ? tpWhiteIsZero : tpBlackIsZero;
  switch (l.BitCount) {
    case 1:
      l.RowBytes = (width + 7) / 8;
      l.Photometric = grey;
      l.Invert = whiteIsZero && graphic.PaletteIdent() == pBlackWhite;
      break;
    case 4:
      l.RowBytes = (width + 1) / 2;
      l.Photometric = graphic.PaletteIdent() == pGray16 ? grey : tpPalette;
      l.Invert = whiteIsZero && graphic.PaletteIdent() == pGray16;
      break;
    case 8:
      l.RowBytes = width;
      l.Photometric = graphic.PaletteIdent() == pGray256 ? grey : tpPalette;
      l.Invert = whiteIsZero && graphic.PaletteIdent() == pGray256;
      break;
    default:
      l.CMYK = TIFFWriteTrueColorPhotInterpret == 1;
      l.Samples = l.CMYK ? 4 : 3;
      l.RowBytes = l.Samples * width;
      l.Photometric = l.CMYK ? tpCMYK : tpRGB;
  }
  // Strips of about 32 KB, reckoned with PackBits at its worst.
  const uint64_t worstRow = uint64_t(l.RowBytes) * (packBits ? 2 : 1);
  const uint64_t rows = worstRow > 0 ? 32767 / worstRow : height;
  l.RowsPerStrip = uint32_t(std::clamp<uint64_t>(rows, 1, std::max(height, 1u)));
  l.Strips = (height + l.RowsPerStrip - 1) / l.RowsPerStrip;
  return l;
}

// Where the IFD and the values outside its entries go, relative to the
// start of the TIFF data: IFD, next-IFD offset, ColorMap, BitsPerSample of
// RGB or CMYK, the two resolutions, and the strip arrays when there are
// several strips.
struct TIFDPlace {
  uint32_t IFD, Entries, ColorMap, BitsPerSample, XResolution, YResolution, StripOffsets, StripByteCounts, End;

  TIFDPlace(const TTIFFLayout& l, uint32_t ifd) : IFD(ifd) {
    Entries = BaselineEntries + (l.Palette() ? 1 : 0);
    ColorMap = IFD + 2 + TIFFEntrySize * Entries + 4;
    BitsPerSample = ColorMap + 2 * l.ColorMapValues();
    XResolution = BitsPerSample + (l.BitCount == 24 ? 2 * l.Samples : 0);
    YResolution = XResolution + 8;
    StripOffsets = YResolution + 8;
    const uint32_t arrayBytes = l.Strips > 1 ? 4 * l.Strips : 0;
    StripByteCounts = StripOffsets + arrayBytes;
    End = StripByteCounts + arrayBytes;
  }
  // The value field of an entry.
  uint32_t Value(uint32_t entry) const { return IFD + 2 + TIFFEntrySize * entry + 8; }
  uint32_t NextIFDField() const { return IFD + 2 + TIFFEntrySize * Entries; }
};

void PutEntry(TTIFFByteOrder order, uint8_t* p, uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
  order.Put16(p, tag);
  order.Put16(p + 2, type);
  order.Put32(p + 4, count);
  // A single SHORT sits in the first half of the value field.
  if (type == tfShort && count == 1) {
    order.Put16(p + 8, value);
    order.Put16(p + 10, 0);
  } else {
    order.Put32(p + 8, value);
  }
}

// The IFD and the values after it, up to the strips. Strip offsets and byte
// counts are filled in once the strips are written.
std::vector<uint8_t> BuildIFD(const TPixelGraphic& graphic, const TTIFFLayout& l, const TIFDPlace& at,
                              TTIFFByteOrder o, bool packBits) {
  std::vector<uint8_t> block(at.End - at.IFD, 0);
  uint8_t* const b = block.data();
  const auto put16 = [&](uint32_t offset, uint32_t v) { o.Put16(b + (offset - at.IFD), v); };
  const auto put32 = [&](uint32_t offset, uint32_t v) { o.Put32(b + (offset - at.IFD), v); };
  o.Put16(b, at.Entries);
  uint8_t* e = b + 2;
  const auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    PutEntry(o, e, tag, type, count, value);
    e += TIFFEntrySize;
  };
  entry(ttNewSubfileType, tfLong, 1, 0);
  entry(ttImageWidth, tfLong, 1, uint32_t(graphic.GetWidth()));
  entry(ttImageLength, tfLong, 1, uint32_t(graphic.GetHeight()));
  if (l.BitCount == 24)
    entry(ttBitsPerSample, tfShort, l.Samples, at.BitsPerSample);
  else
    entry(ttBitsPerSample, tfShort, 1, uint32_t(l.BitCount));
  entry(ttCompression, tfShort, 1, packBits ? tcPackBits : tcNone);
  entry(ttPhotometricInterpretation, tfShort, 1, l.Photometric);
  entry(ttStripOffsets, tfLong, l.Strips, at.StripOffsets);
  entry(ttSamplesPerPixel, tfShort, 1, l.Samples);
  entry(ttRowsPerStrip, tfLong, 1, l.RowsPerStrip);
  entry(ttStripByteCounts, tfLong, l.Strips, at.StripByteCounts);
  entry(ttXResolution, tfRational, 1, at.XResolution);
  entry(ttYResolution, tfRational, 1, at.YResolution);
  entry(ttResolutionUnit, tfShort, 1, uint32_t(TIFFWriteResolutionUnit) + 1);
  if (l.Palette()) entry(ttColorMap, tfShort, l.ColorMapValues(), at.ColorMap);

  const uint32_t perChannel = l.ColorMapValues() / 3;
  for (uint32_t i = 0; i < perChannel; ++i) {
    const TRGB c = int32_t(i) < graphic.PaletteCount() ? graphic.PaletteEntries(int32_t(i)) : 0;
    put16(at.ColorMap + 2 * i, GetRValue(c) * 256u);
    put16(at.ColorMap + 2 * (perChannel + i), GetGValue(c) * 256u);
    put16(at.ColorMap + 2 * (2 * perChannel + i), GetBValue(c) * 256u);
  }
  if (l.BitCount == 24)
    for (uint32_t s = 0; s < l.Samples; ++s) put16(at.BitsPerSample + 2 * s, 8);
  put32(at.XResolution, uint32_t(TIFFWriteXResolutionNumerator));
  put32(at.XResolution + 4, uint32_t(TIFFWriteXResolutionDenominator));
  put32(at.YResolution, uint32_t(TIFFWriteYResolutionNumerator));
  put32(at.YResolution + 4, uint32_t(TIFFWriteYResolutionDenominator));
  return block;
}

// Builds the stored form of image row y in a buffer of RowBytes bytes.
void BuildRow(const TPixelGraphic& graphic, const TTIFFLayout& l, int32_t y, uint8_t* row) {
  const uint8_t* src = graphic.ScanLine(y);
  const int32_t width = graphic.GetWidth();
  if (l.BitCount == 24) {
    for (int32_t x = 0; x < width; ++x, src += 3) {
      const uint8_t red = src[2], green = src[1], blue = src[0];
      if (l.CMYK) {
        const uint8_t cyan = uint8_t(255 - red), magenta = uint8_t(255 - green), yellow = uint8_t(255 - blue);
        const uint8_t black = std::min({cyan, magenta, yellow});
        *row++ = uint8_t(cyan - black);
        *row++ = uint8_t(magenta - black);
        *row++ = uint8_t(yellow - black);
        *row++ = black;
      } else {
        *row++ = red;
        *row++ = green;
        *row++ = blue;
      }
    }
    return;
  }
  for (uint32_t i = 0; i < l.RowBytes; ++i) row[i] = l.Invert ? uint8_t(~src[i]) : src[i];
  // Bits beyond the last pixel stay 0.
  const int usedBits = int((int64_t(width) * l.BitCount) % 8);
  if (usedBits != 0) row[l.RowBytes - 1] &= uint8_t(0xFF << (8 - usedBits));
}

// Overwrites a 32-bit field written before.
void PutAt(TStream& stream, TTIFFByteOrder order, int64_t position, uint32_t value) {
  uint8_t field[4];
  order.Put32(field, value);
  stream.SetPosition(position);
  stream.WriteBuffer(field, sizeof field);
}

// Writes the rows from position on, with progress events from sender, and
// returns the position after them.
uint32_t WriteStrips(TObject* sender, TStream& stream, TPixelGraphic& graphic, const TTIFFLayout& layout,
                     uint32_t position, bool packBits, std::vector<uint32_t>& offsets,
                     std::vector<uint32_t>& byteCounts) {
  const int32_t height = graphic.GetHeight();
  std::vector<uint8_t> row(layout.RowBytes), code;
  TPackBitsEncoder encoder;
  if (graphic.OnProgressStart) graphic.OnProgressStart(sender);
  try {
    for (int32_t y = 0; y < height; ++y) {
      const uint32_t strip = uint32_t(y) / layout.RowsPerStrip;
      if (uint32_t(y) % layout.RowsPerStrip == 0) {
        // Strips start on a word boundary.
        if (position & 1) {
          const uint8_t pad = 0;
          stream.WriteBuffer(&pad, 1);
          ++position;
        }
        offsets[strip] = position;
      }
      BuildRow(graphic, layout, y, row.data());
      const std::vector<uint8_t>* stored = &row;
      if (packBits) {
        code.clear();
        encoder.EncodeRow(row.data(), row.size(), code);
        stored = &code;
      }
      stream.WriteBuffer(stored->data(), stored->size());
      position += uint32_t(stored->size());
      byteCounts[strip] = position - offsets[strip];
      bool abort = false;  // a file half written is of no use
      if (graphic.OnProgress) graphic.OnProgress(sender, y, height - 1, abort);
    }
  } catch (...) {
    if (graphic.OnProgressEnd) graphic.OnProgressEnd(sender);
    throw;
  }
  if (graphic.OnProgressEnd) graphic.OnProgressEnd(sender);
  return position;
}

}  // namespace

void TTIFFileFormatWriter::WriteHeader(TStream& Stream) {
  FStart = Stream.Position();
  FOrder = TTIFFByteOrder(TIFFWriteByteOrder == 1);
  uint8_t header[TIFFHeaderSize] = {FOrder.Mark(), FOrder.Mark()};
  FOrder.Put16(header + 2, 42);
  FNextIFDOffsetPos = FStart + 4;
  Stream.WriteBuffer(header, sizeof header);
}

void TTIFFileFormatWriter::WriteImage(TStream& Stream, TPixelGraphic& Graphic) {
  if (TIFFWriteCompression != tcNone && TIFFWriteCompression != tcPackBits)
    throw EPGTIFFileFormatWriter("TIFF: Internal Error");
  const bool packBits = TIFFWriteCompression == tcPackBits;
  const TTIFFLayout l = PlanLayout(Graphic, packBits);
  const TIFDPlace at(l, uint32_t(Stream.Position() - FStart));
  PutAt(Stream, FOrder, FNextIFDOffsetPos, at.IFD);
  Stream.SetPosition(FStart + at.IFD);
  const std::vector<uint8_t> ifd = BuildIFD(Graphic, l, at, FOrder, packBits);
  Stream.WriteBuffer(ifd.data(), ifd.size());
  FNextIFDOffsetPos = FStart + at.NextIFDField();

  std::vector<uint32_t> offsets(l.Strips), byteCounts(l.Strips);
  const uint32_t end = WriteStrips(this, Stream, Graphic, l, at.End, packBits, offsets, byteCounts);
  // With one strip its offset and byte count sit in the entries themselves.
  if (l.Strips == 1) {
    PutAt(Stream, FOrder, FStart + at.Value(StripOffsetsEntry), offsets[0]);
    PutAt(Stream, FOrder, FStart + at.Value(StripByteCountsEntry), byteCounts[0]);
  } else if (l.Strips > 1) {
    std::vector<uint8_t> arrays(8 * size_t(l.Strips));
    for (uint32_t s = 0; s < l.Strips; ++s) {
      FOrder.Put32(arrays.data() + 4 * s, offsets[s]);
      FOrder.Put32(arrays.data() + 4 * (l.Strips + s), byteCounts[s]);
    }
    Stream.SetPosition(FStart + at.StripOffsets);
    Stream.WriteBuffer(arrays.data(), arrays.size());
  }
  Stream.SetPosition(FStart + end);
}
