// Throughput of mtsweep's worker pool: rounds of frames (ndkdd = 520,000,
// AN 3.0, iterat 8) on 1 and 2 threads, in information bits per second of
// wall time.  Each thread builds its simulator in the first round, outside
// the timing.
#include <benchmark/benchmark.h>

#include <vector>

#include "sweep/rounds/frame_pool.h"

namespace mtsweep {
namespace {

void BM_FramePool(benchmark::State& state) {
  const int threads = static_cast<int>(state.range(0));
  const mtsim::FrameConfig config{3, 520000, 8, 3.0, 0};
  FramePool pool(threads);
  StopRequest stop;
  std::vector<mtsim::FrameCounts> round(static_cast<size_t>(4 * threads));
  pool.run(config, 0, round, stop);
  int32_t kst = static_cast<int32_t>(round.size());
  for (auto _ : state) {
    pool.run(config, kst, round, stop);
    kst += static_cast<int32_t>(round.size());
    benchmark::DoNotOptimize(round.data());
  }
  state.counters["bits/s"] =
      benchmark::Counter(6.0 * 520000 * static_cast<double>(round.size() * state.iterations()),
                         benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FramePool)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace mtsweep
