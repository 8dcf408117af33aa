// The encoder over 32 steps at a time: every check is a sum of 16-bit
// entries at fixed delays, so one unaligned vector load per delay serves
// 32 consecutive steps.  The indices stay below 2^20 for ndkdd <= MAX_NDKDD,
// so the ring mask changes none of them and is left out.
#include <cassert>

#include "sim/code/encoder.h"
#include "sim/simd.h"

namespace mtsim {
namespace {

constexpr int32_t kLanes = 32;
static_assert(tpos + MAX_NDKDD < ring_mask);

MTSIM_AVX512 int32_t encode_avx512(Streams& s, int32_t ndkdd) {
  const __m512i one = _mm512_set1_epi16(1);
  int32_t weight = 0;
  for (int32_t t = 0; t < ndkdd; t += kLanes) {
    const int32_t tau = tpos + t;
    // The last chunk may be partial: only its first lanes are stored and
    // weighed (its loads stay inside the buffers, which end 10,000 entries
    // after the last step).
    const __mmask32 lanes = first_lanes(ndkdd - t);
    __m512i sum1 = _mm512_setzero_si512();
    __m512i sum2 = _mm512_setzero_si512();
    for (int32_t k = 0; k < NUM_INF; ++k) {
      const int16_t* in = s.inf[k].data() + tau;
      sum2 = _mm512_add_epi16(sum2, _mm512_add_epi16(load(in), _mm512_add_epi16(load(in - taps[k][3]),
                                                                                 load(in - taps[k][4]))));
      sum1 = _mm512_add_epi16(sum1, _mm512_add_epi16(load(in - taps[k][0]),
                                                     _mm512_add_epi16(load(in - taps[k][1]),
                                                                      load(in - taps[k][2]))));
    }
    const __m512i c1 = _mm512_and_si512(sum1, one);
    const __m512i c2 = _mm512_and_si512(sum2, one);
    _mm512_mask_storeu_epi16(s.chk1.data() + tau, lanes, c1);
    _mm512_mask_storeu_epi16(s.chk2.data() + tau, lanes, c2);
    weight += __builtin_popcount(_mm512_mask_test_epi16_mask(lanes, c1, one)) +
              __builtin_popcount(_mm512_mask_test_epi16_mask(lanes, c2, one));
  }
  return weight;
}

}  // namespace

int32_t encode_fast(Streams& s, int32_t ndkdd, KernelPath* path) {
  assert(ndkdd <= MAX_NDKDD);
  if (ndkdd <= 0 || !cpu_has_avx512bw()) {
    report_path(path, KernelPath::kScalar);
    return encode_reference(s, ndkdd);
  }
  report_path(path, KernelPath::kVector);
  return encode_avx512(s, ndkdd);
}

}  // namespace mtsim
