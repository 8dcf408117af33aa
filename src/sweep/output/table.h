// The table on stdout: one line per finished point, written as the point
// finishes, so that a pipe or a terminal sees the sweep progress.
#pragma once

#include <string>

#include "sweep/result.h"

namespace mtsweep {

std::string table_header(const SweepSettings& s);

// The line of `p`, with a line break.
std::string table_line(const PointResult& p, const SweepSettings& s);

}  // namespace mtsweep
