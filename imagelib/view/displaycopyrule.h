#pragma once
// When an image view shows its picture through a display copy, and what
// that copy looks like: reduced to the screen's colours, resampled to the
// displayed size, or both.

#include <cstdint>

#include "pgimagelayout.h"
#include "pgtypes.h"

struct TPGDisplayCopyQuestion {
  int ScreenBits = 24;
  // 0 without a picture.
  int PictureBits = 0;
  TPaletteIdent PictureIdent = pTrueColor;
  TStretchMode StretchMode = smFast;
  bool ReduceOnLoad = false;
  bool StaleFlag = false;
  TPGSize Picture, Displayed, LastCopy;
  TPaletteIdent Palette8BitSys8BitGraphic = pOptimized252Sys16;
};

struct TPGDisplayCopyAnswer {
  bool Stale = false;
  bool Needed = false;
  // The displayed size differs from the picture's and the mode resamples.
  bool Resized = false;
};

TPGDisplayCopyAnswer DisplayCopyNeeded(const TPGDisplayCopyQuestion& q);

// The colours of a new display copy. Palette is a named palette to set,
// or pNone when the copy's palette comes from Optimized or SourcePalette
// (or it has none, at 24 bits).
struct TPGDisplayCopyFormat {
  uint8_t BitCountNum = 3;
  TPaletteIdent Palette = pNone;
  bool Optimized = false;
  bool SourcePalette = false;
};

// HelpBits: bits per pixel of the picture that is reduced (the picture, or
// its resampled 24-bit help copy).
TPGDisplayCopyFormat DisplayCopyFormat(int ScreenBits, int HelpBits, TPaletteIdent Palette8BitSys24BitGraphic,
                                       TPaletteIdent Palette8BitSys8BitGraphic);

// Whether the picture is first resampled into a 24-bit help copy of the
// displayed size before it is reduced to an 8-bit screen's palette.
bool DisplayCopyResamplesFirst(int ScreenBits, bool Allow24BitStretch, bool Resized,
                               TPaletteIdent Palette8BitSys24BitGraphic);
