#include "sweep/rounds/frame_pool.h"

#include <sched.h>

#include <cerrno>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

namespace mtsweep {

int available_cores() {
  // A dynamic set: cpu_set_t holds 1024 CPUs, and sched_getaffinity fails
  // outright on a machine with more.
  for (int cpus = 1024; cpus <= (1 << 20); cpus *= 2) {
    cpu_set_t* set = CPU_ALLOC(cpus);
    if (set == nullptr) return 1;
    const size_t bytes = CPU_ALLOC_SIZE(cpus);
    CPU_ZERO_S(bytes, set);
    const bool ok = sched_getaffinity(0, bytes, set) == 0;
    const int count = ok ? CPU_COUNT_S(bytes, set) : 0;
    CPU_FREE(set);
    if (ok) return count > 0 ? count : 1;
    if (errno != EINVAL) return 1;
  }
  return 1;
}

FramePool::FramePool(int threads) {
  workers_.reserve(static_cast<size_t>(threads));
  try {
    for (int i = 0; i < threads; ++i) workers_.emplace_back([this] { work(); });
  } catch (const std::system_error& e) {
    // The workers that did start must end before the pool is given up.
    const size_t started = workers_.size();
    close();
    throw std::runtime_error("cannot start worker thread " + std::to_string(started + 1) + " of " +
                             std::to_string(threads) + ": " + e.code().message() +
                             " (each thread reserves its stack; give fewer threads)");
  } catch (...) {
    close();
    throw;
  }
}

FramePool::~FramePool() { close(); }

void FramePool::close() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  start_.notify_all();
  for (std::thread& t : workers_) t.join();
  workers_.clear();
}

bool FramePool::run(const mtsim::FrameConfig& config, int32_t first_kst,
                    std::span<mtsim::FrameCounts> out, const StopRequest& stop,
                    const std::function<void(int64_t)>& tick) {
  return run_block(Block{config, first_kst, {}, out, &stop}, tick);
}

bool FramePool::run(const mtsim::FrameConfig& config, std::span<const int32_t> seeds,
                    std::span<mtsim::FrameCounts> out, const StopRequest& stop,
                    const std::function<void(int64_t)>& tick) {
  return run_block(Block{config, 0, seeds, out, &stop}, tick);
}

bool FramePool::run_block(const Block& block, const std::function<void(int64_t)>& tick) {
  std::unique_lock lock(mutex_);
  block_ = block;
  next_.store(0);
  busy_ = threads();
  completed_.store(0);
  ++generation_;
  start_.notify_all();
  std::exception_ptr ticked;  // what `tick` threw: the block is abandoned
  while (!done_.wait_for(lock, TICK_INTERVAL, [this] { return busy_ == 0; })) {
    if (!tick || ticked) continue;
    lock.unlock();
    try {
      tick(completed_.load());
    } catch (...) {
      // The workers still write into the caller's `out`: they must be done
      // with it before the exception may unwind it.
      ticked = std::current_exception();
      abandon_.store(true);
    }
    lock.lock();
  }
  abandon_.store(false);
  if (ticked) std::rethrow_exception(ticked);
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
  return completed_.load() == static_cast<int64_t>(block.out.size());
}

void FramePool::work() {
  std::unique_ptr<mtsim::Simulator> simulator;
  uint64_t seen = 0;
  for (;;) {
    Block block;
    {
      std::unique_lock lock(mutex_);
      start_.wait(lock, [&] { return closing_ || generation_ != seen; });
      if (closing_) return;
      seen = generation_;
      block = block_;
    }
    try {
      if (!simulator || simulator->config() != block.config) {
        simulator.reset();  // free the old state before the new one is made
        simulator = std::make_unique<mtsim::Simulator>(block.config);
      }
      for (;;) {
        if (block.stop->requested() || abandon_.load()) break;
        const int64_t i = next_.fetch_add(1);
        if (i >= static_cast<int64_t>(block.out.size())) break;
        block.out[static_cast<size_t>(i)] = simulator->run(block.kst(static_cast<size_t>(i)));
        completed_.fetch_add(1);
      }
    } catch (...) {
      std::lock_guard lock(mutex_);
      if (!failure_) failure_ = std::current_exception();
    }
    std::lock_guard lock(mutex_);
    if (--busy_ == 0) done_.notify_one();
  }
}

}  // namespace mtsweep
