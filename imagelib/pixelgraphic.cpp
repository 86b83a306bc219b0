#include "pixelgraphic.h"

#include <cstring>
#include <new>

#include "byteorder.h"
#include "langstr.h"
#include "pglibrary.h"
#include "pgexceptions.h"
// The colour caches this graphic owns are laid out by the colour mapping
// (the one upward link of the core, see imagelib/CMakeLists.txt).
#include "color/colormapping.h"

// Set by the application at start, before any thread runs. 2.2 is the gamma
// of sRGB, which today's screens and files have.
long double ScreenGamma = 2.2L;

uint8_t BitCountToNum(int bitCount) {
  switch (bitCount) {
    case 1: return 0;
    case 4: return 1;
    case 8: return 2;
    case 24: return 3;
  }
  throw EPGInvalidBitCountNum(LangStr1(20, "BitCountNum"));
}

int NumToBitCount(uint8_t bitCountNum) {
  static constexpr int bits[4] = {1, 4, 8, 24};
  if (bitCountNum > 3) throw EPGInvalidBitCountNum(LangStr1(20, "BitCountNum"));
  return bits[bitCountNum];
}

int PaletteCapacity(uint8_t bitCountNum) {
  static constexpr int capacity[4] = {2, 16, 256, 0};
  if (bitCountNum > 3) throw EPGInvalidBitCountNum(LangStr1(20, "BitCountNum"));
  return capacity[bitCountNum];
}

TPixelGraphic::TPixelGraphic() : FGamma(ScreenGamma) { PGLibraryStart(); }

TPixelGraphic::~TPixelGraphic() = default;

void TPixelGraphic::CompleteDrawingNow() const {
  FNeedsFlush = false;
  // Completing writes the drawing into this graphic's own memory.
  if (FPlatformData) FPlatformData->CompleteDrawing(const_cast<TPixelGraphic&>(*this));
}

void TPixelGraphic::SetWidth(int32_t w) {
  if (w != FWidth) SetSize(w, FHeight, FBitCountNum);
}

void TPixelGraphic::SetHeight(int32_t h) {
  if (h != FHeight) SetSize(FWidth, h, FBitCountNum);
}

void TPixelGraphic::SetBitCountNum(uint8_t n) {
  if (n != FBitCountNum) SetSize(FWidth, FHeight, n);
}

void TPixelGraphic::SetSize(int32_t w, int32_t h, uint8_t n) {
  if (w < 0) throw EPGInvalidSize(LangStr(22));
  if (h < 0) throw EPGInvalidSize(LangStr(21));
  const int bitCount = NumToBitCount(n);
  CompletePendingDrawing();
  if (w == FWidth && h == FHeight && n == FBitCountNum) {
    Clear();
    return;
  }
  FWidth = w;
  FHeight = h;
  FBitCountNum = n;
  FBits.reset();
  FBitmapInfo.clear();
  FStride = ((int64_t(bitCount) * w + 31) / 32) * 4;
  // A product past 64 bits is no smaller a picture: it is refused below.
  FImageSize = h > 0 && FStride > MaxImageSize / h ? MaxImageSize + 1 : FStride * h;
  if (FImageSize > 0) {
    const int capacity = PaletteCapacity(n);
    if (capacity < PaletteCount()) SetPaletteCount(capacity);
    if (n == 3 && FPaletteIdent != pTrueColor) {
      FPaletteIdent = pTrueColor;
      PaletteChanged();
    }
    BuildBitmapInfo();
    // A size beyond what the picture may address fails like a refused allocation.
    uint8_t* memory = FImageSize <= MaxImageSize ? static_cast<uint8_t*>(std::calloc(size_t(FImageSize), 1)) : nullptr;
    if (!memory) {
      FBitmapInfo.clear();
      throw EPGOutOfMemory(LangStr1(31, "CreateDIBSection"));
    }
    FBits.reset(memory);
  }
  Changed();
}

void TPixelGraphic::BuildBitmapInfo() {
  const int capacity = PaletteCapacity(FBitCountNum);
  FBitmapInfo.assign(size_t(BitmapInfoHeaderSize + 4 * capacity), 0);
  uint8_t* h = FBitmapInfo.data();
  PutLE32(h, BitmapInfoHeaderSize);
  PutLE32(h + 4, uint32_t(FWidth));
  PutLE32(h + 8, uint32_t(FHeight));
  PutLE16(h + 12, 1);
  PutLE16(h + 14, uint32_t(BitCount()));
  PutLE32(h + 16, 0);
  PutLE32(h + 20, uint32_t(FImageSize));
  PutLE32(h + 32, uint32_t(capacity));
  WriteColorTable();
}

void TPixelGraphic::WriteColorTable() {
  if (FBitmapInfo.empty()) return;
  const int capacity = PaletteCapacity(FBitCountNum);
  const TRGB filler = FPalette.empty() ? 0 : FPalette[0];
  for (int i = 0; i < capacity; ++i) {
    const TRGB c = i < PaletteCount() ? FPalette[size_t(i)] : filler;
    uint8_t* e = FBitmapInfo.data() + BitmapInfoHeaderSize + 4 * i;
    e[0] = GetBValue(c);
    e[1] = GetGValue(c);
    e[2] = GetRValue(c);
    e[3] = 0;
  }
}

void TPixelGraphic::Clear() {
  CompletePendingDrawing();
  if (!FBits) return;
  if (FBackGroundPixel == 0) {
    std::memset(FBits.get(), 0, size_t(FImageSize));
  } else if (FBitCountNum == 2) {
    for (int32_t y = 0; y < FHeight; ++y) std::memset(ScanLine(y), int(FBackGroundPixel & 0xFF), size_t(FWidth));
  } else {
    for (int32_t y = 0; y < FHeight; ++y)
      for (int32_t x = 0; x < FWidth; ++x) SetPixel(x, y, FBackGroundPixel);
  }
  Changed();
}

void TPixelGraphic::RangeError() const { throw EPGXYIndexOutOfRange(LangStr(1)); }

uint32_t TPixelGraphic::GetPixel(int32_t x, int32_t y) const {
  if (!InRange(x, y) || !FBits) {
    if (FXYRangeCheck) RangeError();
    return FBackGroundPixel;
  }
  const uint8_t* row = ScanLine(y);
  if (FBitCountNum < 3) return StoredIndex(row, x, FBitCountNum);
  const uint8_t* p = row + 3 * int64_t(x);
  return RGB(p[2], p[1], p[0]);
}

void TPixelGraphic::SetPixel(int32_t x, int32_t y, uint32_t v) {
  if (!InRange(x, y) || !FBits) {
    if (FXYRangeCheck) RangeError();
    return;
  }
  uint8_t* row = ScanLine(y);
  switch (FBitCountNum) {
    case 0: {
      const uint8_t mask = uint8_t(0x80 >> (x & 7));
      if (v == 1)
        row[x >> 3] |= mask;
      else
        row[x >> 3] &= uint8_t(~mask);
      break;
    }
    case 1: {
      uint8_t& b = row[x >> 1];
      b = (x & 1) ? uint8_t((b & 0xF0) | (v & 0x0F)) : uint8_t((b & 0x0F) | ((v & 0x0F) << 4));
      break;
    }
    case 2: row[x] = uint8_t(v); break;
    default: {
      uint8_t* p = row + 3 * int64_t(x);
      p[0] = GetBValue(v);
      p[1] = GetGValue(v);
      p[2] = GetRValue(v);
    }
  }
}

TRGB TPixelGraphic::GetPixelColor(int32_t x, int32_t y) const {
  const uint32_t v = GetPixel(x, y);
  return FBitCountNum == 3 ? v : PaletteEntries(int32_t(v));
}

void TPixelGraphic::SetPixelColor(int32_t x, int32_t y, TRGB c) {
  SetPixel(x, y, FBitCountNum == 3 ? c : NearestIndex(c));
}

TRGB TPixelGraphic::BackGroundColor() const {
  return FBitCountNum == 3 ? FBackGroundPixel : PaletteEntries(int32_t(FBackGroundPixel));
}

void TPixelGraphic::SetBackGroundColor(TRGB c) { FBackGroundPixel = FBitCountNum == 3 ? c : NearestIndex(c); }

void TPixelGraphic::SetFastUnknownPalette(bool v) {
  if (v == FFastUnknownPalette) return;
  FFastUnknownPalette = v;
  ClearColorCaches();
  Changed();
}

void TPixelGraphic::SetRGBWeighting(bool v) {
  if (v == FRGBWeighting) return;
  FRGBWeighting = v;
  ClearColorCaches();
}

void TPixelGraphic::Assign(const TPixelGraphic* src) {
  if (src == this) return;
  BeginUpdate();
  struct EndGuard {
    TPixelGraphic* g;
    ~EndGuard() { g->EndUpdate(); }
  } guard{this};
  if (!src) {
    SetSize(0, 0, 3);
    return;
  }
  src->CompletePendingDrawing();
  SetSize(src->FWidth, src->FHeight, src->FBitCountNum);
  if (FBits && src->FBits) std::memcpy(FBits.get(), src->FBits.get(), size_t(FImageSize));
  SetPaletteIdent(src->FPaletteIdent);
  SetPaletteCount(src->PaletteCount());
  FBackGroundPixel = src->FBackGroundPixel;
  FDither = src->FDither;
  FDitherErrorLimit = src->FDitherErrorLimit;
  FDitherErrorLimitAuto = src->FDitherErrorLimitAuto;
  FDitherErrorLimitSoft = src->FDitherErrorLimitSoft;
  FFastUnknownPalette = src->FFastUnknownPalette;
  FGamma = src->FGamma;
  FRGBWeighting = src->FRGBWeighting;
  FStretchMode = src->FStretchMode;
  FReadWarningAction = src->FReadWarningAction;
  FXYRangeCheck = src->FXYRangeCheck;
  FSaveColorResWarningAction = src->FSaveColorResWarningAction;
  FOrientation = src->FOrientation;
  FExifBlock = src->FExifBlock;
  for (int32_t i = 0; i < src->PaletteCount(); ++i) SetPaletteEntries(i, src->FPalette[size_t(i)]);
  IdentifyPalette();
}

void TPixelGraphic::EndUpdate() {
  --FUpdateCount;
  Changed();
}

void TPixelGraphic::Changed() {
  ++FChangeStamp;
  if (FUpdateCount == 0 && OnChange) OnChange(this);
}

void TPixelGraphic::ProgressStart() {
  if (OnProgressStart) OnProgressStart(this);
}

bool TPixelGraphic::Progress(int step, int max) {
  bool abort = false;
  if (OnProgress) OnProgress(this, step, max, abort);
  return abort;
}

void TPixelGraphic::ProgressEnd() {
  if (OnProgressEnd) OnProgressEnd(this);
}
