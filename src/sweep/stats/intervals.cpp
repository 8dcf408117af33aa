#include "sweep/stats/intervals.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace mtsweep {

namespace {

// P(|T| < t) for Student's t with `df` degrees of freedom, by the finite
// series for integer df (Abramowitz and Stegun 26.7.3 and 26.7.4).
double t_central_mass(double t, int64_t df) {
  const double theta = std::atan(t / std::sqrt(static_cast<double>(df)));
  const double c2 = std::cos(theta) * std::cos(theta);
  const double s = std::sin(theta);
  double sum = 0.0;
  if (df % 2 == 1) {
    double term = std::cos(theta);
    for (int64_t k = 1; 2 * k + 1 <= df; ++k) {
      sum += term;
      term *= c2 * static_cast<double>(2 * k) / static_cast<double>(2 * k + 1);
    }
    return 2.0 / std::numbers::pi * (theta + s * sum);
  }
  double term = 1.0;
  for (int64_t k = 1; 2 * k <= df; ++k) {
    sum += term;
    term *= c2 * static_cast<double>(2 * k - 1) / static_cast<double>(2 * k);
  }
  return s * sum;
}

}  // namespace

double t_quantile_95(int64_t df) {
  if (df > 1000) {
    // Cornish-Fisher expansion about the normal quantile (A&S 26.7.5);
    // beyond 1,000 degrees of freedom its error is below 1e-12.
    const double z = 1.959963984540054, v = static_cast<double>(df);
    const double z2 = z * z;
    const double g1 = (z2 + 1) * z / 4;
    const double g2 = ((5 * z2 + 16) * z2 + 3) * z / 96;
    const double g3 = (((3 * z2 + 19) * z2 + 17) * z2 - 15) * z / 384;
    const double g4 = ((((79 * z2 + 776) * z2 + 1482) * z2 - 1920) * z2 - 945) * z / 92160;
    return z + g1 / v + g2 / (v * v) + g3 / (v * v * v) + g4 / (v * v * v * v);
  }
  double lo = 0.0, hi = 64.0;  // df = 1 gives 12.7
  for (int i = 0; i < 100 && hi - lo > 1e-13; ++i) {
    const double mid = 0.5 * (lo + hi);
    (t_central_mass(mid, df) < 0.95 ? lo : hi) = mid;
  }
  return 0.5 * (lo + hi);
}

double q_function(double x) { return 0.5 * std::erfc(x / std::sqrt(2.0)); }

int64_t judged_bits(int32_t ndkdd, int iteration) {
  const int32_t steps = iteration == 0 ? ndkdd : mtsim::judged_steps(ndkdd, iteration - 1);
  return int64_t{mtsim::NUM_INF} * steps;
}

Rate frame_interval(int64_t frames, int64_t bits_per_frame, int64_t errors, double errors_sq) {
  Rate r;
  const double k = static_cast<double>(frames);
  const double n = static_cast<double>(bits_per_frame);
  r.bits = frames * bits_per_frame;
  r.errors = errors;
  r.ber = static_cast<double>(errors) / (k * n);
  if (errors == 0) {
    r.high = -std::log(0.05) / (k * n);
    return r;
  }
  const double e = static_cast<double>(errors);
  const double variance = std::max(0.0, (errors_sq - e * e / k) / (k - 1.0));
  const double half = t_quantile_95(frames - 1) * std::sqrt(variance / k) / n;
  r.low = std::max(0.0, r.ber - half);
  r.high = r.ber + half;
  return r;
}

Rate rate_after(const PointSums& sums, int32_t ndkdd, int iteration) {
  const size_t entry = iteration == 0 ? 1 : static_cast<size_t>(2 + iteration);
  return frame_interval(sums.frames, judged_bits(ndkdd, iteration), sums.table[entry],
                        sums.table_sq[entry]);
}

}  // namespace mtsweep
