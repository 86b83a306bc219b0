#pragma once
// The result size of a picture from what the command line gives for its
// sides, coupled as the main window couples its size fields, so that the
// same input gives the same size in both.

#include <cstdint>
#include <optional>

// One side as given: pixels, or per cent of the source side.
struct TSideSize {
  bool InPercent = true;
  long double Percent = 0;
  int32_t Pixels = 0;
};

// A box the result must fit in, in pixels.
struct TBox {
  int32_t Width = 0;
  int32_t Height = 0;
};

struct TSizeRequest {
  std::optional<TSideSize> Width;
  std::optional<TSideSize> Height;
  // Instead of the sides: the largest size inside the box with the source's
  // proportions.
  std::optional<TBox> Fit;
  // A result larger than the source on either side keeps the source's size.
  bool NoEnlarge = false;
  // The settings' percentages, for a side that is not given.
  long double WidthPercent = 50;
  long double HeightPercent = 50;
  bool KeepAspect = true;
};

struct TResultSize {
  int32_t Width = 0;
  int32_t Height = 0;
};

// With KeepAspect a side given alone takes the other one along: its
// percentage is copied, or computed from its pixels, and the other side's
// pixels follow from that percentage. With neither side given the width's
// percentage leads, as it does when the window's fields are filled.
// Fit and NoEnlarge apply on top, as ImageMagick's WxH and WxH> do.
TResultSize ResolveResultSize(const TSizeRequest& Request, int32_t SourceWidth, int32_t SourceHeight);
