#include "pgimagelayout.h"

#include <algorithm>
#include <cmath>

TPGSize AutomaticSize(TPGSize PictureSize, int32_t Border, int32_t ScrollBarHeight, int32_t ScrollBarWidth,
                      const TPGAutoSizeBounds& Bounds) {
  int64_t w = int64_t(PictureSize.Width) + 2 * Border;
  int64_t h = int64_t(PictureSize.Height) + 2 * Border;
  bool horizontalBar = false, verticalBar = false;
  // A scroll bar for one direction can make the other one overflow too.
  for (int pass = 0; pass < 2; ++pass) {
    if (!horizontalBar && w > Bounds.MaxWidth) {
      horizontalBar = true;
      h += ScrollBarHeight;
    }
    if (!verticalBar && h > Bounds.MaxHeight) {
      verticalBar = true;
      w += ScrollBarWidth;
    }
  }
  return {int32_t(std::max<int64_t>(std::min<int64_t>(w, Bounds.MaxWidth), Bounds.MinWidth)),
          int32_t(std::max<int64_t>(std::min<int64_t>(h, Bounds.MaxHeight), Bounds.MinHeight))};
}

namespace {

struct TFit {
  TPGSize P, A;
  int32_t sh, sv;
  long double aspectP = (long double)P.Width / P.Height;
  long double aspectA = (long double)A.Width / A.Height;

  TPGDisplayedSize KeepAspect() const {
    if (aspectP <= aspectA) {
      const int32_t h = A.Height;
      return {{int32_t(std::trunc(h * aspectP)), h}, (long double)h / P.Height};
    }
    const int32_t w = A.Width;
    return {{w, int32_t(std::trunc(w / aspectP))}, (long double)w / P.Width};
  }

  // The shorter side fills the view and the longer one scrolls.
  TPGDisplayedSize LongerEdge() const {
    const TPGDisplayedSize fit = KeepAspect();
    if (fit.Size.Width >= A.Width - sv && fit.Size.Height >= A.Height - sh) return fit;
    if (aspectP < aspectA) {
      const int32_t w = A.Width - sv;
      return {{w, int32_t(std::trunc(w / aspectP))}, (long double)w / P.Width};
    }
    const int32_t h = A.Height - sh;
    return {{int32_t(std::trunc(h * aspectP)), h}, (long double)h / P.Height};
  }

  bool FitsWithScrollBars() const {
    return (A.Width >= P.Width || A.Height - sh >= P.Height) && (A.Width - sv >= P.Width || A.Height >= P.Height);
  }
  bool SmallerThanArea() const { return P.Width < A.Width && P.Height < A.Height; }
};

}  // namespace

TPGDisplayedSize DisplayedSize(TStretch Stretch, TPGSize PictureSize, TPGSize Area, int32_t ScrollBarHeight,
                               int32_t ScrollBarWidth, long double ZoomFactor) {
  TPGDisplayedSize d{PictureSize, 1.0L};
  if (PictureSize.Width <= 0 || PictureSize.Height <= 0 || Area.Width <= 0 || Area.Height <= 0) return d;
  const TFit fit{PictureSize, Area, ScrollBarHeight, ScrollBarWidth};
  const TPGSize& P = PictureSize;
  const TPGSize& A = Area;
  switch (Stretch) {
    case sNeverKAR: break;
    case sAlways: d = {A, -1.0L}; break;
    case sAlwaysKAR: d = fit.KeepAspect(); break;
    case sShrink:
      if (A.Width < P.Width) d = {{A.Width, d.Size.Height}, -1.0L};
      if (A.Height < P.Height) d = {{d.Size.Width, A.Height}, -1.0L};
      break;
    case sShrinkKAR:
      if (A.Width < P.Width || A.Height < P.Height) d = fit.KeepAspect();
      break;
    case sEnlarge: {
      const int32_t h = A.Width < P.Width ? A.Height - ScrollBarHeight : A.Height;
      const int32_t w = A.Height < P.Height ? A.Width - ScrollBarWidth : A.Width;
      if (P.Width < w) d = {{w, d.Size.Height}, -1.0L};
      if (P.Height < h) d = {{d.Size.Width, h}, -1.0L};
      break;
    }
    case sEnlargeKAR:
      if (fit.SmallerThanArea()) d = fit.KeepAspect();
      break;
    case sAlwaysLongerEdgeKAR: d = fit.LongerEdge(); break;
    case sShrinkLongerEdgeKAR:
      if (!fit.FitsWithScrollBars()) d = fit.LongerEdge();
      break;
    case sEnlargeShrinkLongerEdgeKAR:
      if (fit.SmallerThanArea())
        d = fit.KeepAspect();
      else if (!fit.FitsWithScrollBars())
        d = fit.LongerEdge();
      break;
    case sEnlargeLongerEdgeKAR:
      if (P.Width < A.Width || P.Height < A.Height) d = fit.LongerEdge();
      break;
    case sZoomKAR: {
      const long double zoom = ZoomFactor > 0 ? ZoomFactor : 1.0L;
      d = {{int32_t(std::nearbyint(P.Width * zoom)), int32_t(std::nearbyint(P.Height * zoom))}, zoom};
      break;
    }
  }
  return d;
}

TPGCentring Centring(TPGSize Displayed, TPGSize Area, int32_t ScrollBarHeight, int32_t ScrollBarWidth) {
  int32_t w = Area.Width, h = Area.Height;
  bool horizontalBar = false, verticalBar = false;
  for (int pass = 0; pass < 2; ++pass) {
    if (!horizontalBar && w < Displayed.Width) {
      horizontalBar = true;
      h -= ScrollBarHeight;
    }
    if (!verticalBar && h < Displayed.Height) {
      verticalBar = true;
      w -= ScrollBarWidth;
    }
  }
  TPGCentring c;
  c.Client = {w, h};
  c.Left = w > Displayed.Width ? (w - Displayed.Width) / 2 : 0;
  c.Top = h > Displayed.Height ? (h - Displayed.Height) / 2 : 0;
  c.ScrollX = Displayed.Width > w ? (Displayed.Width - w) / 2 : 0;
  c.ScrollY = Displayed.Height > h ? (Displayed.Height - h) / 2 : 0;
  return c;
}

TPGTileRange TileRange(int32_t Start, int32_t Length, int32_t ClientLength) {
  TPGTileRange r;
  if (Length <= 0) return r;
  const int64_t end = int64_t(Start) + Length;
  if (Start > 0) r.First = int32_t((1 - end) / Length);
  if (end < ClientLength) r.Last = int32_t((int64_t(ClientLength) - Start - 1) / Length);
  return r;
}

bool TileMirrored(bool Flip, TTiling Tiling, bool Horizontal, int32_t Index) {
  const bool mirrorsThisWay =
      Tiling == tMirror || Tiling == (Horizontal ? tMirrorHorizontal : tMirrorVertical);
  return Flip != (mirrorsThisWay && Index % 2 != 0);
}

int32_t LogicalExtent(int32_t Device, double Ratio) {
  if (Ratio <= 0) return Device;
  // A ratio like 1.25 is not exact in binary: 5 device pixels must still be 4 logical ones.
  return int32_t(std::ceil(Device / Ratio - 1e-9));
}

int32_t DeviceExtent(int32_t Logical, double Ratio) {
  if (Ratio <= 0) return Logical;
  return int32_t(std::floor(Logical * Ratio + 1e-9));
}
