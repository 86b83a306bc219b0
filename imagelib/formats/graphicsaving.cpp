// Saving a pixel graphic with the writer of an extension, converting it first
// when the writer cannot store its colour resolution.
#include "filereplacement.h"
#include "formatregistry.h"
#include "langstr.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "platform.h"
#include "saveresolution.h"
#include "stream.h"

namespace {

std::string LowerCase(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

// Returns when the warning action lets the save go on in resolution Target
// instead of Current; raises EPGCannotWriteColorRes otherwise.
void ConfirmColorResolutionChange(TPGWarningAction Action, const TFileFormatWriter& Writer,
                                  TColorResolution Current, TColorResolution Target) {
  const auto refusal = [&] {
    return EPGCannotWriteColorRes(LangStr2(18, Writer.Description(), ColorResolutionName(Current)));
  };
  const auto text = [&] {
    return LangStr3(17, Writer.Description(), ColorResolutionName(Current), ColorResolutionName(Target));
  };
  switch (Action) {
    case pgwaIgnore: return;
    case pgwaOKBox: PGWarningBox(text(), LangStr(28), false); return;
    case pgwaOKCancelBox:
      if (!PGWarningBox(text(), LangStr(28), true)) throw refusal();
      return;
    case pgwaRaise: break;
  }
  throw refusal();
}

}  // namespace

void TPixelGraphic::SaveToStreamExt(TStream& Stream, const std::string& Extension) {
  if (FileFormatWriters().empty()) throw EPGFileFormatWritersEmpty(LangStr1(16, "FileFormatWriters"));
  TFileFormatWriter* writer = FindWriter(Extension);
  if (!writer) throw EPGUnknownExtension(LangStr1(19, LowerCase(Extension)));
  IdentifyPalette();
  const TColorResolution current = CurrentColorResolution(*this);
  const std::optional<TColorResolution> target = SaveColorResolution(current, writer->CanWriteResolutions());
  if (!target) throw EPGCanWriteResolutionsEmpty(LangStr1(16, writer->ClassName() + ".CanWriteResolutions"));
  if (*target == current) {
    writer->Write(Stream, *this);
    return;
  }
  ConfirmColorResolutionChange(SaveColorResWarningAction(), *writer, current, *target);
  TPixelGraphic converted;
  converted.OnProgressStart = OnProgressStart;
  converted.OnProgress = OnProgress;
  converted.OnProgressEnd = OnProgressEnd;
  PrepareColorResolution(converted, *target, *this);
  converted.SetSize(GetWidth(), GetHeight(), converted.BitCountNum());
  converted.MapFrom(*this);
  converted.IdentifyPalette();
  writer->Write(Stream, converted);
}

void TPixelGraphic::SaveToFile(const std::string& FileName) {
  TFileReplacement file(FileName);
  SaveToStreamExt(file.Stream(), FileNameExtension(FileName));
  file.Commit();
}

void TPixelGraphic::SaveToStream(TStream& Stream) { SpareBMPWriter().Write(Stream, *this); }
