// The SVG plot: BER on a log axis against Eb/N0, one curve with 95% error
// bars for the decoder input and for each chosen iteration, uncoded BPSK
// dashed, and a vertical line where the channel capacity C16 equals the
// code rate (the axis widens to show it).  Es/N0 runs along the top.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sweep/result.h"

namespace mtsweep {

// The iterations drawn unless the caller chooses: the first, the middle and
// the last.
std::vector<int> default_plot_iterations(int32_t iterat);

// The iterations a caller chose to draw, ascending and each once; or, in
// `error`, why they cannot be ("9 is outside 1 ... 8", "no iteration"), for
// the caller to refuse under the name of its option.
struct PlotIterations {
  std::vector<int> iterations;
  std::string error;
};
PlotIterations chosen_plot_iterations(const std::vector<int64_t>& chosen, int32_t iterat);

// REQUIRES: r.points is not empty; every iteration is 1 ... s.iterat.
std::string svg_plot(const SweepResult& r, const SweepSettings& s,
                     const std::vector<int>& iterations);

}  // namespace mtsweep
