// What mtsweep's tests share: a scratch directory whose out/ receives a
// sweep's files, and the JSON of a sweep without what differs between runs.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "support/harness.h"

namespace sweep_testing {

namespace fs = std::filesystem;
using nlohmann::json;
using testing_support::read_file;

class SweepScratch : public testing_support::Scratch {
 public:
  SweepScratch() { fs::create_directory(work() / "out"); }
  std::string out(const std::string& file) const { return (work() / "out" / file).string(); }
  bool out_empty() const { return fs::is_empty(work() / "out"); }
};

// The JSON without what may differ between runs of one sweep.
inline json without_times(const std::string& text) {
  json j = json::parse(text);
  j.erase("run");
  for (json& p : j["points"]) p.erase("timing");
  return j;
}

}  // namespace sweep_testing
