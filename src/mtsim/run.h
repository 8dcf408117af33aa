// One simulated transmission, end to end, with its report: the run's whole
// state and its phases.
//
// A Run holds everything one run touches: parameters, clock, report
// streams, the channel estimates and one frame of the simulated chain.  The
// phases write the report and take the clock readings; the chain's work is
// done by the frame's stages (sim/frame/frame.h).  A Run runs its phases
// strictly in order, each exactly once; the phases take no arguments and
// hand over their results only through this state.  Separate Runs share
// nothing.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "mtsim/clock.h"
#include "mtsim/params.h"
#include "mtsim/report_writer.h"
#include "sim/channel/estimates.h"
#include "sim/frame/frame.h"

namespace mtsim {

struct Run {
  // `params_in` is borrowed and stays open for the whole run; the writer
  // owns the results stream.  The frame state (~29 MB) is a fresh
  // allocation of its own, zero, with the fixed tables inf_pattern and
  // swap_table built.  REQUIRES: params_in non-null.
  Run(std::FILE* params_in, std::unique_ptr<ReportWriter> out, Clock clock = Clock());

  // The whole run: banners, every phase, the driver's own report lines.
  void execute();

  // --- The phases, in the order execute() calls them. ---
  void read_parameters();   // parameters: read, replace, echo
  void estimate_channel();  // capacity and rate estimates; level_cdf, flip_limit
  void code_setup();        // start time, seeds, cleared buffers and counters
  void generate_source();   // inf[0..5], inftot, inf_weight
  void coding_phase();      // encode_all between two clock readings, coding report
  void encode_all();        // chk1, chk2, check_weight
  void transmit();          // received bits and reliabilities, inferr, isaerr
  void report_channel_errors();  // the pre-decoding counts
  void prepare_decoder();   // decoder registers, counts, error packet
  void decode_all();        // fills counts
  void final_report();      // packet length, the result table, closing lines

  // The frame settings that the parameters leave.
  FrameConfig config() const;

  std::FILE* params_in;
  std::unique_ptr<ReportWriter> out;
  Clock clock;
  Kernels kernels = Kernels::kFast;

  Params params;
  ChannelEstimates estimates;  // the channel's level table among them
  long coder_speed = 0;
  const std::unique_ptr<FrameState> frame;  // generators, streams, decoder registers, counters
};

}  // namespace mtsim
