// The code set-up phase: start time, seeds, cleared buffers and counters.
#include <algorithm>

#include "driver/run.h"

namespace mtsim {

void Run::code_setup() {
  const ClockReading start = clock.read();
  out->console(" \n  start time is       %d s    ", start.ms / 1000);
  out->results(" \n start time is       %d s    ", start.ms / 1000);
  out->results("\n ========================== ");
  out->console("\n ============================= ");

  seed_generators(rngA, rngB, params.kst);
  pattern_pos = 0;
  // taps and sorted_taps are constant tables; ring_mask is a constant.
  for (Stream* buffer : {&streams.chk1, &streams.chk2}) {
    std::fill_n(buffer->begin(), CLEARED_LEN, int16_t{0});
  }
  for (Stream& buffer : streams.inf) std::fill_n(buffer.begin(), CLEARED_LEN, int16_t{0});
  inftot = 0;
  inf_weight = 0;
  check_weight = 0;

  out->console(" \n    Program finish print  ");
  out->results(" \n  Program finish print   ");
}

}  // namespace mtsim
