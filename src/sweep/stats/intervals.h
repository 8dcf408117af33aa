// Bit error rates of a point with 95% intervals from the frame-to-frame
// variation of the error counts.
//
// Decoder errors come in bursts, so bits are far from independent, but
// frames are: each has its own noise seed.  Every frame of a point judges
// the same number of bits n, so the BER is the ratio estimator
// sum(e_i) / (K n), and its standard error comes from the sample variance
// of the per-frame counts e_i: s / (sqrt(K) n).  The interval is the BER
// plus and minus Student's t quantile (K - 1 degrees of freedom) times that
// error, cut at 0.  With no errors at all the variance says nothing; the
// upper end is then -ln(0.05) / (K n) (about 3 / bits), the 95% bound for
// errors that come one at a time.  A burst of b errors counts as one event,
// so bursts make the honest bound up to b times larger: README says so.
#pragma once

#include <cstdint>

#include "sweep/stats/tally.h"

namespace mtsweep {

struct Rate {
  int64_t bits = 0;  // judged, summed over the frames
  int64_t errors = 0;
  double ber = 0.0;
  double low = 0.0;  // 95% interval
  double high = 0.0;
};

// Bits judged in one frame: iteration 0 is the decoder input, 6 ndkdd
// bits; iteration j >= 1 judges 6 judged_steps(ndkdd, j - 1), that is
// 6 (ndkdd - 710 - 700 (j - 1)).
int64_t judged_bits(int32_t ndkdd, int iteration);

// Iteration 0 is the input, 1 ... iterat the decoder's iterations.
// REQUIRES: sums.frames >= 2, 0 <= iteration <= iterat.
Rate rate_after(const PointSums& sums, int32_t ndkdd, int iteration);

// The 95% interval of a ratio estimator from K frames that each judge
// `bits_per_frame` bits, with `errors` and `errors_sq` the sums of the
// per-frame error counts and of their squares.  REQUIRES: frames >= 2.
Rate frame_interval(int64_t frames, int64_t bits_per_frame, int64_t errors, double errors_sq);

// The two-sided 95% quantile of Student's t with `df` degrees of freedom
// (12.706 for 1, 1.960 in the limit).  REQUIRES: df >= 1.
double t_quantile_95(int64_t df);

// Q(x), the upper tail of the standard normal distribution.
double q_function(double x);

}  // namespace mtsweep
