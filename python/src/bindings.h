// What the parts of the compiled module share: the bindings of each part,
// the checks that turn a bad argument into a Python exception naming it,
// and the way Python keeps its Ctrl-C while C++ works without the GIL.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>

#include "sim/frame/frame.h"
#include "sweep/rounds/stop_request.h"

namespace mtsim_python {

namespace py = pybind11;

void bind_frames(py::module_& m);
void bind_sweep(py::module_& m);
void bind_estimates(py::module_& m);

// Raises ValueError "argument: what".
[[noreturn]] void refuse(const std::string& argument, const std::string& what);

// Raises ValueError with config_error's line, which begins with the
// setting's name, when `config` is not one a frame may run.
void check_config(const mtsim::FrameConfig& config);

// `value` narrowed to 32 bits, or ValueError naming `argument`.
int32_t int32_argument(const std::string& argument, int64_t value);

// The worker threads of a call: the cores available by default (as
// mtsweep), else 1 ... MAX_THREADS.
int thread_count(std::optional<int64_t> threads);

// Gives Python its signals, and a callback its exceptions, while C++ works
// with the GIL released.  The work calls check() on the thread that
// released the GIL, between frames (FramePool's tick); an exception there
// requests a stop on `stop`, and finish() raises it once the GIL is back.
// Python runs its signal handlers in the main thread only: a call from
// another thread sees Ctrl-C when it returns.
class PythonChecks {
 public:
  explicit PythonChecks(mtsweep::StopRequest& stop) : stop_(stop) {}

  // Without the GIL.  Runs the signal handlers, then `call` (which may call
  // Python), unless an earlier check failed.  Never throws: an exception
  // thrown into the frame pool would leave its workers writing into a
  // round that is gone.
  void check(const std::function<void()>& call = {});

  // With the GIL, after the work: raises what a check kept, or a signal
  // that came since the last check.
  void finish();

 private:
  mtsweep::StopRequest& stop_;
  std::exception_ptr pending_;
};

}  // namespace mtsim_python
