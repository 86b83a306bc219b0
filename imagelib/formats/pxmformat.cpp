#include "pxmformat.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "formatoptions.h"
#include "langstr.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "pixellimit.h"
#include "progressevents.h"
#include "stream.h"

namespace {

// Large blocks keep the calls of a file stream few.
constexpr size_t BlockSize = 65536;
constexpr uint32_t LargestNumber = std::numeric_limits<uint32_t>::max();
// The largest maximum value of a binary file.
constexpr uint32_t MaxWideValue = 65535;

[[noreturn]] void RaiseReadError(const std::string& text) {
  throw EPGPxMFileFormatReader("PBM, PGM, PPM: " + text);
}

[[noreturn]] void RaiseEndOfFile() { RaiseReadError(LangStr(32)); }

bool IsDigit(int c) { return c >= '0' && c <= '9'; }

// The stream read in blocks, character by character or in runs of bytes.
class TPxMInput {
public:
  explicit TPxMInput(TStream& stream) : FStream(stream) {}

  // The next character, or -1 at the end of the stream.
  int Next() {
    if (FPosition == FEnd && !Fill()) return -1;
    return FBuffer[FPosition++];
  }

  void Read(uint8_t* dest, size_t count) {
    while (count > 0) {
      if (FPosition == FEnd && !Fill()) RaiseEndOfFile();
      const size_t n = std::min(count, FEnd - FPosition);
      std::memcpy(dest, FBuffer.data() + FPosition, n);
      FPosition += n;
      dest += n;
      count -= n;
    }
  }

  // Skips everything up to the next digit, "#" comments included, and reads
  // the digits from there. The character that ends them is consumed; the end
  // of the stream ends them too. Numbers beyond 32 bits stop at LargestNumber.
  uint32_t Number() {
    // Most numbers are short and lie inside the buffer with their separator.
    const uint8_t* begin = FBuffer.data() + FPosition;
    const uint8_t* end = FBuffer.data() + FEnd;
    const uint8_t* p = begin;
    while (p < end && !IsDigit(*p) && *p != '#') ++p;
    const uint8_t* digits = p;
    uint32_t v = 0;
    while (p < end && IsDigit(*p) && p - digits < 9) v = v * 10 + uint32_t(*p++ - '0');
    if (p < end && p > digits && !IsDigit(*p) && *p != '#') {
      FPosition += size_t(p + 1 - begin);
      return v;
    }
    return NumberAcrossBlocks();
  }

  // The next sample of a plain bitmap: a single digit, with white space,
  // comments and other characters before it skipped.
  int Digit() { return NextDigit() - '0'; }

  int64_t Remaining() { return int64_t(FEnd - FPosition) + std::max<int64_t>(FStream.Size() - FStream.Position(), 0); }

private:
  bool Fill() {
    FPosition = 0;
    FEnd = FStream.Read(FBuffer.data(), BlockSize);
    return FEnd > 0;
  }

  // The next digit character, with white space, comments and other
  // characters before it skipped.
  int NextDigit() {
    int c;
    do {
      c = Next();
      if (c < 0) RaiseEndOfFile();
      if (c == '#') SkipComment();
    } while (!IsDigit(c));
    return c;
  }

  uint32_t NumberAcrossBlocks() {
    int c = NextDigit();
    uint64_t v = 0;
    while (IsDigit(c)) {
      v = std::min<uint64_t>(v * 10 + uint64_t(c - '0'), LargestNumber);
      c = Next();
    }
    if (c == '#') SkipComment();
    return uint32_t(v);
  }

  void SkipComment() {
    int c;
    do c = Next();
    while (c >= 0 && c != '\n');
  }

  TStream& FStream;
  std::vector<uint8_t> FBuffer = std::vector<uint8_t>(BlockSize);
  size_t FPosition = 0;
  size_t FEnd = 0;
};

// The magic's digit, 1 to 6.
int ReadMagic(TPxMInput& in) {
  if (in.Next() != 'P') RaiseReadError(LangStr1(34, "PBM, PGM, PPM"));
  const int c = in.Next();
  if (c < '1' || c > '6') RaiseReadError(LangStr(33));
  return c - '0';
}

enum TPxMKind { pkBitmap, pkGraymap, pkPixmap };

TPxMKind KindOf(int magic) { return TPxMKind((magic - 1) % 3); }

bool IsAscii(int magic) { return magic <= 3; }

// Samples scaled from 0..M to 0..255, truncating; samples above M count as M.
class TSampleScale {
public:
  explicit TSampleScale(uint32_t maxValue) : FMax(maxValue) {
    if (maxValue <= 0xFFFF) {
      FTable.resize(size_t(maxValue) + 1);
      for (uint32_t v = 0; v <= maxValue; ++v) FTable[v] = uint8_t(v * 255 / maxValue);
    }
  }

  bool Identity() const { return FMax == 255; }
  // Binary samples above 255 take two bytes, most significant first.
  bool Wide() const { return FMax > 255; }

  uint8_t operator()(uint32_t v) const {
    v = std::min(v, FMax);
    return FTable.empty() ? uint8_t(uint64_t(v) * 255 / FMax) : FTable[v];
  }

private:
  uint32_t FMax;
  std::vector<uint8_t> FTable;
};

// Whether the bytes left can hold the pixels: one or two per binary sample,
// a digit per plain bitmap sample, or a digit and a separator per other
// ASCII sample.
bool PixelsFit(int magic, uint64_t width, uint64_t height, int64_t remaining, bool wide) {
  const uint64_t available = uint64_t(remaining);
  const uint64_t samples = width * height * (KindOf(magic) == pkPixmap ? 3 : 1);
  if (magic == 4) return (width + 7) / 8 * height <= available;
  if (!IsAscii(magic) && wide) return samples <= available / 2;
  return samples <= available && (magic == 1 || !IsAscii(magic) || 2 * samples - 1 <= available);
}

// Binary samples of two bytes, scaled, into 8-bit samples.
void ReadWideSamples(TPxMInput& in, const TSampleScale& scale, uint8_t* dest, size_t count,
                     std::vector<uint8_t>& wide) {
  wide.resize(2 * count);
  in.Read(wide.data(), wide.size());
  for (size_t i = 0; i < count; ++i) dest[i] = scale(uint32_t(wide[2 * i] << 8 | wide[2 * i + 1]));
}

void ReadRow(TPxMInput& in, int magic, const TSampleScale& scale, uint8_t* row, int32_t width,
             std::vector<uint8_t>& wide) {
  switch (magic) {
    case 1: {
      // Sample 1 is black, which is palette index 0.
      uint8_t bits = 0;
      for (int32_t x = 0; x < width; ++x) {
        bits = uint8_t(bits << 1 | (in.Digit() == 0));
        if ((x & 7) == 7) row[x >> 3] = bits;
      }
      if (width & 7) row[width >> 3] = uint8_t(bits << (8 - (width & 7)));
      break;
    }
    case 2:
      for (int32_t x = 0; x < width; ++x) row[x] = scale(in.Number());
      break;
    case 3:
      for (int32_t x = 0; x < width; ++x, row += 3) {
        row[2] = scale(in.Number());
        row[1] = scale(in.Number());
        row[0] = scale(in.Number());
      }
      break;
    case 4: {
      const size_t n = (size_t(width) + 7) / 8;
      in.Read(row, n);
      for (size_t i = 0; i < n; ++i) row[i] = uint8_t(~row[i]);
      break;
    }
    case 5:
      if (scale.Wide()) {
        ReadWideSamples(in, scale, row, size_t(width), wide);
        break;
      }
      in.Read(row, size_t(width));
      if (!scale.Identity())
        for (int32_t x = 0; x < width; ++x) row[x] = scale(row[x]);
      break;
    default:
      if (scale.Wide()) {
        ReadWideSamples(in, scale, row, 3 * size_t(width), wide);
        for (int32_t x = 0; x < width; ++x, row += 3) std::swap(row[0], row[2]);
        break;
      }
      in.Read(row, 3 * size_t(width));
      for (int32_t x = 0; x < width; ++x, row += 3) {
        const uint8_t red = row[0];
        row[0] = scale(row[2]);
        row[1] = scale(row[1]);
        row[2] = scale(red);
      }
  }
}

// Output gathered in blocks before it goes to the stream.
class TPxMOutput {
public:
  explicit TPxMOutput(TStream& stream) : FStream(stream) {}

  void Put(const void* data, size_t count) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    while (count > 0) {
      if (FLength == BlockSize) Flush();
      const size_t n = std::min(count, BlockSize - FLength);
      std::memcpy(FBuffer.data() + FLength, p, n);
      FLength += n;
      p += n;
      count -= n;
    }
  }

  // Room for count bytes (at most a block) at the end of the buffer.
  uint8_t* Room(size_t count) {
    if (FLength + count > BlockSize) Flush();
    return FBuffer.data() + FLength;
  }
  void Commit(size_t count) { FLength += count; }

  void Flush() {
    FStream.WriteBuffer(FBuffer.data(), FLength);
    FLength = 0;
  }

private:
  TStream& FStream;
  std::vector<uint8_t> FBuffer = std::vector<uint8_t>(BlockSize);
  size_t FLength = 0;
};

// The decimal texts of 0..255, each with a leading space.
struct TDecimals {
  char Text[256][5];
  uint8_t Length[256];

  TDecimals() {
    for (int v = 0; v < 256; ++v) Length[v] = uint8_t(std::snprintf(Text[v], sizeof Text[v], " %d", v));
  }
};

const TDecimals& Decimals() {
  static const TDecimals decimals;
  return decimals;
}

// Byte values separated by single spaces, ended by a line feed.
void PutAsciiValues(TPxMOutput& out, const uint8_t* values, size_t count) {
  const TDecimals& d = Decimals();
  for (size_t i = 0; i < count; ++i) {
    const uint8_t v = values[i];
    uint8_t* room = out.Room(4);
    const int skip = i == 0 ? 1 : 0;
    std::memcpy(room, d.Text[v] + skip, 4);
    out.Commit(size_t(d.Length[v] - skip));
  }
  out.Put("\n", 1);
}

void WriteRow(TPxMOutput& out, TPxMKind kind, bool binary, const uint8_t* row, int32_t width,
              std::vector<uint8_t>& line) {
  switch (kind) {
    case pkBitmap:
      if (binary) {
        for (size_t i = 0; i < line.size(); ++i) line[i] = uint8_t(~row[i]);
      } else {
        // Index 0 is black, which is sample 1.
        for (int32_t x = 0; x < width; ++x) line[size_t(x)] = ((row[x >> 3] >> (7 - (x & 7))) & 1) ^ 1;
      }
      break;
    case pkGraymap:
      std::memcpy(line.data(), row, line.size());
      break;
    case pkPixmap:
      for (size_t i = 0; i < line.size(); i += 3) {
        line[i] = row[i + 2];
        line[i + 1] = row[i + 1];
        line[i + 2] = row[i];
      }
      break;
  }
  if (binary)
    out.Put(line.data(), line.size());
  else
    PutAsciiValues(out, line.data(), line.size());
}

}  // namespace

TPxMFileFormatReader::TPxMFileFormatReader(const char* ClassName, const char* Extension, const char* Description,
                                           char AsciiDigit, char BinaryDigit)
    : TFileFormatReader(ClassName, Extension, Description, true), FAsciiDigit(AsciiDigit), FBinaryDigit(BinaryDigit) {}

bool TPxMFileFormatReader::CheckSignature(const TFileHeader& Header) const {
  return Header[0] == 'P' && (Header[1] == FAsciiDigit || Header[1] == FBinaryDigit);
}

void TPxMFileFormatReader::Read(TStream& Stream, TPixelGraphic& Graphic, int Index) {
  if (Index != 0) throw EPGPxMFileFormatReader("PxM: " + LangStr1(7, "Index"));
  Graphic.SetGamma(ScreenGamma);
  TPxMInput in(Stream);
  const int magic = ReadMagic(in);
  const TPxMKind kind = KindOf(magic);
  static constexpr uint8_t codes[3] = {0, 2, 3};
  Graphic.SetSize(0, 0, codes[kind]);
  if (kind == pkBitmap) Graphic.SetPaletteIdent(pBlackWhite);
  if (kind == pkGraymap) Graphic.SetPaletteIdent(pGray256);

  const uint32_t width = in.Number();
  const uint32_t height = in.Number();
  const uint32_t maxValue = kind == pkBitmap ? 1 : in.Number();
  constexpr uint32_t largestSide = std::numeric_limits<int32_t>::max();
  if (width < 1 || height < 1 || width > largestSide || height > largestSide || maxValue == 0 ||
      (!IsAscii(magic) && maxValue > MaxWideValue))
    RaiseReadError(LangStr(30));
  const TSampleScale scale(maxValue);
  // A header must not set aside more memory than its file can fill.
  if (!PixelsFit(magic, width, height, in.Remaining(), scale.Wide())) RaiseEndOfFile();
  CheckPixelLimit(width, height);
  Graphic.SetSize(int32_t(width), int32_t(height), codes[kind]);

  std::vector<uint8_t> wide;
  RaiseProgressStart(Graphic, this);
  try {
    for (int32_t y = 0; y < int32_t(height); ++y) {
      ReadRow(in, magic, scale, Graphic.ScanLine(y), int32_t(width), wide);
      if (RaiseProgress(Graphic, this, y, int32_t(height))) break;
    }
  } catch (...) {
    RaiseProgressEnd(Graphic, this);
    throw;
  }
  RaiseProgressEnd(Graphic, this);
}

void TPxMFileFormatReader::ReadInfo(TStream& Stream, int Index, TFileFormatInfo& Info) {
  if (Index != 0) RaiseReadError(LangStr1(20, "Index"));
  TFileFormatReader::ReadInfo(Stream, Index, Info);
  TPxMInput in(Stream);
  const int magic = ReadMagic(in);
  static constexpr int bitCounts[3] = {1, 8, 24};
  Info.SubFormat = IsAscii(magic) ? "ASCII" : "Binary";
  Info.BitCount = bitCounts[KindOf(magic)];
  constexpr uint32_t largest = std::numeric_limits<int32_t>::max();
  Info.Width = int32_t(std::min(in.Number(), largest));
  Info.Height = int32_t(std::min(in.Number(), largest));
  Info.ColorCount = Info.BitCount == 24 ? "16.7M" : std::to_string(1 << Info.BitCount);
  if (IsAscii(magic) || KindOf(magic) == pkBitmap) return;
  // Only a binary file's maximum value changes its layout; a file that ends
  // before it is still described as before.
  uint32_t maxValue = 0;
  try {
    maxValue = in.Number();
  } catch (const EPGPxMFileFormatReader&) {
  }
  if (maxValue <= 255 || maxValue > MaxWideValue) return;
  Info.SubFormat = "Binary, 16 bits per sample";
  Info.BitCount *= 2;
  if (Info.BitCount == 16) Info.ColorCount = std::to_string(maxValue + 1);
}

TPXMFileFormatWriter::TPXMFileFormatWriter(const char* ClassName, const char* Extension, const char* Description,
                                           TColorResolution Resolution)
    : TFileFormatWriter(ClassName, Extension, Description, true, TColorResolutions{Resolution}) {}

void TPXMFileFormatWriter::Write(TStream& Stream, TPixelGraphic& Graphic) {
  static const char* const extensions[3] = {"pbm", "pgm", "ppm"};
  const auto found = std::find(std::begin(extensions), std::end(extensions), Extension());
  if (found == std::end(extensions)) throw EPGPxMFileFormatWriter("PBM, PGM, PPM: " + LangStr1(19, Extension()));
  const TPxMKind kind = TPxMKind(found - std::begin(extensions));
  const int32_t width = Graphic.GetWidth(), height = Graphic.GetHeight();
  if (width < 1 || height < 1 || Graphic.GetEmpty()) throw EPGPxMFileFormatWriter("PBM, PGM, PPM: " + LangStr(35));
  // Rows are written as they lie in memory, so the depth must be the one the
  // file holds, and the palette the one its samples mean.
  static const char* const prefixes[3] = {"PBM: ", "PGM: ", "PPM: "};
  static constexpr uint8_t codes[3] = {0, 2, 3};
  const TPaletteIdent ident = Graphic.PaletteIdent();
  const bool fitting = Graphic.BitCountNum() == codes[kind] && (kind != pkBitmap || ident == pBlackWhite) &&
                       (kind != pkGraymap || ident == pGray256);
  if (!fitting) throw EPGPxMFileFormatWriter(prefixes[kind] + LangStr(36));

  const bool binary = PXMWriteBinary;
  TPxMOutput out(Stream);
  char header[64];
  const int headerLength = std::snprintf(header, sizeof header, "P%d\n%d %d\n%s", kind + 1 + (binary ? 3 : 0), width,
                                         height, kind == pkBitmap ? "" : "255\n");
  out.Put(header, size_t(headerLength));
  const size_t lineLength =
      kind == pkPixmap ? 3 * size_t(width) : kind == pkBitmap && binary ? (size_t(width) + 7) / 8 : size_t(width);
  std::vector<uint8_t> line(lineLength);
  Graphic.ProgressStart();
  try {
    for (int32_t y = 0; y < height; ++y) {
      WriteRow(out, kind, binary, Graphic.ScanLine(y), width, line);
      Graphic.Progress(y, height);
    }
    out.Flush();
  } catch (...) {
    Graphic.ProgressEnd();
    throw;
  }
  Graphic.ProgressEnd();
}

void RegisterPxMFileFormats(TFileFormatReaders& Readers, TFileFormatWriters& Writers) {
  Readers.push_back(std::make_unique<TPBMFileFormatReader>());
  Readers.push_back(std::make_unique<TPGMFileFormatReader>());
  Readers.push_back(std::make_unique<TPPMFileFormatReader>());
  Writers.push_back(std::make_unique<TPBMFileFormatWriter>());
  Writers.push_back(std::make_unique<TPGMFileFormatWriter>());
  Writers.push_back(std::make_unique<TPPMFileFormatWriter>());
}
