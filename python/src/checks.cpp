#include <algorithm>
#include <csignal>
#include <cstdint>

#include "bindings.h"
#include "sweep/rounds/frame_pool.h"

namespace mtsim_python {

void refuse(const std::string& argument, const std::string& what) {
  throw py::value_error(argument + ": " + what);
}

void check_config(const mtsim::FrameConfig& config) {
  if (const std::string error = mtsim::config_error(config); !error.empty()) {
    throw py::value_error(error);
  }
}

int32_t int32_argument(const std::string& argument, int64_t value) {
  if (value < INT32_MIN || value > INT32_MAX) {
    refuse(argument, std::to_string(value) + " is outside " + std::to_string(INT32_MIN) + " ... " +
                         std::to_string(INT32_MAX));
  }
  return static_cast<int32_t>(value);
}

int thread_count(std::optional<int64_t> threads) {
  if (!threads) return std::clamp(mtsweep::available_cores(), 1, mtsweep::MAX_THREADS);
  if (*threads < 1 || *threads > mtsweep::MAX_THREADS) {
    refuse("threads", std::to_string(*threads) + " is outside 1 ... " +
                          std::to_string(mtsweep::MAX_THREADS));
  }
  return static_cast<int>(*threads);
}

void PythonChecks::check(const std::function<void()>& call) {
  py::gil_scoped_acquire gil;
  if (pending_) return;
  try {
    if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    if (call) call();
  } catch (...) {
    pending_ = std::current_exception();
    // The work stops as it does for Ctrl-C in mtsweep; the reason is only
    // read back here.
    stop_.request(mtsweep::Stop{mtsweep::StopReason::kSignal, SIGINT});
  }
}

void PythonChecks::finish() {
  if (pending_) std::rethrow_exception(std::exchange(pending_, nullptr));
  if (PyErr_CheckSignals() != 0) throw py::error_already_set();
}

}  // namespace mtsim_python
