// The CSV file: one row per point and iteration, for spreadsheets and
// pandas.  Iteration 0 is the information bits at the decoder input,
// 1 ... iterat the bits after each decoder iteration.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sweep/result.h"

namespace mtsweep {

inline constexpr const char* CSV_HEADER =
    "an_db,ebn0_db,iteration,frames,bits,errors,ber,ber_low,ber_high,error_frames";

// One row with its numbers as computed, before the file rounds them (for
// front ends that hand them on as numbers).  The members follow CSV_HEADER.
struct CsvRow {
  double an_db = 0.0;
  double ebn0_db = 0.0;
  int iteration = 0;
  int64_t frames = 0;
  int64_t bits = 0;
  int64_t errors = 0;
  double ber = 0.0;
  double ber_low = 0.0;
  double ber_high = 0.0;
  int64_t error_frames = 0;
};

std::vector<CsvRow> csv_rows(const SweepResult& r, const SweepSettings& s);

std::string csv_text(const SweepResult& r, const SweepSettings& s);

}  // namespace mtsweep
