// The run's clock: elapsed wall-clock time since the program started.
//
// Every time the run prints is a reading of this clock in whole
// milliseconds.  Readings also carry microseconds, so that a speed over an
// interval shorter than one millisecond can still be computed honestly.
// The time source is injectable: tests and replays hand in chosen readings.
#pragma once

#include <cstdint>
#include <functional>

namespace mtsim {

struct ClockReading {
  int32_t ms;  // whole milliseconds since start, as printed
  int64_t us;  // whole microseconds since start
};

class Clock {
 public:
  // Returns monotonic microseconds; only differences matter.
  using Source = std::function<int64_t()>;

  // A monotonic wall clock that starts now.
  Clock();
  // Readings taken from `source`, relative to its value now.
  explicit Clock(Source source);

  ClockReading read() const;

 private:
  Source source_;
  int64_t origin_us_;
};

// Information bits per second over [start, end]: (bits / ms) * 1000 with the
// division first, so the result is a multiple of 1000.  When the interval is
// shorter than one millisecond the microsecond interval is used instead,
// (bits * 10^6 / us) rounded down to a multiple of 1000; an interval of no
// measurable length gives 0.  64-bit throughout: bits * 1000 passes 2^31.
// REQUIRES: bits >= 0, end not before start.
long bits_per_second(int64_t bits, ClockReading start, ClockReading end);

}  // namespace mtsim
