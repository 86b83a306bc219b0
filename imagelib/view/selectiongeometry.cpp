#include "selectiongeometry.h"

#include <algorithm>
#include <cstdlib>

int32_t PictureToDisplayed(int32_t v, int32_t Displayed, int32_t Picture) {
  return Picture <= 0 ? 0 : int32_t(int64_t(v) * Displayed / Picture);
}

int32_t DisplayedToPicture(int32_t v, int32_t Displayed, int32_t Picture) {
  return Displayed <= 0 ? 0 : int32_t(int64_t(v) * Picture / Displayed);
}

TPGRect DisplayedSelection(const TPGSelectionRect& s, const TPGScale& m) {
  const auto x = [&](int64_t v) { return PictureToDisplayed(int32_t(v), m.DisplayedWidth, m.PictureWidth); };
  const auto y = [&](int64_t v) { return PictureToDisplayed(int32_t(v), m.DisplayedHeight, m.PictureHeight); };
  return {x(s.Left), y(s.Top), x(int64_t(s.Left) + s.Width), y(int64_t(s.Top) + s.Height)};
}

bool PointInRect(const TPGRect& r, int32_t x, int32_t y) {
  return r.Left <= x && x < r.Right && r.Top <= y && y < r.Bottom;
}

bool HandleOnLeft(TPGHandle h) { return h == hTopLeft || h == hLeft || h == hBottomLeft; }
bool HandleOnRight(TPGHandle h) { return h == hTopRight || h == hRight || h == hBottomRight; }
bool HandleOnTop(TPGHandle h) { return h == hTopLeft || h == hTop || h == hTopRight; }
bool HandleOnBottom(TPGHandle h) { return h == hBottomLeft || h == hBottom || h == hBottomRight; }

TPGRect HandleRect(TPGHandle Handle, const TPGRect& d) {
  const int32_t mx = (d.Left + d.Right) / 2, my = (d.Top + d.Bottom) / 2;
  const int32_t left = HandleOnLeft(Handle) ? d.Left - 8 : HandleOnRight(Handle) ? d.Right + 3 : mx - 2;
  const int32_t top = HandleOnTop(Handle) ? d.Top - 8 : HandleOnBottom(Handle) ? d.Bottom + 3 : my - 2;
  return {left, top, left + 5, top + 5};
}

bool StripeSecondColor(int x, int y, int Brush) { return (x + y - Brush + 8) % 8 > 3; }

TPGSelectionRect SpanSelection(int32_t AnchorX, int32_t AnchorY, int32_t x, int32_t y) {
  return {std::min(AnchorX, x), std::min(AnchorY, y), std::abs(x - AnchorX) + 1, std::abs(y - AnchorY) + 1};
}

TPGSelectionRect ResizeSelection(const TPGSelectionRect& s, TPGHandle Handle, int32_t x, int32_t y, int32_t OffsetX,
                                 int32_t OffsetY) {
  TPGSelectionRect r = s;
  // The opposite edge stays where it is.
  if (HandleOnLeft(Handle)) {
    r.Left = std::min(x - OffsetX, s.Left + s.Width - 1);
    r.Width = s.Width + s.Left - r.Left;
  } else if (HandleOnRight(Handle)) {
    r.Width = std::max(x - OffsetX, 1);
  }
  if (HandleOnTop(Handle)) {
    r.Top = std::min(y - OffsetY, s.Top + s.Height - 1);
    r.Height = s.Height + s.Top - r.Top;
  } else if (HandleOnBottom(Handle)) {
    r.Height = std::max(y - OffsetY, 1);
  }
  return r;
}

TPGSelectionRect MoveSelection(const TPGSelectionRect& s, int32_t x, int32_t y, int32_t OffsetX, int32_t OffsetY,
                               int32_t PictureWidth, int32_t PictureHeight) {
  TPGSelectionRect r = s;
  r.Left = std::min(std::max(x - OffsetX, 1 - s.Width), PictureWidth - 1);
  r.Top = std::min(std::max(y - OffsetY, 1 - s.Height), PictureHeight - 1);
  return r;
}
