// The sweep: its points in AN order, each run frame by frame until the
// stop rule completes it, with the early end of --stop-ber.
//
// A point is run in rounds: round_size() frames at a time are handed to the
// worker pool, and their counts are added in frame order until the rule is
// met; the rest of that round is discarded.  Everything that decides a
// result (the rule, the order) happens here on the coordinating thread, so
// the results are the same for any number of workers.
#pragma once

#include <atomic>
#include <functional>

#include "mtsweep/frame_pool.h"
#include "mtsweep/sweep_result.h"

namespace mtsweep {

// Where the current point stands, after each round.
struct PointProgress {
  size_t index = 0;  // of the point among settings.an
  double an = 0.0;
  const PointSums* sums = nullptr;
  int64_t frames_computed = 0;
  double seconds = 0.0;  // since the point started
};

// Called on the coordinating thread.  Any may be empty.
struct SweepHooks {
  std::function<void(const PointProgress&)> progress;
  std::function<void(size_t index, const PointResult&)> point_finished;
  // After every finished point, and once more when the sweep is complete.
  std::function<void(const SweepResult&)> save;
};

// Runs the points of `settings` that `result` does not hold yet (it may
// hold the first points, kept from an earlier run).  Returns 0 when the
// sweep is complete, or the signal that `stop` received: `result` then
// holds the points finished before it.  REQUIRES: result.points are the
// first points of settings.an.
int run_sweep(const SweepSettings& settings, FramePool& pool, const std::atomic<int>& stop,
              SweepResult& result, const SweepHooks& hooks);

}  // namespace mtsweep
