#pragma once
// Basic types shared by the whole image library.

#include <cstdint>
#include <functional>

// Colour value: red in bits 0-7, green 8-15, blue 16-23, top byte 0.
using TRGB = uint32_t;

constexpr TRGB RGB(uint32_t r, uint32_t g, uint32_t b) { return r | (g << 8) | (b << 16); }
constexpr uint8_t GetRValue(TRGB c) { return uint8_t(c); }
constexpr uint8_t GetGValue(TRGB c) { return uint8_t(c >> 8); }
constexpr uint8_t GetBValue(TRGB c) { return uint8_t(c >> 16); }

// Gives event senders an identity.
class TObject {
public:
  virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TPGProgressEvent = std::function<void(TObject* Sender, int Step, int Max, bool& Abort)>;

enum TPGWarningAction : uint8_t { pgwaIgnore, pgwaOKBox, pgwaOKCancelBox, pgwaRaise };

enum TStretchMode : uint8_t { smFast, smMedium, smPrecise };

enum TPaletteIdent : uint8_t {
  pNone,
  pTrueColor,
  pUnknown,
  pBlackWhite,
  pSysGray4,
  pSys16,
  pGray4,
  pGray16,
  pGray236,
  pGray256,
  pSpecial125,
  pSpecial216,
  pSpecial252,
  pOptimized252Sys16,
  pSource
};

// Palettes in which the image view shows pictures on 8-bit screens: for 1- to
// 8-bit pictures pBlackWhite to pSource, for 24-bit ones pBlackWhite to
// pOptimized252Sys16.
using TPalette8BitSys8BitGraphic = TPaletteIdent;
using TPalette8BitSys24BitGraphic = TPaletteIdent;
constexpr bool InPalette8BitSys8BitGraphic(TPaletteIdent p) { return p >= pBlackWhite && p <= pSource; }
constexpr bool InPalette8BitSys24BitGraphic(TPaletteIdent p) { return p >= pBlackWhite && p <= pOptimized252Sys16; }
