#include "sweep/sweep.h"

#include <algorithm>
#include <chrono>

#include "sweep/rounds/frame_pool.h"
#include "sweep/stats/capacity.h"
#include "sweep/stats/intervals.h"

namespace mtsweep {

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// One point into `p`; returns no stop, or what stopped it (`p` is then
// unfinished).
Stop run_point(const SweepSettings& s, size_t index, const RoundRunner& rounds,
              const SweepHooks& hooks, PointResult& p) {
  const Clock::time_point start = Clock::now();
  p.an = s.an[index];
  p.estimates = mtsim::channel_estimates(p.an);
  const mtsim::FrameConfig config = frame_config(s, p.an);
  std::vector<mtsim::FrameCounts> round;
  while (!point_complete(p.sums, s.stop, s.iterat)) {
    const auto n = static_cast<size_t>(round_size(p.sums, s.stop, s.iterat, rounds.workers));
    round.resize(n);  // grows a few times in a point, up to MAX_ROUND_PER_WORKER a worker
    const auto first_kst = static_cast<int32_t>(s.seed + p.sums.frames);
    // Progress between rounds and, for long rounds, while they run (the
    // sums then lag behind the frames computed).
    auto progress = [&](int64_t in_round) {
      if (hooks.progress) {
        hooks.progress(PointProgress{index, p.an, &p.sums, p.timing.frames_computed + in_round,
                                     seconds_since(start)});
      }
    };
    if (const Stop stop = rounds.run(config, first_kst, round, progress); stop.requested()) return stop;
    p.timing.frames_computed += static_cast<int64_t>(n);
    for (size_t i = 0; i < n && !point_complete(p.sums, s.stop, s.iterat); ++i) {
      add_frame(p.sums, round[i], first_kst + static_cast<int32_t>(i));
    }
    progress(0);
  }
  p.timing.wall_seconds = seconds_since(start);
  return Stop{};
}

}  // namespace

RoundRunner pool_rounds(FramePool& pool, const StopRequest& stop) {
  return RoundRunner{pool.threads(),
                     [&pool, &stop](const mtsim::FrameConfig& config, int32_t first_kst,
                                    std::span<mtsim::FrameCounts> round,
                                    const std::function<void(int64_t)>& tick) {
                       return pool.run(config, first_kst, round, stop, tick) ? Stop{} : stop.get();
                     }};
}

bool ends_sweep(const PointResult& p, const SweepSettings& s) {
  return s.stop_ber && rate_after(p.sums, s.ndkdd, s.iterat).ber < *s.stop_ber;
}

Stop run_sweep(const SweepSettings& settings, const RoundRunner& rounds, SweepResult& result,
               const SweepHooks& hooks) {
  result.capacity_an = an_at_capacity(mtsim::CODE_RATE);
  const size_t kept = result.points.size();
  bool ended = false;
  result.skipped.clear();
  for (size_t i = 0; i < settings.an.size(); ++i) {
    if (ended) {
      result.skipped.push_back(settings.an[i]);
      continue;
    }
    if (i >= kept) {
      // A stop that came between points ends the point's first round.
      PointResult p;
      if (const Stop stop = run_point(settings, i, rounds, hooks, p); stop.requested()) return stop;
      result.points.push_back(std::move(p));
      if (hooks.point_finished) hooks.point_finished(i, result.points.back());
      if (hooks.save) hooks.save(result);
    }
    ended = ends_sweep(result.points[i], settings);
  }
  result.complete = true;
  if (hooks.save) hooks.save(result);
  return Stop{};
}

}  // namespace mtsweep
