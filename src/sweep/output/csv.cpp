#include "sweep/output/csv.h"

#include "sweep/output/number_text.h"
#include "sweep/stats/intervals.h"

namespace mtsweep {

std::vector<CsvRow> csv_rows(const SweepResult& r, const SweepSettings& s) {
  std::vector<CsvRow> rows;
  for (const PointResult& p : r.points) {
    for (int it = 0; it <= s.iterat; ++it) {
      const Rate rate = rate_after(p.sums, s.ndkdd, it);
      rows.push_back(CsvRow{p.an, ebn0_db(p.an), it, p.sums.frames, rate.bits, rate.errors, rate.ber,
                            rate.low, rate.high, rate.error_frames});
    }
  }
  return rows;
}

std::string csv_text(const SweepResult& r, const SweepSettings& s) {
  std::string text = std::string(CSV_HEADER) + "\n";
  for (const CsvRow& row : csv_rows(r, s)) {
    text += shortest(row.an_db) + "," + formatted("%.4f", row.ebn0_db) + "," +
            std::to_string(row.iteration) + "," + std::to_string(row.frames) + "," +
            std::to_string(row.bits) + "," + std::to_string(row.errors) + "," +
            formatted("%.6e", row.ber) + "," + formatted("%.6e", row.ber_low) + "," +
            formatted("%.6e", row.ber_high) + "," + std::to_string(row.error_frames) + "\n";
  }
  return text;
}

}  // namespace mtsweep
