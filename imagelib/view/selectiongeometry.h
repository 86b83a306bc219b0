#pragma once
// The arithmetic of an image view's selection rectangle: mapping between
// picture and displayed pixels, the eight handles, the stripes of the
// outline, and what a drag does to the rectangle.

#include <cstdint>

#include "platform.h"

// One picture coordinate shown at Displayed of Picture pixels, and back.
int32_t PictureToDisplayed(int32_t v, int32_t Displayed, int32_t Picture);
int32_t DisplayedToPicture(int32_t v, int32_t Displayed, int32_t Picture);

struct TPGSelectionRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Width = 1;
  int32_t Height = 1;
  bool operator==(const TPGSelectionRect&) const = default;
};

// Picture and displayed sizes of a view, for mapping.
struct TPGScale {
  int32_t PictureWidth = 0;
  int32_t PictureHeight = 0;
  int32_t DisplayedWidth = 0;
  int32_t DisplayedHeight = 0;
};

TPGRect DisplayedSelection(const TPGSelectionRect& Selection, const TPGScale& Scale);
// Left <= x < Right and Top <= y < Bottom.
bool PointInRect(const TPGRect& r, int32_t x, int32_t y);

// In the order in which a press tests them.
enum TPGHandle : uint8_t { hTopLeft, hTop, hTopRight, hLeft, hRight, hBottomLeft, hBottom, hBottomRight };
constexpr int HandleCount = 8;
// A 5 x 5 square beside the displayed selection rectangle.
TPGRect HandleRect(TPGHandle Handle, const TPGRect& Displayed);
bool HandleOnLeft(TPGHandle h);
bool HandleOnRight(TPGHandle h);
bool HandleOnTop(TPGHandle h);
bool HandleOnBottom(TPGHandle h);

// Pixel (x, y) of stripe brush Brush shows the second colour.
bool StripeSecondColor(int x, int y, int Brush);

// A new selection from the anchor to the pointer, both ends included.
TPGSelectionRect SpanSelection(int32_t AnchorX, int32_t AnchorY, int32_t x, int32_t y);
// Dragging Handle to picture point (x, y); the offsets were taken at the press.
TPGSelectionRect ResizeSelection(const TPGSelectionRect& s, TPGHandle Handle, int32_t x, int32_t y, int32_t OffsetX,
                                 int32_t OffsetY);
// Moving keeps at least one pixel of the selection on the picture.
TPGSelectionRect MoveSelection(const TPGSelectionRect& s, int32_t x, int32_t y, int32_t OffsetX, int32_t OffsetY,
                               int32_t PictureWidth, int32_t PictureHeight);
