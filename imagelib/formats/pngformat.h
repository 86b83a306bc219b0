#pragma once
// Portable Network Graphics through libpng.

#include "fileformat.h"

class TPixelGraphic;
class TStream;

// Transparent pixels are composited against the file's bKGD when it has one
// and this is set, else against the graphic's BackGroundColor.
extern bool PNGUseFileBackground;

class TPNGFileFormatReader : public TFileFormatReader {
public:
  TPNGFileFormatReader();
  bool CheckSignature(const TFileHeader& Header) const override;
  void Read(TStream& Stream, TPixelGraphic& Graphic, int Index) override;
  void ReadInfo(TStream& Stream, int Index, TFileFormatInfo& Info) override;
};

class TPNGFileFormatWriter : public TFileFormatWriter {
public:
  TPNGFileFormatWriter();
  void Write(TStream& Stream, TPixelGraphic& Graphic) override;
};

// Appends the PNG reader and writer to the registry's lists.
void RegisterPNGFileFormats(TFileFormatReaders& Readers, TFileFormatWriters& Writers);
