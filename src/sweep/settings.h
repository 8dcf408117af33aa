// What a sweep is: the points to simulate, the frame settings and the stop
// rule.  Everything here decides the results; a sweep resumed from a JSON
// file must have the same settings.  How a run is carried out (threads,
// ranks, files, progress) is the caller's and changes no result.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/frame/frame.h"

namespace mtsweep {

// The largest point: the noise depends on the seed only modulo 2^21 (the
// first shift cycle keeps the low 21 bits of rngA's seed word).
inline constexpr int32_t SEED_CYCLE = static_cast<int32_t>(mtsim::RNG_MASK1) + 1;

struct StopRule {
  int64_t min_errors = 100;  // errors after the last iteration, summed in frame order
  int32_t min_frames = 10;
  int32_t max_frames = 1000;
};

struct SweepSettings {
  std::vector<double> an;  // Es/N0 in dB, ascending, no repeats
  int32_t ndkdd = mtsim::MAX_NDKDD;
  int32_t iterat = 8;
  int32_t npacketll = 0;
  int32_t infind = 3;
  int32_t seed = 0;  // frame i of every point has kst = seed + i
  StopRule stop;
  std::optional<double> stop_ber;  // early end of the sweep
};

inline mtsim::FrameConfig frame_config(const SweepSettings& s, double an) {
  return mtsim::FrameConfig{s.infind, s.ndkdd, s.iterat, an, s.npacketll};
}

// Eb/N0 at Es/N0 `an`: a time step sends 8 symbols for 6 information bits,
// so each bit carries the energy of 1 / CODE_RATE = 4/3 symbols.
inline double ebn0_db(double an) { return an + 10.0 * std::log10(1.0 / mtsim::CODE_RATE); }

}  // namespace mtsweep
