// The channel: reference kernel and the per-symbol helpers.
#include "sim/channel/transmit.h"

#include <cassert>

namespace mtsim {

int32_t quantizer_level(int32_t u, const ChannelTable& table) {
  constexpr int32_t kTop = QUANTIZER_LEVELS - 1;
  int32_t q = 0;
  for (int32_t k = 1; k <= kTop; ++k) {
    if (u < table.level_cdf[kTop - k]) q = k;
  }
  return q;
}

int32_t draw_symbol(Rng& rngA, const SwapTable& swap_table, int32_t leading) {
  for (int32_t i = 0; i < leading; ++i) rngA.advance();
  const int32_t hi = draw1000(rngA, swap_table);
  for (int32_t i = 0; i < CALLS_BETWEEN_DRAWS; ++i) rngA.advance();
  const int32_t lo = draw1000(rngA, swap_table);
  return 1000 * hi + lo;
}

Received receive(int32_t u, const ChannelTable& table, int16_t sent) {
  const int32_t q = quantizer_level(u, table);
  const int32_t inverted = u <= table.flip_limit ? 1 : 0;
  return Received{static_cast<int16_t>(inverted != 0 ? 1 - sent : sent),
                  static_cast<int16_t>(2 * q - MAX_RELIABILITY < 0 ? MAX_RELIABILITY - 2 * q : 2 * q - MAX_RELIABILITY), inverted};
}

ChannelErrors transmit_reference(Streams& s, Rng& rngA, const SwapTable& swap_table,
                                 const ChannelTable& table, int32_t ndkdd) {
  assert(ndkdd <= MAX_NDKDD);
  ChannelErrors errors;
  for (int32_t t = 0; t < ndkdd; ++t) {
    const int32_t tau = tpos + t;
    for (int32_t m = NUM_INF - 1; m >= 0; --m) {
      const Received got =
          receive(draw_symbol(rngA, swap_table, INF_LEADING_CALLS), table, s.inf[m][tau]);
      s.rinf[m][tau] = got.hard;
      s.relinf[m][tau] = got.reliability;
      errors.inferr += got.inverted;
    }
    for (int32_t check = 2; check >= 1; --check) {
      const Stream& sent = check == 2 ? s.chk2 : s.chk1;
      const Received got = receive(draw_symbol(rngA, swap_table, CHECK_LEADING_CALLS), table, sent[tau]);
      for (int32_t i = 0; i < CHECK_TRAILING_CALLS; ++i) rngA.advance();
      (check == 2 ? s.rchk2 : s.rchk1)[tau] = got.hard;
      (check == 2 ? s.relchk2 : s.relchk1)[tau] = got.reliability;
      errors.isaerr += got.inverted;
    }
  }
  return errors;
}

}  // namespace mtsim
