#pragma once
// Truncating division of non-negative numbers by a divisor fixed for a whole
// operation, as a multiply and shift (Granlund and Montgomery): exact for
// numerators below 2^30 and divisors up to 2^22, which is every colour sum of
// pictures the library can hold.

#include <cstdint>

class TFixedDivider {
public:
  static constexpr int64_t MaxDivisor = int64_t(1) << 22;
  static constexpr int NumeratorBits = 30;

  explicit TFixedDivider(uint32_t d) {
    int l = 0;
    while ((uint64_t(1) << l) < d) ++l;
    FShift = NumeratorBits + l;
    FMultiplier = uint32_t((uint64_t(1) << FShift) / d + 1);
  }
  uint32_t operator()(uint32_t n) const { return uint32_t((uint64_t(n) * FMultiplier) >> FShift); }
  uint32_t Multiplier() const { return FMultiplier; }
  int Shift() const { return FShift; }

private:
  uint32_t FMultiplier;
  int FShift;
};
