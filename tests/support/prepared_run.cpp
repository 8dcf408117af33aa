#include "tests/support/prepared_run.h"

#include <cstring>

namespace mtsim::test_support {

PreparedRun::PreparedRun(const RunParams& p, Kernels kernels) {
  std::snprintf(text_, sizeof text_,
                "code=1 kst=%d infind=%d ndkdd=%d iterat=%d AN=%.2f npacketll=%d lim88=0",
                p.kst, p.infind, p.ndkdd, p.iterat, p.AN, p.npacketll);
  params_in_ = fmemopen(text_, std::strlen(text_), "r");
  console_ = std::fopen("/dev/null", "w");
  diagnostics_ = std::fopen("/dev/null", "w");
  std::FILE* results = std::fopen("/dev/null", "w");
  run_ = Run::create(params_in_, std::make_unique<ReportWriter>(console_, results, diagnostics_));
  run_->kernels = kernels;
}

PreparedRun::~PreparedRun() {
  run_.reset();
  std::fclose(params_in_);
  std::fclose(console_);
  std::fclose(diagnostics_);
}

void PreparedRun::prepare() {
  Run& r = *run_;
  r.start_up();
  r.read_parameters();
  r.estimate_channel();
  r.code_setup();
  r.generate_source();
  r.encode_all();
  r.transmit();
  r.prepare_decoder();
}

}  // namespace mtsim::test_support
