#pragma once
// What TIFF reading and writing share: tag numbers, field types, the values
// of the tags this library understands, and numbers in either byte order.

#include <cstdint>
#include <string>

#include "pgexceptions.h"

enum TTIFFTag : uint16_t {
  ttNewSubfileType = 254,
  ttImageWidth = 256,
  ttImageLength = 257,
  ttBitsPerSample = 258,
  ttCompression = 259,
  ttPhotometricInterpretation = 262,
  ttStripOffsets = 273,
  ttOrientation = 274,
  ttSamplesPerPixel = 277,
  ttRowsPerStrip = 278,
  ttStripByteCounts = 279,
  ttXResolution = 282,
  ttYResolution = 283,
  ttPlanarConfiguration = 284,
  ttResolutionUnit = 296,
  ttColorMap = 320,
  ttTileWidth = 322,
  ttTileOffsets = 324,
  ttExtraSamples = 338
};

enum TTIFFFieldType : uint16_t { tfByte = 1, tfShort = 3, tfLong = 4, tfRational = 5 };

enum TTIFFCompression : uint32_t { tcNone = 1, tcPackBits = 32773 };

enum TTIFFPhotometric : uint32_t { tpWhiteIsZero = 0, tpBlackIsZero = 1, tpRGB = 2, tpPalette = 3, tpCMYK = 5 };

constexpr int TIFFHeaderSize = 8;
constexpr int TIFFEntrySize = 12;

// "II" files store numbers little-endian, "MM" files big-endian.
class TTIFFByteOrder {
public:
  explicit TTIFFByteOrder(bool BigEndian = false) : FBigEndian(BigEndian) {}
  bool BigEndian() const { return FBigEndian; }
  uint8_t Mark() const { return FBigEndian ? 'M' : 'I'; }

  uint16_t Get16(const uint8_t* p) const {
    return FBigEndian ? uint16_t((p[0] << 8) | p[1]) : uint16_t(p[0] | (p[1] << 8));
  }
  uint32_t Get32(const uint8_t* p) const {
    return FBigEndian ? (uint32_t(Get16(p)) << 16) | Get16(p + 2) : Get16(p) | (uint32_t(Get16(p + 2)) << 16);
  }
  void Put16(uint8_t* p, uint32_t v) const {
    p[FBigEndian ? 0 : 1] = uint8_t(v >> 8);
    p[FBigEndian ? 1 : 0] = uint8_t(v);
  }
  void Put32(uint8_t* p, uint32_t v) const {
    Put16(p + (FBigEndian ? 0 : 2), v >> 16);
    Put16(p + (FBigEndian ? 2 : 0), v);
  }

private:
  bool FBigEndian;
};

[[noreturn]] inline void RaiseTIFFReadError(const std::string& Text) {
  throw EPGTIFFileFormatReader("TIFF: " + Text);
}
