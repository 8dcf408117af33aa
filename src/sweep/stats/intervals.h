// Bit error rates of a point with 95% intervals from the frame-to-frame
// variation of the error counts.
//
// Decoder errors come in bursts, so bits are far from independent, but
// frames are: each has its own noise seed.  Every frame of a point judges
// the same number of bits n, so the BER is the ratio estimator
// sum(e_i) / (K n) over the per-frame counts e_i.  The counts are heavily
// right-skewed (a few frames hold large bursts), and where few frames hold
// errors the sample says little about how large the bursts can be.  So the
// interval is Student's t on the per-frame mean with two corrections
// (README, "How the interval is computed", has the reasons and the
// measured coverage):
// - Hall's transformation removes the skewness of the t statistic: the
//   interval reaches further up than down;
// - the degrees of freedom are (k - 1) / 2 for k frames with errors: the
//   error frames, not all frames, are the independent events, and halving
//   allows for the heavy tails of the counts.
// With one error frame the upper end is infinite: one burst says nothing of
// the next.  With no error at all the upper end is -ln(0.05) / (K n) (about
// 3 / bits), the 95% bound for errors that come one at a time; bursts make
// the honest bound larger, which no run can see.
#pragma once

#include <cstdint>

#include "sweep/stats/tally.h"

namespace mtsweep {

struct Rate {
  int64_t bits = 0;  // judged, summed over the frames
  int64_t errors = 0;
  int64_t error_frames = 0;  // frames holding them
  double ber = 0.0;
  double low = 0.0;  // 95% interval; high may be +infinity
  double high = 0.0;
};

// Bits judged in one frame: iteration 0 is the decoder input, 6 ndkdd
// bits; iteration j >= 1 judges 6 judged_steps(ndkdd, j - 1), that is
// 6 (ndkdd - 710 - 700 (j - 1)).
int64_t judged_bits(int32_t ndkdd, int iteration);

// The BER after the last of `iterat` iterations in the frames added so far,
// as progress reports show it while a point runs.  REQUIRES: sums.frames > 0.
inline double running_ber(const PointSums& sums, int32_t ndkdd, int iterat) {
  return static_cast<double>(last_errors(sums, iterat)) /
         static_cast<double>(sums.frames * judged_bits(ndkdd, iterat));
}

// Iteration 0 is the input, 1 ... iterat the decoder's iterations.
// REQUIRES: sums.frames >= 2, 0 <= iteration <= iterat.
Rate rate_after(const PointSums& sums, int32_t ndkdd, int iteration);

// The per-frame error counts of K frames, by the sums that an interval
// needs.  Summed in frame order, they are the same bits for any number of
// threads or processes and across resumed runs.
struct FrameErrors {
  int64_t frames = 0;
  int64_t bits_per_frame = 0;
  int64_t errors = 0;        // sum of the counts
  double errors_sq = 0.0;    // of their squares
  double errors_cube = 0.0;  // of their cubes
  int64_t error_frames = 0;  // counts that are not 0
};

// REQUIRES: frames >= 2.
Rate frame_interval(const FrameErrors& e);

// The two-sided 95% quantile of Student's t with `df` degrees of freedom,
// not necessarily whole (12.706 for 1, 164.56 for 0.5, 1.960 in the limit).
// REQUIRES: df > 0.
double t_quantile_95(double df);

// Q(x), the upper tail of the standard normal distribution.
double q_function(double x);

}  // namespace mtsweep
