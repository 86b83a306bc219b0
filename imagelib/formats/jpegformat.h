#pragma once
// JPEG (JFIF) files through libjpeg. The extensions jpg, jpeg and jif share
// one reader and one writer.

#include "fileformat.h"

class TPixelGraphic;
class TStream;

class TJPGFileFormatReader : public TFileFormatReader {
public:
  TJPGFileFormatReader() : TJPGFileFormatReader("TJPGFileFormatReader", "jpg") {}
  bool CheckSignature(const TFileHeader& Header) const override;
  void Read(TStream& Stream, TPixelGraphic& Graphic, int Index) override;
  void ReadInfo(TStream& Stream, int Index, TFileFormatInfo& Info) override;

protected:
  TJPGFileFormatReader(const char* ClassName, const char* Extension);
};

class TJPEGFileFormatReader : public TJPGFileFormatReader {
public:
  TJPEGFileFormatReader() : TJPGFileFormatReader("TJPEGFileFormatReader", "jpeg") {}
};

class TJIFFileFormatReader : public TJPGFileFormatReader {
public:
  TJIFFileFormatReader() : TJPGFileFormatReader("TJIFFileFormatReader", "jif") {}
};

// Writes 24-bit pictures and 256-level grey ones.
class TJPGFileFormatWriter : public TFileFormatWriter {
public:
  TJPGFileFormatWriter() : TJPGFileFormatWriter("TJPGFileFormatWriter", "jpg", true) {}
  void Write(TStream& Stream, TPixelGraphic& Graphic) override;

protected:
  TJPGFileFormatWriter(const char* ClassName, const char* Extension, bool Listed);
};

class TJPEGFileFormatWriter : public TJPGFileFormatWriter {
public:
  TJPEGFileFormatWriter() : TJPGFileFormatWriter("TJPEGFileFormatWriter", "jpeg", false) {}
};

class TJIFFileFormatWriter : public TJPGFileFormatWriter {
public:
  TJIFFileFormatWriter() : TJPGFileFormatWriter("TJIFFileFormatWriter", "jif", false) {}
};

// Appends the JPEG readers and writers to the registry's lists.
void RegisterJPEGFileFormats(TFileFormatReaders& Readers, TFileFormatWriters& Writers);
