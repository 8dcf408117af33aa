// What a sweep is: the points to simulate, the frame settings and the stop
// rule.  Everything here decides the results; a sweep resumed from a JSON
// file must have the same settings.  How a run is carried out (threads,
// ranks, files, progress) is the caller's and changes no result.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
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
  int32_t min_error_frames = 0;  // frames with errors after the last iteration
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
  // Wall seconds after which a point ends with the frames it has, stopped
  // by "time": a result that depends on the machine's speed.
  std::optional<double> point_time;
};

// A setting out of its range: its name (as the JSON file writes it, and as
// the Python module takes it) and what is wrong, e.g. {"ndkdd", "19999 is
// outside 20000 ... 520000"}.  A message that names another setting uses
// that setting's name in the same form ("9 is below min_frames 10").
struct SettingError {
  std::string setting;
  std::string what;
};

// The integer settings, one entry each, in the order the JSON file writes
// them: ndkdd, iterat, npacketll, infind, seed, min_errors,
// min_error_frames, min_frames, max_frames.  A front end reads, checks and
// stores them through this table: a new setting is one entry here, its help
// text in integer_help (src/mtsweep/options.cpp), and a keyword parameter of
// sweep() in python/mtsim/_sweep.py, passed on in its settings.
struct IntegerSetting {
  const char* name;  // the JSON's and the Python module's; --name-with-dashes on the command line
  int64_t lo, hi;    // hi INT64_MAX: no upper limit
  int64_t (*get)(const SweepSettings&);
  void (*set)(SweepSettings&, int64_t);
};
std::span<const IntegerSetting> integer_settings();

// The command line's option for a setting: min_errors is --min-errors.
std::string option_of(std::string setting);

// Checks `value` against the range of `setting` (an entry of
// integer_settings()) before it is narrowed to the setting's type.
std::optional<SettingError> check_integer(const IntegerSetting& setting, int64_t value);

// The first problem of `s`: a value out of range, an AN outside the range
// or not ascending, max_frames below min_frames, seeds beyond the largest
// kst, a stop_ber not above 0.  Every sweep's settings must pass it.
std::optional<SettingError> settings_error(const SweepSettings& s);

// Ascending, each value once: the order in which a sweep runs its points.
std::vector<double> sorted_an(std::vector<double> an);

inline mtsim::FrameConfig frame_config(const SweepSettings& s, double an) {
  return mtsim::FrameConfig{s.infind, s.ndkdd, s.iterat, an, s.npacketll};
}

// Eb/N0 at Es/N0 `an`: a time step sends 8 symbols for 6 information bits,
// so each bit carries the energy of 1 / CODE_RATE = 4/3 symbols.
inline double ebn0_db(double an) { return an + 10.0 * std::log10(1.0 / mtsim::CODE_RATE); }

}  // namespace mtsweep
