#include "boxsplitting.h"

#include <algorithm>

namespace {

// Inclusive cell ranges; extent and volume are valid after Shrink.
struct TColorBox {
  int32_t RedLow, RedHigh;
  int32_t GreenLow, GreenHigh;
  int32_t BlueLow, BlueHigh;
  int32_t Extent;
  int32_t Volume;
};

// Cell widths in colour levels: red and blue cells are 8 wide and weigh 2,
// green cells 4 wide and weigh 3.
int32_t RedSpan(const TColorBox& b) { return 16 * (b.RedHigh - b.RedLow); }
int32_t GreenSpan(const TColorBox& b) { return 12 * (b.GreenHigh - b.GreenLow); }
int32_t BlueSpan(const TColorBox& b) { return 16 * (b.BlueHigh - b.BlueLow); }

class TBoxSplitter {
public:
  explicit TBoxSplitter(const THistogram565& histogram) : FHistogram(histogram) {}

  void Shrink(TColorBox& b) const {
    while (b.BlueLow < b.BlueHigh && BluePlaneEmpty(b, b.BlueLow)) ++b.BlueLow;
    while (b.BlueLow < b.BlueHigh && BluePlaneEmpty(b, b.BlueHigh)) --b.BlueHigh;
    while (b.GreenLow < b.GreenHigh && GreenPlaneEmpty(b, b.GreenLow)) ++b.GreenLow;
    while (b.GreenLow < b.GreenHigh && GreenPlaneEmpty(b, b.GreenHigh)) --b.GreenHigh;
    while (b.RedLow < b.RedHigh && RedPlaneEmpty(b, b.RedLow)) ++b.RedLow;
    while (b.RedLow < b.RedHigh && RedPlaneEmpty(b, b.RedHigh)) --b.RedHigh;
    const int32_t blue = BlueSpan(b), green = GreenSpan(b), red = RedSpan(b);
    b.Extent = blue * blue + green * green + red * red;
    b.Volume = (b.RedHigh - b.RedLow + 1) * (b.GreenHigh - b.GreenLow + 1) * (b.BlueHigh - b.BlueLow + 1);
  }

  // Rounded mean of the cell centres, weighted by the counters. The sums
  // exceed 32 bits on large pictures.
  TRGB MeanColor(const TColorBox& b) const {
    uint64_t n = 0, red = 0, green = 0, blue = 0;
    for (int32_t r = b.RedLow; r <= b.RedHigh; ++r)
      for (int32_t g = b.GreenLow; g <= b.GreenHigh; ++g)
        for (int32_t bl = b.BlueLow; bl <= b.BlueHigh; ++bl) {
          const uint64_t c = FHistogram.Count(r, g, bl);
          n += c;
          red += uint64_t(8 * r + 4) * c;
          green += uint64_t(4 * g + 2) * c;
          blue += uint64_t(8 * bl + 4) * c;
        }
    return RGB(uint32_t((red + n / 2) / n), uint32_t((green + n / 2) / n), uint32_t((blue + n / 2) / n));
  }

private:
  bool BluePlaneEmpty(const TColorBox& b, int32_t blue) const {
    for (int32_t r = b.RedLow; r <= b.RedHigh; ++r)
      for (int32_t g = b.GreenLow; g <= b.GreenHigh; ++g)
        if (FHistogram.Count(r, g, blue)) return false;
    return true;
  }
  bool GreenPlaneEmpty(const TColorBox& b, int32_t green) const {
    for (int32_t r = b.RedLow; r <= b.RedHigh; ++r)
      for (int32_t bl = b.BlueLow; bl <= b.BlueHigh; ++bl)
        if (FHistogram.Count(r, green, bl)) return false;
    return true;
  }
  bool RedPlaneEmpty(const TColorBox& b, int32_t red) const {
    for (int32_t g = b.GreenLow; g <= b.GreenHigh; ++g)
      for (int32_t bl = b.BlueLow; bl <= b.BlueHigh; ++bl)
        if (FHistogram.Count(red, g, bl)) return false;
    return true;
  }

  const THistogram565& FHistogram;
};

// Few boxes: split the roomiest one that can still be split; near the
// target count: split the one with the widest colour spread. -1 if none.
int PickBox(const std::vector<TColorBox>& boxes, int32_t maxColors) {
  int picked = -1;
  if (int64_t(maxColors) < 2 * int64_t(boxes.size())) {
    int32_t largest = 0;
    for (size_t i = 0; i < boxes.size(); ++i)
      if (boxes[i].Extent > largest) {
        largest = boxes[i].Extent;
        picked = int(i);
      }
  } else {
    int32_t largest = 0;
    for (size_t i = 0; i < boxes.size(); ++i)
      if (boxes[i].Extent > 0 && boxes[i].Volume > largest) {
        largest = boxes[i].Volume;
        picked = int(i);
      }
  }
  return picked;
}

// The low half stays in b, the high half goes to upper.
void SplitBox(TColorBox& b, TColorBox& upper) {
  int32_t TColorBox::*low;
  int32_t TColorBox::*high;
  if (BlueSpan(b) > GreenSpan(b) && BlueSpan(b) > RedSpan(b)) {
    low = &TColorBox::BlueLow;
    high = &TColorBox::BlueHigh;
  } else if (GreenSpan(b) < RedSpan(b)) {
    low = &TColorBox::RedLow;
    high = &TColorBox::RedHigh;
  } else {
    low = &TColorBox::GreenLow;
    high = &TColorBox::GreenHigh;
  }
  upper = b;
  const int32_t middle = (b.*low + b.*high) / 2;
  b.*high = middle;
  upper.*low = middle + 1;
}

}  // namespace

std::vector<TRGB> SplitHistogramBoxes(const THistogram565& histogram, int32_t maxColors) {
  const TBoxSplitter splitter(histogram);
  const size_t limit = size_t(std::clamp(maxColors, 1, MaxColorBoxes));
  std::vector<TColorBox> boxes;
  boxes.reserve(limit);
  boxes.push_back(
      {0, THistogram565::RedCells - 1, 0, THistogram565::GreenCells - 1, 0, THistogram565::BlueCells - 1, 0, 0});
  splitter.Shrink(boxes[0]);
  while (boxes.size() < limit) {
    const int picked = PickBox(boxes, maxColors);
    if (picked < 0) break;
    boxes.emplace_back();
    SplitBox(boxes[size_t(picked)], boxes.back());
    splitter.Shrink(boxes[size_t(picked)]);
    splitter.Shrink(boxes.back());
  }
  std::vector<TRGB> colors;
  colors.reserve(boxes.size());
  for (const TColorBox& b : boxes) colors.push_back(splitter.MeanColor(b));
  return colors;
}
