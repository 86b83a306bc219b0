#include "pcxformat.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "byteorder.h"
#include "formatoptions.h"
#include "langstr.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "pixellimit.h"
#include "progressevents.h"
#include "stream.h"

namespace {

constexpr size_t HeaderSize = 128;
constexpr size_t BlockSize = 1024;
// Marker byte and 256 entries of three bytes at the very end of an 8-bit file.
constexpr int64_t EndPaletteSize = 1 + 3 * 256;
constexpr uint8_t EndPaletteMarker = 12;
// The longest run one packet can code.
constexpr int64_t LongestRun = 0x3F;

[[noreturn]] void RaisePCXError(const std::string& text) { throw EPGPCXFileFormatReader("PCX: " + text); }

[[noreturn]] void RaiseUnknownSubformat() { RaisePCXError(LangStr(33)); }

[[noreturn]] void RaiseEndOfFile() { RaisePCXError(LangStr(32)); }

struct TPCXHeader {
  uint8_t Version;
  uint8_t BitsPerPixel;
  uint8_t Planes;
  int32_t Width;
  int32_t Height;
  int32_t BytesPerLine;  // of one plane
  const uint8_t* Palette16;

  explicit TPCXHeader(const uint8_t* b)
      : Version(b[1]),
        BitsPerPixel(b[3]),
        Planes(b[65]),
        Width(int32_t(GetLE16(b + 8)) - GetLE16(b + 4) + 1),
        Height(int32_t(GetLE16(b + 10)) - GetLE16(b + 6) + 1),
        BytesPerLine(GetLE16(b + 66)),
        Palette16(b + 16) {}
};

// Reads the header and refuses the palette kinds and reserved values that
// are not Paintbrush colour files.
void ReadHeader(TStream& stream, uint8_t (&b)[HeaderSize]) {
  if (stream.Read(b, HeaderSize) != HeaderSize) RaiseEndOfFile();
  if (GetLE16(b + 68) != 1 || b[64] != 0) RaiseUnknownSubformat();
}

// Bit count code of an accepted layout, or -1.
int LayoutCode(const TPCXHeader& h) {
  if (h.BitsPerPixel == 1 && h.Planes == 1) return 0;
  if (h.BitsPerPixel == 1 && h.Planes == 4) return 1;
  if (h.BitsPerPixel == 8 && h.Planes == 1) return 2;
  if (h.BitsPerPixel == 8 && h.Planes == 3) return 3;
  return -1;
}

// The 256 colours behind the marker at the end of the file; the stream
// position is kept.
void ReadEndPalette(TStream& stream, TPixelGraphic& graphic) {
  const int64_t position = stream.Position();
  const int64_t start = stream.Size() - EndPaletteSize;
  // A file that ends before a palette could follow its header is cut short.
  if (start < int64_t(HeaderSize)) RaiseEndOfFile();
  uint8_t b[EndPaletteSize];
  stream.SetPosition(start);
  const size_t got = stream.Read(b, sizeof b);
  stream.SetPosition(position);
  if (got != sizeof b || b[0] != EndPaletteMarker) RaiseUnknownSubformat();
  graphic.SetPaletteCount(256);
  for (int i = 0; i < 256; ++i) graphic.SetPaletteEntries(i, RGB(b[1 + 3 * i], b[2 + 3 * i], b[3 + 3 * i]));
}

void SetPalette(TStream& stream, TPixelGraphic& graphic, const TPCXHeader& h) {
  switch (graphic.BitCountNum()) {
    case 0: graphic.SetPaletteIdent(pBlackWhite); break;
    case 1:
      if (h.Version == 3) {
        graphic.SetPaletteIdent(pSys16);
      } else {
        graphic.SetPaletteCount(16);
        for (int i = 0; i < 16; ++i) {
          const uint8_t* e = h.Palette16 + 3 * i;
          graphic.SetPaletteEntries(i, RGB(e[0], e[1], e[2]));
        }
      }
      break;
    case 2: ReadEndPalette(stream, graphic); break;
  }
}

// The bytes after the header, read in blocks.
class TPCXInput {
public:
  explicit TPCXInput(TStream& stream) : FStream(stream) {}

  uint8_t Byte() {
    if (FPosition == FEnd) {
      FPosition = 0;
      FEnd = FStream.Read(FBuffer, BlockSize);
      if (FEnd == 0) RaiseEndOfFile();
    }
    return FBuffer[FPosition++];
  }

private:
  TStream& FStream;
  uint8_t FBuffer[BlockSize];
  size_t FPosition = 0;
  size_t FEnd = 0;
};

// Decodes one scan line; a run that reaches past its end is cut there.
void DecodeLine(TPCXInput& in, std::vector<uint8_t>& line) {
  const size_t length = line.size();
  size_t i = 0;
  while (i < length) {
    uint8_t run = 1;
    uint8_t value = in.Byte();
    if (value >= 0xC0) {
      run = value & 0x3F;
      value = in.Byte();
    }
    const size_t n = std::min<size_t>(run, length - i);
    std::memset(line.data() + i, value, n);
    i += run;
  }
}

void TransferLine(const std::vector<uint8_t>& line, const TPCXHeader& h, uint8_t code, uint8_t* row) {
  const int32_t width = h.Width;
  const size_t plane = size_t(h.BytesPerLine);
  const uint8_t* l = line.data();
  switch (code) {
    case 0:
      std::memcpy(row, l, (size_t(width) + 7) / 8);
      // Bits beyond the width stay clear.
      if (width & 7) row[width >> 3] &= uint8_t(0xFF << (8 - (width & 7)));
      break;
    case 1:
      for (int32_t x = 0; x < width; ++x) {
        const size_t k = size_t(x >> 3);
        const uint8_t m = uint8_t(0x80 >> (x & 7));
        const uint8_t index = uint8_t((l[k] & m ? 1 : 0) | (l[k + plane] & m ? 2 : 0) |
                                      (l[k + 2 * plane] & m ? 4 : 0) | (l[k + 3 * plane] & m ? 8 : 0));
        uint8_t& pair = row[x >> 1];
        pair = (x & 1) ? uint8_t((pair & 0xF0) | index) : uint8_t((pair & 0x0F) | (index << 4));
      }
      break;
    case 2:
      std::memcpy(row, l, size_t(width));
      break;
    default:
      for (int32_t x = 0; x < width; ++x, row += 3) {
        row[0] = l[x + 2 * plane];
        row[1] = l[x + plane];
        row[2] = l[x];
      }
  }
}

}  // namespace

bool TPCXFileFormatReader::CheckSignature(const TFileHeader& Header) const { return Header[0] == 0x0A; }

void TPCXFileFormatReader::Read(TStream& Stream, TPixelGraphic& Graphic, int Index) {
  if (Index != 0) RaisePCXError(LangStr1(7, "Index"));
  Graphic.SetGamma(ScreenGamma);
  uint8_t b[HeaderSize];
  ReadHeader(Stream, b);
  Graphic.SetHeight(0);
  const TPCXHeader h(b);
  const int code = LayoutCode(h);
  if (code < 0 || h.Width < 0 || h.Height < 0) RaiseUnknownSubformat();
  // Each plane's line must hold the whole width, or the planes would be read
  // beyond the line.
  const int32_t neededPerLine = h.BitsPerPixel == 1 ? (h.Width + 7) / 8 : h.Width;
  if (h.BytesPerLine < neededPerLine) RaiseUnknownSubformat();
  Graphic.SetBitCountNum(uint8_t(code));
  SetPalette(Stream, Graphic, h);
  if (h.Width == 0 || h.Height == 0) {
    Graphic.SetSize(h.Width, h.Height, uint8_t(code));
    return;
  }

  const int64_t lineLength = int64_t(h.Planes) * h.BytesPerLine;
  // A header must not set aside more memory than its file can fill: one
  // packet codes at most one run, and runs stop at the end of their line.
  const int64_t leastBytes = int64_t(h.Height) * ((lineLength + LongestRun - 1) / LongestRun);
  if (leastBytes > Stream.Size() - Stream.Position()) RaiseEndOfFile();
  CheckPixelLimit(h.Width, h.Height);
  Graphic.SetSize(h.Width, h.Height, uint8_t(code));

  std::vector<uint8_t> line(static_cast<size_t>(lineLength));
  TPCXInput in(Stream);
  RaiseProgressStart(Graphic, this);
  try {
    for (int32_t y = 0; y < h.Height; ++y) {
      DecodeLine(in, line);
      TransferLine(line, h, uint8_t(code), Graphic.ScanLine(y));
      if (RaiseProgress(Graphic, this, y, h.Height)) break;
    }
  } catch (...) {
    RaiseProgressEnd(Graphic, this);
    throw;
  }
  RaiseProgressEnd(Graphic, this);
}

void TPCXFileFormatReader::ReadInfo(TStream& Stream, int Index, TFileFormatInfo& Info) {
  if (Index != 0) RaisePCXError(LangStr1(20, "Index"));
  TFileFormatReader::ReadInfo(Stream, Index, Info);
  uint8_t b[HeaderSize];
  ReadHeader(Stream, b);
  const TPCXHeader h(b);
  Info.BitCount = h.Planes * h.BitsPerPixel;
  Info.Width = h.Width;
  Info.Height = h.Height;
  switch (h.Version) {
    case 0: Info.SubFormat = "Version 2.5 (0)"; break;
    case 2: Info.SubFormat = "Version 2.8 (2) with Palette"; break;
    case 3: Info.SubFormat = "Version 2.8 (3) without Palette"; break;
    case 5: Info.SubFormat = "Version 3.0 (5)"; break;
  }
  // Layouts are not checked here, so the count may be beyond any integer.
  if (Info.BitCount == 24)
    Info.ColorCount = "16.7M";
  else if (Info.BitCount < 64)
    Info.ColorCount = std::to_string(uint64_t(1) << Info.BitCount);
  else
    Info.ColorCount = "2^" + std::to_string(Info.BitCount);
}

void RegisterPCXFileFormats(TFileFormatReaders& Readers, TFileFormatWriters&) {
  Readers.push_back(std::make_unique<TPCXFileFormatReader>());
}
