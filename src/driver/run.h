// One simulated transmission, end to end: the run's whole state and its
// phases.
//
// A Run holds everything one simulation touches: parameters, clock, report
// streams, generators, stream buffers, channel table, decoder registers and
// counters.  It is created once (on the heap: the buffers take ~29 MB) and
// runs its phases strictly in order, each exactly once; the phases take no
// arguments and hand over their results only through this state.  Separate
// Runs share nothing, so several can live in one process.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "channel/rng.h"
#include "channel/source.h"
#include "channel/transmit.h"
#include "code/streams.h"
#include "decoder/decoder.h"
#include "driver/clock.h"
#include "driver/params.h"
#include "driver/report_writer.h"

namespace mtsim {

// Which kernel implementations a run uses.  The reference ones are the
// direct transcriptions that faster ones are checked against.
enum class Kernels { kFast, kReference };

struct Run {
  // `params_in` is borrowed and stays open for the whole run; the writer
  // owns the results stream.  REQUIRES: params_in non-null.
  static std::unique_ptr<Run> create(std::FILE* params_in, std::unique_ptr<ReportWriter> out,
                                     Clock clock = Clock());

  // The whole run: start-up tables, banners, every phase, the driver's own
  // report lines.  Returns 0.
  int32_t execute();

  // --- The phases, in the order execute() calls them. ---
  void start_up();          // the fixed tables inf_pattern and swap_table
  void read_parameters();   // parameters: read, replace, echo
  void estimate_channel();  // capacity and rate estimates; level_cdf, flip_limit
  void code_setup();        // start time, seeds, cleared buffers and counters
  void generate_source();   // inf[0..5], inftot, inf_weight
  void coding_phase();      // encode_all between two clock readings, coding report
  int32_t encode_all();     // chk1, chk2, check_weight; returns 0
  void transmit();          // received bits and reliabilities, inferr, isaerr
  void report_channel_errors();  // the pre-decoding counts
  void prepare_decoder();   // decoder registers, counts, error packet
  int32_t decode_all();     // fills counts; returns 0
  void final_report();      // packet length, the result table, closing lines

  // --- State. ---
  std::FILE* params_in = nullptr;
  std::unique_ptr<ReportWriter> out;
  Clock clock;
  Kernels kernels = Kernels::kFast;

  Params params;
  ChannelTable channel;

  SwapTable swap_table{};
  Rng rngA;
  Rng rngB;

  InfPattern inf_pattern{};  // bits numbered 1 ... 29
  int32_t pattern_pos = 0;                // pattern bit used last, 0 before the first

  int32_t inftot = 0;
  int32_t inf_weight = 0;
  int32_t check_weight = 0;
  int32_t inferr = 0;
  int32_t isaerr = 0;
  long coder_speed = 0;

  Streams streams{};
  DecoderState decoder{};

 private:
  Run(std::FILE* params_in, std::unique_ptr<ReportWriter> out, Clock clock);
};

}  // namespace mtsim
