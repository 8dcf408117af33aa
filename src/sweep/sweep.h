// The sweep: its points in AN order, each run frame by frame until the
// stop rule completes it, with the early end of --stop-ber.
//
// A point is run in rounds: round_size() frames at a time are handed to the
// round runner (the workers of one process, or of all processes of a
// cluster), and their counts are added in frame order until the rule is
// met; the rest of that round is discarded.  Everything that decides a
// result (the rule, the order) happens here on the coordinating thread, so
// the results are the same for any number of workers.  Every process of a
// cluster runs this same code on the same counts, and so reaches the same
// K and the same stops.
//
// Between rounds the running point is SweepResult::unfinished: its first
// frames in frame order, which a checkpoint keeps and a resumed sweep
// continues from its next frame, to the same result.
#pragma once

#include <functional>
#include <span>

#include "sweep/result.h"
#include "sweep/rounds/stop_request.h"

namespace mtsweep {

// Where the current point stands, after each round.
struct PointProgress {
  size_t index = 0;  // of the point among settings.an
  double an = 0.0;
  const PointSums* sums = nullptr;
  int64_t frames_computed = 0;  // in this run
  double seconds = 0.0;         // since the point started in this run
};

// Called on the coordinating thread.  Any may be empty.
struct SweepHooks {
  std::function<void(const PointProgress&)> progress;
  std::function<void(size_t index, const PointResult&)> point_finished;
  // After every finished point, and once more when the sweep is complete.
  std::function<void(const SweepResult&)> save;
  // After every round, with the running point in `unfinished`: a caller
  // that keeps checkpoints decides here whether one is due.
  std::function<void(const SweepResult&)> round_done;
};

// How the sweep's rounds are computed (SharedRounds, or pool_rounds below).
struct RoundRunner {
  int workers = 1;  // among which a round is shared
  // Runs the frames with kst = first_kst + i into round[i], for every i of
  // `round`.  Returns no stop, or why the sweep stops: `round` is then to
  // be discarded.  Calls `tick` with the frames done so far while it waits,
  // as FramePool::run does.
  std::function<Stop(const mtsim::FrameConfig& config, int32_t first_kst,
                     std::span<mtsim::FrameCounts> round, const std::function<void(int64_t)>& tick)>
      run;
  // The leading process's value, on every process, so that a decision by a
  // clock (--point-time) is one decision.  Empty: this process decides.
  std::function<bool(bool)> agree;
};

class FramePool;

// The rounds of this process alone, on `pool`'s workers.  REQUIRES: `pool`
// and `stop` outlive the runner.
RoundRunner pool_rounds(FramePool& pool, const StopRequest& stop);

// Seconds on a monotonic clock; injectable, so that a test can run a
// sweep's time limits without waiting for them.
using SecondsClock = std::function<double()>;
SecondsClock steady_seconds();

// Runs the points of `settings` that `result` does not hold yet (it may
// hold the first points, kept from an earlier run, and the next one
// unfinished).  Returns no stop when the sweep is complete, or what stopped
// a round: `result` then holds the points finished before it and the
// running one as `unfinished`.  If a round throws, `result` is as after the
// last whole round.  REQUIRES: result.points are the first points of
// settings.an, result.unfinished (if any) the next one with its channel
// estimates (as read_sweep gives it); settings_error(settings) is empty.
Stop run_sweep(const SweepSettings& settings, const RoundRunner& rounds, SweepResult& result,
               const SweepHooks& hooks, const SecondsClock& clock = steady_seconds());

// True when the sweep ends early after `p` (--stop-ber): its BER after the
// last iteration is below stop_ber.
bool ends_sweep(const PointResult& p, const SweepSettings& s);

}  // namespace mtsweep
