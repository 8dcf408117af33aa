#include "mtsim/run.h"

#include <utility>

namespace mtsim {

Run::Run(std::FILE* in, std::unique_ptr<ReportWriter> writer, Clock c)
    : params_in(in), out(std::move(writer)), clock(std::move(c)), frame(make_frame_state()) {}

void Run::execute() {
  // The fixed tables were built with the frame state.
  out->console("\n ");
  out->results("\n ");
  out->results("\n  ");
  out->console("\n  ");

  read_parameters();
  estimate_channel();
  code_setup();
  generate_source();
  coding_phase();
  transmit();

  const ClockReading noise_end = clock.read();
  out->console(" \n  noise gen end     %d ms    ", noise_end.ms);
  out->results(" \n   noise gen end   %d ms    ", noise_end.ms);

  report_channel_errors();
  prepare_decoder();

  const ClockReading d0 = clock.read();
  out->console(" \n  time  decoding  start=%d ms    ", d0.ms);
  out->results(" \n  time    decoding start=%d ms    ", d0.ms);
  decode_all();
  const ClockReading d1 = clock.read();
  out->console(" \n  time  decoding end = %d ms ", d1.ms);
  out->results(" \n  time   decoding end  = %d ms", d1.ms);
  const ClockReading d2 = clock.read();
  out->results("\n time decoding work= %ld  ms     ", static_cast<long>(d2.ms) - d0.ms);
  const long decoder_speed = bits_per_second(int64_t{NUM_INF} * params.ndkdd, d0, d2);
  out->console(" \n ********* decoder speed= %ld  bits/s   ", decoder_speed);
  out->results("\n ******** decoder speed= %ld  bits/s   ", decoder_speed);

  final_report();
}

}  // namespace mtsim
