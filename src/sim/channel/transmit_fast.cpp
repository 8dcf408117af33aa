// The channel with rngA read as a bit sequence.
//
// A call of rngA is 6 cycles, 126 bits of its sequence, so after c calls
// a & 1023 is bits 126 c ... 126 c + 9.  A symbol's draws therefore sit at
// fixed offsets from the previous ones, one further call (126 bits) per
// rejected look-up, and nothing but those ten-bit windows is ever formed.
// The quantizer level of u = 1000 hi + lo is, for all but at most 15
// values of hi, the same for every lo; a per-run table keyed by hi gives
// it, and the exceptions take the reference's comparisons.
#include <array>

#include "sim/random/rng_bits.h"
#include "sim/channel/transmit.h"

namespace mtsim {
namespace {

constexpr int64_t kCallBits = 6 * 21;
// Bits a step reads from its start without rejections (28 calls), with
// room for the last look's ten bits.
constexpr int64_t kStepBits = 29 * kCallBits;
static_assert(kStepBits <= RngBits::kMaxAhead);

// Level by hi: q when every u = 1000 hi + lo, lo in 0 ... 999, has level
// q; -1 when some level_cdf entry falls inside that range.
using LevelByHi = std::array<int8_t, 1000>;

LevelByHi make_level_by_hi(const ChannelTable& table) {
  LevelByHi levels{};
  for (int32_t hi = 0; hi < 1000; ++hi) {
    // quantizer_level(u) depends on u only through the tests u < level_cdf[i];
    // they are the same for the whole range unless an entry lies in
    // (1000 hi, 1000 hi + 999].
    bool split = false;
    for (int32_t i = 0; i < 15; ++i) {
      const int32_t c = table.level_cdf[i];
      if (c > 1000 * hi && c <= 1000 * hi + 999) split = true;
    }
    levels[hi] = static_cast<int8_t>(split ? -1 : quantizer_level(1000 * hi, table));
  }
  return levels;
}

// The rejection draw at bit offset `at`: one more call per rejection.  The
// step reserved its own bits; every rejection reserves one call more.
[[gnu::always_inline]] inline int32_t draw(RngBits& bits, int64_t& at,
                                           const SwapTable& swap_table) {
  int32_t v = swap_table[bits.bits10(at)];
  while (v > 999) {
    at += kCallBits;
    bits.reserve(at + kStepBits);
    v = swap_table[bits.bits10(at)];
  }
  return v;
}

// One symbol's u = 1000 hi + lo: `leading` calls, a draw, two calls, a draw.
struct Draw {
  int32_t hi;
  int32_t u;
};
[[gnu::always_inline]] inline Draw draw_u(RngBits& bits, int64_t& at,
                                          const SwapTable& swap_table, int32_t leading) {
  at += leading * kCallBits;
  const int32_t hi = draw(bits, at, swap_table);
  at += 2 * kCallBits;
  const int32_t lo = draw(bits, at, swap_table);
  return {hi, 1000 * hi + lo};
}

// As the reference's receive: the sent bit, inverted when u <= flip_limit,
// and the reliability |2q - 15|.  Returns 1 for an inversion.
[[gnu::always_inline]] inline int32_t receive_into(Draw draw, const LevelByHi& levels,
                                              const ChannelTable& table, int16_t sent,
                                              int16_t& hard, int16_t& reliability) {
  const int32_t u = draw.u;
  int32_t q = levels[draw.hi];
  if (q < 0) q = quantizer_level(u, table);
  const int32_t inverted = u <= table.flip_limit ? 1 : 0;
  hard = static_cast<int16_t>(inverted != 0 ? 1 - sent : sent);
  reliability = static_cast<int16_t>(q * 2 - 15 < 0 ? 15 - 2 * q : 2 * q - 15);
  return inverted;
}

}  // namespace

ChannelErrors transmit_fast(Streams& s, Rng& rngA, const SwapTable& swap_table,
                            const ChannelTable& table, int32_t ndkdd) {
  ChannelErrors errors;
  if (ndkdd <= 0) return errors;  // no call: rngA keeps even an unmasked seed
  if (rngA.cycles != RNG_A_CYCLES || rngA.b > RNG_MASK2) {
    return transmit_reference(s, rngA, swap_table, table, ndkdd);
  }
  const LevelByHi levels = make_level_by_hi(table);
  RngBits bits(rngA);
  int64_t at = 0;
  for (int32_t t = 0; t < ndkdd; ++t) {
    const int32_t tau = tpos + t;
    bits.reserve(at + kStepBits);
    for (int32_t m = NUM_INF - 1; m >= 0; --m) {
      const Draw u = draw_u(bits, at, swap_table, 1);
      errors.inferr +=
          receive_into(u, levels, table, s.inf[m][tau], s.rinf[m][tau], s.relinf[m][tau]);
    }
    const Draw u2 = draw_u(bits, at, swap_table, 2);
    errors.isaerr += receive_into(u2, levels, table, s.chk2[tau], s.rchk2[tau], s.relchk2[tau]);
    at += kCallBits;
    const Draw u1 = draw_u(bits, at, swap_table, 2);
    errors.isaerr += receive_into(u1, levels, table, s.chk1[tau], s.rchk1[tau], s.relchk1[tau]);
    at += kCallBits;
  }
  bits.state_at(at, rngA);
  return errors;
}

}  // namespace mtsim
