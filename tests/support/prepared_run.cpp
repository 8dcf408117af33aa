#include "support/prepared_run.h"

namespace testing_support {

using mtsim::Kernels;
using mtsim::Params;
using mtsim::ReportWriter;
using mtsim::Run;

PreparedRun::PreparedRun(const RunParams& p, Kernels kernels)
    : null_(std::fopen("/dev/null", "r+")) {
  run_ = std::make_unique<Run>(null_,
                               std::make_unique<ReportWriter>(null_, std::fopen("/dev/null", "w"), null_));
  run_->kernels = kernels;
  run_->params = Params{1, p.kst, p.infind, p.ndkdd, p.iterat, p.AN, p.npacketll, 0};
}

PreparedRun::~PreparedRun() {
  run_.reset();
  std::fclose(null_);
}

void PreparedRun::prepare() {
  Run& r = *run_;
  r.estimate_channel();
  r.code_setup();
  r.generate_source();
  r.encode_all();
  r.transmit();
  r.prepare_decoder();
}

}  // namespace testing_support
