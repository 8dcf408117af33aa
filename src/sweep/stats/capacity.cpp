#include "sweep/stats/capacity.h"

#include "sim/channel/estimates.h"
#include "sim/code/code_tables.h"

namespace mtsweep {

namespace {

double bisect(double rate) {
  // C16 grows with AN; bisection on the bracket.
  double lo = -3.0, hi = 5.0;
  while (hi - lo > 1e-6) {
    const double mid = 0.5 * (lo + hi);
    (mtsim::channel_estimates(mid).C16 < rate ? lo : hi) = mid;
  }
  return 0.5 * (lo + hi);
}

}  // namespace

double an_at_code_rate() {
  static const double an = bisect(mtsim::CODE_RATE);
  return an;
}

}  // namespace mtsweep
