// The command line of mtsweep: parsed with CLI11, every value checked
// before anything is touched, so that bad usage is refused with one line
// naming the option and writes nothing.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "sweep/rounds/frame_pool.h"
#include "sweep/settings.h"

namespace mtsweep {

struct Options {
  SweepSettings settings;
  int threads = 1;
  std::string csv, json, plot;       // empty: not written
  std::vector<int> plot_iterations;  // 1 ... iterat
  bool quiet = false;
  bool resume = false;              // continue the sweep in `json`
  double checkpoint_seconds = 60.0;  // at most this long between checkpoints of a running point
  std::optional<double> max_time;    // seconds of this run, then pause
  std::vector<std::string> command_line;
};

// What the command line asks for instead of a sweep: the help or version
// text for stdout, or one line of bad usage for stderr.
struct EarlyExit {
  bool bad_usage = false;
  std::string text;
};

using ParsedCommandLine = std::variant<Options, EarlyExit>;

// `version` is printed by --version; `default_threads` is the default of
// --threads.
ParsedCommandLine parse_command_line(int argc, const char* const* argv, const std::string& version,
                                     int default_threads);

}  // namespace mtsweep
