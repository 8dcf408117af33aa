#include "mtsweep/sweep.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include "mtsweep/stats.h"

namespace mtsweep {

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// One point; nullopt when stopped by a signal.
std::optional<PointResult> run_point(const SweepSettings& s, size_t index, FramePool& pool,
                                     const std::atomic<int>& stop, const SweepHooks& hooks) {
  const Clock::time_point start = Clock::now();
  PointResult p;
  p.an = s.an[index];
  p.estimates = mtsim::estimate_channel(p.an);
  const mtsim::FrameConfig config = frame_config(s, p.an);
  std::vector<mtsim::FrameCounts> round(static_cast<size_t>(MAX_ROUND_PER_WORKER) *
                                        static_cast<size_t>(pool.threads()));
  while (!point_complete(p.sums, s.stop, s.iterat)) {
    const auto n = static_cast<size_t>(round_size(p.sums, s.stop, s.iterat, pool.threads()));
    const auto first_kst = static_cast<int32_t>(s.seed + p.sums.frames);
    // Progress between rounds and, for long rounds, while they run (the
    // sums then lag behind the frames computed).
    auto progress = [&](int64_t in_round) {
      if (hooks.progress) {
        hooks.progress(PointProgress{index, p.an, &p.sums, p.timing.frames_computed + in_round,
                                     seconds_since(start)});
      }
    };
    if (!pool.run(config, first_kst, std::span(round).first(n), stop, progress))
      return std::nullopt;
    p.timing.frames_computed += static_cast<int64_t>(n);
    for (size_t i = 0; i < n && !point_complete(p.sums, s.stop, s.iterat); ++i) {
      add_frame(p.sums, round[i]);
    }
    progress(0);
  }
  p.timing.wall_seconds = seconds_since(start);
  return p;
}

}  // namespace

bool ends_sweep(const PointResult& p, const SweepSettings& s) {
  return s.stop_ber && rate_after(p.sums, s.ndkdd, s.iterat).ber < *s.stop_ber;
}

int run_sweep(const SweepSettings& settings, FramePool& pool, const std::atomic<int>& stop,
              SweepResult& result, const SweepHooks& hooks) {
  const size_t kept = result.points.size();
  bool ended = false;
  result.skipped.clear();
  for (size_t i = 0; i < settings.an.size(); ++i) {
    if (ended) {
      result.skipped.push_back(settings.an[i]);
      continue;
    }
    if (i >= kept) {
      if (stop.load() != 0) return stop.load();
      std::optional<PointResult> p = run_point(settings, i, pool, stop, hooks);
      if (!p) return stop.load();
      result.points.push_back(std::move(*p));
      if (hooks.point_finished) hooks.point_finished(i, result.points.back());
      if (hooks.save) hooks.save(result);
    }
    ended = ends_sweep(result.points[i], settings);
  }
  result.complete = true;
  if (hooks.save) hooks.save(result);
  return 0;
}

}  // namespace mtsweep
