#include "displaycopyrule.h"

TPGDisplayCopyAnswer DisplayCopyNeeded(const TPGDisplayCopyQuestion& q) {
  TPGDisplayCopyAnswer a;
  const int b = q.ScreenBits, p = q.PictureBits;
  a.Stale = q.StaleFlag || (q.StretchMode != smFast && !q.ReduceOnLoad && !(q.Displayed == q.LastCopy));
  if (p == 0) return a;
  a.Resized = q.StretchMode != smFast && !(q.Displayed == q.Picture);
  a.Needed = (b < p && b <= 8) || a.Resized;
  if (p <= 8 && b <= 8 && !a.Needed) {
    if (b == 4)
      a.Needed = q.PictureIdent != pSys16 && (!q.ReduceOnLoad || a.Stale);
    else if (q.Palette8BitSys8BitGraphic != pSource && q.Palette8BitSys8BitGraphic != q.PictureIdent)
      a.Needed = !q.ReduceOnLoad || a.Stale;
  }
  return a;
}

TPGDisplayCopyFormat DisplayCopyFormat(int ScreenBits, int HelpBits, TPaletteIdent Palette8BitSys24BitGraphic,
                                       TPaletteIdent Palette8BitSys8BitGraphic) {
  TPGDisplayCopyFormat f;
  if (ScreenBits <= 7) return {1, pSys16, false, false};
  if (ScreenBits > 8) return f;
  f.BitCountNum = 2;
  const auto named = [](TPaletteIdent p) { return p >= pBlackWhite && p <= pSpecial252; };
  if (HelpBits == 24) {
    if (named(Palette8BitSys24BitGraphic))
      f.Palette = Palette8BitSys24BitGraphic;
    else
      f.Optimized = true;
  } else if (named(Palette8BitSys8BitGraphic)) {
    f.Palette = Palette8BitSys8BitGraphic;
  } else if (Palette8BitSys8BitGraphic == pOptimized252Sys16) {
    f.Optimized = true;
  } else if (Palette8BitSys8BitGraphic == pSource) {
    f.SourcePalette = true;
  }
  return f;
}

bool DisplayCopyResamplesFirst(int ScreenBits, bool Allow24BitStretch, bool Resized,
                               TPaletteIdent Palette8BitSys24BitGraphic) {
  return Allow24BitStretch && Resized && ScreenBits == 8 && Palette8BitSys24BitGraphic == pOptimized252Sys16;
}
