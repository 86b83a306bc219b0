#include "fileformat.h"

#include <utility>

#include "langstr.h"
#include "pixelgraphic.h"

TColorResolution CurrentColorResolution(const TPixelGraphic& Graphic) {
  const TPaletteIdent ident = Graphic.PaletteIdent();
  switch (Graphic.BitCountNum()) {
    case 0: return ident == pBlackWhite ? crBlackWhite : cr2Colors;
    case 1: return ident == pSys16 ? crSys16 : ident == pGray16 ? crGray16 : cr16Colors;
    case 2: return ident == pGray256 ? crGray256 : cr256Colors;
    default: return crTrueColor;
  }
}

std::string ColorResolutionName(TColorResolution Resolution) { return LangStr(8 + Resolution); }

TFileFormatReaderWriter::TFileFormatReaderWriter(std::string ClassName, std::string Extension,
                                                 std::string Description, bool Listed)
    : FListed(Listed),
      FExtension(std::move(Extension)),
      FDescription(std::move(Description)),
      FClassName(std::move(ClassName)) {}

TFileFormatReader::TFileFormatReader(std::string ClassName, std::string Extension, std::string Description,
                                     bool HasSignature)
    : TFileFormatReaderWriter(std::move(ClassName), std::move(Extension), std::move(Description), true),
      FHasSignature(HasSignature) {}

bool TFileFormatReader::CheckSignature(const TFileHeader&) const { return false; }

void TFileFormatReader::Read(TStream&, TPixelGraphic&, int) {}

void TFileFormatReader::ReadInfo(TStream&, int, TFileFormatInfo& Info) {
  // The format description is the registry's to fill.
  std::string description = std::move(Info.FormatDescription);
  Info = TFileFormatInfo();
  Info.FormatDescription = std::move(description);
}

TFileFormatWriter::TFileFormatWriter(std::string ClassName, std::string Extension, std::string Description,
                                     bool Listed, TColorResolutions CanWriteResolutions)
    : TFileFormatReaderWriter(std::move(ClassName), std::move(Extension), std::move(Description), Listed),
      FCanWriteResolutions(CanWriteResolutions) {}

void TFileFormatWriter::Write(TStream&, TPixelGraphic&) {}

void TFileFormatWriter::WriteHeader(TStream&) {}

void TFileFormatWriter::WriteImage(TStream&, TPixelGraphic&) {}

void TFileFormatWriter::WriteTrailer(TStream&) {}
