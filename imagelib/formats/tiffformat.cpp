#include "tiffformat.h"

#include <memory>

bool TIFFCountImages = false;
int32_t TIFFMaxImages = 1000;

namespace {
const char* const TIFFDescription = "Tagged Image File Format";
}

TTIFFileFormatReader::TTIFFileFormatReader(const char* ClassName, const char* Extension)
    : TFileFormatReader(ClassName, Extension, TIFFDescription, true) {}

bool TTIFFileFormatReader::CheckSignature(const TFileHeader& Header) const {
  return (Header[0] == 'I' && Header[1] == 'I' && Header[2] == 42 && Header[3] == 0) ||
         (Header[0] == 'M' && Header[1] == 'M' && Header[2] == 0 && Header[3] == 42);
}

TTIFFileFormatWriter::TTIFFileFormatWriter(const char* ClassName, const char* Extension, bool Listed)
    : TFileFormatWriter(ClassName, Extension, TIFFDescription, Listed, TColorResolutions(0xFD)) {}

void TTIFFileFormatWriter::Write(TStream& Stream, TPixelGraphic& Graphic) {
  // The registered writer serves every thread that saves; the state of one
  // write lives in a writer of its own.
  TTIFFileFormatWriter writer(ClassName().c_str(), Extension().c_str(), Listed());
  writer.WriteHeader(Stream);
  writer.WriteImage(Stream, Graphic);
  writer.WriteTrailer(Stream);
}

void RegisterTIFFFileFormats(TFileFormatReaders& Readers, TFileFormatWriters& Writers) {
  Readers.push_back(std::make_unique<TTIFFileFormatReader>());
  Readers.push_back(std::make_unique<TTIFFFileFormatReader>());
  Writers.push_back(std::make_unique<TTIFFileFormatWriter>());
  Writers.push_back(std::make_unique<TTIFFFileFormatWriter>());
}
