#include "sweep/stats/tally.h"

#include <algorithm>

namespace mtsweep {

void add_frame(PointSums& sums, const mtsim::FrameCounts& frame) {
  ++sums.frames;
  for (size_t i = 0; i < sums.table.size(); ++i) {
    const int64_t v = frame.table[i];
    sums.table[i] += v;
    sums.table_sq[i] += static_cast<double>(v * v);
  }
  sums.inftot += frame.inftot;
  sums.inf_weight += frame.inf_weight;
  sums.check_weight += frame.check_weight;
  sums.inferr += frame.inferr;
  sums.isaerr += frame.isaerr;
}

PointStop point_stop(const PointSums& sums, const StopRule& rule, int iterat) {
  if (sums.frames >= rule.min_frames && last_errors(sums, iterat) >= rule.min_errors) {
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
    case PointStop::kNotYet:
      break;
  }
  return "not_yet";
}

int64_t round_size(const PointSums& sums, const StopRule& rule, int iterat, int workers) {
  const int64_t errors = last_errors(sums, iterat);
  // Beyond min_frames: half the frames that the error rate so far asks for,
  // or, while no error came, as many as were done already.
  const double ahead = errors > 0
                           ? 0.5 * static_cast<double>(rule.min_errors - errors) *
                                 static_cast<double>(sums.frames) / static_cast<double>(errors)
                           : static_cast<double>(sums.frames);
  const int64_t most = int64_t{MAX_ROUND_PER_WORKER} * workers;
  int64_t want = std::max<int64_t>(workers, rule.min_frames - sums.frames);
  want = std::min(most, std::max(want, static_cast<int64_t>(std::min(ahead, double(most)))));
  want = (want + workers - 1) / workers * workers;
  return std::min<int64_t>(want, rule.max_frames - sums.frames);
}

}  // namespace mtsweep
