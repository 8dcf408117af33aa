// Capacity and rate estimates of the quantized Gaussian channel.
//
// From the noise level AN alone, integrates the probability of every level
// of a uniform quantizer from the Gaussian density (midpoint sums) and
// derives capacities and cutoff rates for 8 and 16 levels and for hard
// decisions, then scans eleven step sizes of the 16-level quantizer.  The
// last, finest trial becomes the channel's level table.  Values only: what
// to print is the caller's business.
#pragma once

#include <array>

#include "sim/channel/transmit.h"

namespace mtsim {

inline constexpr int SCAN_TRIALS = 11;

// Capacity and cutoff rate of the binary symmetric channel that hard
// decisions leave.
struct HardDecisionRates {
  double C2 = 0.0;
  double R1 = 0.0;
};

// One trial step size of the 16-level quantizer.
struct ScanTrial {
  double p_before = 0.0;  // hard-error probability the previous trial left (p16 for the first)
  double R16 = 0.0;       // cutoff rate with this step size
};

struct ChannelEstimates {
  double p8 = 0.0;   // hard-error probability of the 8-level pass
  double C8 = 0.0;   // capacity, 8 levels
  double R8 = 0.0;   // cutoff rate, 8 levels
  HardDecisionRates hard8;
  double p16 = 0.0;  // hard-error probability of the 16-level pass
  double C16 = 0.0;  // capacity, 16 levels
  double R16 = 0.0;  // cutoff rate, 16 levels
  HardDecisionRates hard16;
  std::array<ScanTrial, SCAN_TRIALS> scan{};
  ChannelTable table;  // the last trial's levels: what the channel draws from
};

// REQUIRES: AN in 2.0 ... 5.0 or exactly 25.0 (as the parameter reader
// leaves it) for a table that a frame draws from.  The capacities and rates
// alone hold from AN -3.0 up: below 2.0 the outer levels still hold all
// but about 1e-4 of the density (C16 is 0.484 at -3.0, 0.718 at 0.0).
ChannelEstimates channel_estimates(double AN);

}  // namespace mtsim
