#pragma once
// Windows and OS/2 bitmap files, and the packed device-independent bitmap
// that the clipboard carries.

#include <cstdint>

#include "fileformat.h"

class TPixelGraphic;
class TStream;

constexpr int BitmapFileHeaderSize = 14;
constexpr int BitmapCoreHeaderSize = 12;

class TBMPFileFormatReader : public TFileFormatReader {
public:
  TBMPFileFormatReader() : TBMPFileFormatReader("TBMPFileFormatReader", "bmp") {}
  bool CheckSignature(const TFileHeader& Header) const override;
  void Read(TStream& Stream, TPixelGraphic& Graphic, int Index) override;
  void ReadInfo(TStream& Stream, int Index, TFileFormatInfo& Info) override;

protected:
  TBMPFileFormatReader(const char* ClassName, const char* Extension);
};

class TDIBFileFormatReader : public TBMPFileFormatReader {
public:
  TDIBFileFormatReader() : TBMPFileFormatReader("TDIBFileFormatReader", "dib") {}
};

class TRLEFileFormatReader : public TBMPFileFormatReader {
public:
  TRLEFileFormatReader() : TBMPFileFormatReader("TRLEFileFormatReader", "rle") {}
};

// Writes the graphic's own bit count, whatever its colours.
class TBMPFileFormatWriter : public TFileFormatWriter {
public:
  TBMPFileFormatWriter() : TBMPFileFormatWriter("TBMPFileFormatWriter", "bmp", true) {}
  void Write(TStream& Stream, TPixelGraphic& Graphic) override;

protected:
  TBMPFileFormatWriter(const char* ClassName, const char* Extension, bool Listed);
};

class TDIBFileFormatWriter : public TBMPFileFormatWriter {
public:
  TDIBFileFormatWriter() : TBMPFileFormatWriter("TDIBFileFormatWriter", "dib", false) {}
};

// Appends the BMP readers and writers to the registry's lists.
void RegisterBMPFileFormats(TFileFormatReaders& Readers, TFileFormatWriters& Writers);

// Reads a header of the given kind (12-byte core or 40-byte info header),
// the palette and the pixels from the current stream position.
void ReadDIB(TPixelGraphic& Graphic, TStream& Stream, bool CoreHeader);
// Writes info header, palette and pixels.
void WriteDIB(const TPixelGraphic& Graphic, TStream& Stream);
// Size of the block a packed bitmap of Graphic is written into; a few bytes
// more than WriteDIB needs.
int64_t PackedDIBSize(const TPixelGraphic& Graphic);
