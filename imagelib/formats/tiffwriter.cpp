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
  const uint32_t worstRow = packBits ? 2 * l.RowBytes : l.RowBytes;
  l.RowsPerStrip = std::max(std::min(worstRow > 0 ? 32767 / worstRow : height, height), 1u);
  l.Strips = (height + l.RowsPerStrip - 1) / l.RowsPerStrip;
  return l;
}

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
  const int32_t height = Graphic.GetHeight();

  // IFD, next-IFD offset, then the values that do not fit into their entries.
  const uint32_t ifd = uint32_t(Stream.Position() - FStart);
  const uint32_t entries = BaselineEntries + (l.Palette() ? 1 : 0);
  const uint32_t colorMapValues = l.Palette() ? 3u << l.BitCount : 0;
  const uint32_t colorMap = ifd + 2 + TIFFEntrySize * entries + 4;
  const uint32_t bitsPerSample = colorMap + 2 * colorMapValues;
  const uint32_t xResolution = bitsPerSample + (l.BitCount == 24 ? 2 * l.Samples : 0);
  const uint32_t yResolution = xResolution + 8;
  const uint32_t stripOffsets = yResolution + 8;
  const uint32_t stripByteCounts = stripOffsets + (l.Strips > 1 ? 4 * l.Strips : 0);
  const uint32_t end = stripByteCounts + (l.Strips > 1 ? 4 * l.Strips : 0);

  std::vector<uint8_t> block(end - ifd, 0);
  uint8_t* b = block.data();
  FOrder.Put16(b, entries);
  uint8_t* e = b + 2;
  const TTIFFByteOrder o = FOrder;
  const auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    PutEntry(o, e, tag, type, count, value);
    e += TIFFEntrySize;
  };
  entry(ttNewSubfileType, tfLong, 1, 0);
  entry(ttImageWidth, tfLong, 1, uint32_t(Graphic.GetWidth()));
  entry(ttImageLength, tfLong, 1, uint32_t(height));
  if (l.BitCount == 24)
    entry(ttBitsPerSample, tfShort, l.Samples, bitsPerSample);
  else
    entry(ttBitsPerSample, tfShort, 1, uint32_t(l.BitCount));
  entry(ttCompression, tfShort, 1, packBits ? tcPackBits : tcNone);
  entry(ttPhotometricInterpretation, tfShort, 1, l.Photometric);
  entry(ttStripOffsets, tfLong, l.Strips, stripOffsets);
  entry(ttSamplesPerPixel, tfShort, 1, l.Samples);
  entry(ttRowsPerStrip, tfLong, 1, l.RowsPerStrip);
  entry(ttStripByteCounts, tfLong, l.Strips, stripByteCounts);
  entry(ttXResolution, tfRational, 1, xResolution);
  entry(ttYResolution, tfRational, 1, yResolution);
  entry(ttResolutionUnit, tfShort, 1, uint32_t(TIFFWriteResolutionUnit + 1));
  if (l.Palette()) entry(ttColorMap, tfShort, colorMapValues, colorMap);
  const uint32_t nextIFDField = uint32_t(e - b) + ifd;

  const uint32_t entriesPerChannel = colorMapValues / 3;
  for (uint32_t i = 0; i < entriesPerChannel; ++i) {
    const TRGB c = int32_t(i) < Graphic.PaletteCount() ? Graphic.PaletteEntries(int32_t(i)) : 0;
    uint8_t* m = b + (colorMap - ifd) + 2 * i;
    FOrder.Put16(m, GetRValue(c) * 256u);
    FOrder.Put16(m + 2 * entriesPerChannel, GetGValue(c) * 256u);
    FOrder.Put16(m + 4 * entriesPerChannel, GetBValue(c) * 256u);
  }
  if (l.BitCount == 24)
    for (uint32_t s = 0; s < l.Samples; ++s) FOrder.Put16(b + (bitsPerSample - ifd) + 2 * s, 8);
  FOrder.Put32(b + (xResolution - ifd), uint32_t(TIFFWriteXResolutionNumerator));
  FOrder.Put32(b + (xResolution - ifd) + 4, uint32_t(TIFFWriteXResolutionDenominator));
  FOrder.Put32(b + (yResolution - ifd), uint32_t(TIFFWriteYResolutionNumerator));
  FOrder.Put32(b + (yResolution - ifd) + 4, uint32_t(TIFFWriteYResolutionDenominator));

  uint8_t field[4];
  FOrder.Put32(field, ifd);
  Stream.SetPosition(FNextIFDOffsetPos);
  Stream.WriteBuffer(field, 4);
  Stream.SetPosition(FStart + ifd);
  Stream.WriteBuffer(block.data(), block.size());
  FNextIFDOffsetPos = FStart + nextIFDField;

  std::vector<uint32_t> offsets(l.Strips), byteCounts(l.Strips);
  std::vector<uint8_t> row(l.RowBytes), code;
  TPackBitsEncoder encoder;
  uint32_t position = end;
  if (Graphic.OnProgressStart) Graphic.OnProgressStart(this);
  try {
    for (int32_t y = 0; y < height; ++y) {
      const uint32_t strip = uint32_t(y) / l.RowsPerStrip;
      if (uint32_t(y) % l.RowsPerStrip == 0) {
        // Strips start on a word boundary.
        if (position & 1) {
          const uint8_t pad = 0;
          Stream.WriteBuffer(&pad, 1);
          ++position;
        }
        offsets[strip] = position;
      }
      BuildRow(Graphic, l, y, row.data());
      const uint8_t* stored = row.data();
      size_t size = row.size();
      if (packBits) {
        code.clear();
        encoder.EncodeRow(row.data(), row.size(), code);
        stored = code.data();
        size = code.size();
      }
      Stream.WriteBuffer(stored, size);
      position += uint32_t(size);
      byteCounts[strip] = position - offsets[strip];
      bool abort = false;
      if (Graphic.OnProgress) Graphic.OnProgress(this, y, height - 1, abort);
    }
  } catch (...) {
    if (Graphic.OnProgressEnd) Graphic.OnProgressEnd(this);
    throw;
  }
  if (Graphic.OnProgressEnd) Graphic.OnProgressEnd(this);

  // With one strip its offset and byte count sit in the entries themselves.
  if (l.Strips == 1) {
    FOrder.Put32(field, offsets[0]);
    Stream.SetPosition(FStart + ifd + 2 + TIFFEntrySize * StripOffsetsEntry + 8);
    Stream.WriteBuffer(field, 4);
    FOrder.Put32(field, byteCounts[0]);
    Stream.SetPosition(FStart + ifd + 2 + TIFFEntrySize * StripByteCountsEntry + 8);
    Stream.WriteBuffer(field, 4);
  } else if (l.Strips > 1) {
    std::vector<uint8_t> arrays(8 * size_t(l.Strips));
    for (uint32_t s = 0; s < l.Strips; ++s) {
      FOrder.Put32(arrays.data() + 4 * s, offsets[s]);
      FOrder.Put32(arrays.data() + 4 * (l.Strips + s), byteCounts[s]);
    }
    Stream.SetPosition(FStart + stripOffsets);
    Stream.WriteBuffer(arrays.data(), arrays.size());
  }
  Stream.SetPosition(FStart + position);
}
