#pragma once
// Base classes of the format readers and writers, and what they tell about
// a file or can store of a picture.

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "pgtypes.h"

class TPixelGraphic;
class TStream;

// The ways a pixel graphic can hold colour; the ordinals are stored.
enum TColorResolution : uint8_t {
  crBlackWhite,
  cr2Colors,
  crGray16,
  crSys16,
  cr16Colors,
  crGray256,
  cr256Colors,
  crTrueColor
};

class TColorResolutions {
public:
  constexpr TColorResolutions() = default;
  constexpr explicit TColorResolutions(uint8_t Bits) : FBits(Bits) {}
  constexpr TColorResolutions(std::initializer_list<TColorResolution> Members) {
    for (TColorResolution r : Members) FBits = uint8_t(FBits | (1u << r));
  }
  constexpr bool Contains(TColorResolution r) const { return (FBits >> r) & 1; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr uint8_t Bits() const { return FBits; }

private:
  uint8_t FBits = 0;
};

// The resolution a graphic has now; its palette must have been identified.
TColorResolution CurrentColorResolution(const TPixelGraphic& Graphic);
// Name of a resolution in the library's language, for messages.
std::string ColorResolutionName(TColorResolution Resolution);

// What a reader reports of a file without decoding its pixels.
struct TFileFormatInfo {
  int32_t ImageCount = 1;
  int32_t BitCount = 0;
  std::string ColorCount;
  int32_t Height = 0;
  int32_t Width = 0;
  std::string Details;
  std::string SubFormat;
  std::string FormatDescription;
  // Memory a read takes besides the picture's pixels, where it is more
  // than a few rows.
  int64_t ReadMemory = 0;
  // TOrientation of the stored pixels; the registry's description gives
  // Width and Height as they are once loading has turned them upright.
  uint8_t Orientation = 1;
};

constexpr int FileHeaderSize = 17;
// The first bytes of a stream, zero-filled beyond its end.
using TFileHeader = std::array<uint8_t, FileHeaderSize>;

class TFileFormatReaderWriter : public TObject {
public:
  bool Listed() const { return FListed; }
  // Lower case, without the dot.
  const std::string& Extension() const { return FExtension; }
  const std::string& Description() const { return FDescription; }
  const std::string& ClassName() const { return FClassName; }

protected:
  TFileFormatReaderWriter(std::string ClassName, std::string Extension, std::string Description, bool Listed);

private:
  bool FListed;
  std::string FExtension;
  std::string FDescription;
  std::string FClassName;
};

class TFileFormatReader : public TFileFormatReaderWriter {
public:
  bool HasSignature() const { return FHasSignature; }
  virtual bool CheckSignature(const TFileHeader& Header) const;
  // Reads image Index (0-based) of Stream into Graphic.
  virtual void Read(TStream& Stream, TPixelGraphic& Graphic, int Index);
  virtual void ReadInfo(TStream& Stream, int Index, TFileFormatInfo& Info);

protected:
  TFileFormatReader(std::string ClassName, std::string Extension, std::string Description, bool HasSignature);

private:
  bool FHasSignature;
};

class TFileFormatWriter : public TFileFormatReaderWriter {
public:
  TColorResolutions CanWriteResolutions() const { return FCanWriteResolutions; }
  virtual void Write(TStream& Stream, TPixelGraphic& Graphic);
  // Steps of a write in three parts, for formats that need them.
  virtual void WriteHeader(TStream& Stream);
  virtual void WriteImage(TStream& Stream, TPixelGraphic& Graphic);
  virtual void WriteTrailer(TStream& Stream);

protected:
  TFileFormatWriter(std::string ClassName, std::string Extension, std::string Description, bool Listed,
                    TColorResolutions CanWriteResolutions);

private:
  TColorResolutions FCanWriteResolutions;
};

using TFileFormatReaders = std::vector<std::unique_ptr<TFileFormatReader>>;
using TFileFormatWriters = std::vector<std::unique_ptr<TFileFormatWriter>>;
