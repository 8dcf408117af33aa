// The rounds of a point shared among the processes of a cluster.
//
// Every process computes the same round size, since it depends only on the
// frames added so far, and runs its own slice of the round: consecutive
// frames, in proportion to its workers, on its own pool.  Then every
// process receives every frame's counts (iterat + 8 integers a frame) in
// one collective, so all add the same frames in the same order and reach
// the same K.
//
// A stop travels with the counts: each process sends its stop request (as
// Stop::word), and the first one in rank order stops every process after
// the same round, also when a signal reached the processes in different
// rounds.  A process that has a signal
// leaves its slice unfinished, so the round ends when the others finish
// theirs: within a slice's frames.
#pragma once

#include <functional>
#include <span>
#include <vector>

#include "sweep/rounds/cluster.h"
#include "sweep/rounds/frame_pool.h"
#include "sweep/rounds/stop_request.h"

namespace mtsweep {

class SharedRounds {
 public:
  // Collective (it gathers the processes' worker counts).  REQUIRES:
  // `cluster`, `pool` and `stop` outlive this.
  SharedRounds(Cluster& cluster, FramePool& pool, const StopRequest& stop);

  // Of all processes.
  int workers() const { return workers_before_.back(); }

  // Runs the frames with kst = first_kst + i into round[i], for every i of
  // `round`.  Returns no stop, or the stop that the processes agreed on:
  // `round` is then to be discarded.  Calls `tick` as FramePool::run does, with
  // this process's frames scaled to the whole round.  Collective.
  // REQUIRES: the same config, first_kst and round size on every process;
  // as FramePool::run.
  Stop run(const mtsim::FrameConfig& config, int32_t first_kst, std::span<mtsim::FrameCounts> round,
           const std::function<void(int64_t)>& tick);

 private:
  Cluster& cluster_;
  FramePool& pool_;
  const StopRequest& stop_;
  std::vector<int> workers_before_;  // per rank, then all
  // The exchange: rank r's block, its stop word then its frames, has
  // counts_[r] words at all_[displacements_[r]].
  std::vector<int> counts_, displacements_;
  std::vector<int32_t> mine_, all_;
};

}  // namespace mtsweep
