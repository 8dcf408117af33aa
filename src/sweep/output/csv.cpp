#include "sweep/output/csv.h"

#include "sweep/output/number_text.h"
#include "sweep/stats/intervals.h"

namespace mtsweep {

std::string csv_text(const SweepResult& r, const SweepSettings& s) {
  std::string text = std::string(CSV_HEADER) + "\n";
  for (const PointResult& p : r.points) {
    for (int it = 0; it <= s.iterat; ++it) {
      const Rate rate = rate_after(p.sums, s.ndkdd, it);
      text += shortest(p.an) + "," + formatted("%.4f", ebn0_db(p.an)) + "," + std::to_string(it) +
              "," + std::to_string(p.sums.frames) + "," + std::to_string(rate.bits) + "," +
              std::to_string(rate.errors) + "," + formatted("%.6e", rate.ber) + "," +
              formatted("%.6e", rate.low) + "," + formatted("%.6e", rate.high) + "," +
              std::to_string(rate.error_frames) + "\n";
    }
  }
  return text;
}

}  // namespace mtsweep
