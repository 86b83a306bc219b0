#pragma once
// Graphics Interchange Format through giflib: read only. The first frame of
// an animation keeps its colour table; a later one is composed over the
// frames before it and comes as true colour.

#include "fileformat.h"
#include "pgexceptions.h"

class TPixelGraphic;
class TStream;

class EPGGIFFileFormatReader : public EPixelGraphic {
public:
  explicit EPGGIFFileFormatReader(const std::string& message) : EPixelGraphic(message) {}
};

class TGIFFileFormatReader : public TFileFormatReader {
public:
  TGIFFileFormatReader();
  bool CheckSignature(const TFileHeader& Header) const override;
  // Index numbers the frames of an animation.
  void Read(TStream& Stream, TPixelGraphic& Graphic, int Index) override;
  void ReadInfo(TStream& Stream, int Index, TFileFormatInfo& Info) override;
};

// Appends the GIF reader to the registry's list.
void RegisterGIFFileFormats(TFileFormatReaders& Readers, TFileFormatWriters& Writers);
