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

#include "sim/random/rng.h"
#include "sim/code/streams.h"

namespace mtsim {

// The quantized channel as the estimates leave it, in millionths.
struct ChannelTable {
  std::array<int32_t, 16> level_cdf{};  // non-decreasing; [15] is 1,000,000
  int32_t flip_limit = 0;               // equals level_cdf[7]
};

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
// per step inf[5] ... inf[0], then chk2, then chk1; 28 rngA calls per step
// plus one per rejected draw.  Returns the inversions made.
ChannelErrors transmit_reference(Streams& s, Rng& rngA, const SwapTable& swap_table,
                                 const ChannelTable& table, int32_t ndkdd);

// The same buffers, counts and final rngA state, from rngA's bit sequence
// made 512 bits at a time (RngBlocks) and vector passes over chunks of
// calls (transmit_fast.cpp).  Runs the reference without AVX-512 VBMI2, or
// when the tables are not the standard swap table and a non-decreasing
// level table.
// REQUIRES: rngA as seeded or advanced (6 cycles per call, b < 2^31);
// ndkdd <= 520,000 (the vector passes read 31 entries past the last step).
ChannelErrors transmit_fast(Streams& s, Rng& rngA, const SwapTable& swap_table,
                            const ChannelTable& table, int32_t ndkdd);

}  // namespace mtsim
