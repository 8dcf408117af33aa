// SIGINT and SIGTERM as a request to stop, without a signal handler.
//
// The watcher blocks both signals in the thread that makes it, and so in
// every thread started afterwards, and takes them with sigwait() on a
// thread of its own.  There they are ordinary values: the watcher stores
// the signal's number in the flag it was given, and the sweep polls that
// flag between frames.
#pragma once

#include <atomic>
#include <thread>

namespace mtsweep {

class SignalWatcher {
 public:
  // REQUIRES: no other thread of the process runs yet (they would keep the
  // signals unblocked), and `received` outlives the watcher.
  explicit SignalWatcher(std::atomic<int>& received);
  // Stops the watching thread.  The signals stay blocked: one that comes
  // later waits unseen while the program writes its last lines and exits.
  ~SignalWatcher();
  SignalWatcher(const SignalWatcher&) = delete;
  SignalWatcher& operator=(const SignalWatcher&) = delete;

 private:
  std::atomic<bool> closing_{false};
  std::thread thread_;
};

// The exit status for a sweep stopped by `signal`: 128 + its number.
inline int exit_status_for(int signal) { return 128 + signal; }

}  // namespace mtsweep
