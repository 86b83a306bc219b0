// Palette of a pixel graphic: entries, named palettes and their recognition.
#include <cmath>

#include "langstr.h"
#include "namedpalettes.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"

void TPixelGraphic::PaletteChanged() {
  // The platform palette is rebuilt from the entries on demand.
  FPlatformPaletteStale = true;
  ++FChangeStamp;
  ClearColorCaches();
}

void TPixelGraphic::SetPaletteCount(int32_t n) {
  CompletePendingDrawing();
  if (n < 0) n = 0;
  if (n != PaletteCount()) {
    FPalette.resize(size_t(n), 0);
    FPaletteIdent = n > 0 ? pUnknown : pNone;
    if (!FBitmapInfo.empty()) {
      uint8_t* used = FBitmapInfo.data() + 32;
      used[0] = uint8_t(n);
      used[1] = uint8_t(n >> 8);
      used[2] = uint8_t(n >> 16);
      used[3] = uint8_t(n >> 24);
      WriteColorTable();
    }
  }
  PaletteChanged();
}

TRGB TPixelGraphic::PaletteEntries(int32_t i) const {
  if (FPaletteIdent == pTrueColor) return TRGB(i);
  if (i < 0 || i >= PaletteCount()) throw EPGInvalidPaletteIndex(LangStr(3));
  return FPalette[size_t(i)];
}

void TPixelGraphic::SetPaletteEntries(int32_t i, TRGB c) {
  if (FPaletteIdent == pNone || FPaletteIdent == pTrueColor) throw EPGNoPalette(LangStr(2));
  if (i < 0 || i >= PaletteCount()) throw EPGInvalidPaletteIndex(LangStr(3));
  CompletePendingDrawing();
  FPalette[size_t(i)] = c;
  WriteColorTable();
  FPaletteIdent = pUnknown;
  PaletteChanged();
}

void TPixelGraphic::SetPaletteIdent(TPaletteIdent ident) {
  if (ident == FPaletteIdent) return;
  CompletePendingDrawing();
  switch (ident) {
    case pOptimized252Sys16:
    case pSource: break;
    case pUnknown: FPaletteIdent = pUnknown; break;
    case pNone:
    case pTrueColor:
      SetPaletteCount(0);
      FPaletteIdent = ident;
      break;
    default: {
      const std::vector<TRGB> entries = NamedPaletteEntries(ident);
      SetPaletteCount(int32_t(entries.size()));
      for (size_t i = 0; i < entries.size(); ++i) SetPaletteEntries(int32_t(i), entries[i]);
      FPaletteIdent = ident;
    }
  }
  PaletteChanged();
}

void TPixelGraphic::AssignPalette(const TPixelGraphic& other) {
  SetPaletteCount(other.PaletteCount());
  for (int32_t i = 0; i < other.PaletteCount(); ++i) SetPaletteEntries(i, other.FPalette[size_t(i)]);
  IdentifyPalette();
}

void TPixelGraphic::IdentifyPalette() {
  static constexpr TPaletteIdent candidates[] = {pBlackWhite, pGray4,   pSysGray4,   pGray16,     pGray236,
                                                 pGray256,    pSys16,   pSpecial216, pSpecial125, pSpecial252};
  TPaletteIdent found = FBitCountNum == 3 && FPalette.empty() ? pTrueColor : FPalette.empty() ? pNone : pUnknown;
  for (TPaletteIdent ident : candidates) {
    if (NamedPaletteEntries(ident) == FPalette) {
      found = ident;
      break;
    }
  }
  FPaletteIdent = found;
  FGrayPalette = FBitCountNum != 3;
  for (TRGB c : FPalette)
    if (GetRValue(c) != GetGValue(c) || GetGValue(c) != GetBValue(c)) FGrayPalette = false;
  PaletteChanged();
}
