#pragma once
// Truevision Targa files. The format has no signature, so the reader is
// found by extension only.

#include "fileformat.h"

class TPixelGraphic;
class TStream;

// Uncompressed and run-length encoded images of 8, 16, 24 and 32 bits, with
// any of the four origins.
class TTGAFileFormatReader : public TFileFormatReader {
public:
  TTGAFileFormatReader() : TFileFormatReader("TTGAFileFormatReader", "tga", "Truevision Targa", false) {}
  void Read(TStream& Stream, TPixelGraphic& Graphic, int Index) override;
  void ReadInfo(TStream& Stream, int Index, TFileFormatInfo& Info) override;
};

// Uncompressed, bottom-up: 24-bit true colour, or palette images as 8-bit
// indices with a 24-bit colour map.
class TTGAFileFormatWriter : public TFileFormatWriter {
public:
  TTGAFileFormatWriter()
      : TFileFormatWriter("TTGAFileFormatWriter", "tga", "Truevision Targa", true, {cr256Colors, crTrueColor}) {}
  void Write(TStream& Stream, TPixelGraphic& Graphic) override;
};

// Appends the TGA reader and writer to the registry's lists.
void RegisterTGAFileFormats(TFileFormatReaders& Readers, TFileFormatWriters& Writers);
