#include "twotappass.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>

namespace {

__attribute__((target("avx2"))) __m256i Divide(__m256i v, __m256i multiplier, __m128i shift) {
  const __m256i even = _mm256_srl_epi64(_mm256_mul_epu32(v, multiplier), shift);
  const __m256i odd = _mm256_srl_epi64(_mm256_mul_epu32(_mm256_srli_epi64(v, 32), multiplier), shift);
  return _mm256_or_si256(even, _mm256_slli_epi64(odd, 32));
}

__attribute__((target("avx2"))) __m256i LoadPair(const uint8_t* a, const uint8_t* b) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a))),
                                 _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b)), 1);
}

__attribute__((target("avx2"))) size_t PassAvx2(const uint8_t* src, size_t safeBytes, const uint32_t* first,
                                                const TTwoTapWeights* weights, size_t count, uint8_t* out,
                                                const TFixedDivider& divide) {
  // Six bytes b0 g0 r0 b1 g1 r1 become the word pairs (b0 b1) (g0 g1) (r0 r1) (0 0).
  const __m256i pairs = _mm256_setr_epi8(0, -1, 3, -1, 1, -1, 4, -1, 2, -1, 5, -1, -1, -1, -1, -1,  //
                                         0, -1, 3, -1, 1, -1, 4, -1, 2, -1, 5, -1, -1, -1, -1, -1);
  const __m128i compact = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
  const __m256i multiplier = _mm256_set1_epi64x(divide.Multiplier());
  const __m128i shift = _mm_cvtsi32_si128(divide.Shift());
  size_t k = 0;
  for (; k + 4 <= count && first[k + 3] + 8 <= safeBytes; k += 4) {
    const __m256i a = _mm256_shuffle_epi8(LoadPair(src + first[k], src + first[k + 1]), pairs);
    const __m256i b = _mm256_shuffle_epi8(LoadPair(src + first[k + 2], src + first[k + 3]), pairs);
    const __m256i wa = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(weights + k));
    const __m256i wb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(weights + k + 2));
    const __m256i qa = Divide(_mm256_madd_epi16(a, wa), multiplier, shift);
    const __m256i qb = Divide(_mm256_madd_epi16(b, wb), multiplier, shift);
    // In-lane packing leaves pixels k, k+2 in the low lane and k+1, k+3 in the high one.
    const __m256i bytes = _mm256_packus_epi16(_mm256_packus_epi32(qa, qb), _mm256_setzero_si256());
    const __m128i ordered =
        _mm_unpacklo_epi32(_mm256_castsi256_si128(bytes), _mm256_extracti128_si256(bytes, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 3 * k), _mm_shuffle_epi8(ordered, compact));
  }
  return k;
}

}  // namespace

size_t TwoTapColumnPass(const uint8_t* src, size_t safeBytes, const uint32_t* first, const TTwoTapWeights* weights,
                        size_t count, uint8_t* out, const TFixedDivider& divide) {
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2 ? PassAvx2(src, safeBytes, first, weights, count, out, divide) : 0;
}

#else

size_t TwoTapColumnPass(const uint8_t*, size_t, const uint32_t*, const TTwoTapWeights*, size_t, uint8_t*,
                        const TFixedDivider&) {
  return 0;
}

#endif
