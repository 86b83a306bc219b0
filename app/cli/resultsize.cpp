#include "resultsize.h"

#include <algorithm>

#include "sizearithmetic.h"

namespace {

long double PercentOf(const TSideSize& side, int32_t dimension) {
  return side.InPercent ? side.Percent : PixelsToPercent(side.Pixels, dimension);
}

int32_t PixelsOf(const TSideSize& side, int32_t dimension) {
  return side.InPercent ? PercentToPixels(dimension, side.Percent) : side.Pixels;
}

// side * boxSide / ofSide: the side that follows the box's other side in
// the source's proportions, rounded half up, and at least one pixel.
int32_t Proportional(int32_t side, int32_t ofSide, int32_t boxSide) {
  const int64_t product = int64_t(side) * boxSide;
  const int64_t quotient = product / ofSide + (2 * (product % ofSide) >= ofSide ? 1 : 0);
  return int32_t(std::clamp<int64_t>(quotient, 1, INT32_MAX));
}

TResultSize SidesOf(const TSizeRequest& Request, int32_t SourceWidth, int32_t SourceHeight) {
  if (Request.Fit && SourceWidth > 0 && SourceHeight > 0) {
    const TBox& box = *Request.Fit;
    // Wider than the box's proportions: the width is the box's.
    if (int64_t(SourceWidth) * box.Height >= int64_t(SourceHeight) * box.Width)
      return {box.Width, std::min(box.Height, Proportional(SourceHeight, SourceWidth, box.Width))};
    return {std::min(box.Width, Proportional(SourceWidth, SourceHeight, box.Height)), box.Height};
  }
  const auto& w = Request.Width;
  const auto& h = Request.Height;
  if (w && h) return {PixelsOf(*w, SourceWidth), PixelsOf(*h, SourceHeight)};
  if (w) {
    const long double heightPercent = Request.KeepAspect ? PercentOf(*w, SourceWidth) : Request.HeightPercent;
    return {PixelsOf(*w, SourceWidth), PercentToPixels(SourceHeight, heightPercent)};
  }
  if (h) {
    const long double widthPercent = Request.KeepAspect ? PercentOf(*h, SourceHeight) : Request.WidthPercent;
    return {PercentToPixels(SourceWidth, widthPercent), PixelsOf(*h, SourceHeight)};
  }
  const long double heightPercent = Request.KeepAspect ? Request.WidthPercent : Request.HeightPercent;
  return {PercentToPixels(SourceWidth, Request.WidthPercent), PercentToPixels(SourceHeight, heightPercent)};
}

}  // namespace

TResultSize ResolveResultSize(const TSizeRequest& Request, int32_t SourceWidth, int32_t SourceHeight) {
  const TResultSize size = SidesOf(Request, SourceWidth, SourceHeight);
  if (Request.NoEnlarge && (size.Width > SourceWidth || size.Height > SourceHeight)) return {SourceWidth, SourceHeight};
  return size;
}
