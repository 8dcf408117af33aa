#include "mtsweep/signals.h"

#include <pthread.h>

#include <csignal>

namespace mtsweep {

namespace {

// SIGUSR2 only wakes the watcher to end it; it counts as that only once
// closing is set, so a stray SIGUSR2 from outside is ignored.
sigset_t watched_signals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGUSR2);
  return set;
}

}  // namespace

SignalWatcher::SignalWatcher(StopRequest& received, std::function<void(int)> second) {
  const sigset_t set = watched_signals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  thread_ = std::thread([this, &received, set, second = std::move(second)] {
    int seen = 0;
    for (;;) {
      int signal = 0;
      if (sigwait(&set, &signal) != 0) continue;
      if (signal == SIGUSR2) {
        if (closing_.load()) return;
        continue;
      }
      if (++seen > 1) second(signal);
      received.request(Stop{StopReason::kSignal, signal});  // the first request decides the status
    }
  });
}

SignalWatcher::~SignalWatcher() {
  closing_.store(true);
  pthread_kill(thread_.native_handle(), SIGUSR2);
  thread_.join();
}

}  // namespace mtsweep
