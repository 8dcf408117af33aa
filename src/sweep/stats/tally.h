// A point's counts summed over its frames, and the stop rule that decides
// how many frames make the point.
//
// Frames are added strictly in frame order (kst = seed, seed + 1, ...), and
// the rule looks only at the frames added so far, so the point's result
// does not depend on how many workers computed them or in which order they
// finished.  Frames computed beyond the rule's K are simply never added.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sweep/settings.h"
#include "sim/frame/frame.h"

namespace mtsweep {

// A frame that still holds errors after the last iteration: enough to
// replay it with mtsim (its kst) and its information errors at the decoder
// input (iteration 0) and after every iteration.
struct FailingFrame {
  int32_t kst = 0;
  std::vector<int32_t> errors;  // iterations 0 ... iterat
  bool operator==(const FailingFrame&) const = default;
};

// The failing frames a point keeps, the first ones in frame order; beyond
// them error_frames still counts every one.  The intervals use the sums
// alone, so the bound changes none of them.
inline constexpr int64_t MAX_FAILING_FRAMES = 10000;

struct PointSums {
  int64_t frames = 0;
  // The result tables summed: [0] bits decoded, [1] information and [2]
  // check errors at the decoder input, [3 + j] errors after iteration j.
  std::array<int64_t, mtsim::NUM_COUNTS> table{};
  // Their squares and cubes summed, for the frame-to-frame variance and
  // skewness.  Double: a frame may hold 3.12 million errors, and 2^21
  // squares of that pass 2^64; sums stay exact while below 2^53.
  std::array<double, mtsim::NUM_COUNTS> table_sq{};
  std::array<double, mtsim::NUM_COUNTS> table_cube{};
  // The frames whose entry is not 0: at [3 + j] the error frames after
  // iteration j, the independent events behind its errors.
  std::array<int64_t, mtsim::NUM_COUNTS> error_frames{};
  std::vector<FailingFrame> failing;  // in frame order, at most MAX_FAILING_FRAMES
  int64_t inftot = 0, inf_weight = 0, check_weight = 0, inferr = 0, isaerr = 0;
};

// Adds the frame with noise seed kst.  REQUIRES: frames in frame order.
void add_frame(PointSums& sums, const mtsim::FrameCounts& frame, int32_t kst);

// Errors after the last of `iterat` iterations, and the frames holding them.
inline int64_t last_errors(const PointSums& sums, int iterat) { return sums.table[2 + iterat]; }
inline int64_t last_error_frames(const PointSums& sums, int iterat) {
  return sums.error_frames[2 + iterat];
}

// Why a point is complete: enough errors and error frames (with enough
// frames), the frames ran out, or (by the sweep's clock) its time.
enum class PointStop { kNotYet, kMinErrors, kMaxFrames, kTime };
// By the rule alone: never kTime.
PointStop point_stop(const PointSums& sums, const StopRule& rule, int iterat);
const char* point_stop_name(PointStop stop);  // "min_errors", "max_frames", "time"
// The stop of that name; kNotYet for any other text.
PointStop point_stop_named(const std::string& name);

// True once the frames added so far complete the point: at least
// min_frames, and after the last iteration at least min_errors errors in
// at least min_error_frames frames; or max_frames frames.
inline bool point_complete(const PointSums& sums, const StopRule& rule, int iterat) {
  return point_stop(sums, rule, iterat) != PointStop::kNotYet;
}

inline constexpr int MAX_ROUND_PER_WORKER = 16;

// How many frames to compute next, in one round shared by `workers`
// workers: a multiple of `workers`, more while the frames so far say the
// point is far from complete, at most MAX_ROUND_PER_WORKER per worker and
// never beyond max_frames.  Only the amount of discarded work depends on
// it, never the result.  REQUIRES: !point_complete(sums, rule, iterat),
// workers >= 1.
int64_t round_size(const PointSums& sums, const StopRule& rule, int iterat, int workers);

}  // namespace mtsweep
