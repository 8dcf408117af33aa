// The encoder over 32 steps at a time: every check is a sum of 16-bit
// entries at fixed delays, so one unaligned vector load per delay serves
// 32 consecutive steps.  The indices stay below 2^20 for ndkdd <= 520,000,
// so the ring mask changes none of them and is left out.
#include <immintrin.h>

#include "sim/cpu.h"
#include "sim/code/encoder.h"

namespace mtsim {
namespace {

constexpr int32_t kLanes = 32;
constexpr int32_t kMaxSteps = 520000;

MTSIM_AVX512 inline __m512i load(const int16_t* p) { return _mm512_loadu_si512(p); }

MTSIM_AVX512 int32_t encode_avx512(Streams& s, int32_t ndkdd) {
  const __m512i one = _mm512_set1_epi16(1);
  int32_t weight = 0;
  for (int32_t t = 0; t < ndkdd; t += kLanes) {
    const int32_t tau = tpos + t;
    // The last chunk may be partial: only its first lanes are stored and
    // weighed (its loads stay inside the buffers, which end 10,000 entries
    // after the last step).
    const __mmask32 lanes =
        ndkdd - t >= kLanes ? ~__mmask32{0} : static_cast<__mmask32>((1u << (ndkdd - t)) - 1);
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

int32_t encode_fast(Streams& s, int32_t ndkdd) {
  if (ndkdd <= 0) return 0;
  if (!cpu_has_avx512bw() || ndkdd > kMaxSteps) return encode_reference(s, ndkdd);
  return encode_avx512(s, ndkdd);
}

}  // namespace mtsim
