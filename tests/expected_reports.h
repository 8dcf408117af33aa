// The two report streams of a whole run, written out from their layout so
// that tests can compare a run's output with them in full.  Values left
// open are "{N}" (any integer) or "{F}" (any six-decimal number); see
// matches_template().
#pragma once

#include <string>

namespace mtsim::testing {

struct ExpectedRun {
  // Parameters as echoed.
  std::string code, kst, infind, ndkdd, iterat, AN, npacketll, lim88;
  std::string estimates;  // the console's estimate lines
  std::string inf_weight, check_weight, inftot;
  std::string inferr = "{N}", isaerr = "{N}";
  std::string counts;  // " 120000 {N} ..." as printed after the packet length
  // Clock values and speeds, "{N}" for a real clock.
  std::string start_s = "{N}", inf_start = "{N}", coding_start = "{N}", coding_end = "{N}",
              coder_speed = "{N}", noise_end = "{N}", d0 = "{N}", d1 = "{N}", work = "{N}",
              decoder_speed = "{N}";
};

// The estimate lines for 3 dB, every value pinned.
std::string estimates_three_decibels();
// The estimate lines of a noiseless channel (AN = 25): every rate 1; the
// first noise level printed is the 16-level pass's error probability as
// computed, which may carry the sign of a rounding error.
std::string estimates_noiseless();

std::string expected_console(const ExpectedRun& e);
std::string expected_results(const ExpectedRun& e);

}  // namespace mtsim::testing
