// The console's report of the channel estimates.
#include "mtsim/estimates_report.h"

namespace mtsim {

void report_estimates(const ChannelEstimates& e, ReportWriter& out) {
  out.console("\n  new mpch=%d", static_cast<int>(static_cast<int32_t>(1e6 * e.p8) / 1000));
  // Five times the same line, once per hundred terms of the 8-level
  // integration (550 terms): what the report has always printed.
  for (int hundred = 0; hundred < 550 / 100; ++hundred) {
    out.console("\n channel capacity C8=%lf", e.C8);
  }
  out.console("\n%lf -comp rate M=8", e.R8);
  out.console("\n M=2 C=%lf  R1=%f", e.hard8.C2, e.hard8.R1);

  out.console("\n channel capacity C16=%lf", e.C16);
  out.console("\n%lf -comp rate M=16", e.R16);
  out.console("\n M=2 C=%lf  R1=%f", e.hard16.C2, e.hard16.R1);
  out.console(" \n  MPCH test     %ld     ", static_cast<long>(static_cast<int32_t>(1e6 * e.p16)));

  // "noice", and a value that is the error probability, not AN: the
  // report's own wording, kept so that its output stays as recorded.
  for (const ScanTrial& trial : e.scan) {
    out.console(" \n  your noice level A/N (0-5)    %f  ", trial.p_before);
    out.console("\n  %lf -comp rate M=16", trial.R16);
  }
}

}  // namespace mtsim
