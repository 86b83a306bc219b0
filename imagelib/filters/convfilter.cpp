#include "convfilter.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "colorrow.h"
#include "langstr.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"

namespace {

long double ShapeWeight(TKernelShape shape, long double sigma, long double x) {
  x = std::fabs(x);
  switch (shape) {
    case ksGaussian:
      return 1 / (sigma * std::sqrt(2 * std::numbers::pi_v<long double>)) * std::exp(-x * x / (2 * sigma * sigma));
    case ksTriangle: {
      const long double a = std::sqrt(6.0L) * sigma;
      return x <= a ? 1 / a - x / (a * a) : 0;
    }
    case ksBox: {
      const long double a = std::sqrt(3.0L) * sigma;
      return x <= a ? 1 / (2 * a) : 0;
    }
  }
  return 0;
}

// Round half to even into a weight; a degenerate standard deviation or
// strength gives infinities and NaNs, which saturate (NaN counts as 0).
int32_t RoundWeight(long double v) {
  if (std::isnan(v)) return 0;
  v = std::nearbyint(v);
  if (v >= std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v <= std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return int32_t(v);
}

uint8_t ClampByte(int64_t v) { return uint8_t(std::clamp<int64_t>(v, 0, 255)); }

uint8_t RoundClampByte(long double v) {
  if (!(v > 0)) return 0;  // NaN too
  if (v >= 255) return 255;
  return uint8_t(std::nearbyint(v));
}

// n / d rounded half to even, exactly.
int64_t RoundedQuotient(int64_t n, int64_t d) {
  int64_t q = n / d;
  const int64_t r = n % d;
  const uint64_t twiceRest = uint64_t(r < 0 ? -r : r) * 2;
  const uint64_t divisor = uint64_t(d < 0 ? -d : d);
  if (twiceRest > divisor || (twiceRest == divisor && (q & 1) != 0)) q += (n < 0) != (d < 0) ? -1 : 1;
  return q;
}

// Sums of weighted source bytes; products of TWeight with a byte are exact in
// TAcc, and so is every partial sum (the caller checks the magnitudes).
template <typename TAcc, typename TWeight>
void AddThreeTaps(TAcc* __restrict sums, size_t n, const uint8_t* __restrict p0, const uint8_t* __restrict p1,
                  const uint8_t* __restrict p2, TWeight w0, TWeight w1, TWeight w2) {
  for (size_t k = 0; k < n; ++k)
    sums[k] += TAcc(w0 * TWeight(p0[k])) + TAcc(w1 * TWeight(p1[k])) + TAcc(w2 * TWeight(p2[k]));
}

template <typename TAcc, typename TWeight>
void AddTap(TAcc* __restrict sums, size_t n, const uint8_t* __restrict p, TWeight w) {
  for (size_t k = 0; k < n; ++k) sums[k] += TAcc(w * TWeight(p[k]));
}

// Adding and removing 1.5 * 2^52 rounds a double below 2^51 half to even
// (the default rounding mode), in a form the compiler can vectorise.
constexpr double RoundingShift = 6755399441055744.0;

// Bytes per run of the interior pass, small enough to keep the sums in L1.
constexpr size_t RunChunk = 1536;

}  // namespace

TConvFilter::TConvFilter() : FWeights(1, 1) {}

void TConvFilter::SetWidth(int32_t v) {
  if (v < 1 || v > MaxConvFilterSize) throw EPGConvFilter(LangStr1(41, "TConvFilter.Width"));
  if (v != FWidth) Resize(v, FHeight);
}

void TConvFilter::SetHeight(int32_t v) {
  if (v < 1 || v > MaxConvFilterSize) throw EPGConvFilter(LangStr1(41, "TConvFilter.Height"));
  if (v != FHeight) Resize(FWidth, v);
}

void TConvFilter::Resize(int32_t width, int32_t height) {
  FWeights.assign(size_t(width) * size_t(height), 0);
  FWidth = width;
  FHeight = height;
}

void TConvFilter::CheckIndex(int32_t column, int32_t row) const {
  if (column < 0 || column >= FWidth || row < 0 || row >= FHeight) throw EPGConvFilter(LangStr(1));
}

int32_t TConvFilter::Weights(int32_t column, int32_t row) const {
  CheckIndex(column, row);
  return FWeights[size_t(row) * size_t(FWidth) + size_t(column)];
}

void TConvFilter::SetWeights(int32_t column, int32_t row, int32_t weight) {
  CheckIndex(column, row);
  FWeights[size_t(row) * size_t(FWidth) + size_t(column)] = weight;
}

void TConvFilter::BuildSmoothing(TKernelShape Shape, bool Radial, long double Sigma) {
  const auto w = [Shape, Sigma](long double x) { return ShapeWeight(Shape, Sigma, x); };
  int32_t r = 0;
  if (Shape == ksGaussian || Shape == ksTriangle) {
    const long double w0 = w(0);
    const long double scale = Radial ? 16 / w0 : 16 / (w0 * w0);
    // A radius beyond the largest kernel ends the search with a size the
    // range check refuses.
    int32_t l = 0;
    for (; l <= (MaxConvFilterSize + 1) / 2; ++l) {
      const int32_t c = Radial ? RoundWeight(w(l) * scale) : RoundWeight(w0 * (w(l) * scale));
      if (c <= 0) break;
    }
    SetWidth(2 * l - 1);
    SetHeight(2 * l - 1);
    r = l - 1;
    for (int32_t i = 0; i < FHeight; ++i)
      for (int32_t j = 0; j < FWidth; ++j) {
        const long double dx = j - r, dy = i - r;
        SetWeights(j, i,
                   Radial ? RoundWeight(w(std::sqrt(dx * dx + dy * dy)) * scale) : RoundWeight(w(dx) * scale * w(dy)));
      }
  } else if (Shape == ksBox) {
    int32_t o = 0;
    for (; o <= (MaxConvFilterSize + 3) / 2; ++o)
      if (w(o) == 0) break;
    SetWidth(2 * o - 3);
    SetHeight(2 * o - 3);
    r = o - 2;
    for (int32_t i = 0; i < FHeight; ++i)
      for (int32_t j = 0; j < FWidth; ++j) {
        const long double dx = j - r, dy = i - r;
        SetWeights(j, i, (Radial ? w(std::sqrt(dx * dx + dy * dy)) : w(dx) * w(dy)) > 0 ? 1 : 0);
      }
  }
  FOffsetX = -r;
  FOffsetY = -r;
  FBias = 0;
  FFactor = 1;
}

void TConvFilter::BuildSharpen(TKernelShape Shape, bool Radial, long double Sigma, long double Strength) {
  BuildSmoothing(Shape, Radial, Sigma);
  int64_t f = 0;
  for (int32_t& weight : FWeights) {
    f += weight;
    weight = weight == std::numeric_limits<int32_t>::min() ? std::numeric_limits<int32_t>::max() : -weight;
  }
  SetWeights(-FOffsetX, -FOffsetY, RoundWeight(100 / Strength * f));
}

void TConvFilter::Prepare(const TPixelGraphic& Source) {
  TPGFilter::Prepare(Source);
  FRowCache.clear();
  FRowCacheTags.clear();
}

void TConvFilter::Finish() {
  FRowCache = {};
  FRowCacheTags = {};
  FRows.clear();
  TPGFilter::Finish();
}

const uint8_t* TConvFilter::SourceRow(int32_t sy) {
  if (FSource->BitCountNum() == 3) return FSource->ScanLine(sy);
  // Consecutive rows fall into different slots, so one target row never
  // evicts a row it still needs.
  const size_t rowBytes = size_t(FSource->GetWidth()) * 3;
  if (FRowCacheTags.size() != size_t(FHeight)) {
    FRowCacheTags.assign(size_t(FHeight), -1);
    FRowCache.assign(size_t(FHeight) * rowBytes, 0);
  }
  const size_t slot = size_t(sy) % size_t(FHeight);
  uint8_t* row = FRowCache.data() + slot * rowBytes;
  if (FRowCacheTags[slot] != sy) {
    ReadColorRow(*FSource, sy, row);
    FRowCacheTags[slot] = sy;
  }
  return row;
}

void TConvFilter::GatherRows(int32_t y) {
  FRows.clear();
  if (FSource->GetEmpty()) return;
  for (int32_t i = 0; i < FHeight; ++i) {
    const int64_t sy = int64_t(y) + i + FOffsetY;
    if (sy < 0 || sy >= FSource->GetHeight()) continue;
    FRows.push_back({&FWeights[size_t(i) * size_t(FWidth)], SourceRow(int32_t(sy))});
  }
}

uint8_t TConvFilter::Channel(int64_t sum, int64_t weightSum) const {
  if (PlainMean()) return ClampByte(weightSum != 0 ? RoundedQuotient(sum, weightSum) : sum);
  const long double mean = weightSum != 0 ? (long double)sum / weightSum : (long double)sum;
  return RoundClampByte(FFactor * mean + FBias * 255 * 0.01L);
}

TRGB TConvFilter::ConvolvePixel(int32_t x) const {
  int64_t weightSum = 0, b = 0, g = 0, r = 0;
  const int64_t sourceWidth = FSource->GetWidth();
  for (const TKernelRow& row : FRows)
    for (int32_t j = 0; j < FWidth; ++j) {
      const int64_t sx = int64_t(x) + j + FOffsetX;
      if (sx < 0 || sx >= sourceWidth) continue;
      const int64_t w = row.Weights[j];
      const uint8_t* p = row.Pixels + sx * 3;
      weightSum += w;
      b += w * p[0];
      g += w * p[1];
      r += w * p[2];
    }
  return RGB(Channel(r, weightSum), Channel(g, weightSum), Channel(b, weightSum));
}

TRGB TConvFilter::PixelAt(int32_t x, int32_t y) {
  if (!FSource) return TPGFilter::PixelAt(x, y);
  GatherRows(y);
  return ConvolvePixel(x);
}

// Columns x0..x1, where every kernel cell lies inside the source: all of
// them share one weight sum, and the sums run over the interleaved channel
// bytes at once.
template <typename TAcc, typename TWeight>
void TConvFilter::ConvolveRun(int64_t x0, int64_t x1, int64_t weightSum, uint8_t* bgr) {
  struct TTap {
    const uint8_t* Pixels;
    TWeight Weight;
  };
  std::vector<TTap> taps;
  for (const TKernelRow& row : FRows)
    for (int32_t j = 0; j < FWidth; ++j)
      if (row.Weights[j] != 0) taps.push_back({row.Pixels + (x0 + j + FOffsetX) * 3, TWeight(row.Weights[j])});

  const size_t bytes = size_t(x1 - x0 + 1) * 3;
  uint8_t* out = bgr + x0 * 3;
  const bool roundInPlace = PlainMean() && weightSum != 0 && sizeof(TAcc) == sizeof(int32_t);
  const double divisor = double(weightSum);
  TAcc sums[RunChunk];
  for (size_t start = 0; start < bytes; start += RunChunk) {
    const size_t n = std::min(RunChunk, bytes - start);
    std::fill_n(sums, n, TAcc(0));
    size_t t = 0;
    for (; t + 3 <= taps.size(); t += 3)
      AddThreeTaps<TAcc, TWeight>(sums, n, taps[t].Pixels + start, taps[t + 1].Pixels + start,
                                  taps[t + 2].Pixels + start, taps[t].Weight, taps[t + 1].Weight, taps[t + 2].Weight);
    for (; t < taps.size(); ++t) AddTap<TAcc, TWeight>(sums, n, taps[t].Pixels + start, taps[t].Weight);
    if (roundInPlace) {
      // Exact: a 32-bit sum and the weight sum are exact doubles, and a
      // quotient below 256 is far enough from a half for the division's
      // rounding not to matter; larger ones are clamped anyway.
      for (size_t k = 0; k < n; ++k) {
        const double q = (double(sums[k]) / divisor + RoundingShift) - RoundingShift;
        out[start + k] = uint8_t(std::clamp(int32_t(q), 0, 255));
      }
    } else {
      for (size_t k = 0; k < n; ++k) out[start + k] = Channel(sums[k], weightSum);
    }
  }
}

void TConvFilter::PixelRow(int32_t y, int32_t count, uint8_t* bgr) {
  if (!FSource) {
    TPGFilter::PixelRow(y, count, bgr);
    return;
  }
  GatherRows(y);
  const int64_t x0 = std::max<int64_t>(0, -int64_t(FOffsetX));
  const int64_t x1 = std::min<int64_t>(int64_t(count) - 1, int64_t(FSource->GetWidth()) - FWidth - FOffsetX);
  for (int64_t x = 0; x < count; ++x) {
    if (x >= x0 && x <= x1) x = x1 + 1;
    if (x >= count) break;
    const TRGB c = ConvolvePixel(int32_t(x));
    bgr[3 * x] = GetBValue(c);
    bgr[3 * x + 1] = GetGValue(c);
    bgr[3 * x + 2] = GetRValue(c);
  }
  if (x0 > x1) return;
  int64_t weightSum = 0, magnitude = 0, largest = 0;
  for (const TKernelRow& row : FRows)
    for (int32_t j = 0; j < FWidth; ++j) {
      const int64_t w = row.Weights[j];
      weightSum += w;
      magnitude += std::abs(w);
      largest = std::max(largest, std::abs(w));
    }
  // The narrowest arithmetic that holds every sum: 16-bit weights multiply
  // fastest.
  if (magnitude * 255 > std::numeric_limits<int32_t>::max())
    ConvolveRun<int64_t, int64_t>(x0, x1, weightSum, bgr);
  else if (largest > std::numeric_limits<int16_t>::max())
    ConvolveRun<int32_t, int32_t>(x0, x1, weightSum, bgr);
  else
    ConvolveRun<int32_t, int16_t>(x0, x1, weightSum, bgr);
}
