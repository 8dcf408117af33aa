// SIGINT and SIGTERM as a request to stop, without a signal handler.
//
// The watcher blocks both signals in the thread that makes it, and so in
// every thread started afterwards, and takes them with sigwait() on a
// thread of its own.  There they are ordinary values: the watcher files
// the first signal as a stop request, which the sweep polls between
// frames, and hands a second one to `second` on its own thread: the user
// wants the run ended now, whatever the sweep is waiting for.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

#include "sweep/rounds/stop_request.h"

namespace mtsweep {

class SignalWatcher {
 public:
  // REQUIRES: no other thread of the process runs yet (they would keep the
  // signals unblocked), `received` outlives the watcher, and `second` is
  // not empty.  `second` (given the signal's number) should not return.
  SignalWatcher(StopRequest& received, std::function<void(int)> second);
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
