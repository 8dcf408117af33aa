#include "sweep/output/table.h"

#include <cstdio>

#include "sweep/output/number_text.h"
#include "sweep/stats/intervals.h"

namespace mtsweep {

std::string table_header(const SweepSettings& s) {
  char line[200];
  std::snprintf(line, sizeof line, "%-7s %8s %8s %14s %11s %11s  %-22s %10s %9s\n", "AN_dB",
                "EbN0_dB", "frames", "bits", "input_BER",
                ("BER_it" + std::to_string(s.iterat)).c_str(), "95%_interval", "err_frames",
                "Mbit/s");
  return line;
}

std::string table_line(const PointResult& p, const SweepSettings& s) {
  const Rate in = rate_after(p.sums, s.ndkdd, 0);
  const Rate out = rate_after(p.sums, s.ndkdd, s.iterat);
  char line[200];
  std::snprintf(line, sizeof line,
                "%-7s %8.3f %8lld %14lld %11.3e %11.3e  [%.3e, %.3e] %10lld %9.1f\n",
                shortest(p.an).c_str(), ebn0_db(p.an), static_cast<long long>(p.sums.frames),
                static_cast<long long>(in.bits), in.ber, out.ber, out.low, out.high,
                static_cast<long long>(out.error_frames), mbit_per_s(p, s.ndkdd));
  return line;
}

}  // namespace mtsweep
