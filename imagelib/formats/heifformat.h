#pragma once
// HEIC and AVIF through libheif. A read takes the primary image (Index 0) or
// another top-level image (Index 1, 2, ... in the file's order), turned and
// cropped as the file's irot, imir and clap boxes say, which libheif applies;
// transparency is laid over the background colour as in PNG files, and
// samples of more than 8 bits are cut to their high 8 bits. AVIF files are
// written in true colour with the quality and speed below.

#include <cstdint>
#include <string>

#include "fileformat.h"
#include "pgexceptions.h"

class TPixelGraphic;
class TStream;

// 0..100, libheif's lossy quality.
extern int32_t AVIFCompQuality;
// 0..9: the AV1 encoder's speed, 0 the slowest and smallest.
extern int32_t AVIFCompSpeed;

// Failures of the readers and of the writer; the message begins with the
// format's name ("AVIF: ", "HEIC: ").
class EPGHEIFFileFormatReaderWriter : public EPixelGraphic {
public:
  explicit EPGHEIFFileFormatReaderWriter(const std::string& message) : EPixelGraphic(message) {}
};

class THEIFFileFormatReader : public TFileFormatReader {
public:
  THEIFFileFormatReader() : THEIFFileFormatReader("THEIFFileFormatReader", "heic", false) {}
  bool CheckSignature(const TFileHeader& Header) const override;
  void Read(TStream& Stream, TPixelGraphic& Graphic, int Index) override;
  void ReadInfo(TStream& Stream, int Index, TFileFormatInfo& Info) override;

protected:
  // AV1 readers recognise the AVIF brands, the others HEVC's and the
  // generic image brands; either reads what libheif decodes.
  THEIFFileFormatReader(const char* ClassName, const char* Extension, bool AV1);

private:
  bool FAV1;
};

class THEIFAliasFileFormatReader : public THEIFFileFormatReader {
public:
  THEIFAliasFileFormatReader() : THEIFFileFormatReader("THEIFAliasFileFormatReader", "heif", false) {}
};

class TAVIFFileFormatReader : public THEIFFileFormatReader {
public:
  TAVIFFileFormatReader() : THEIFFileFormatReader("TAVIFFileFormatReader", "avif", true) {}
};

// Writes 24-bit pictures; the saving converts any other to true colour first.
class TAVIFFileFormatWriter : public TFileFormatWriter {
public:
  TAVIFFileFormatWriter();
  void Write(TStream& Stream, TPixelGraphic& Graphic) override;
};

// Appends the AVIF and HEIC readers and the AVIF writer to the registry's lists.
void RegisterHEIFFileFormats(TFileFormatReaders& Readers, TFileFormatWriters& Writers);
