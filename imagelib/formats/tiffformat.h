#pragma once
// Tagged Image File Format: uncompressed or PackBits strips of chunky
// samples, bilevel, 4- and 8-bit grey or palette, RGB and CMYK. An alpha
// sample, as ExtraSamples calls the fourth, lays the RGB colours over the
// background colour, as in PNG files and as through libtiff.

#include <cstdint>

#include "fileformat.h"
#include "tiffstructure.h"

class TPixelGraphic;
class TStream;

// Whether the readers follow the chain of IFDs to count a file's images;
// otherwise every file holds one. A chain longer than TIFFMaxImages counts
// as one image too, which also stops a chain that loops.
extern bool TIFFCountImages;
extern int32_t TIFFMaxImages;

class TTIFFileFormatReader : public TFileFormatReader {
public:
  TTIFFileFormatReader() : TTIFFileFormatReader("TTIFFileFormatReader", "tif") {}
  bool CheckSignature(const TFileHeader& Header) const override;
  void Read(TStream& Stream, TPixelGraphic& Graphic, int Index) override;
  void ReadInfo(TStream& Stream, int Index, TFileFormatInfo& Info) override;

protected:
  TTIFFileFormatReader(const char* ClassName, const char* Extension);
};

class TTIFFFileFormatReader : public TTIFFileFormatReader {
public:
  TTIFFFileFormatReader() : TTIFFileFormatReader("TTIFFFileFormatReader", "tiff") {}
};

// Writes one image with the TIFF options of the format options.
class TTIFFileFormatWriter : public TFileFormatWriter {
public:
  TTIFFileFormatWriter() : TTIFFileFormatWriter("TTIFFileFormatWriter", "tif", true) {}
  void Write(TStream& Stream, TPixelGraphic& Graphic) override;
  void WriteHeader(TStream& Stream) override;
  // Appends an IFD with its strips and links it from the previous one.
  void WriteImage(TStream& Stream, TPixelGraphic& Graphic) override;

protected:
  TTIFFileFormatWriter(const char* ClassName, const char* Extension, bool Listed);

private:
  int64_t FStart = 0;              // where the TIFF data begins
  int64_t FNextIFDOffsetPos = 0;  // the offset field that is to point at the next IFD
  TTIFFByteOrder FOrder;
};

class TTIFFFileFormatWriter : public TTIFFileFormatWriter {
public:
  TTIFFFileFormatWriter() : TTIFFileFormatWriter("TTIFFFileFormatWriter", "tiff", false) {}
};

// Appends the TIFF readers and writers to the registry's lists.
void RegisterTIFFFileFormats(TFileFormatReaders& Readers, TFileFormatWriters& Writers);
