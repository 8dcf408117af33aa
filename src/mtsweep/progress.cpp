#include "mtsweep/progress.h"

#include <algorithm>
#include <cmath>

#include "sweep/output/number_text.h"
#include "sweep/stats/intervals.h"

namespace mtsweep {

namespace {

// Frames a count that grows at `have` per `frames` needs to reach `want`;
// all of max_frames while it has none.
double frames_to_reach(int64_t want, int64_t have, double frames, const SweepSettings& s) {
  if (want <= 0) return 0.0;
  return have > 0 ? static_cast<double>(want) * frames / static_cast<double>(have)
                  : static_cast<double>(s.stop.max_frames);
}

// Seconds the point still needs at this run's speed: until both min_errors
// and min_error_frames at its rates so far, and min_frames.  The frames
// count those resumed from a checkpoint; the speed only this run's.
double seconds_left(const PointProgress& now, const SweepSettings& s) {
  const auto& sums = *now.sums;
  const double frames = static_cast<double>(sums.frames);
  double needed = std::max(frames_to_reach(s.stop.min_errors, last_errors(sums, s.iterat), frames, s),
                           frames_to_reach(s.stop.min_error_frames, last_error_frames(sums, s.iterat), frames, s));
  needed = std::clamp(needed, static_cast<double>(s.stop.min_frames),
                      static_cast<double>(s.stop.max_frames));
  const double per_frame =
      now.seconds / static_cast<double>(std::max<int64_t>(now.frames_computed, 1));
  return std::max(0.0, needed - frames) * per_frame;
}

std::string duration(double seconds) {
  if (seconds < 120) return formatted("%.0f s", seconds);
  if (seconds < 7200) return formatted("%.0f min", seconds / 60);
  return formatted("%.1f h", seconds / 3600);
}

}  // namespace

void show_progress(Progress& p, const PointProgress& now) {
  if (!p.options.enabled || !p.options.live) return;
  const auto t = std::chrono::steady_clock::now();
  if (p.line_open && t - p.last_drawn < std::chrono::milliseconds(250)) return;
  p.last_drawn = t;
  const SweepSettings& s = *p.settings;
  const PointSums& sums = *now.sums;
  const double ber = sums.frames > 0 ? running_ber(sums, s.ndkdd, s.iterat) : 0.0;
  const double mbits =
      now.seconds > 0 ? double{mtsim::NUM_INF} * s.ndkdd * static_cast<double>(now.frames_computed) / now.seconds / 1e6
                      : 0.0;
  std::fprintf(p.out,
               "\r\033[Kpoint %zu of %zu  AN %s  frames %lld  errors %lld/%lld  BER %.2e  %.1f "
               "Mbit/s  ~%s left",
               now.index + 1, p.settings->an.size(), shortest(now.an).c_str(),
               static_cast<long long>(sums.frames),
               static_cast<long long>(last_errors(sums, s.iterat)),
               static_cast<long long>(s.stop.min_errors), ber, mbits,
               duration(seconds_left(now, s)).c_str());
  std::fflush(p.out);
  p.line_open = true;
}

void show_point_finished(Progress& p, size_t index, const PointResult& point) {
  if (!p.options.enabled) return;
  close_progress(p);
  if (!p.options.point_lines) return;
  const SweepSettings& s = *p.settings;
  const Rate r = rate_after(point.sums, s.ndkdd, s.iterat);
  std::fprintf(
      p.out,
      "mtsweep: point %zu of %zu, AN %s: %lld frames, %lld errors, BER %.3e, %.1f Mbit/s, %s\n",
      index + 1, p.settings->an.size(), shortest(point.an).c_str(), static_cast<long long>(point.sums.frames),
      static_cast<long long>(r.errors), r.ber, mbit_per_s(point, s.ndkdd),
      duration(point.timing.wall_seconds).c_str());
  std::fflush(p.out);
}

void close_progress(Progress& p) {
  if (!p.line_open) return;
  std::fprintf(p.out, "\r\033[K");
  p.line_open = false;
}

}  // namespace mtsweep
