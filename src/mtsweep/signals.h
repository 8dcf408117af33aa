// SIGINT and SIGTERM as a request to stop, without a signal handler.
//
// The watcher blocks both signals in the thread that makes it, and so in
// every thread started afterwards, and takes them with sigwait() on a
// thread of its own.  There they are ordinary values: the watcher files
// the signal as a stop request, which the sweep polls between frames.
#pragma once

#include <atomic>
#include <thread>

#include "sweep/rounds/stop_request.h"

namespace mtsweep {

class SignalWatcher {
 public:
  // REQUIRES: no other thread of the process runs yet (they would keep the
  // signals unblocked), and `received` outlives the watcher.
  explicit SignalWatcher(StopRequest& received);
  // Stops the watching thread.  The signals stay blocked: one that comes
  // later waits unseen while the program writes its last lines and exits.
  ~SignalWatcher();
  SignalWatcher(const SignalWatcher&) = delete;
  SignalWatcher& operator=(const SignalWatcher&) = delete;

 private:
  std::atomic<bool> closing_{false};
  std::thread thread_;
};

}  // namespace mtsweep
