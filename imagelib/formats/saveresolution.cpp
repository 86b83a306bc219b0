#include "saveresolution.h"

#include "optimizedpalette.h"
#include "pixelgraphic.h"

namespace {

constexpr TColorResolution Candidates[8][8] = {
    {crBlackWhite, cr2Colors, crGray16, crSys16, cr16Colors, crGray256, cr256Colors, crTrueColor},
    {cr2Colors, cr16Colors, cr256Colors, crTrueColor, crSys16, crBlackWhite, crGray16, crGray256},
    {crGray16, cr16Colors, crGray256, cr256Colors, crTrueColor, crSys16, crBlackWhite, cr2Colors},
    {crSys16, cr16Colors, cr256Colors, crTrueColor, crGray16, crGray256, crBlackWhite, cr2Colors},
    {cr16Colors, cr256Colors, crTrueColor, crSys16, crGray16, crGray256, crBlackWhite, cr2Colors},
    {crGray256, cr256Colors, crTrueColor, crGray16, cr16Colors, crSys16, crBlackWhite, cr2Colors},
    {cr256Colors, crTrueColor, cr16Colors, crSys16, crGray256, crGray16, crBlackWhite, cr2Colors},
    {crTrueColor, cr256Colors, cr16Colors, crSys16, crGray256, crGray16, crBlackWhite, cr2Colors},
};

}  // namespace

std::optional<TColorResolution> SaveColorResolution(TColorResolution Current, TColorResolutions CanWrite) {
  for (TColorResolution candidate : Candidates[Current])
    if (CanWrite.Contains(candidate)) return candidate;
  return std::nullopt;
}

void PrepareColorResolution(TPixelGraphic& Target, TColorResolution Resolution, const TPixelGraphic& Source) {
  switch (Resolution) {
    case crBlackWhite:
      Target.SetBitCountNum(0);
      Target.SetPaletteIdent(pBlackWhite);
      break;
    case cr2Colors:
      Target.SetBitCountNum(0);
      CreateOptimizedPalette(Target, Source, 2, false);
      break;
    case crGray16:
      Target.SetBitCountNum(1);
      Target.SetPaletteIdent(pGray16);
      break;
    case crSys16:
      Target.SetBitCountNum(1);
      Target.SetPaletteIdent(pSys16);
      break;
    case cr16Colors:
      Target.SetBitCountNum(1);
      CreateOptimizedPalette(Target, Source, 16, false);
      break;
    case crGray256:
      Target.SetBitCountNum(2);
      Target.SetPaletteIdent(pGray256);
      break;
    case cr256Colors:
      Target.SetBitCountNum(2);
      CreateOptimizedPalette(Target, Source, 252, true);
      break;
    case crTrueColor: Target.SetBitCountNum(3); break;
  }
}
