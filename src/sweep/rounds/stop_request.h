// Why a sweep stops before it is complete, as one value that every thread
// can set and read, and that travels between the processes of a cluster.
//
// The first request wins: a later one (a second signal, a write that fails
// after a signal) does not change the reason the sweep reports.
#pragma once

#include <atomic>
#include <cstdint>

namespace mtsweep {

// kTimeBudget: the run's time (mtsweep --max-time) is up; the sweep pauses,
// to be resumed.
enum class StopReason { kNone, kSignal, kWriteFailed, kTimeBudget };

struct Stop {
  StopReason reason = StopReason::kNone;
  int signal = 0;  // with kSignal: its number

  bool requested() const { return reason != StopReason::kNone; }
  bool operator==(const Stop&) const = default;

  // One 32-bit word, for the exchange between processes: 0 none, a signal
  // number, -1 for a failed write, -2 for the time budget.
  int32_t word() const {
    switch (reason) {
      case StopReason::kSignal:
        return signal;
      case StopReason::kWriteFailed:
        return -1;
      case StopReason::kTimeBudget:
        return -2;
      case StopReason::kNone:
        break;
    }
    return 0;
  }
  static Stop from_word(int32_t w) {
    if (w > 0) return Stop{StopReason::kSignal, w};
    if (w == -2) return Stop{StopReason::kTimeBudget, 0};
    return w < 0 ? Stop{StopReason::kWriteFailed, 0} : Stop{};
  }
};

class StopRequest {
 public:
  void request(Stop stop) {
    int32_t none = 0;
    word_.compare_exchange_strong(none, stop.word());
  }
  Stop get() const { return Stop::from_word(word_.load()); }
  bool requested() const { return word_.load() != 0; }

 private:
  std::atomic<int32_t> word_{0};
};

}  // namespace mtsweep
