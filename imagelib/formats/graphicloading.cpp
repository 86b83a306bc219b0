// Loading a pixel graphic through the reader that recognises the stream.
#include "formatoptions.h"
#include "formatregistry.h"
#include "gammacorrection.h"
#include "langstr.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "stream.h"
#include "updatescope.h"

void TPixelGraphic::LoadFromStreamExt(TStream& Stream, const std::string& Extension, int Index) {
  TUpdateScope update(*this);
  SetSize(0, 0, 3);
  SetGamma(ScreenGamma);
  SetOrientation(1);
  SetExifBlock({});
  TFileFormatReader* reader = FindReader(Stream, Extension);
  if (!reader) throw EPGUnknownFileFormat(LangStr(6));
  reader->Read(Stream, *this, Index);
  if (AutoOrient) TurnUpright();
  CorrectGamma(*this);
  IdentifyPalette();
}

void TPixelGraphic::LoadFromStream(TStream& Stream) { LoadFromStreamExt(Stream, std::string(), 0); }

void TPixelGraphic::LoadFromFile(const std::string& FileName, int Index) {
  TFileStream stream(FileName, fmOpenRead);
  LoadFromStreamExt(stream, FileNameExtension(FileName), Index);
}
