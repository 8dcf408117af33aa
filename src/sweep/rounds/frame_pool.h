// Worker threads that run blocks of frames of one point: consecutive
// frames, or frames of any given seeds.
//
// Each worker keeps one Simulator (about 29 MB) and reuses it for every
// frame; it builds a new one only when the point changes.  A block is the
// unit of work a caller hands out: frames first, first + 1, ... of a point
// (or the frames of the given seeds), claimed one at a time by whichever
// worker is free, and returned in the block's order.  A caller that
// shares a point among several processes can give each its own block of a
// round and gather the counts afterwards.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "sim/frame/frame.h"
#include "sweep/rounds/stop_request.h"

namespace mtsweep {

// The most worker threads a caller may ask for.
inline constexpr int MAX_THREADS = 1024;

// The cores this process may run on (its CPU affinity): the default number
// of workers.
int available_cores();

class FramePool {
 public:
  // Throws std::runtime_error, naming the thread, when the system cannot
  // start all the threads.  REQUIRES: threads >= 1.
  explicit FramePool(int threads);
  ~FramePool();
  FramePool(const FramePool&) = delete;
  FramePool& operator=(const FramePool&) = delete;

  int threads() const { return static_cast<int>(workers_.size()); }

  // Runs the frames with kst = first_kst + i into out[i], for every i of
  // `out`.  Returns false when a stop was requested before every frame
  // ran: `out` is then partly filled and must be discarded.  While waiting,
  // calls `tick` (if given) with the number of frames done, every
  // TICK_INTERVAL.  Rethrows what a worker threw (a failed allocation).
  // REQUIRES: config_error(config) is empty; first_kst + out.size() - 1
  // fits in int32_t.
  bool run(const mtsim::FrameConfig& config, int32_t first_kst, std::span<mtsim::FrameCounts> out,
           const StopRequest& stop, const std::function<void(int64_t)>& tick = {});
  // The same for the frames with kst = seeds[i], in any order, repeats
  // allowed.  REQUIRES: seeds.size() == out.size().
  bool run(const mtsim::FrameConfig& config, std::span<const int32_t> seeds,
           std::span<mtsim::FrameCounts> out, const StopRequest& stop,
           const std::function<void(int64_t)>& tick = {});

  static constexpr std::chrono::milliseconds TICK_INTERVAL{250};

 private:
  struct Block {
    mtsim::FrameConfig config;
    int32_t first_kst = 0;
    std::span<const int32_t> seeds;  // when not empty, instead of first_kst + i
    std::span<mtsim::FrameCounts> out;
    const StopRequest* stop = nullptr;

    int32_t kst(size_t i) const {
      return seeds.empty() ? first_kst + static_cast<int32_t>(i) : seeds[i];
    }
  };

  bool run_block(const Block& block, const std::function<void(int64_t)>& tick);
  void work();
  void close();  // ends and joins the workers

  std::mutex mutex_;
  std::condition_variable start_;
  std::condition_variable done_;
  Block block_;
  uint64_t generation_ = 0;            // counts blocks handed out
  int busy_ = 0;                       // workers still in the current block
  std::atomic<int64_t> completed_{0};  // frames of the current block that ran
  bool closing_ = false;
  std::exception_ptr failure_;
  std::atomic<int64_t> next_{0};  // next frame of the block to claim
  std::atomic<bool> abandon_{false};  // the caller gave the current block up
  std::vector<std::thread> workers_;
};

}  // namespace mtsweep
