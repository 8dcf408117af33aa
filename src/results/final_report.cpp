// The final report: packet length, the result table, the closing lines.
#include "driver/run.h"

namespace mtsim {

void Run::final_report() {
  out->results("\n  packet length=%d \n ", params.npacketll);
  out->console("\n  packet length = %d \n ", params.npacketll);
  for (int32_t i = 0; i < params.iterat + 3; ++i) {
    out->console(" %d", decoder.counts[i]);
    out->results(" %d", decoder.counts[i]);
  }
  out->console(" \n ---=========================================-- \n");
  out->results(" \n ----========================================--\n");
}

}  // namespace mtsim
