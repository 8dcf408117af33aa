#include "sim/decoder/prepare.h"

#include <algorithm>

namespace mtsim {

void prepare_registers(DecoderState& d) {
  d.counts.fill(0);
  d.dec_pos = tpos - 1;
  d.rcv_pos = tpos - 1;
  for (int32_t k = 0; k < NUM_INF; ++k) {
    std::fill_n(d.sum[k].begin(), tpos, PRESTART_SUM);
    std::fill_n(d.dec[k].begin(), tpos, int16_t{0});
    std::fill_n(d.dif[k].begin(), tpos, int16_t{0});
  }
}

void write_error_packet(Streams& s, Rng& rngB, int32_t npacketll) {
  if (npacketll <= 0) return;
  const int32_t steps = npacketll / 8;
  Stream* order[8] = {&s.rinf[5], &s.rinf[4], &s.rinf[3], &s.rinf[2],
                      &s.rinf[1], &s.rinf[0], &s.rchk2,   &s.rchk1};
  for (Stream* stream : order) {
    for (int32_t n = PACKET_START; n < PACKET_START + steps; ++n) {
      rngB.advance();
      (*stream)[tpos + n] = static_cast<int16_t>(rngB.bit());
    }
  }
}

}  // namespace mtsim
