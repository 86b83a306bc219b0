#pragma once
// Error-diffusion state of one operation writing a pixel graphic.

#include "pixelgraphic.h"

// Errors of the dithering state must not outlive the operation.
class TDitherScope {
public:
  explicit TDitherScope(TPixelGraphic& target) : FTarget(target) {
    if (target.Dither() && target.BitCountNum() < 3)
      target.DitherStart();
    else
      target.DitherEnd();
  }
  ~TDitherScope() { FTarget.DitherEnd(); }
  TDitherScope(const TDitherScope&) = delete;
  TDitherScope& operator=(const TDitherScope&) = delete;

private:
  TPixelGraphic& FTarget;
};
