// The JSON file of a sweep: the settings, the command line and the program
// version, and for every finished point, and for the running one while it
// has frames, its summed counts (with the error frames per iteration), its
// failing frames, the judged bits and BERs with intervals per iteration,
// the channel estimates and the timing.  --resume reads the settings and
// all of those points back.
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
  // The file's finished points and its unfinished one (if any), with their
  // counts, error frames and failing frames; not yet complete.
  SweepResult result;
  Problem problem = Problem::kNone;
  std::string error;   // one line, naming the file
};

// The finished points and the unfinished point of the sweep in `text`,
// read from `path`, each with its counts, error frames, failing frames and
// timing.  REQUIRES: settings_error(settings) is empty.
ResumedSweep read_sweep(const std::string& text, const std::string& path,
                        const SweepSettings& settings);

}  // namespace mtsweep
