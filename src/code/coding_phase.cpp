// The coding phase: the encoder between two clock readings, and its report.
#include "code/encoder.h"
#include "driver/run.h"

namespace mtsim {

int32_t Run::encode_all() {
  check_weight += kernels == Kernels::kFast ? encode_fast(streams, params.ndkdd)
                                            : encode_reference(streams, params.ndkdd);
  return 0;
}

void Run::coding_phase() {
  const ClockReading start = clock.read();
  out->console(" \n  coding start       %d ms    ", start.ms);
  out->results(" \n  coding start   %d ms    ", start.ms);
  encode_all();
  const ClockReading end = clock.read();

  out->results(" \n  inf weight=%d \n   check weight=%d ", inf_weight, check_weight);
  out->console("\n  inf weight=%d \n  check weight=%d ", inf_weight, check_weight);
  out->results(" \n  inftot=%d ", inftot);
  out->console(" \n  inftot=%d ", inftot);
  out->console(" \n  coding end & noise  gen start  =  %d ms    ", end.ms);
  out->results(" \n coding end & noise  gen start = %d ms    ", end.ms);

  coder_speed = bits_per_second(int64_t{6} * params.ndkdd, start, end);
  out->console(" \n ********* coder speed= %ld  bits/s   ", coder_speed);
  out->results("\n ******** coder speed= %ld  bits/s  ", coder_speed);
}

}  // namespace mtsim
