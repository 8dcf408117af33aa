// Numbers as the output files write them.
#pragma once

#include <charconv>
#include <string>

namespace mtsweep {

// The shortest text that reads back as `v`, with at least one decimal:
// an AN given as 2.25 prints as 2.25, and 2 as 2.0.
inline std::string shortest(double v) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, v).ptr;
  std::string s(text, end);
  if (s.find_first_of(".e") == std::string::npos) s += ".0";
  return s;
}

// printf into a string (of at most 255 characters).
std::string formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace mtsweep
