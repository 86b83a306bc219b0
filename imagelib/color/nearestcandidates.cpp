#include "nearestcandidates.h"

#include <algorithm>
#include <limits>

TNearestCandidates::TNearestCandidates(const std::vector<TRGB>& Palette, int CellBits, bool WholeColors)
    : FPalette(Palette), FCellBits(CellBits), FReach((1 << (8 - CellBits)) - (WholeColors ? 1 : 0)),
      FLists(size_t(1) << (3 * CellBits)), FShortest(Palette.size()) {}

void TNearestCandidates::Make(TList& list, int cellR, int cellG, int cellB) {
  const int width = 1 << (8 - FCellBits);
  const int low[3] = {cellR * width, cellG * width, cellB * width};
  int32_t bound = std::numeric_limits<int32_t>::max();
  for (size_t e = 0; e < FPalette.size(); ++e) {
    const int v[3] = {GetRValue(FPalette[e]), GetGValue(FPalette[e]), GetBValue(FPalette[e])};
    int32_t shortest = 0, longest = 0;
    for (int c = 0; c < 3; ++c) {
      const int high = low[c] + FReach;
      const int outside = v[c] < low[c] ? low[c] - v[c] : v[c] > high ? v[c] - high : 0;
      const int farthest = std::max(v[c] - low[c], high - v[c]);
      shortest += outside * outside;
      longest += farthest * farthest;
    }
    FShortest[e] = shortest;
    bound = std::min(bound, longest);
  }
  list.First = uint32_t(FIndices.size());
  for (size_t e = 0; e < FPalette.size(); ++e)
    if (FShortest[e] <= bound) FIndices.push_back(uint16_t(e));
  list.Count = uint32_t(FIndices.size() - list.First);
}
