#include "sim/random/rng.h"

namespace mtsim {

SwapTable make_swap_table() {
  // 0 ... 1023 written row by row into a 32 x 32 matrix, then transposed in
  // place.
  SwapTable m{};
  for (int32_t i = 0; i < 1024; ++i) m[i] = i;
  for (int32_t r = 0; r < 32; ++r) {
    for (int32_t c = r + 1; c < 32; ++c) {
      const int32_t t = m[r * 32 + c];
      m[r * 32 + c] = m[c * 32 + r];
      m[c * 32 + r] = t;
    }
  }
  return m;
}

void seed_generators(Rng& rngA, Rng& rngB, int32_t kst) {
  rngA = Rng{static_cast<uint32_t>(kst), 7799, RNG_A_CYCLES};
  rngB = Rng{451, 7799, RNG_B_CYCLES};
}

}  // namespace mtsim
