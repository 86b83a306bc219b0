#pragma once
// Nearest-colour search caches and error-diffusion state of a pixel graphic,
// and the pieces of both that stand on their own.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "nearestcandidates.h"
#include "pgtypes.h"

// The entry nearest to c by squared Euclidean distance, the lowest index on
// ties; 0 for an empty palette, which has no nearest entry.
uint32_t FullNearestSearch(const std::vector<TRGB>& palette, TRGB c);

// Nearest entries of a palette without a closed-form search, one per cell of
// a 32 x 64 x 32 grid (red div 8, green div 4, blue div 8). The cells up to
// four steps around each entry are seeded when the table is built; every
// other cell is filled by a full search the first time a colour falls in it.
class TUnknownPaletteTable {
public:
  static constexpr int CellCount = 32 * 64 * 32;
  static constexpr int SeedRadius = 4;
  // Cells hold byte indices; larger palettes are always searched in full.
  static constexpr size_t MaxEntries = 256;

  explicit TUnknownPaletteTable(const std::vector<TRGB>& palette);

  static int Cell(TRGB c) { return (GetRValue(c) >> 3) * 2048 + (GetGValue(c) >> 2) * 32 + (GetBValue(c) >> 3); }
  bool Known(int cell) const { return (FKnown[size_t(cell) >> 3] >> (cell & 7)) & 1; }
  // The index of c's cell; an unknown cell is searched for c and remembered.
  uint32_t Nearest(const std::vector<TRGB>& palette, TRGB c) {
    const int cell = Cell(c);
    if (!Known(cell)) Claim(cell, uint8_t(FullNearestSearch(palette, c)));
    return FIndex[size_t(cell)];
  }

private:
  void Claim(int cell, uint8_t index);
  void SeedSurface(TRGB entry, int radius, uint8_t index);

  std::array<uint8_t, CellCount> FIndex{};
  std::array<uint8_t, CellCount / 8> FKnown{};
};

class TNearestCache {
public:
  // The last search: valid only while not stale.
  TRGB Color = 0;
  uint32_t Index = 0;
  bool Stale = true;
  // Built on the first search of a pUnknown palette that needs it.
  std::unique_ptr<TUnknownPaletteTable> UnknownTable;
  std::unique_ptr<TNearestCandidates> Candidates;
};

// Limit of the error added to a channel, indexed by error + 255.
using TDitherLimitTable = std::array<int32_t, 511>;

// The limit chosen for a palette when the limit is automatic.
int AutoDitherErrorLimit(TPaletteIdent ident);
// Identity up to the limit b and b beyond; soft gives a knee of slope one
// half from b div 2 to 3b div 2 instead of the sharp corner.
TDitherLimitTable DitherLimitTable(int b, bool soft);

// An accumulated error in sixteenths, rounded half away from zero.
constexpr int DitherRoundedError(int32_t a) { return a >= 0 ? (a + 8) / 16 : -((-a + 8) / 16); }

// Two rows of red, green and blue error accumulators, for x from -1 to width
// so that the edge pixels spread their error without tests.
class TDitherState {
public:
  // Largest accumulator value: sixteen sixteenths of a full channel.
  static constexpr int32_t MaxAccumulator = 16 * 255;

  TDitherState(int32_t width, const TDitherLimitTable& limits, bool gray);

  int32_t Width() const { return FWidth; }
  bool Gray() const { return FGray; }
  // The limited error of an accumulator: rounding and limit in one lookup.
  int32_t LimitedError(int32_t accumulator) const {
    return FLimitedError[size_t(std::clamp(accumulator, -MaxAccumulator, MaxAccumulator) + MaxAccumulator)];
  }
  int32_t* Current(int32_t x) { return FCurrent + 3 * (int64_t(x) + 1); }
  int32_t* Next(int32_t x) { return FNext + 3 * (int64_t(x) + 1); }
  // The next row becomes the current one, and a cleared row the next.
  void RowStart();

private:
  int32_t FWidth;
  bool FGray;
  std::vector<int16_t> FLimitedError;
  std::vector<int32_t> FRows;
  int32_t* FCurrent;
  int32_t* FNext;
};
