// A soft-edged frame of one colour laid over a copy of the source picture.
#include "borderframe.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "colorrow.h"
#include "ditherscope.h"
#include "pixelgraphic.h"

int32_t FrameWeight(long double d, int32_t FrameWidth) {
  const long double span = (long double)FrameWidth - 1;
  const long double l = std::floor((span - d) * 1024 / span);
  return l >= 1024 ? 1024 : l > 0 ? int32_t(l) : 0;
}

namespace {

// The framed colours of one row at a time, as blue, green, red bytes.
class TFrameRows {
public:
  TFrameRows(int32_t width, int32_t height, int32_t frameWidth, TRGB frameColor)
      : FWidth(width),
        FHeight(height),
        FFrameWidth(frameWidth),
        FColor{GetBValue(frameColor), GetGValue(frameColor), GetRValue(frameColor)} {
    // Every distance inside a band is below both the frame width and the
    // larger side of the picture.
    const int64_t distances = std::min<int64_t>(frameWidth, std::max(width, height));
    for (int64_t d = 0; d < distances; ++d) FWeights.push_back(FrameWeight((long double)d, frameWidth));
  }

  void Rectangle(int32_t y, const uint8_t* src, uint8_t* out) const {
    if (out != src) std::memcpy(out, src, size_t(FWidth) * 3);
    // Whole rows first, then the side bands: each pixel still sees the
    // blends in the order top, bottom, left, right.
    if (y < FFrameWidth) BlendRun(out, 0, FWidth, FWeights[size_t(y)]);
    if (y > int64_t(FHeight) - FFrameWidth) BlendRun(out, 0, FWidth, FWeights[size_t(FHeight - 1 - y)]);
    const int32_t left = int32_t(std::min<int64_t>(FFrameWidth, FWidth));
    for (int32_t x = 0; x < left; ++x) BlendRun(out, x, x + 1, FWeights[size_t(x)]);
    const int32_t right = int32_t(std::max<int64_t>(0, int64_t(FWidth) - FFrameWidth + 1));
    for (int32_t x = right; x < FWidth; ++x) BlendRun(out, x, x + 1, FWeights[size_t(FWidth - 1 - x)]);
  }

  void Oval(int32_t y, const uint8_t* src, uint8_t* out) {
    const long double a = (FWidth - 1) / 2.0L, b = (FHeight - 1) / 2.0L;
    const long double ratio = b / a, inverse = a / b;
    const long double dy = y - b;
    const long double band = (long double)FFrameWidth - 1;
    // Every step is exact under negating dx, so the right half of the row
    // mirrors the left.
    FRowWeights.resize(size_t(FWidth));
    for (int32_t x = 0; x <= FWidth - 1 - x; ++x) {
      const long double dx = x - a;
      // Where the ray from the centre through the pixel meets the ellipse.
      long double bx = 0, by = dy > 0 ? b : -b;
      if (dx != 0) {
        const long double k = dy / dx;
        bx = -(b / std::sqrt(ratio * ratio + k * k));
        by = k * bx;
      }
      int32_t l = 1024;  // outside the ellipse: the frame colour itself
      if (std::fabs(dx) <= std::fabs(bx) && std::fabs(dy) <= std::fabs(by)) {
        // The band width squared is exact, so comparing squares decides as
        // comparing the rounded root would, and most pixels need no root.
        const long double squared = (dx - bx) * (dx - bx) * ratio + (dy - by) * (dy - by) * inverse;
        l = squared < band * band ? FrameWeight(std::sqrt(squared), FFrameWidth) : 0;
      }
      FRowWeights[size_t(x)] = FRowWeights[size_t(FWidth - 1 - x)] = l;
    }
    if (out != src) std::memcpy(out, src, size_t(FWidth) * 3);
    for (int32_t x = 0; x < FWidth; ++x)
      if (FRowWeights[size_t(x)] > 0) BlendRun(out, x, x + 1, FRowWeights[size_t(x)]);
  }

private:
  void BlendRun(uint8_t* row, int32_t from, int32_t to, int32_t l) const {
    for (uint8_t* p = row + size_t(from) * 3; p < row + size_t(to) * 3; p += 3) {
      p[0] = BlendChannel(p[0], FColor[0], l);
      p[1] = BlendChannel(p[1], FColor[1], l);
      p[2] = BlendChannel(p[2], FColor[2], l);
    }
  }

  int32_t FWidth;
  int32_t FHeight;
  int32_t FFrameWidth;
  uint8_t FColor[3];              // blue, green, red
  std::vector<int32_t> FWeights;  // by distance from the outer edge
  std::vector<int32_t> FRowWeights;
};

}  // namespace

void TPixelGraphic::DrawFrame(bool Oval, int32_t FrameWidth, TRGB FrameColor, const TPixelGraphic& Source) {
  // Framing a picture in place must not wipe it first.
  if (&Source != this) SetSize(Source.GetWidth(), Source.GetHeight(), FBitCountNum);
  if (GetEmpty()) {
    Changed();
    return;
  }
  TDitherScope ditherScope(*this);
  std::vector<uint8_t> colors(size_t(FWidth) * 3);

  if (FWidth < 3 || FHeight < 3 || FrameWidth < 2) {
    for (size_t i = 0; i < colors.size(); i += 3) {
      colors[i] = GetBValue(FrameColor);
      colors[i + 1] = GetGValue(FrameColor);
      colors[i + 2] = GetRValue(FrameColor);
    }
    for (int32_t y = 0; y < FHeight; ++y) {
      if (Dithering()) DitherRowStart();
      WriteColorRow(*this, y, colors.data(), false);
    }
    Changed();
    return;
  }

  TFrameRows rows(FWidth, FHeight, FrameWidth, FrameColor);
  std::vector<uint8_t> sourceRow(Source.BitCountNum() == 3 ? 0 : size_t(FWidth) * 3);
  ProgressStart();
  for (int32_t y = 0; y < FHeight; ++y) {
    if (Dithering()) DitherRowStart();
    const uint8_t* src = Source.BitCountNum() == 3 ? Source.ScanLine(y) : sourceRow.data();
    if (Source.BitCountNum() != 3) ReadColorRow(Source, y, sourceRow.data());
    uint8_t* out = FBitCountNum == 3 ? ScanLine(y) : colors.data();
    if (Oval)
      rows.Oval(y, src, out);
    else
      rows.Rectangle(y, src, out);
    WriteColorRow(*this, y, out, true);
    if (Progress(y, FHeight - 1)) break;
  }
  ProgressEnd();
  Changed();
}
