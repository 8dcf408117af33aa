// The information source: six streams of bits, pseudo-random or one of
// three fixed contents chosen by infind.
#pragma once

#include <array>
#include <cstdint>

#include "sim/code/streams.h"
#include "sim/random/rng.h"
#include "sim/simd.h"

namespace mtsim {

// The fixed 29-bit pattern of source mode 2, bits numbered 1 ... 29
// (entry 0 unused).
inline constexpr int32_t PATTERN_LEN = 29;
using InfPattern = std::array<int16_t, PATTERN_LEN + 1>;
InfPattern make_inf_pattern();

// What the source hands on besides the streams.
struct SourceState {
  int32_t pattern_pos = 0;  // pattern bit used last, 0 before the first
  int32_t inftot = 0;       // information bits generated
  int32_t inf_weight = 0;   // 1 bits among them
};

// Fills inf[5] ... inf[0] at tpos ... tpos + ndkdd - 1, one rngB call per
// bit in every mode (so the error packet drawn afterwards does not depend
// on infind): 0 and negative modes send zeros, 1 ones, 2 the pattern, 3
// bit 0 of rngB's a, any other mode zeros.
// REQUIRES: ndkdd <= MAX_NDKDD.
void generate_bits_reference(Streams& s, Rng& rngB, const InfPattern& pattern, int32_t infind,
                             int32_t ndkdd, SourceState& state);

// The same bits, counts and final rngB state, from rngB's bit sequence made
// 512 bits at a time (RngBlocks): bit 0 of a after call c is bit 63 c of
// the sequence.  Runs the reference without AVX-512, for a pattern that is
// not all 0s and 1s, for a pattern position outside 0 ... 29, or for a
// generator not in rngB's form (3 cycles per call, b < 2^31); `path` tells
// which ran.  REQUIRES: as the reference.
void generate_bits_fast(Streams& s, Rng& rngB, const InfPattern& pattern, int32_t infind,
                        int32_t ndkdd, SourceState& state, KernelPath* path = nullptr);

}  // namespace mtsim
