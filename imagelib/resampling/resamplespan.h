#pragma once
// Which source pixels feed one destination pixel on one axis, and with which
// integer weights.

#include <cstdint>

#include "pgtypes.h"

enum TResampleMethod : uint8_t { rmNearest, rmIdentity, rmLinear, rmArea };

struct TColumnSpan {
  int32_t First = 0;
  int32_t Last = 0;
  int64_t WeightFirst = 0;
  int64_t WeightLast = 0;
  uint8_t Kind = 0;  // 0 one tap, 1 first and last, 2 first, inner run, last
  bool Valid = false;
};

// Method of an axis with source extent S and destination extent D.
TResampleMethod AxisMethod(TStretchMode mode, int64_t S, int64_t D);
// Sum of the weights of every span on the axis.
int64_t AxisDivisor(TResampleMethod method, int64_t S, int64_t D);
// Span of destination index i (counted from the rectangle's start); origin is
// the source rectangle's start and W the source graphic's extent. The inner
// weight of a kind 2 span is D.
TColumnSpan ComputeSpan(TResampleMethod method, int64_t i, int64_t S, int64_t D, int64_t origin, int64_t W);
