#pragma once
// Paintbrush files with run-length encoded scan lines: 1 bit, 4 bits in four
// planes, 8 bits with a palette at the end of the file, 24 bits in three
// planes. Read only.

#include "fileformat.h"

class TPixelGraphic;
class TStream;

class TPCXFileFormatReader : public TFileFormatReader {
public:
  TPCXFileFormatReader() : TFileFormatReader("TPCXFileFormatReader", "pcx", "Paintbrush", true) {}
  bool CheckSignature(const TFileHeader& Header) const override;
  void Read(TStream& Stream, TPixelGraphic& Graphic, int Index) override;
  void ReadInfo(TStream& Stream, int Index, TFileFormatInfo& Info) override;
};

// Appends the PCX reader to the registry's reader list; there is no writer.
void RegisterPCXFileFormats(TFileFormatReaders& Readers, TFileFormatWriters& Writers);
