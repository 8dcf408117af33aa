// The run's phases: each reports around one stage of the frame.
#include "mtsim/estimates_report.h"
#include "mtsim/run.h"

namespace mtsim {

FrameConfig Run::config() const {
  return FrameConfig{params.infind, params.ndkdd, params.iterat, params.AN, params.npacketll};
}

void Run::read_parameters() { read_parameter_file(params_in, params, *out); }

void Run::estimate_channel() {
  estimates = channel_estimates(params.AN);
  report_estimates(estimates, *out);
}

void Run::code_setup() {
  const ClockReading start = clock.read();
  out->console(" \n  start time is       %d s    ", start.ms / 1000);
  out->results(" \n start time is       %d s    ", start.ms / 1000);
  out->results("\n ========================== ");
  out->console("\n ============================= ");

  start_fresh_frame(*frame, params.kst);  // the phase runs once, on the Run's fresh state

  // Not the end of anything: the report has always printed it here.
  out->console(" \n    Program finish print  ");
  out->results(" \n  Program finish print   ");
}

void Run::generate_source() {
  const ClockReading start = clock.read();
  out->console(" \n  inf start       %d ms    ", start.ms);
  out->results(" \n  inf start   %d ms    ", start.ms);
  run_source(*frame, config(), kernels);
}

void Run::encode_all() { run_encoder(*frame, config(), kernels); }

void Run::coding_phase() {
  const ClockReading start = clock.read();
  out->console(" \n  coding start       %d ms    ", start.ms);
  out->results(" \n  coding start   %d ms    ", start.ms);
  encode_all();
  const ClockReading end = clock.read();

  const int32_t inf_weight = frame->source.inf_weight;
  out->results(" \n  inf weight=%d \n   check weight=%d ", inf_weight, frame->check_weight);
  out->console("\n  inf weight=%d \n  check weight=%d ", inf_weight, frame->check_weight);
  out->results(" \n  inftot=%d ", frame->source.inftot);
  out->console(" \n  inftot=%d ", frame->source.inftot);
  out->console(" \n  coding end & noise  gen start  =  %d ms    ", end.ms);
  out->results(" \n coding end & noise  gen start = %d ms    ", end.ms);

  coder_speed = bits_per_second(int64_t{NUM_INF} * params.ndkdd, start, end);
  out->console(" \n ********* coder speed= %ld  bits/s   ", coder_speed);
  out->results("\n ******** coder speed= %ld  bits/s  ", coder_speed);
}

void Run::transmit() { run_channel(*frame, estimates.table, config(), kernels); }

void Run::report_channel_errors() {
  const int32_t inftot = frame->source.inftot;
  const ChannelErrors& e = frame->channel_errors;
  out->results(" \n inftot=%d  \n  inferr gen=%d     isaerr gen=%d ", inftot, e.inferr, e.isaerr);
  out->console(" \n inftot=%d  \n inferr W=%d    isaerr W=%d ", inftot, e.inferr, e.isaerr);
}

void Run::prepare_decoder() { run_preparation(*frame, config()); }

void Run::decode_all() { run_decoder(*frame, config(), kernels); }

void Run::final_report() {
  out->results("\n  packet length=%d \n ", params.npacketll);
  out->console("\n  packet length = %d \n ", params.npacketll);
  for (int32_t i = 0; i < params.iterat + 3; ++i) {
    out->console(" %d", frame->decoder.counts[i]);
    out->results(" %d", frame->decoder.counts[i]);
  }
  out->console(" \n ---=========================================-- \n");
  out->results(" \n ----========================================--\n");
}

}  // namespace mtsim
