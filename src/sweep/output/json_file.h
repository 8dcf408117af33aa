// The JSON file of a sweep: the settings, the command line and the program
// version, and for every finished point its summed counts, the judged bits
// and BERs with intervals per iteration, the channel estimates and the
// timing.  --resume reads the settings and the points' counts back.
#pragma once

#include <string>

#include "sweep/result.h"
#include "sweep/settings.h"

namespace mtsweep {

struct RunInfo {
  std::string version;
  std::vector<std::string> command_line;
  int threads = 0;            // of this process
  int ranks = 1;              // processes of the MPI job
  int workers = 0;            // threads of all processes
  double wall_seconds = 0.0;  // of this run so far
};

std::string json_text(const SweepResult& r, const SweepSettings& s, const RunInfo& run);

struct ResumedSweep {
  enum class Problem { kNone, kOtherSettings, kNotASweep };
  SweepResult result;  // the finished points of the file, not yet complete
  Problem problem = Problem::kNone;
  std::string error;   // one line, naming the file
};

// The finished points of the sweep in `text`, read from `path`.
// REQUIRES: settings are checked (Options).
ResumedSweep read_sweep(const std::string& text, const std::string& path,
                        const SweepSettings& settings);

}  // namespace mtsweep
