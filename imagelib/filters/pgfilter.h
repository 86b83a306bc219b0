#pragma once
// Base of the filters a pixel graphic applies with ApplyFilter: each computes
// a new colour for every pixel from a source picture.

#include <cstdint>

#include "pgtypes.h"

class TPixelGraphic;

class TPGFilter : public TObject {
public:
  TPGFilter() = default;
  TPGFilter(const TPGFilter&) = delete;
  TPGFilter& operator=(const TPGFilter&) = delete;

  virtual void Prepare(const TPixelGraphic& Source) { FSource = &Source; }
  virtual TRGB PixelAt(int32_t x, int32_t y);
  virtual void Finish() { FSource = nullptr; }
  // True when a result pixel depends on nothing but that pixel's own colour.
  virtual bool ColorOnly() const { return false; }
  virtual TRGB MapColor(TRGB c) { return c; }

  // PixelAt(x, y) for x = 0 .. count - 1 as blue, green, red bytes; filters
  // override it to compute a whole row at once.
  virtual void PixelRow(int32_t y, int32_t count, uint8_t* bgr);

  const TPixelGraphic* Source() const { return FSource; }

protected:
  const TPixelGraphic* FSource = nullptr;
};
