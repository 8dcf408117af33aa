// Capacity and rate estimates of the quantized Gaussian channel.
//
// From the noise level AN alone, integrates the probability of every level
// of a uniform quantizer from the Gaussian density (midpoint sums), prints
// capacities and cutoff rates for 8 and 16 levels and for hard decisions,
// then scans eleven step sizes of the 16-level quantizer.  The last, finest
// trial becomes the channel's level table.  Console only.
#pragma once

#include "driver/report_writer.h"
#include "channel/transmit.h"

namespace mtsim {

// REQUIRES: AN in 2.0 ... 5.0 or exactly 25.0 (as the parameter reader
// leaves it).
ChannelTable estimate_channel(double AN, ReportWriter& out);

}  // namespace mtsim
