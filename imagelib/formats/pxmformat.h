#pragma once
// Portable bitmap, graymap and pixmap files, ASCII ("P1" to "P3") and binary
// ("P4" to "P6"). One reader takes all six; each writer writes the kind its
// extension names.

#include "fileformat.h"

class TPixelGraphic;
class TStream;

class TPxMFileFormatReader : public TFileFormatReader {
public:
  // Accepts "P" followed by either of the two digits of its kind.
  bool CheckSignature(const TFileHeader& Header) const override;
  void Read(TStream& Stream, TPixelGraphic& Graphic, int Index) override;
  void ReadInfo(TStream& Stream, int Index, TFileFormatInfo& Info) override;

protected:
  TPxMFileFormatReader(const char* ClassName, const char* Extension, const char* Description, char AsciiDigit,
                       char BinaryDigit);

private:
  char FAsciiDigit;
  char FBinaryDigit;
};

class TPBMFileFormatReader : public TPxMFileFormatReader {
public:
  TPBMFileFormatReader() : TPxMFileFormatReader("TPBMFileFormatReader", "pbm", "Portable Bitmap", '1', '4') {}
};

class TPGMFileFormatReader : public TPxMFileFormatReader {
public:
  TPGMFileFormatReader() : TPxMFileFormatReader("TPGMFileFormatReader", "pgm", "Portable Graymap", '2', '5') {}
};

class TPPMFileFormatReader : public TPxMFileFormatReader {
public:
  TPPMFileFormatReader() : TPxMFileFormatReader("TPPMFileFormatReader", "ppm", "Portable Pixelmap", '3', '6') {}
};

// Binary or ASCII by PXMWriteBinary.
class TPXMFileFormatWriter : public TFileFormatWriter {
public:
  void Write(TStream& Stream, TPixelGraphic& Graphic) override;

protected:
  TPXMFileFormatWriter(const char* ClassName, const char* Extension, const char* Description,
                       TColorResolution Resolution);
};

class TPBMFileFormatWriter : public TPXMFileFormatWriter {
public:
  TPBMFileFormatWriter() : TPXMFileFormatWriter("TPBMFileFormatWriter", "pbm", "Portable Bitmap", crBlackWhite) {}
};

class TPGMFileFormatWriter : public TPXMFileFormatWriter {
public:
  TPGMFileFormatWriter() : TPXMFileFormatWriter("TPGMFileFormatWriter", "pgm", "Portable Graymap", crGray256) {}
};

class TPPMFileFormatWriter : public TPXMFileFormatWriter {
public:
  TPPMFileFormatWriter() : TPXMFileFormatWriter("TPPMFileFormatWriter", "ppm", "Portable Pixelmap", crTrueColor) {}
};

// Appends the PBM, PGM and PPM readers and writers to the registry's lists.
void RegisterPxMFileFormats(TFileFormatReaders& Readers, TFileFormatWriters& Writers);
