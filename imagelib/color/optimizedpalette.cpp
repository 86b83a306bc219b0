#include "optimizedpalette.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "boxsplitting.h"
#include "coloroctree.h"
#include "histogram565.h"
#include "namedpalettes.h"

namespace {

// Calls countRow for each row of Source, reporting progress on Target.
template <typename TCountRow>
void CountRows(TPixelGraphic& Target, const TPixelGraphic& Source, TCountRow countRow) {
  const int32_t height = Source.GetHeight();
  Target.ProgressStart();
  for (int32_t y = 0; y < height; ++y) {
    countRow(Source.ScanLine(y));
    if (Target.Progress(y, height - 1)) break;
  }
  Target.ProgressEnd();
}

std::vector<TRGB> HistogramColors(TPixelGraphic& Target, const TPixelGraphic& Source, int32_t maxColors) {
  // Too large for the stack of a display thread.
  auto histogram = std::make_unique<THistogram565>();
  const int32_t width = Source.GetWidth();
  CountRows(Target, Source, [&](const uint8_t* row) { histogram->AddRow(row, width); });
  return SplitHistogramBoxes(*histogram, maxColors);
}

std::vector<TRGB> OctreeColors(TPixelGraphic& Target, const TPixelGraphic& Source, int32_t maxColors) {
  std::array<uint64_t, 256> counts{};
  const int32_t width = Source.GetWidth();
  switch (Source.BitCountNum()) {
    case 0:
      CountRows(Target, Source, [&](const uint8_t* row) {
        for (int32_t x = 0; x < width; ++x) ++counts[(row[x >> 3] >> (7 - (x & 7))) & 1];
      });
      break;
    case 1:
      CountRows(Target, Source, [&](const uint8_t* row) {
        for (int32_t x = 0; x < width; ++x) ++counts[x & 1 ? row[x >> 1] & 15 : row[x >> 1] >> 4];
      });
      break;
    default:
      CountRows(Target, Source, [&](const uint8_t* row) {
        for (int32_t x = 0; x < width; ++x) ++counts[row[x]];
      });
  }
  TColorOctree octree(maxColors);
  for (int32_t i = 0; i < 256; ++i)
    if (counts[size_t(i)] > 0) octree.AddColor(Source.PaletteEntries(i), counts[size_t(i)]);
  return octree.Colors();
}

}  // namespace

void CreateOptimizedPalette(TPixelGraphic& Target, const TPixelGraphic& Source, int32_t Size,
                            bool IncludeSystemColors) {
  const int64_t computed = IncludeSystemColors ? int64_t(Size) - 16 : Size;
  if (Source.GetWidth() < 1 || Source.GetHeight() < 1 || Source.GetEmpty() || computed < 1) {
    Target.SetPaletteIdent(pSys16);
    Target.SetPaletteCount(std::min(Size, 16));
    return;
  }
  // Computed before Target's palette is touched, so Source may be Target.
  std::vector<TRGB> colors = Source.BitCountNum() == 3 ? HistogramColors(Target, Source, int32_t(computed))
                                                        : OctreeColors(Target, Source, int32_t(computed));
  if (IncludeSystemColors)
    for (int i = 0; i < 16 && int64_t(colors.size()) < Size; ++i) colors.push_back(SystemColors16[i]);
  Target.SetPaletteCount(0);
  Target.SetPaletteCount(int32_t(colors.size()));
  for (size_t i = 0; i < colors.size(); ++i) Target.SetPaletteEntries(int32_t(i), colors[i]);
}
