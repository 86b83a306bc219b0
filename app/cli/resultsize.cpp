#include "resultsize.h"

#include "sizearithmetic.h"

namespace {

long double PercentOf(const TSideSize& side, int32_t dimension) {
  return side.InPercent ? side.Percent : PixelsToPercent(side.Pixels, dimension);
}

int32_t PixelsOf(const TSideSize& side, int32_t dimension) {
  return side.InPercent ? PercentToPixels(dimension, side.Percent) : side.Pixels;
}

}  // namespace

TResultSize ResolveResultSize(const TSizeRequest& Request, int32_t SourceWidth, int32_t SourceHeight) {
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
