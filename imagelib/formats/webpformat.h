#pragma once
// WebP through libwebp: lossy and lossless stills and the frames of an
// animation are read; true colour is written, lossy with a quality or
// lossless. Pictures are taken upright as stored, without colour profile.

#include "fileformat.h"
#include "pgexceptions.h"

class TPixelGraphic;
class TStream;

class EPGWebPFileFormatReaderWriter : public EPixelGraphic {
public:
  explicit EPGWebPFileFormatReaderWriter(const std::string& message) : EPixelGraphic(message) {}
};

class TWebPFileFormatReader : public TFileFormatReader {
public:
  TWebPFileFormatReader();
  bool CheckSignature(const TFileHeader& Header) const override;
  // Index numbers the frames of an animation.
  void Read(TStream& Stream, TPixelGraphic& Graphic, int Index) override;
  void ReadInfo(TStream& Stream, int Index, TFileFormatInfo& Info) override;
};

// Lossy at WebPQuality, or lossless as WebPLossless says (format options).
class TWebPFileFormatWriter : public TFileFormatWriter {
public:
  TWebPFileFormatWriter();
  void Write(TStream& Stream, TPixelGraphic& Graphic) override;
};

// Appends the WebP reader and writer to the registry's lists.
void RegisterWebPFileFormats(TFileFormatReaders& Readers, TFileFormatWriters& Writers);
