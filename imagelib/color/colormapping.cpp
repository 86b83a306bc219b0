// Colour mapping onto a palette: the nearest-entry search with a fast path
// for every named palette, and Floyd-Steinberg error diffusion with an error
// limit for the operations that write pictures of 1, 4 or 8 bits.
#include "colormapping.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "graysum.h"
#include "langstr.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "nearest252grid.h"

namespace {

// Candidate cells 8 levels wide: short lists, made for the few thousand
// cells a picture touches.
constexpr int MapCellBits = 5;

int32_t Distance2(TRGB a, TRGB b) {
  const int32_t dr = int32_t(GetRValue(a)) - GetRValue(b);
  const int32_t dg = int32_t(GetGValue(a)) - GetGValue(b);
  const int32_t db = int32_t(GetBValue(a)) - GetBValue(b);
  return dr * dr + dg * dg + db * db;
}

// The first candidate, replaced only by one strictly nearer. The lists are
// ascending, so the smallest of distance and index packed into one key is
// that candidate, found without unpredictable branches.
uint32_t NearestCandidate(const std::vector<TRGB>& palette, const uint8_t* first, const uint8_t* last, TRGB c) {
  int32_t best = INT32_MAX;
  for (const uint8_t* p = first; p != last; ++p) best = std::min(best, Distance2(palette[*p], c) << 8 | *p);
  return uint32_t(best & 0xFF);
}

// Candidates of the system colours per cell 16 (r div 64) + 4 (g div 64) +
// (b div 64), ascending; unused slots repeat the last candidate.
constexpr uint8_t Sys16Cells[64][3] = {
    {0, 0, 0},   {4, 4, 4},    {4, 4, 4},    {12, 12, 12},  // r 0, g 0
    {2, 2, 2},   {6, 6, 6},    {6, 6, 6},    {6, 12, 12},   // r 0, g 1
    {2, 2, 2},   {6, 6, 6},    {6, 6, 6},    {6, 14, 14},   // r 0, g 2
    {10, 10, 10}, {6, 10, 10}, {6, 14, 14},  {14, 14, 14},  // r 0, g 3
    {1, 1, 1},   {5, 5, 5},    {5, 5, 5},    {5, 12, 12},   // r 1, g 0
    {3, 3, 3},   {8, 8, 8},    {8, 8, 8},    {8, 12, 12},   // r 1, g 1
    {3, 3, 3},   {8, 8, 8},    {8, 8, 8},    {7, 8, 14},    // r 1, g 2
    {3, 10, 10}, {8, 10, 10},  {7, 8, 14},   {7, 14, 14},   // r 1, g 3
    {1, 1, 1},   {5, 5, 5},    {5, 5, 5},    {5, 13, 13},   // r 2, g 0
    {3, 3, 3},   {8, 8, 8},    {8, 8, 8},    {7, 8, 13},    // r 2, g 1
    {3, 3, 3},   {8, 8, 8},    {7, 8, 8},    {7, 7, 7},     // r 2, g 2
    {3, 11, 11}, {7, 8, 11},   {7, 7, 7},    {7, 7, 7},     // r 2, g 3
    {9, 9, 9},   {5, 9, 9},    {5, 13, 13},  {13, 13, 13},  // r 3, g 0
    {3, 9, 9},   {8, 9, 9},    {7, 8, 13},   {7, 13, 13},   // r 3, g 1
    {3, 11, 11}, {7, 8, 11},   {7, 7, 7},    {7, 7, 7},     // r 3, g 2
    {11, 11, 11}, {7, 11, 11}, {7, 7, 7},    {7, 15, 15},   // r 3, g 3
};

uint32_t NearestSys16(const std::vector<TRGB>& palette, TRGB c) {
  const uint8_t* cell = Sys16Cells[16 * (GetRValue(c) >> 6) + 4 * (GetGValue(c) >> 6) + (GetBValue(c) >> 6)];
  return NearestCandidate(palette, cell, cell + 3, c);
}

uint32_t NearestSpecial252(const std::vector<TRGB>& palette, TRGB c) {
  const int cell = Special252Cell(GetRValue(c), GetGValue(c), GetBValue(c));
  return NearestCandidate(palette, Special252Candidates + Special252CellStart[cell],
                          Special252Candidates + Special252CellStart[cell + 1], c);
}

// Levels of the 236 grays: 51 i / 47 rounded (never a half).
constexpr int Gray236Level(int i) { return (102 * i + 47) / 94; }

// For every gray sum the gray level nearest to a third of it, lowest index on ties.
constexpr std::array<uint8_t, 766> MakeGray236Table() {
  std::array<uint8_t, 766> table{};
  int i = 0;
  for (int s = 0; s < 766; ++s) {
    const auto gap = [s](int level) {
      const int d = 3 * Gray236Level(level) - s;
      return d < 0 ? -d : d;
    };
    while (i < 235 && gap(i + 1) < gap(i)) ++i;
    table[size_t(s)] = uint8_t(i);
  }
  return table;
}
constexpr std::array<uint8_t, 766> Gray236Table = MakeGray236Table();

uint32_t NearestSpecial125(TRGB c) {
  const auto level = [](int v) { return ((v == 224 ? 225 : v) + 31) / 64; };
  return uint32_t(25 * level(GetRValue(c)) + 5 * level(GetGValue(c)) + level(GetBValue(c)));
}

uint32_t NearestSpecial216(TRGB c) {
  // Plus 24, not 25: the values just above a midpoint go to the lower level.
  const auto level = [](int v) { return (v + 24) / 51; };
  return uint32_t(36 * level(GetRValue(c)) + 6 * level(GetGValue(c)) + level(GetBValue(c)));
}

uint32_t NearestSysGray4(int s) { return s <= 192 ? 0 : s <= 480 ? 1 : s <= 670 ? 2 : 3; }

// The colour of an index beyond the entries: the value itself without a
// palette; black for an empty palette, as its colour table shows it.
TRGB IndexColorBeyondPalette(const std::vector<TRGB>& palette, TPaletteIdent ident, uint32_t index) {
  if (ident == pTrueColor) return index;
  if (palette.empty()) return 0;
  throw EPGInvalidPaletteIndex(LangStr(3));
}

TRGB IndexColor(const std::vector<TRGB>& palette, TPaletteIdent ident, uint32_t index) {
  return index < palette.size() ? palette[index] : IndexColorBeyondPalette(palette, ident, index);
}

// Error weights of Floyd and Steinberg in sixteenths: 7 ahead in this row;
// 3 behind, 5 below and 1 ahead in the next row.
void SpreadError(int32_t* current, int32_t* next, int ahead, int32_t d) {
  current[ahead] += 7 * d;
  next[-ahead] += 3 * d;
  next[0] += 5 * d;
  next[ahead] += d;
}

int ClampChannel(int v) { return std::clamp(v, 0, 255); }

}  // namespace

uint32_t FullNearestSearch(const std::vector<TRGB>& palette, TRGB c) {
  // Distance and index in one key: the smallest key is the lowest index
  // among the nearest entries.
  const auto key = [&](size_t i) { return int64_t(Distance2(palette[i], c)) << 32 | int64_t(i); };
  if (palette.empty()) return 0;
  int64_t best = key(0);
  for (size_t i = 1; i < palette.size(); ++i) best = std::min(best, key(i));
  return uint32_t(best & 0xFFFFFFFF);
}

TUnknownPaletteTable::TUnknownPaletteTable(const std::vector<TRGB>& palette) {
  // Radius by radius, so that a cell goes to the entry whose cell is fewest
  // steps away, and among those to the lowest index.
  for (int radius = 0; radius <= SeedRadius; ++radius)
    for (size_t e = 0; e < palette.size() && e < MaxEntries; ++e) SeedSurface(palette[e], radius, uint8_t(e));
}

void TUnknownPaletteTable::Claim(int cell, uint8_t index) {
  uint8_t& known = FKnown[size_t(cell) >> 3];
  const uint8_t bit = uint8_t(1 << (cell & 7));
  if (known & bit) return;
  known |= bit;
  FIndex[size_t(cell)] = index;
}

void TUnknownPaletteTable::SeedSurface(TRGB entry, int radius, uint8_t index) {
  const int r0 = GetRValue(entry) >> 3, g0 = GetGValue(entry) >> 2, b0 = GetBValue(entry) >> 3;
  for (int dr = -radius; dr <= radius; ++dr) {
    const int r = r0 + dr;
    if (r < 0 || r > 31) continue;
    for (int dg = -radius; dg <= radius; ++dg) {
      const int g = g0 + dg;
      if (g < 0 || g > 63) continue;
      // Off the red and green faces only the two blue faces are on the surface.
      const bool onFace = std::abs(dr) == radius || std::abs(dg) == radius;
      const int step = onFace ? 1 : 2 * radius;
      for (int db = -radius; db <= radius; db += step) {
        const int b = b0 + db;
        if (b >= 0 && b <= 31) Claim(r * 2048 + g * 32 + b, index);
      }
    }
  }
}

int AutoDitherErrorLimit(TPaletteIdent ident) {
  switch (ident) {
    case pBlackWhite: return 255;
    case pSysGray4:
    case pSys16:
    case pGray4: return 128;
    case pGray236: return 3;
    case pGray256: return 2;
    case pSpecial125:
    case pSpecial252: return 104;
    case pSpecial216: return 86;
    default: return 32;
  }
}

TDitherLimitTable DitherLimitTable(int b, bool soft) {
  b = std::clamp(b, 0, 255);
  std::array<int32_t, 256> positive{};
  for (int i = 0; i <= 255; ++i) positive[size_t(i)] = std::min(i, b);
  if (soft)
    for (int i = b / 2; i <= 3 * b / 2 && i < 255; ++i) positive[size_t(i)] = i / 2 + b / 4;
  TDitherLimitTable table{};
  for (int i = 0; i <= 255; ++i) {
    table[size_t(255 + i)] = positive[size_t(i)];
    table[size_t(255 - i)] = -positive[size_t(i)];
  }
  return table;
}

TDitherState::TDitherState(int32_t width, const TDitherLimitTable& limits, bool gray)
    : FWidth(width), FGray(gray), FLimitedError(2 * MaxAccumulator + 1), FRows(2 * 3 * (size_t(width) + 2), 0) {
  for (int32_t a = -MaxAccumulator; a <= MaxAccumulator; ++a)
    FLimitedError[size_t(a + MaxAccumulator)] = int16_t(limits[size_t(DitherRoundedError(a) + 255)]);
  FCurrent = FRows.data();
  FNext = FRows.data() + 3 * (size_t(width) + 2);
}

void TDitherState::RowStart() {
  std::swap(FCurrent, FNext);
  std::fill(FNext, FNext + 3 * (size_t(FWidth) + 2), 0);
}

uint32_t TPixelGraphic::NearestIndex(TRGB c) {
  if (!FNearestCache) FNearestCache = std::make_unique<TNearestCache>();
  TNearestCache& cache = *FNearestCache;
  if (!cache.Stale && c == cache.Color) return cache.Index;

  const auto gray = [&] { return GraySum(c, FRGBWeighting); };
  uint32_t index;
  switch (FPaletteIdent) {
    case pNone: throw EPGNoPalette(LangStr(2));
    case pTrueColor: index = c; break;
    case pBlackWhite: index = uint32_t((gray() + 1) / 384); break;
    case pSysGray4: index = NearestSysGray4(gray()); break;
    case pSys16: index = NearestSys16(FPalette, c); break;
    case pGray4: index = uint32_t((gray() + 127) / 255); break;
    case pGray16: index = uint32_t((gray() + 25) / 51); break;
    case pGray236: index = Gray236Table[size_t(gray())]; break;
    case pGray256: index = uint32_t((gray() + 1) / 3); break;
    case pSpecial125: index = NearestSpecial125(c); break;
    case pSpecial216: index = NearestSpecial216(c); break;
    case pSpecial252: index = NearestSpecial252(FPalette, c); break;
    default:
      if (FFastUnknownPalette && FPalette.size() <= TUnknownPaletteTable::MaxEntries) {
        if (!cache.UnknownTable) cache.UnknownTable = std::make_unique<TUnknownPaletteTable>(FPalette);
        index = cache.UnknownTable->Nearest(FPalette, c);
      } else if (!FPalette.empty() && FPalette.size() <= TNearestCandidates::MaxEntries) {
        // The same answers as the full search, from a few candidates.
        if (!cache.Candidates) cache.Candidates = std::make_unique<TNearestCandidates>(FPalette, MapCellBits);
        index = cache.Candidates->Nearest(c);
      } else {
        index = FullNearestSearch(FPalette, c);
      }
  }
  // Only a found index makes the cache valid again, so that a failed search
  // never leaves an answer of the previous palette behind.
  cache.Color = c;
  cache.Index = index;
  cache.Stale = false;
  return index;
}

void TPixelGraphic::ClearColorCaches() {
  if (!FNearestCache) return;
  FNearestCache->Stale = true;
  FNearestCache->UnknownTable.reset();
  FNearestCache->Candidates.reset();
}

void TPixelGraphic::DitherStart() {
  bool gray = true;
  for (TRGB c : FPalette)
    if (GetRValue(c) != GetGValue(c) || GetGValue(c) != GetBValue(c)) gray = false;
  SetGrayPalette(gray);
  const int limit = FDitherErrorLimitAuto ? AutoDitherErrorLimit(FPaletteIdent) : FDitherErrorLimit;
  const bool soft = FDitherErrorLimitAuto || FDitherErrorLimitSoft;
  try {
    FDitherState = std::make_unique<TDitherState>(FWidth, DitherLimitTable(limit, soft), gray);
  } catch (const std::bad_alloc&) {
    throw EPixelGraphic(LangStr1(31, "DitherStart"));
  }
}

void TPixelGraphic::DitherRowStart() {
  if (FDitherState) FDitherState->RowStart();
}

void TPixelGraphic::DitherEnd() { FDitherState.reset(); }

void TPixelGraphic::WriteDitheredPixel(int32_t x, int32_t y, int red, int green, int blue) {
  red = ClampChannel(red);
  green = ClampChannel(green);
  blue = ClampChannel(blue);
  if (!FDitherState) {
    SetPixelColor(x, y, RGB(uint32_t(red), uint32_t(green), uint32_t(blue)));
    return;
  }
  TDitherState& state = *FDitherState;
  if (!InRange(x, y) || !Bits() || x >= state.Width()) {
    if (FXYRangeCheck) RangeError();
    return;
  }
  // Serpentine rows: even rows run to the right, odd rows to the left.
  const int ahead = (y & 1) ? -3 : 3;
  int32_t* current = state.Current(x);
  int32_t* next = state.Next(x);
  const auto adjusted = [&](int value, int32_t accumulator) {
    return ClampChannel(value + state.LimitedError(accumulator));
  };
  // The position is checked already; 8 bits, the common depth, is stored directly.
  const auto store = [&](uint32_t index) {
    if (FBitCountNum == 2)
      ScanLine(y)[x] = uint8_t(index);
    else
      SetPixel(x, y, index);
  };

  if (state.Gray()) {
    const int v = adjusted(GraySum(red, green, blue, FRGBWeighting) / 3, current[1]);
    const uint32_t index = NearestIndex(RGB(uint32_t(v), uint32_t(v), uint32_t(v)));
    store(index);
    SpreadError(current + 1, next + 1, ahead, v - GetGValue(IndexColor(FPalette, FPaletteIdent, index)));
    return;
  }
  const int vr = adjusted(red, current[0]);
  const int vg = adjusted(green, current[1]);
  const int vb = adjusted(blue, current[2]);
  const uint32_t index = NearestIndex(RGB(uint32_t(vr), uint32_t(vg), uint32_t(vb)));
  store(index);
  const TRGB p = IndexColor(FPalette, FPaletteIdent, index);
  SpreadError(current, next, ahead, vr - GetRValue(p));
  SpreadError(current + 1, next + 1, ahead, vg - GetGValue(p));
  SpreadError(current + 2, next + 2, ahead, vb - GetBValue(p));
}
