#pragma once
// Where an image view puts its picture: its own automatic size, the
// displayed size by the scaling rule, centring, and the tiles round the
// picture. Plain arithmetic, so it can be checked without a widget.

#include <cstdint>

#include "pgtypes.h"

enum TStretch : uint8_t {
  sNeverKAR,
  sAlways,
  sAlwaysKAR,
  sShrink,
  sShrinkKAR,
  sEnlarge,
  sEnlargeKAR,
  sAlwaysLongerEdgeKAR,
  sShrinkLongerEdgeKAR,
  sEnlargeShrinkLongerEdgeKAR,
  sEnlargeLongerEdgeKAR,
  sZoomKAR
};

enum TTiling : uint8_t { tNone, tRepeat, tMirrorHorizontal, tMirrorVertical, tMirror };

struct TPGSize {
  int32_t Width = 0;
  int32_t Height = 0;
  bool operator==(const TPGSize&) const = default;
};

// The view's size for a picture of PictureSize with a border of Border pixels
// on each side; a scroll bar is added where a bound cuts the picture off.
struct TPGAutoSizeBounds {
  int32_t MinWidth = 0;
  int32_t MaxWidth = INT32_MAX;
  int32_t MinHeight = 0;
  int32_t MaxHeight = INT32_MAX;
};
TPGSize AutomaticSize(TPGSize PictureSize, int32_t Border, int32_t ScrollBarHeight, int32_t ScrollBarWidth,
                      const TPGAutoSizeBounds& Bounds);

// The displayed size and the effective zoom (-1 when the two directions are
// scaled differently) for a picture in the available Area.
struct TPGDisplayedSize {
  TPGSize Size;
  long double Zoom = 1.0L;
};
TPGDisplayedSize DisplayedSize(TStretch Stretch, TPGSize PictureSize, TPGSize Area, int32_t ScrollBarHeight,
                               int32_t ScrollBarWidth, long double ZoomFactor);

// With Center on: the top-left corner of the displayed picture, the client
// area left beside the scroll bars it needs, and the scroll positions that
// show the middle of a picture larger than that area.
struct TPGCentring {
  int32_t Left = 0;
  int32_t Top = 0;
  TPGSize Client;
  int32_t ScrollX = 0;
  int32_t ScrollY = 0;
  bool operator==(const TPGCentring&) const = default;
};
TPGCentring Centring(TPGSize Displayed, TPGSize Area, int32_t ScrollBarHeight, int32_t ScrollBarWidth);

// Tile indices along one direction: tile i covers Start + i * Length; the
// tiles reach from 0 to ClientLength.
struct TPGTileRange {
  int32_t First = 0;
  int32_t Last = 0;
  bool operator==(const TPGTileRange&) const = default;
};
TPGTileRange TileRange(int32_t Start, int32_t Length, int32_t ClientLength);

// Whether tile Index (a column when Horizontal, else a row) shows the
// picture mirrored in that direction.
bool TileMirrored(bool Flip, TTiling Tiling, bool Horizontal, int32_t Index);

// A view's arithmetic runs in device pixels, so that at zoom 1 one picture
// pixel covers one pixel of a scaled screen; widgets are placed in logical
// pixels. The logical extent covering Device pixels, and the device pixels
// a logical extent holds, at a device pixel Ratio.
int32_t LogicalExtent(int32_t Device, double Ratio);
int32_t DeviceExtent(int32_t Logical, double Ratio);
