// The results of a sweep as plain data: what the table, CSV, JSON and plot
// are made from, and what --resume reads back.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sweep/settings.h"
#include "sweep/stats/tally.h"
#include "sim/channel/estimates.h"

namespace mtsweep {

// How a point was run; differs between runs of the same sweep.  Both add
// up over the runs of a resumed point.
struct PointTiming {
  double wall_seconds = 0.0;
  int64_t frames_computed = 0;  // including those beyond the stop rule's K
};

struct PointResult {
  double an = 0.0;
  PointSums sums;
  PointStop stopped_by = PointStop::kNotYet;  // kNotYet while unfinished
  mtsim::ChannelEstimates estimates;
  PointTiming timing;
};

// Information bits of the point's frames per second of its wall time.
inline double mbit_per_s(const PointResult& p, int32_t ndkdd) {
  const double bits = double{mtsim::NUM_INF} * ndkdd * static_cast<double>(p.sums.frames);
  return p.timing.wall_seconds > 0.0 ? bits / p.timing.wall_seconds / 1e6 : 0.0;
}

struct SweepResult {
  std::vector<PointResult> points;  // the finished points, in AN order
  // The point after them while it runs, or when the sweep stopped in it:
  // its first frames in frame order, everything its results need, so that
  // a resumed sweep continues it at its next frame.
  std::optional<PointResult> unfinished;
  std::vector<double> skipped;      // AN values left out by --stop-ber
  bool complete = false;            // every AN finished or skipped
  double capacity_an = 0.0;         // the AN at which C16 is 3/4, the code rate
};

// True when the running point has frames: a checkpoint keeps its progress.
inline bool has_progress(const SweepResult& r) {
  return r.unfinished && r.unfinished->sums.frames > 0;
}

}  // namespace mtsweep
