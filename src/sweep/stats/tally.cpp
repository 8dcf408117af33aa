#include "sweep/stats/tally.h"

#include <algorithm>

namespace mtsweep {

void add_frame(PointSums& sums, const mtsim::FrameCounts& frame, int32_t kst) {
  // The failing frame first: it alone allocates, and a frame that fails to
  // be added must leave the sums as they were.
  const int iterat = frame.iterat;
  if (frame.table[2 + iterat] != 0 &&
      static_cast<int64_t>(sums.failing.size()) < MAX_FAILING_FRAMES) {
    FailingFrame f{kst, {frame.table[1]}};
    f.errors.insert(f.errors.end(), frame.table.begin() + 3, frame.table.begin() + 3 + iterat);
    sums.failing.push_back(std::move(f));
  }
  ++sums.frames;
  for (size_t i = 0; i < sums.table.size(); ++i) {
    const int64_t v = frame.table[i];
    const auto x = static_cast<double>(v);
    sums.table[i] += v;
    sums.table_sq[i] += x * x;
    sums.table_cube[i] += x * x * x;
    sums.error_frames[i] += v != 0 ? 1 : 0;
  }
  sums.inftot += frame.inftot;
  sums.inf_weight += frame.inf_weight;
  sums.check_weight += frame.check_weight;
  sums.inferr += frame.inferr;
  sums.isaerr += frame.isaerr;
}

PointStop point_stop(const PointSums& sums, const StopRule& rule, int iterat) {
  if (sums.frames >= rule.min_frames && last_errors(sums, iterat) >= rule.min_errors &&
      last_error_frames(sums, iterat) >= rule.min_error_frames) {
    return PointStop::kMinErrors;
  }
  return sums.frames >= rule.max_frames ? PointStop::kMaxFrames : PointStop::kNotYet;
}

const char* point_stop_name(PointStop stop) {
  switch (stop) {
    case PointStop::kMinErrors:
      return "min_errors";
    case PointStop::kMaxFrames:
      return "max_frames";
    case PointStop::kTime:
      return "time";
    case PointStop::kNotYet:
      break;
  }
  return "not_yet";
}

PointStop point_stop_named(const std::string& name) {
  for (const PointStop stop : {PointStop::kMinErrors, PointStop::kMaxFrames, PointStop::kTime}) {
    if (name == point_stop_name(stop)) return stop;
  }
  return PointStop::kNotYet;
}

int64_t round_size(const PointSums& sums, const StopRule& rule, int iterat, int workers) {
  // Beyond min_frames: half the frames that the rates of errors and of
  // error frames so far ask for, or, while no error came, as many as were
  // done already.
  const auto needed = [&sums](int64_t have, int64_t want) {
    if (have >= want) return 0.0;
    return have > 0 ? 0.5 * static_cast<double>(want - have) * static_cast<double>(sums.frames) /
                          static_cast<double>(have)
                    : static_cast<double>(sums.frames);
  };
  const double ahead = std::max(needed(last_errors(sums, iterat), rule.min_errors),
                                needed(last_error_frames(sums, iterat), rule.min_error_frames));
  const int64_t most = int64_t{MAX_ROUND_PER_WORKER} * workers;
  int64_t want = std::max<int64_t>(workers, rule.min_frames - sums.frames);
  want = std::min(most, std::max(want, static_cast<int64_t>(std::min(ahead, double(most)))));
  want = (want + workers - 1) / workers * workers;
  return std::min<int64_t>(want, rule.max_frames - sums.frames);
}

}  // namespace mtsweep
