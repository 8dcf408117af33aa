// Runs the parameter reader over a text held in memory and captures what it
// writes, and spells out the echo that a set of parameters must produce.
// Shared by the parameter tests and the parameter-reader fuzzer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "mtsim/params.h"

namespace mtsim::testing {

struct ReaderOutput {
  Params params;
  std::string console;
  std::string results;
  std::string diagnostics;
  int results_error = 0;  // what the writer reported when closing the results stream
};

// Reads `file_text` as the parameter file (embedded NUL bytes included).
ReaderOutput read_parameter_text(std::string_view file_text);

// The echo both streams must carry for the final parameters `p`; `infind` is
// echoed as it was read, before its replacement, hence its own argument.
std::string console_echo(const Params& p, int32_t infind_as_read);
std::string results_echo(const Params& p, int32_t infind_as_read);

}  // namespace mtsim::testing
