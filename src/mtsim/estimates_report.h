// The console's report of the channel estimates.
#pragma once

#include "mtsim/report_writer.h"
#include "sim/channel/estimates.h"

namespace mtsim {

// The estimate lines, console only: capacities and cutoff rates, then the
// eleven trials of the quantizer scan.
void report_estimates(const ChannelEstimates& e, ReportWriter& out);

}  // namespace mtsim
