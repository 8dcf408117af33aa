// The channel: every sent symbol becomes a received hard decision and a
// reliability, drawn from the 16-level quantizer's level distribution.
//
// Per symbol one uniform integer u in 0 ... 999,999 is drawn from rngA; u
// picks the quantizer level q from the cumulative table and decides whether
// the hard decision is inverted (u <= flip_limit).  The reliability is
// |2q - 15|.  Integer work only: all floating point happened in the
// estimates.
#pragma once

#include <array>
#include <cstdint>

#include "sim/code/streams.h"
#include "sim/random/rng.h"
#include "sim/simd.h"

namespace mtsim {

// The quantizer: 16 levels q, whose reliability |2q - 15| is odd, 1 ... 15.
inline constexpr int32_t QUANTIZER_LEVELS = 16;
inline constexpr int32_t MAX_RELIABILITY = QUANTIZER_LEVELS - 1;

// The quantized channel as the estimates leave it, in millionths.
struct ChannelTable {
  std::array<int32_t, QUANTIZER_LEVELS> level_cdf{};  // non-decreasing; [15] is 1,000,000
  int32_t flip_limit = 0;                             // equals level_cdf[7]
};

// How a time step calls rngA.  A symbol's u takes `leading` calls, the
// high draw, CALLS_BETWEEN_DRAWS calls, the low draw; a check symbol then
// makes CHECK_TRAILING_CALLS more, which only advance the generator.  A
// draw1000 that rejects adds one call and reads again.
inline constexpr int32_t INF_LEADING_CALLS = 1;
inline constexpr int32_t CHECK_LEADING_CALLS = 2;
inline constexpr int32_t CALLS_BETWEEN_DRAWS = 2;
inline constexpr int32_t CHECK_TRAILING_CALLS = 1;
inline constexpr int32_t DRAWS_PER_STEP = 2 * SYMBOLS_PER_STEP;

// The same pattern as numbers: a step's calls without rejections, and the
// phase of each of its draws (the draw reads the state after call
// phase + 1 of the step), in the order the reference draws them.
struct StepCalls {
  int32_t calls = 0;
  std::array<int32_t, DRAWS_PER_STEP> read_phase{};
};
constexpr StepCalls step_calls() {
  StepCalls step;
  int32_t draw = 0;
  for (int32_t symbol = 0; symbol < SYMBOLS_PER_STEP; ++symbol) {
    const bool check = symbol >= NUM_INF;
    step.calls += check ? CHECK_LEADING_CALLS : INF_LEADING_CALLS;
    step.read_phase[draw++] = step.calls - 1;  // high
    step.calls += CALLS_BETWEEN_DRAWS;
    step.read_phase[draw++] = step.calls - 1;  // low
    if (check) step.calls += CHECK_TRAILING_CALLS;
  }
  return step;
}
inline constexpr StepCalls STEP_CALLS = step_calls();
static_assert(STEP_CALLS.calls == 28 && STEP_CALLS.read_phase[15] == 26);

// Level q of u: q = 0, then for k = 1 ... 15 in turn q = k whenever
// u < level_cdf[15 - k].
int32_t quantizer_level(int32_t u, const ChannelTable& table);

// One symbol's u: `leading` calls of rngA, a draw, two calls, a draw.
int32_t draw_symbol(Rng& rngA, const SwapTable& swap_table, int32_t leading);

// What the receiver gets for a sent bit whose draw is u.
struct Received {
  int16_t hard;         // the sent bit, inverted when u <= flip_limit
  int16_t reliability;  // |2q - 15| for the level q of u
  int32_t inverted;     // 1 when inverted
};
Received receive(int32_t u, const ChannelTable& table, int16_t sent);

struct ChannelErrors {
  int32_t inferr = 0;  // information symbols inverted
  int32_t isaerr = 0;  // check symbols inverted
};

// Fills the received and reliability buffers at tpos ... tpos + ndkdd - 1:
// per step inf[5] ... inf[0], then chk2, then chk1; STEP_CALLS.calls rngA
// calls per step plus one per rejected draw.  Returns the inversions made.
// REQUIRES: ndkdd <= MAX_NDKDD.
ChannelErrors transmit_reference(Streams& s, Rng& rngA, const SwapTable& swap_table,
                                 const ChannelTable& table, int32_t ndkdd);

// The same buffers, counts and final rngA state, from draw windows made as
// bit-matrix products of rngA's state (channel_windows.h) and vector passes
// over chunks of calls (transmit_fast.cpp).  Runs the reference instead
// when any of these holds, and `path` tells which ran:
//   - the CPU lacks AVX-512 GFNI;
//   - rngA is not in its generator's form (other cycles, or b past its mask);
//   - ndkdd is 0;
//   - swap_table is not the standard one, or the level table is not
//     non-decreasing with entries 0 and more.
// REQUIRES: ndkdd <= MAX_NDKDD.
ChannelErrors transmit_fast(Streams& s, Rng& rngA, const SwapTable& swap_table,
                            const ChannelTable& table, int32_t ndkdd, KernelPath* path = nullptr);

}  // namespace mtsim
