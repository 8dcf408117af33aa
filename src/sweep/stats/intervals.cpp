#include "sweep/stats/intervals.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace mtsweep {

namespace {

// The regularized incomplete beta function I_x(a, b), by its continued
// fraction (modified Lentz), with the symmetry I_x(a, b) = 1 - I_1-x(b, a)
// where the fraction converges slowly.
double incomplete_beta(double x, double a, double b) {
  if (x <= 0.0) return 0.0;
  if (x >= 1.0) return 1.0;
  if (x > (a + 1.0) / (a + b + 2.0)) return 1.0 - incomplete_beta(1.0 - x, b, a);
  const double front =
      std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) +
               b * std::log1p(-x)) / a;
  constexpr double kTiny = 1e-300;
  double f = 1.0, c = 1.0, d = 0.0;
  for (int i = 0; i <= 400; ++i) {
    const int m = i / 2;
    double numerator;
    if (i == 0) {
      numerator = 1.0;
    } else if (i % 2 == 0) {
      numerator = m * (b - m) * x / ((a + 2.0 * m - 1.0) * (a + 2.0 * m));
    } else {
      numerator = -((a + m) * (a + b + m) * x) / ((a + 2.0 * m) * (a + 2.0 * m + 1.0));
    }
    d = 1.0 + numerator * d;
    d = std::abs(d) < kTiny ? kTiny : d;
    d = 1.0 / d;
    c = 1.0 + numerator / c;
    c = std::abs(c) < kTiny ? kTiny : c;
    const double cd = c * d;
    f *= cd;
    if (std::abs(1.0 - cd) < 1e-15) break;
  }
  return front * (f - 1.0);
}

// P(|T| >= t) for Student's t with `df` degrees of freedom.
double t_two_tail(double t, double df) { return incomplete_beta(df / (df + t * t), df / 2.0, 0.5); }

// Hall's transformation of the t statistic T of a sample with skewness
// gamma, inverted: the t that maps to y.  g(t) = t + a t^2 + a^2 t^3 / 3 + b
// with a = gamma / (3 sqrt n), b = gamma / (6 sqrt n) is increasing, and
// g(T) is nearer Student's t than T is.
double hall_inverse(double y, double gamma, double n) {
  const double a = gamma / (3.0 * std::sqrt(n));
  const double b = gamma / (6.0 * std::sqrt(n));
  if (std::abs(a) < 1e-12) return y - b;
  return (std::cbrt(3.0 * a * (y - b) + 1.0) - 1.0) / a;
}

}  // namespace

double t_quantile_95(double df) {
  if (df > 1000) {
    // Cornish-Fisher expansion about the normal quantile (A&S 26.7.5);
    // beyond 1,000 degrees of freedom its error is below 1e-12.
    const double z = 1.959963984540054, v = df;
    const double z2 = z * z;
    const double g1 = (z2 + 1) * z / 4;
    const double g2 = ((5 * z2 + 16) * z2 + 3) * z / 96;
    const double g3 = (((3 * z2 + 19) * z2 + 17) * z2 - 15) * z / 384;
    const double g4 = ((((79 * z2 + 776) * z2 + 1482) * z2 - 1920) * z2 - 945) * z / 92160;
    return z + g1 / v + g2 / (v * v) + g3 / (v * v * v) + g4 / (v * v * v * v);
  }
  double lo = 0.0, hi = 2.0;
  while (t_two_tail(hi, df) > 0.05) hi *= 2.0;
  for (int i = 0; i < 200 && hi - lo > 1e-12 * hi; ++i) {
    const double mid = 0.5 * (lo + hi);
    (t_two_tail(mid, df) > 0.05 ? lo : hi) = mid;
  }
  return 0.5 * (lo + hi);
}

double q_function(double x) { return 0.5 * std::erfc(x / std::sqrt(2.0)); }

int64_t judged_bits(int32_t ndkdd, int iteration) {
  const int32_t steps = iteration == 0 ? ndkdd : mtsim::judged_steps(ndkdd, iteration - 1);
  return int64_t{mtsim::NUM_INF} * steps;
}

Rate frame_interval(const FrameErrors& e) {
  Rate r;
  const auto K = static_cast<double>(e.frames);
  const auto n = static_cast<double>(e.bits_per_frame);
  r.bits = e.frames * e.bits_per_frame;
  r.errors = e.errors;
  r.error_frames = e.error_frames;
  r.ber = static_cast<double>(e.errors) / (K * n);
  if (e.errors == 0) {
    r.high = -std::log(0.05) / (K * n);
    return r;
  }
  if (e.error_frames < 2) {
    r.high = std::numeric_limits<double>::infinity();
    return r;
  }
  // The per-frame mean, its spread and skewness.
  const double mean = static_cast<double>(e.errors) / K;
  // Frames that all hold the same count say nothing of the spread; a count
  // then varies at least as a Poisson count would.
  const double spread = std::max(0.0, e.errors_sq / K - mean * mean);
  const double m2 = spread > 0.0 ? spread : mean;
  const double m3 = e.errors_cube / K - 3.0 * mean * e.errors_sq / K + 2.0 * mean * mean * mean;
  const double skewness = m2 > 0.0 ? m3 / std::pow(m2, 1.5) : 0.0;
  const double standard_error = std::sqrt(m2 * K / (K - 1.0) / K);
  const double t = t_quantile_95(0.5 * static_cast<double>(e.error_frames - 1));
  r.low = std::max(0.0, mean - standard_error * hall_inverse(t, skewness, K)) / n;
  r.high = (mean - standard_error * hall_inverse(-t, skewness, K)) / n;
  return r;
}

Rate rate_after(const PointSums& sums, int32_t ndkdd, int iteration) {
  const size_t entry = iteration == 0 ? 1 : static_cast<size_t>(2 + iteration);
  return frame_interval(FrameErrors{sums.frames, judged_bits(ndkdd, iteration), sums.table[entry],
                                    sums.table_sq[entry], sums.table_cube[entry],
                                    sums.error_frames[entry]});
}

}  // namespace mtsweep
