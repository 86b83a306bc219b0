#pragma once
// Holds a graphic's change notifications back for its lifetime and sends the
// one notification at its end, also when it ends by an exception.

#include "pixelgraphic.h"

class TUpdateScope {
public:
  explicit TUpdateScope(TPixelGraphic& Graphic) : FGraphic(Graphic) { FGraphic.BeginUpdate(); }
  ~TUpdateScope() { FGraphic.EndUpdate(); }
  TUpdateScope(const TUpdateScope&) = delete;
  TUpdateScope& operator=(const TUpdateScope&) = delete;

private:
  TPixelGraphic& FGraphic;
};
