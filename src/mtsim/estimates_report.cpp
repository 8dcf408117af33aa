// The estimates phase: the channel estimates for the run's noise level, on
// the console only.
#include "mtsim/estimates_report.h"

#include "mtsim/run.h"

namespace mtsim {

void report_estimates(const ChannelEstimates& e, ReportWriter& out) {
  out.console("\n  new mpch=%d", static_cast<int>(static_cast<int32_t>(1e6 * e.p8) / 1000));
  for (int hundred = 0; hundred < 550 / 100; ++hundred) {
    out.console("\n channel capacity C8=%lf", e.C8);
  }
  out.console("\n%lf -comp rate M=8", e.R8);
  out.console("\n M=2 C=%lf  R1=%f", e.hard8.C2, e.hard8.R1);

  out.console("\n channel capacity C16=%lf", e.C16);
  out.console("\n%lf -comp rate M=16", e.R16);
  out.console("\n M=2 C=%lf  R1=%f", e.hard16.C2, e.hard16.R1);
  out.console(" \n  MPCH test     %ld     ", static_cast<long>(static_cast<int32_t>(1e6 * e.p16)));

  for (const ScanTrial& trial : e.scan) {
    out.console(" \n  your noice level A/N (0-5)    %f  ", trial.p_before);
    out.console("\n  %lf -comp rate M=16", trial.R16);
  }
}

void Run::estimate_channel() {
  estimates = mtsim::estimate_channel(params.AN);
  report_estimates(estimates, *out);
}

}  // namespace mtsim
