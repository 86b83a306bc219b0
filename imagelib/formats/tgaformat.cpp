#include "tgaformat.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "byteorder.h"
#include "langstr.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "pixellimit.h"
#include "progressevents.h"
#include "stream.h"

namespace {

constexpr size_t HeaderSize = 18;
constexpr size_t BlockSize = 1024;
constexpr uint8_t RunLengthBit = 8;
constexpr uint8_t RightToLeftBit = 0x10;
constexpr uint8_t TopToBottomBit = 0x20;
// The most pixels one run-length packet codes.
constexpr int64_t LongestPacket = 128;
constexpr int32_t LargestSide = 0xFFFF;

[[noreturn]] void RaiseTGAError(const std::string& text) { throw EPGTGAFileFormatReader("TGA: " + text); }

[[noreturn]] void RaiseNotSupported() { RaiseTGAError(LangStr(30)); }

[[noreturn]] void RaiseEndOfFile() { RaiseTGAError(LangStr(32)); }

struct TTGAHeader {
  uint8_t IdLength;
  uint8_t ColorMapType;
  uint8_t ImageType;
  uint16_t FirstEntry;
  uint16_t ColorMapLength;
  uint8_t EntrySize;  // bits
  uint16_t Width;
  uint16_t Height;
  uint8_t PixelDepth;
  uint8_t Descriptor;

  explicit TTGAHeader(const uint8_t* b)
      : IdLength(b[0]),
        ColorMapType(b[1]),
        ImageType(b[2]),
        FirstEntry(GetLE16(b + 3)),
        ColorMapLength(GetLE16(b + 5)),
        EntrySize(b[7]),
        Width(GetLE16(b + 12)),
        Height(GetLE16(b + 14)),
        PixelDepth(b[16]),
        Descriptor(b[17]) {}
};

// The stream read in blocks.
class TTGAInput {
public:
  explicit TTGAInput(TStream& stream) : FStream(stream) {}

  void Read(uint8_t* dest, size_t count) {
    while (count > 0) {
      if (FPosition == FEnd) {
        FPosition = 0;
        FEnd = FStream.Read(FBuffer, BlockSize);
        if (FEnd == 0) RaiseEndOfFile();
      }
      const size_t n = std::min(count, FEnd - FPosition);
      std::memcpy(dest, FBuffer + FPosition, n);
      FPosition += n;
      dest += n;
      count -= n;
    }
  }

  void Skip(int64_t count) {
    const size_t n = size_t(std::min<int64_t>(count, int64_t(FEnd - FPosition)));
    FPosition += n;
    if (count > int64_t(n)) FStream.Seek(count - int64_t(n), soCurrent);
  }

  int64_t Remaining() { return int64_t(FEnd - FPosition) + std::max<int64_t>(FStream.Size() - FStream.Position(), 0); }

private:
  TStream& FStream;
  uint8_t FBuffer[BlockSize];
  size_t FPosition = 0;
  size_t FEnd = 0;
};

// Only the image types the format defines; reading and describing a file
// refuse the same ones.
TTGAHeader ReadHeader(TTGAInput& in) {
  uint8_t b[HeaderSize];
  in.Read(b, sizeof b);
  const TTGAHeader h(b);
  switch (h.ImageType) {
    case 1: case 2: case 3: case 9: case 10: case 11: return h;
    default: RaiseTGAError(LangStr1(20, "ImageType"));
  }
}

TRGB Color16(uint16_t v) { return RGB((v & 0x7C00) >> 7, (v & 0x03E0) >> 2, (v & 0x1F) * 8); }

// Reads the colour map entries from FirstEntry on, keeping the first 256;
// the number of entries read. Nothing is read when the map has none from there.
int32_t ReadColorMap(TTGAInput& in, const TTGAHeader& h, std::vector<TRGB>& palette) {
  const int32_t n = int32_t(h.ColorMapLength) - h.FirstEntry;
  if (n <= 0) return 0;
  if (h.EntrySize != 16 && h.EntrySize != 24 && h.EntrySize != 32) RaiseNotSupported();
  const int entryBytes = h.EntrySize / 8;
  in.Skip(int64_t(h.FirstEntry) * entryBytes);
  for (int32_t i = 0; i < n; ++i) {
    uint8_t e[4];
    in.Read(e, size_t(entryBytes));
    const TRGB c = entryBytes == 2 ? Color16(GetLE16(e)) : RGB(e[2], e[1], e[0]);
    if (i < 256) palette.push_back(c);
  }
  return n;
}

// Run-length packets; a packet that ends beyond a row goes on in the next.
class TTGARunDecoder {
public:
  explicit TTGARunDecoder(int pixelBytes) : FPixelBytes(size_t(pixelBytes)) {}

  void Fill(TTGAInput& in, uint8_t* dest, int32_t width) {
    for (int32_t x = 0; x < width; ++x, dest += FPixelBytes) {
      if (FLeft == 0) {
        uint8_t packet;
        in.Read(&packet, 1);
        FLeft = (packet & 0x7F) + 1;
        FRepeat = packet & 0x80;
        if (FRepeat) in.Read(FPixel, FPixelBytes);
      }
      if (FRepeat)
        std::memcpy(dest, FPixel, FPixelBytes);
      else
        in.Read(dest, FPixelBytes);
      --FLeft;
    }
  }

private:
  size_t FPixelBytes;
  int FLeft = 0;
  bool FRepeat = false;
  uint8_t FPixel[4] = {};
};

// Converts a stored row into the graphic's row, mirrored when stored right to left.
void ConvertRow(const uint8_t* src, int depth, bool rightToLeft, uint8_t* row, int32_t width) {
  const int pixelBytes = depth / 8;
  for (int32_t x = 0; x < width; ++x, src += pixelBytes) {
    const int32_t column = rightToLeft ? width - 1 - x : x;
    if (depth == 8) {
      row[column] = src[0];
      continue;
    }
    uint8_t* p = row + 3 * size_t(column);
    if (depth == 16) {
      const uint16_t v = GetLE16(src);
      p[0] = uint8_t((v & 0x1F) * 8);
      p[1] = uint8_t(((v >> 5) & 0x1F) * 8);
      p[2] = uint8_t(((v >> 10) & 0x1F) * 8);
    } else {
      p[0] = src[0];
      p[1] = src[1];
      p[2] = src[2];
    }
  }
}

void ReadPixels(TTGAInput& in, const TTGAHeader& h, TPixelGraphic& graphic, TObject* sender) {
  const int32_t width = h.Width, height = h.Height;
  const int pixelBytes = h.PixelDepth / 8;
  const bool runLength = h.ImageType & RunLengthBit;
  const bool rightToLeft = h.Descriptor & RightToLeftBit;
  const bool topToBottom = h.Descriptor & TopToBottomBit;
  const bool direct = !runLength && (h.PixelDepth == 8 || h.PixelDepth == 24) && !rightToLeft;
  std::vector<uint8_t> buffer(size_t(width) * size_t(pixelBytes));
  TTGARunDecoder decoder(pixelBytes);
  for (int32_t r = 0; r < height; ++r) {
    uint8_t* row = graphic.ScanLine(topToBottom ? r : height - 1 - r);
    if (direct) {
      in.Read(row, buffer.size());
    } else {
      if (runLength)
        decoder.Fill(in, buffer.data(), width);
      else
        in.Read(buffer.data(), buffer.size());
      ConvertRow(buffer.data(), h.PixelDepth, rightToLeft, row, width);
    }
    if (RaiseProgress(graphic, sender, r, height)) return;
  }
}

}  // namespace

void TTGAFileFormatReader::Read(TStream& Stream, TPixelGraphic& Graphic, int Index) {
  if (Index != 0) RaiseTGAError(LangStr1(7, "Index"));
  TTGAInput in(Stream);
  const TTGAHeader h = ReadHeader(in);
  const uint8_t depth = h.PixelDepth;
  if (depth != 8 && depth != 16 && depth != 24 && depth != 32) RaiseNotSupported();
  in.Skip(h.IdLength);
  std::vector<TRGB> palette;
  int32_t entriesRead = 0;
  if (depth == 8 && h.ColorMapType == 1) entriesRead = ReadColorMap(in, h, palette);
  // Reading entries passes the whole map; entries of 15 bits take two bytes.
  if (entriesRead == 0) in.Skip(int64_t(h.ColorMapLength) * ((h.EntrySize + 7) / 8));

  // A header must not set aside more memory than its file can fill.
  const int64_t pixels = int64_t(h.Width) * h.Height;
  const int64_t pixelBytes = depth / 8;
  const int64_t leastBytes = h.ImageType & RunLengthBit
                                 ? (pixels + LongestPacket - 1) / LongestPacket * (1 + pixelBytes)
                                 : pixels * pixelBytes;
  if (leastBytes > in.Remaining()) RaiseEndOfFile();
  const uint8_t code = depth == 8 ? 2 : 3;
  CheckPixelLimit(h.Width, h.Height);
  Graphic.SetSize(h.Width, h.Height, code);
  if (code == 2) {
    if (entriesRead > 0) {
      Graphic.SetPaletteCount(int32_t(palette.size()));
      for (size_t i = 0; i < palette.size(); ++i) Graphic.SetPaletteEntries(int32_t(i), palette[i]);
    } else {
      Graphic.SetPaletteIdent(pGray256);
    }
  }
  if (pixels == 0) return;

  RaiseProgressStart(Graphic, this);
  try {
    ReadPixels(in, h, Graphic, this);
  } catch (...) {
    RaiseProgressEnd(Graphic, this);
    throw;
  }
  RaiseProgressEnd(Graphic, this);
}

void TTGAFileFormatReader::ReadInfo(TStream& Stream, int Index, TFileFormatInfo& Info) {
  if (Index != 0) RaiseTGAError(LangStr1(20, "Index"));
  TFileFormatReader::ReadInfo(Stream, Index, Info);
  TTGAInput in(Stream);
  const TTGAHeader h = ReadHeader(in);
  static const char* const details[3] = {"Color-mapped", "True-color", "\"Black-and-white\""};
  Info.SubFormat = h.ImageType & RunLengthBit ? "Run-length encoded" : "Uncompressed";
  Info.Details = details[(h.ImageType & 7) - 1];
  Info.Width = h.Width;
  Info.Height = h.Height;
  Info.BitCount = h.PixelDepth;
  Info.ImageCount = 1;
  if (h.PixelDepth < 24)
    Info.ColorCount = std::to_string(1 << h.PixelDepth);
  else
    Info.ColorCount = h.PixelDepth == 24 ? "16.7M" : "16.7M ?";
}

void TTGAFileFormatWriter::Write(TStream& Stream, TPixelGraphic& Graphic) {
  const int32_t width = Graphic.GetWidth(), height = Graphic.GetHeight();
  // The header holds 16-bit sizes.
  if (width > LargestSide) throw EPGTGAFileFormatWriter("TGA: " + LangStr1(20, "Width"));
  if (height > LargestSide) throw EPGTGAFileFormatWriter("TGA: " + LangStr1(20, "Height"));
  if (Graphic.GetEmpty() && width > 0 && height > 0) throw EPGEmpty(LangStr1(16, "PixelGraphic"));
  const bool trueColor = Graphic.BitCountNum() == 3;
  const int32_t entries = trueColor ? 0 : Graphic.PaletteCount();
  std::vector<uint8_t> head(HeaderSize + 3 * size_t(entries), 0);
  uint8_t* b = head.data();
  b[1] = trueColor ? 0 : 1;
  b[2] = trueColor ? 2 : 1;
  PutLE16(b + 5, uint32_t(entries));
  b[7] = trueColor ? 0 : 24;
  PutLE16(b + 12, uint32_t(width));
  PutLE16(b + 14, uint32_t(height));
  b[16] = trueColor ? 24 : 8;
  for (int32_t i = 0; i < entries; ++i) {
    const TRGB c = Graphic.PaletteEntries(i);
    uint8_t* e = b + HeaderSize + 3 * i;
    e[0] = GetBValue(c);
    e[1] = GetGValue(c);
    e[2] = GetRValue(c);
  }
  Stream.WriteBuffer(head.data(), head.size());
  if (height == 0 || width == 0) return;

  // Pictures of 1 and 4 bits go out as one index byte per pixel.
  const bool expand = Graphic.BitCountNum() < 2;
  std::vector<uint8_t> line(expand ? size_t(width) : 0);
  const size_t rowBytes = size_t(width) * (trueColor ? 3 : 1);
  Graphic.ProgressStart();
  try {
    for (int32_t c = 0; c < height; ++c) {
      const int32_t y = height - 1 - c;
      if (expand) {
        for (int32_t x = 0; x < width; ++x) line[size_t(x)] = uint8_t(Graphic.GetPixel(x, y));
        Stream.WriteBuffer(line.data(), rowBytes);
      } else {
        Stream.WriteBuffer(Graphic.ScanLine(y), rowBytes);
      }
      Graphic.Progress(c, height);
    }
  } catch (...) {
    Graphic.ProgressEnd();
    throw;
  }
  Graphic.ProgressEnd();
}

void RegisterTGAFileFormats(TFileFormatReaders& Readers, TFileFormatWriters& Writers) {
  Readers.push_back(std::make_unique<TTGAFileFormatReader>());
  Writers.push_back(std::make_unique<TTGAFileFormatWriter>());
}
