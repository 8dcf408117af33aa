// Helpers shared by the tests: runs with memory streams and a scripted
// clock, and matching of report text against templates.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "mtsim/run.h"
#include "support/memory_stream.h"

namespace mtsim::testing {

// A clock whose successive readings are the given microsecond values (the
// first one is the origin); the last value repeats once they run out.
inline Clock scripted_clock(std::vector<int64_t> us) {
  auto values = std::make_shared<std::vector<int64_t>>(std::move(us));
  auto next = std::make_shared<size_t>(0);
  return Clock([values, next] {
    const int64_t v = (*values)[*next < values->size() ? *next : values->size() - 1];
    ++*next;
    return v;
  });
}

// A parameter file's text as the eight entries of a normal file.
std::string parameter_text(int kst, int infind, int ndkdd, int iterat, const char* AN,
                           int npacketll);

// One Run over a parameter text, with all three report streams in memory.
class TestRun {
 public:
  explicit TestRun(const std::string& parameter_file, Clock clock = scripted_clock({0}));
  ~TestRun();

  Run& run() { return *run_; }
  Run* operator->() { return run_.get(); }
  int32_t execute() { return run_->execute(); }
  std::string console() { return console_.text(); }
  std::string results() {
    std::fflush(results_file_);  // the run's writer owns it
    return results_.text();
  }
  std::string diagnostics() { return diagnostics_.text(); }

 private:
  MemoryStream console_;
  MemoryStream results_;
  MemoryStream diagnostics_;
  std::FILE* results_file_;
  std::FILE* params_;
  std::unique_ptr<Run> run_;
};

// Runs the phases up to and including the channel, as the driver does.
void run_through_channel(Run& run);

// True when `text` matches `pattern` exactly, where in the pattern "{N}"
// stands for any integer and "{F}" for any number printed with six
// decimals; everything else is literal.  On a mismatch `where` tells the
// first differing line.
bool matches_template(const std::string& text, const std::string& pattern, std::string* where);

}  // namespace mtsim::testing
