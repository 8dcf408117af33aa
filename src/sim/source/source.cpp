// The information source.
#include "sim/source/source.h"

#include "sim/random/rng_bits.h"

namespace mtsim {

InfPattern make_inf_pattern() {
  return {0, 1, 1, 0, 1, 0, 1, 1, 1, 0, 0, 1, 1, 0, 0, 1,
          0, 1, 0, 1, 1, 0, 1, 1, 0, 1, 0, 0, 0, 0};
}

namespace {

// The bit that mode infind sends given the generator's bit; advances the
// pattern in mode 2.
inline int32_t source_bit(int32_t infind, int32_t random_bit, const InfPattern& pattern,
                          int32_t& pattern_pos) {
  switch (infind) {
    case 1:
      return 1;
    case 2:
      pattern_pos += 1;
      if (pattern_pos > 29) pattern_pos = 1;
      return pattern[pattern_pos];
    case 3:
      return random_bit;
    default:  // 0 and negative modes send zeros
      return 0;
  }
}

}  // namespace

void generate_bits_reference(Streams& s, Rng& rngB, const InfPattern& pattern, int32_t infind,
                             int32_t ndkdd, SourceState& state) {
  for (int32_t t = 0; t < ndkdd; ++t) {
    state.inftot += NUM_INF;
    for (int32_t j = 0; j < NUM_INF; ++j) {
      rngB.advance();
      const int32_t bit = source_bit(infind, rngB.bit(), pattern, state.pattern_pos);
      state.inf_weight += bit;
      s.inf[NUM_INF - 1 - j][tpos + t] = static_cast<int16_t>(bit);
    }
  }
}

void generate_bits_fast(Streams& s, Rng& rngB, const InfPattern& pattern, int32_t infind,
                        int32_t ndkdd, SourceState& state) {
  constexpr int64_t kCallBits = 3 * 21;
  if (ndkdd <= 0) return;
  if (rngB.cycles != RNG_B_CYCLES || rngB.b > RNG_MASK2) {
    generate_bits_reference(s, rngB, pattern, infind, ndkdd, state);
    return;
  }
  RngBits bits(rngB);
  int64_t at = 0;
  for (int32_t t = 0; t < ndkdd; ++t) {
    state.inftot += NUM_INF;
    bits.reserve(at + NUM_INF * kCallBits);
    for (int32_t j = 0; j < NUM_INF; ++j) {
      at += kCallBits;
      const int32_t random_bit = static_cast<int32_t>(bits.bits10(at) & 1u);
      const int32_t bit = source_bit(infind, random_bit, pattern, state.pattern_pos);
      state.inf_weight += bit;
      s.inf[NUM_INF - 1 - j][tpos + t] = static_cast<int16_t>(bit);
    }
  }
  bits.state_at(at, rngB);
}

}  // namespace mtsim
