#include "sweep/settings.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "sweep/output/number_text.h"

namespace mtsweep {

namespace {

constexpr int64_t kNoLimit = std::numeric_limits<int64_t>::max();
constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

#define SETTING(name, member, lo, hi)                                                          \
  IntegerSetting {                                                                             \
    #name, lo, hi, [](const SweepSettings& s) -> int64_t { return s.member; },                 \
        [](SweepSettings& s, int64_t v) { s.member = static_cast<decltype(s.member)>(v); }     \
  }

constexpr IntegerSetting kIntegerSettings[] = {
    SETTING(ndkdd, ndkdd, mtsim::MIN_NDKDD, mtsim::MAX_NDKDD),
    SETTING(iterat, iterat, mtsim::MIN_ITERAT, mtsim::MAX_ITERAT),
    SETTING(npacketll, npacketll, 0, mtsim::MAX_NPACKETLL),
    SETTING(infind, infind, 0, mtsim::MAX_INFIND),
    SETTING(seed, seed, kInt32Min, kInt32Max),
    SETTING(min_errors, stop.min_errors, 1, kNoLimit),
    SETTING(min_error_frames, stop.min_error_frames, 0, SEED_CYCLE),
    SETTING(min_frames, stop.min_frames, 2, SEED_CYCLE),
    SETTING(max_frames, stop.max_frames, 1, SEED_CYCLE),
};

#undef SETTING

}  // namespace

std::span<const IntegerSetting> integer_settings() { return kIntegerSettings; }

std::string option_of(std::string setting) {
  for (char& c : setting) c = c == '_' ? '-' : c;
  return "--" + setting;
}

std::optional<SettingError> check_integer(const IntegerSetting& setting, int64_t value) {
  if (value >= setting.lo && value <= setting.hi) return std::nullopt;
  return SettingError{setting.name,
                      std::to_string(value) +
                          (setting.hi == kNoLimit ? " is below " + std::to_string(setting.lo)
                                                  : " is outside " + std::to_string(setting.lo) +
                                                        " ... " + std::to_string(setting.hi))};
}

std::optional<SettingError> settings_error(const SweepSettings& s) {
  if (s.an.empty()) return SettingError{"an", "no value"};
  for (const double v : s.an) {
    if (!(v >= mtsim::MIN_AN && v <= mtsim::MAX_AN)) {
      return SettingError{
          "an", formatted("%g is outside %.1f ... %.1f", v, mtsim::MIN_AN, mtsim::MAX_AN)};
    }
  }
  if (!std::is_sorted(s.an.begin(), s.an.end()) ||
      std::adjacent_find(s.an.begin(), s.an.end()) != s.an.end()) {
    return SettingError{"an", "values not ascending, or repeated"};
  }
  for (const IntegerSetting& setting : kIntegerSettings) {
    if (auto error = check_integer(setting, setting.get(s))) return error;
  }
  if (s.stop.max_frames < s.stop.min_frames) {
    return SettingError{"max_frames", std::to_string(s.stop.max_frames) + " is below min_frames " +
                                          std::to_string(s.stop.min_frames)};
  }
  if (s.stop.min_error_frames > s.stop.max_frames) {
    return SettingError{"min_error_frames", std::to_string(s.stop.min_error_frames) +
                                                " is above max_frames " +
                                                std::to_string(s.stop.max_frames)};
  }
  if (int64_t{s.seed} + s.stop.max_frames - 1 > kInt32Max) {
    return SettingError{"seed", std::to_string(s.seed) + " + max_frames - 1 is above " +
                                    std::to_string(kInt32Max) + ", the largest kst"};
  }
  if (s.stop_ber && !(*s.stop_ber > 0.0)) {
    return SettingError{"stop_ber", formatted("%g", *s.stop_ber) + " is not above 0"};
  }
  if (s.point_time && !(*s.point_time > 0.0 && std::isfinite(*s.point_time))) {
    return SettingError{"point_time",
                        formatted("%g", *s.point_time) + " s is not a duration above 0"};
  }
  return std::nullopt;
}

std::vector<double> sorted_an(std::vector<double> an) {
  std::sort(an.begin(), an.end());
  an.erase(std::unique(an.begin(), an.end()), an.end());
  return an;
}

}  // namespace mtsweep
