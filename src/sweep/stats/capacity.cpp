#include "sweep/stats/capacity.h"

#include "sim/channel/estimates.h"

namespace mtsweep {

double an_at_capacity(double rate) {
  // C16 grows with AN; bisection on the bracket.
  double lo = -3.0, hi = 5.0;
  while (hi - lo > 1e-6) {
    const double mid = 0.5 * (lo + hi);
    (mtsim::channel_estimates(mid).C16 < rate ? lo : hi) = mid;
  }
  return 0.5 * (lo + hi);
}

}  // namespace mtsweep
