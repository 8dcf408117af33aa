// The eight run parameters and the reader of the parameter file.
//
// The parameter file is a sequence of keyed values read in a fixed order
// with fscanf; out-of-range values are replaced by fixed ones and every
// parameter is echoed to both report streams.
#pragma once

#include <cstdint>
#include <cstdio>

#include "mtsim/report_writer.h"

namespace mtsim {

inline constexpr const char* PARAMETER_FILE = "vu34z2d.c";
inline constexpr const char* RESULTS_FILE = "vu34z2t.c";

// Every parameter holds 0 until it is read; an unread parameter then goes
// through the same replacements as a read one (an unread AN becomes 25.0).
struct Params {
  int32_t code = 0;       // label, echoed only
  int32_t kst = 0;        // seed of the channel-noise generator
  int32_t infind = 0;     // source mode: 0 zeros, 1 ones, 2 pattern, 3 random
  int32_t ndkdd = 0;      // time steps, 20,000 ... 520,000
  int32_t iterat = 0;     // decoder iterations, 3 ... 15
  double AN = 0.0;        // noise level in dB, 2.0 ... 5.0 or exactly 25.0
  int32_t npacketll = 0;  // error packet length, at most 200
  int32_t lim88 = 0;      // free control parameter, echoed only
};

// Reads the eight entries from `in`, applies the replacements, and echoes
// them to both streams of `out`.  An entry that cannot be read keeps its
// value and draws one warning on the diagnostic stream.
// REQUIRES: `in` is open for reading at the start of the parameter file.
void read_parameter_file(std::FILE* in, Params& params, ReportWriter& out);

}  // namespace mtsim
