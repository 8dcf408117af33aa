// What mtsweep's tests share: a scratch directory whose out/ receives a
// sweep's files, the JSON of a sweep without what differs between runs,
// and the progress that the JSON keeps of its running point.
#pragma once

#include <chrono>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

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

// The frames that a sweep's JSON keeps of its running point; 0 when it
// keeps none.
inline int64_t unfinished_frames(const json& j) {
  const auto p = j.find("unfinished_point");
  return p == j.end() || p->is_null() ? 0 : p->at("frames").get<int64_t>();
}

// Waits until the JSON at `path` keeps more than `frames` frames of its
// running point, for at most `timeout`; returns the frames it keeps then.
inline int64_t wait_for_progress(const std::string& path, int64_t frames, std::chrono::seconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int64_t now = 0;
  while (true) {
    const std::string text = read_file(path);
    if (!text.empty()) now = unfinished_frames(json::parse(text));
    if (now > frames || std::chrono::steady_clock::now() >= deadline) return now;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace sweep_testing
