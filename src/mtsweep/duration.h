// Durations on the command line: 90s, 45m, 11h30m, 1h2m3s, or plain
// seconds (3600, 2.5).  Whole units in descending order, each at most once;
// the last number may have a fraction.
#pragma once

#include <optional>
#include <string_view>

namespace mtsweep {

// Seconds, or nothing when `text` is no duration (or not above 0).
std::optional<double> parse_duration(std::string_view text);

}  // namespace mtsweep
