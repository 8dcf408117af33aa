#include "mtsim/clock.h"

#include <chrono>
#include <utility>

namespace mtsim {

namespace {
int64_t steady_us() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

Clock::Clock() : Clock(Source(steady_us)) {}

Clock::Clock(Source source) : source_(std::move(source)), origin_us_(source_()) {}

ClockReading Clock::read() const {
  const int64_t us = source_() - origin_us_;
  return ClockReading{static_cast<int32_t>(us / 1000), us};
}

long bits_per_second(int64_t bits, ClockReading start, ClockReading end) {
  const int64_t ms = static_cast<int64_t>(end.ms) - start.ms;
  if (ms > 0) return static_cast<long>((bits / ms) * 1000);
  const int64_t us = end.us - start.us;
  if (us > 0) return static_cast<long>((bits * 1000000 / us) / 1000 * 1000);
  return 0;
}

}  // namespace mtsim
