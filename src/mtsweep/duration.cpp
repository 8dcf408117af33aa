#include "mtsweep/duration.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>

namespace mtsweep {

std::optional<double> parse_duration(std::string_view text) {
  constexpr std::string_view kUnits = "hms";
  constexpr double kSeconds[] = {3600.0, 60.0, 1.0};
  double total = 0.0;
  size_t next_unit = 0;  // units must come in order h, m, s
  size_t at = 0;
  bool fraction_seen = false;
  while (at < text.size()) {
    size_t end = at;
    while (end < text.size() && (std::isdigit(static_cast<unsigned char>(text[end])) || text[end] == '.')) ++end;
    if (end == at || fraction_seen) return std::nullopt;
    const std::string number(text.substr(at, end - at));
    char* stop = nullptr;
    const double value = std::strtod(number.c_str(), &stop);
    if (*stop != '\0' || !std::isfinite(value)) return std::nullopt;
    fraction_seen = number.find('.') != std::string::npos;
    if (end == text.size()) {  // a bare number: seconds, alone or last
      if (next_unit > 0) return std::nullopt;
      total += value;
      at = end;
      break;
    }
    const size_t unit = kUnits.find(text[end]);
    if (unit == std::string_view::npos || unit < next_unit) return std::nullopt;
    total += value * kSeconds[unit];
    next_unit = unit + 1;
    at = end + 1;
  }
  if (at != text.size() || !(total > 0.0)) return std::nullopt;
  return total;
}

}  // namespace mtsweep
