#include "sim/channel/estimates.h"

#include <cmath>

namespace mtsim {

namespace {

constexpr double kPassK = 6.283184713;  // normalising constant of the two passes
constexpr double kScanK = 6.283185307;  // normalising constant of the scan

// Midpoint sum of the Gaussian density with variance s over [lo, hi]:
// terms at hi - h/2, hi - 3h/2, ... while above lo; at least one term.
double level_mass(double lo, double hi, double s, double h, double K) {
  const double g = 1.0 / std::sqrt(K * s);
  double y = hi - h / 2.0;
  double P = 0.0;
  do {
    P += g * std::exp(-(y * y) / (2.0 * s)) * h;
    y -= h;
  } while (y > lo);
  return P;
}

// With a very weak noise (AN = 25) a probability obtained by subtraction can
// come out slightly negative; the measures treat it as 0, and a term P log P
// with P exactly 0 as 0.
double clamp0(double p) { return p < 0.0 ? 0.0 : p; }
double log2(double x) { return std::log(x) / std::log(2.0); }
double xlog2(double p, double q) { return p == 0.0 ? 0.0 : p * log2(q); }

// P[1..M] are the level probabilities; level i's mirror image is M + 1 - i.
double capacity(const double* P, int M) {
  double c = 1.0;
  for (int i = 1; i <= M; ++i) {
    const double pi = clamp0(P[i]);
    const double pm = clamp0(P[M + 1 - i]);
    c += xlog2(pi, pi / (pi + pm));
  }
  return c;
}

double cutoff_rate(const double* P, int M) {
  double total = 0.0;
  for (int i = 1; i <= M / 2; ++i) {
    const double r = std::sqrt(clamp0(P[M + 1 - i])) + std::sqrt(clamp0(P[i]));
    total += r * r;
  }
  return -log2(0.5 * total);
}

// One of the two passes: level k = 1 ... levels from b(k) = 1.5s - k width
// up to b(k - 1), level 1 up to `top`.  Fills P[1 .. levels].
void integrate_pass(double* P, int levels, double width, double top, double s) {
  const double h = 0.005 * s;
  for (int k = 1; k <= levels; ++k) {
    const double lo = 1.5 * s - k * width * s;
    const double hi = k == 1 ? top * s : 1.5 * s - (k - 1) * width * s;
    P[k] = level_mass(lo, hi, s, h, kPassK);
  }
}

HardDecisionRates hard_rates(double p_raw) {
  const double p = clamp0(p_raw);
  return HardDecisionRates{1.0 + xlog2(p, p) + xlog2(1.0 - p, 1.0 - p),
                   1.0 - log2(1.0 + std::sqrt(4.0 * p * (1.0 - p)))};
}

}  // namespace

ChannelEstimates channel_estimates(double AN) {
  ChannelEstimates est;
  const double E = std::exp(std::log(10.0) * AN * 0.1);
  const double s = 8.0 * E;

  // 8-level pass: width 0.25s, b(0) = 2.5s; the last level by subtraction.
  double P8[9] = {};
  integrate_pass(P8, 7, 0.25, 2.5, s);
  P8[8] = 0.5 - P8[7];
  est.p8 = 0.5 - P8[6] - P8[5];
  est.C8 = capacity(P8, 8);
  est.R8 = cutoff_rate(P8, 8);
  est.hard8 = hard_rates(est.p8);

  // 16-level pass: width 0.125s, b(0) = 2.0s.
  double P16[17] = {};
  integrate_pass(P16, 15, 0.125, 2.0, s);
  P16[16] = 0.5 - P16[13] - P16[14] - P16[15];
  est.p16 = 0.5 - P16[12] - P16[11] - P16[10] - P16[9];
  est.C16 = capacity(P16, 16);
  est.R16 = cutoff_rate(P16, 16);
  est.hard16 = hard_rates(est.p16);

  // Scan: the decision boundary b(8) = s/2 stays, the other inner boundaries
  // move toward it; top 3.0s and bottom -2.875s are fixed.  Each trial
  // starts from the error probability the previous one left.
  double P[17] = {};
  double p_scan = est.p16;
  for (int j = 0; j < SCAN_TRIALS; ++j) {
    est.scan[j].p_before = p_scan;
    const double w = 0.125 * s - j * 0.00625 * s;
    const double h = 0.000625 * s;
    for (int k = 1; k <= 16; ++k) {
      const double lo = k == 16 ? -2.875 * s : s / 2.0 + (8 - k) * w;
      const double hi = k == 1 ? 3.0 * s : s / 2.0 + (8 - (k - 1)) * w;
      P[k] = level_mass(lo, hi, s, h, kScanK);
    }
    p_scan = 0.0;
    for (int k = 1; k <= 8; ++k) p_scan += P[k];
    est.scan[j].R16 = cutoff_rate(P, 16);
  }

  est.table.flip_limit = static_cast<int32_t>(1e6 * p_scan);
  double running = 0.0;
  for (int i = 0; i < 16; ++i) {
    running += P[i + 1];
    est.table.level_cdf[i] = static_cast<int32_t>(1e6 * running);
  }
  return est;
}

}  // namespace mtsim
