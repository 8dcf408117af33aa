// The information source phase.
#include "channel/source.h"

#include "driver/run.h"

namespace mtsim {

std::array<int16_t, 30> make_inf_pattern() {
  return {0, 1, 1, 0, 1, 0, 1, 1, 1, 0, 0, 1, 1, 0, 0, 1,
          0, 1, 0, 1, 1, 0, 1, 1, 0, 1, 0, 0, 0, 0};
}

void Run::generate_source() {
  const ClockReading start = clock.read();
  out->console(" \n  inf start       %d ms    ", start.ms);
  out->results(" \n  inf start   %d ms    ", start.ms);
  inferr = 0;
  isaerr = 0;

  // rngB advances once per bit in every mode, so the error packet drawn
  // after the source does not depend on infind.
  for (int32_t t = 0; t < params.ndkdd; ++t) {
    inftot += NUM_INF;
    for (int32_t j = 0; j < NUM_INF; ++j) {
      rngB.advance();
      int32_t bit = 0;
      switch (params.infind) {
        case 1:
          bit = 1;
          break;
        case 2:
          pattern_pos += 1;
          if (pattern_pos > 29) pattern_pos = 1;
          bit = inf_pattern[pattern_pos];
          break;
        case 3:
          bit = rngB.bit();
          break;
        default:  // 0 and negative modes send zeros
          break;
      }
      inf_weight += bit;
      streams.inf[NUM_INF - 1 - j][tpos + t] = static_cast<int16_t>(bit);
    }
  }
}

}  // namespace mtsim
