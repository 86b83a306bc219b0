#include "resamplespan.h"

#include <algorithm>

namespace {
// Products such as S * (2i + 1) exceed 64 bits for extreme rectangles.
using TWide = __int128;

bool Inside(TWide v, TWide W) { return v >= 0 && v < W; }
}  // namespace

TResampleMethod AxisMethod(TStretchMode mode, int64_t S, int64_t D) {
  if (mode == smFast) return rmNearest;
  if (D == S) return rmIdentity;
  const bool shrinking = D < S;
  if (mode == smMedium) return shrinking ? rmLinear : rmArea;
  return shrinking ? rmArea : rmLinear;
}

int64_t AxisDivisor(TResampleMethod method, int64_t S, int64_t D) {
  switch (method) {
    case rmLinear: return 2 * D;
    case rmArea: return S;
    default: return 1;
  }
}

TColumnSpan ComputeSpan(TResampleMethod method, int64_t i, int64_t S, int64_t D, int64_t origin, int64_t W) {
  TColumnSpan span;
  TWide first = 0, last = 0;
  switch (method) {
    case rmNearest:
    case rmIdentity:
      first = last = method == rmNearest ? origin + TWide(S) * i / D : TWide(origin) + i;
      span.WeightFirst = span.WeightLast = 1;
      span.Valid = Inside(first, W);
      break;
    case rmLinear: {
      const TWide p = TWide(S) * (2 * TWide(i) + 1);
      first = origin + (p - D) / (2 * TWide(D));
      last = origin + (p + D) / (2 * TWide(D));
      span.Valid = Inside(first, W) && Inside(last, W);
      if (!span.Valid && D > S && ((first < 0 && last >= 0) || (first < W && last >= W))) {
        first = std::clamp<TWide>(first, 0, W - 1);
        last = std::clamp<TWide>(last, 0, W - 1);
        span.Valid = true;
      }
      const TWide firstCentre = TWide(D) * (2 * (first - origin) + 1);
      span.WeightFirst = int64_t(2 * TWide(D) - (p - firstCentre));
      span.WeightLast = int64_t(2 * TWide(D) - (TWide(D) * (2 * (last - origin) + 1) - p));
      span.Kind = 1;
      if (firstCentre == p || first == last) {
        span.Kind = 0;
        span.WeightFirst = 2 * D;
      }
      break;
    }
    case rmArea: {
      first = origin + TWide(S) * i / D;
      const TWide e = TWide(S) * (i + 1);
      last = origin + e / D - (e % D == 0 ? 1 : 0);
      span.Valid = Inside(first, W) && Inside(last, W);
      span.WeightFirst = int64_t(TWide(D) * (first - origin + 1) - TWide(S) * i);
      span.WeightLast = int64_t(TWide(S) * (i + 1) - TWide(D) * (last - origin));
      if (first == last) {
        span.Kind = 0;
        span.WeightFirst = S;
      } else {
        span.Kind = last - first < 2 ? 1 : 2;
      }
      break;
    }
  }
  // Spans outside the source are never read, so their indices need not fit.
  span.First = int32_t(std::clamp<TWide>(first, INT32_MIN, INT32_MAX));
  span.Last = int32_t(std::clamp<TWide>(last, INT32_MIN, INT32_MAX));
  return span;
}
