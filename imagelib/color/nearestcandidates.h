#pragma once
// Exact nearest-entry search of a palette through a grid over the colour
// cube. Each cell lists the entries that can be nearest to some colour in
// it: an entry whose shortest distance to the cell exceeds the longest
// distance of another entry from the cell never is. The lists are made on
// the first search in a cell and keep ascending index order, so a search
// finds the entry a search of the whole palette finds, the lowest index
// among equally near ones.

#include <cstdint>
#include <vector>

#include "pgtypes.h"

class TNearestCandidates {
public:
  // Indices are stored in 16 bits.
  static constexpr size_t MaxEntries = 65536;

  // Cells are 2^(8 - CellBits) levels wide along each channel. Colours
  // that need not be whole reach up to the next cell's first level, which
  // makes the lists a little longer. The palette must not be empty.
  TNearestCandidates(const std::vector<TRGB>& Palette, int CellBits, bool WholeColors = true);

  // Nearest entry to (r, g, b) by squared distance; channels are 0..255.
  template <typename T>
  uint32_t Nearest(T r, T g, T b) {
    const TList& list = List(int(r), int(g), int(b));
    const uint16_t* candidate = FIndices.data() + list.First;
    uint32_t best = candidate[0];
    T bestDistance = Distance2(r, g, b, best);
    for (uint32_t i = 1; i < list.Count; ++i) {
      const T d = Distance2(r, g, b, candidate[i]);
      if (d < bestDistance) {
        bestDistance = d;
        best = candidate[i];
      }
    }
    return best;
  }
  uint32_t Nearest(TRGB c) { return Nearest<int32_t>(GetRValue(c), GetGValue(c), GetBValue(c)); }

private:
  struct TList {
    uint32_t First = 0;
    uint32_t Count = 0;  // 0: not made yet
  };

  template <typename T>
  T Distance2(T r, T g, T b, uint32_t entry) const {
    const TRGB e = FPalette[entry];
    const T dr = r - T(GetRValue(e)), dg = g - T(GetGValue(e)), db = b - T(GetBValue(e));
    return dr * dr + dg * dg + db * db;
  }
  const TList& List(int r, int g, int b) {
    const int shift = 8 - FCellBits;
    TList& list = FLists[size_t(((r >> shift) << (2 * FCellBits)) | ((g >> shift) << FCellBits) | (b >> shift))];
    if (list.Count == 0) Make(list, r >> shift, g >> shift, b >> shift);
    return list;
  }
  void Make(TList& list, int cellR, int cellG, int cellB);

  const std::vector<TRGB> FPalette;
  int FCellBits;
  int FReach;
  std::vector<TList> FLists;
  std::vector<uint16_t> FIndices;
  std::vector<int32_t> FShortest;
};
