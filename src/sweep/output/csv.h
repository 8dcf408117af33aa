// The CSV file: one row per point and iteration, for spreadsheets and
// pandas.  Iteration 0 is the information bits at the decoder input,
// 1 ... iterat the bits after each decoder iteration.
#pragma once

#include <string>

#include "sweep/result.h"

namespace mtsweep {

inline constexpr const char* CSV_HEADER =
    "an_db,ebn0_db,iteration,frames,bits,errors,ber,ber_low,ber_high,error_frames";

std::string csv_text(const SweepResult& r, const SweepSettings& s);

}  // namespace mtsweep
