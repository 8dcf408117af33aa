#include "sweep/sweep.h"

#include <chrono>

#include "sweep/rounds/frame_pool.h"
#include "sweep/stats/capacity.h"
#include "sweep/stats/intervals.h"

namespace mtsweep {

namespace {

// Whether the point has had its time: the leading process's clock decides
// for all.
bool out_of_time(const SweepSettings& s, const RoundRunner& rounds, double seconds) {
  if (!s.point_time) return false;
  const bool mine = seconds >= *s.point_time;
  return rounds.agree ? rounds.agree(mine) : mine;
}

// Continues the point `p` (the first p.sums.frames frames added) until it
// is complete; returns no stop, or what stopped it (`p` then holds the
// frames of the whole rounds before the stop).
Stop run_point(const SweepSettings& s, size_t index, const RoundRunner& rounds,
               const SweepHooks& hooks, const SecondsClock& clock, SweepResult& result) {
  PointResult& p = *result.unfinished;
  const double start = clock();
  const double earlier_seconds = p.timing.wall_seconds;
  const int64_t earlier_frames = p.timing.frames_computed;
  const mtsim::FrameConfig config = frame_config(s, p.an);
  std::vector<mtsim::FrameCounts> round;
  auto progress = [&](int64_t in_round) {
    if (hooks.progress) {
      hooks.progress(PointProgress{index, p.an, &p.sums,
                                   p.timing.frames_computed - earlier_frames + in_round,
                                   clock() - start});
    }
  };
  for (;;) {
    if (const PointStop why = point_stop(p.sums, s.stop, s.iterat); why != PointStop::kNotYet) {
      p.stopped_by = why;
      break;
    }
    if (out_of_time(s, rounds, p.timing.wall_seconds)) {
      p.stopped_by = PointStop::kTime;
      break;
    }
    const auto n = static_cast<size_t>(round_size(p.sums, s.stop, s.iterat, rounds.workers));
    round.resize(n);  // grows a few times in a point, up to MAX_ROUND_PER_WORKER a worker
    const auto first_kst = static_cast<int32_t>(s.seed + p.sums.frames);
    // Progress between rounds and, for long rounds, while they run (the
    // sums then lag behind the frames computed).
    if (const Stop stop = rounds.run(config, first_kst, round, progress); stop.requested()) {
      p.timing.wall_seconds = earlier_seconds + (clock() - start);
      return stop;
    }
    p.timing.frames_computed += static_cast<int64_t>(n);
    for (size_t i = 0; i < n && !point_complete(p.sums, s.stop, s.iterat); ++i) {
      add_frame(p.sums, round[i], first_kst + static_cast<int32_t>(i));
    }
    p.timing.wall_seconds = earlier_seconds + (clock() - start);
    progress(0);
    if (hooks.round_done) hooks.round_done(result);
  }
  p.timing.wall_seconds = earlier_seconds + (clock() - start);
  return Stop{};
}

}  // namespace

RoundRunner pool_rounds(FramePool& pool, const StopRequest& stop) {
  return RoundRunner{pool.threads(),
                     [&pool, &stop](const mtsim::FrameConfig& config, int32_t first_kst,
                                    std::span<mtsim::FrameCounts> round,
                                    const std::function<void(int64_t)>& tick) {
                       return pool.run(config, first_kst, round, stop, tick) ? Stop{} : stop.get();
                     },
                     {}};
}

SecondsClock steady_seconds() {
  return [] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  };
}

bool ends_sweep(const PointResult& p, const SweepSettings& s) {
  return s.stop_ber && rate_after(p.sums, s.ndkdd, s.iterat).ber < *s.stop_ber;
}

Stop run_sweep(const SweepSettings& settings, const RoundRunner& rounds, SweepResult& result,
               const SweepHooks& hooks, const SecondsClock& clock) {
  result.capacity_an = an_at_code_rate();
  const size_t kept = result.points.size();
  bool ended = false;
  result.skipped.clear();
  for (size_t i = 0; i < settings.an.size(); ++i) {
    if (ended) {
      result.skipped.push_back(settings.an[i]);
      continue;
    }
    if (i >= kept) {
      if (!result.unfinished) {
        result.unfinished.emplace();
        result.unfinished->an = settings.an[i];
        result.unfinished->estimates = mtsim::channel_estimates(settings.an[i]);
      }
      // A stop that came between points ends the point's first round.
      if (const Stop stop = run_point(settings, i, rounds, hooks, clock, result); stop.requested()) {
        return stop;
      }
      result.points.push_back(std::move(*result.unfinished));
      result.unfinished.reset();
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
