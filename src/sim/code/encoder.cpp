#include "sim/code/encoder.h"

#include <cassert>

namespace mtsim {

int32_t encode_reference(Streams& s, int32_t ndkdd) {
  assert(ndkdd <= MAX_NDKDD);
  int32_t weight = 0;
  for (int32_t t = 0; t < ndkdd; ++t) {
    const int32_t tau = tpos + t;
    int32_t sum2 = 0;
    int32_t sum1 = 0;
    for (int32_t k = 0; k < NUM_INF; ++k) {
      const Stream& in = s.inf[k];
      sum2 += in[(tau - taps[k][3]) & ring_mask] + in[(tau - taps[k][4]) & ring_mask] + in[tau];
      sum1 += in[(tau - taps[k][0]) & ring_mask] + in[(tau - taps[k][1]) & ring_mask] +
              in[(tau - taps[k][2]) & ring_mask];
    }
    const int32_t c1 = sum1 & 1;
    const int32_t c2 = sum2 & 1;
    s.chk1[tau & ring_mask] = static_cast<int16_t>(c1);
    s.chk2[tau & ring_mask] = static_cast<int16_t>(c2);
    weight += c1 + c2;
  }
  return weight;
}

}  // namespace mtsim
