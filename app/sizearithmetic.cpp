#include "sizearithmetic.h"

#include <cmath>
#include <limits>

int32_t PercentToPixels(int32_t Dimension, long double Percent) {
  long double pixels = Percent * Dimension / 100;
  if (std::isnan(pixels)) return 0;
  // A decimal percentage is inexact in binary by far less than this; a
  // result that close to a whole number is that number.
  const long double whole = std::nearbyint(pixels);
  if (std::fabs(pixels - whole) <= std::fabs(pixels) * 1e-16L) pixels = whole;
  pixels = std::floor(pixels);
  constexpr int32_t lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
  if (pixels <= lo) return lo;
  if (pixels >= hi) return hi;
  return int32_t(pixels);
}

long double PixelsToPercent(int32_t Pixels, int32_t Dimension) {
  if (Dimension <= 0) return 0;
  const int64_t hundredths = int64_t(Pixels) * 10000;
  // Integer division truncates, which rounds a negative quotient up already.
  const int64_t rounded = hundredths / Dimension + (hundredths > 0 && hundredths % Dimension != 0 ? 1 : 0);
  return (long double)rounded / 100;
}

bool CanMinimizeInterference(int32_t SourceLength, int32_t ResultLength) {
  return SourceLength > 1 && SourceLength == 2 * int64_t(ResultLength) + 1;
}
