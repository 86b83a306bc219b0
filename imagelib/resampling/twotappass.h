#pragma once
// The column pass of 24-bit rows where every destination pixel takes two
// neighbouring source pixels (halving, enlarging by interpolation), with
// vector instructions where the processor has them.

#include <cstddef>
#include <cstdint>

#include "fixeddivider.h"

// Weights of one destination pixel laid out for the vector multiply-add:
// first, last, first, last, first, last, 0, 0.
struct TTwoTapWeights {
  int16_t W[8];
};

// Writes destination pixels 0.. of a row into out (3 bytes each, 16 bytes of
// slack after the last) from the source row src, of which safeBytes may be
// read. first holds each pixel's first source byte offset. Returns how many
// pixels were done; the caller finishes the rest.
size_t TwoTapColumnPass(const uint8_t* src, size_t safeBytes, const uint32_t* first, const TTwoTapWeights* weights,
                        size_t count, uint8_t* out, const TFixedDivider& divide);
