// Runs built through the real phases for the benchmarks.
//
// A PreparedRun owns a Run whose report streams go to /dev/null and whose
// parameters are set directly.  prepare() runs the phases up to and
// including the decoder preparation, with the reference or the fast
// kernels, so that a caller can then time or compare one phase.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "mtsim/run.h"

namespace testing_support {

// REQUIRES: values within the ranges that the parameter reader leaves.
struct RunParams {
  int32_t kst = 0;
  int32_t infind = 3;
  int32_t ndkdd = 20000;
  int32_t iterat = 8;
  double AN = 3.0;
  int32_t npacketll = 0;
};

class PreparedRun {
 public:
  explicit PreparedRun(const RunParams& p, mtsim::Kernels kernels = mtsim::Kernels::kReference);
  ~PreparedRun();
  PreparedRun(const PreparedRun&) = delete;
  PreparedRun& operator=(const PreparedRun&) = delete;

  // Estimates, set-up, source, encoder, channel, decoder preparation:
  // everything before decode_all.
  void prepare();

  mtsim::Run& run() { return *run_; }

 private:
  std::FILE* null_;  // every stream of the run
  std::unique_ptr<mtsim::Run> run_;
};

}  // namespace testing_support
