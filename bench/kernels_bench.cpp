// Speed of every kernel in information bits per second, reference and fast
// side by side, on data made by the real phases (ndkdd = 520,000, kst = 0,
// random source).  Each benchmark restores its inputs outside the timed
// part, so every iteration does the whole phase on the same data.  The
// frame benchmarks time the whole chain, set-up to decoder, as a sweep
// runs it.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>

#include "sim/channel/channel_windows.h"
#include "sim/random/rng_blocks.h"
#include "sim/source/source.h"
#include "sim/channel/transmit.h"
#include "sim/code/encoder.h"
#include "sim/decoder/decoder_fast.h"
#include "sim/frame/frame.h"

namespace mtsim {
namespace {

constexpr int32_t kSteps = 520000;
constexpr double kBits = 6.0 * kSteps;  // information bits of a run

// A frame prepared for decoding, as mtsim prepares it: the stages from
// start_fresh_frame to run_preparation on a fresh state, with the default
// run's settings and kst = 0.
struct Prepared {
  ChannelEstimates estimates;
  std::unique_ptr<FrameState> frame;
};
constexpr int32_t kKst = 0;

// One prepared frame per noise level, made once: the data do not depend on
// iterat, and the fast kernels produce the reference's data.
Prepared& prepared(double an) {
  static std::map<double, Prepared> frames;
  Prepared& p = frames[an];
  if (!p.frame) {
    const FrameConfig config{.infind = 3, .ndkdd = kSteps, .iterat = 8, .AN = an, .npacketll = 0};
    p.estimates = channel_estimates(an);
    p.frame = make_frame_state();
    start_fresh_frame(*p.frame, kKst);
    run_source(*p.frame, config, Kernels::kFast);
    run_encoder(*p.frame, config, Kernels::kFast);
    run_channel(*p.frame, p.estimates.table, config, Kernels::kFast);
    run_preparation(*p.frame, config);
  }
  return p;
}

void set_rate(benchmark::State& state, double bits_per_iteration) {
  state.counters["bits/s"] = benchmark::Counter(bits_per_iteration * static_cast<double>(state.iterations()),
                                                benchmark::Counter::kIsRate);
}

// --- Generators: rngB as the source takes it, one call per information
// bit, and rngA in the channel's pattern, STEP_CALLS.calls (28) calls per
// six bits.  GeneratorB_Fast needs AVX-512BW (cpu_has_avx512bw),
// GeneratorA_Fast AVX-512 GFNI (cpu_has_avx512gfni). ---

void BM_GeneratorB_Reference(benchmark::State& state) {
  const int32_t n = 6 * kSteps;
  for (auto _ : state) {
    Rng a, b;
    seed_generators(a, b, 0);
    uint32_t acc = 0;
    for (int32_t i = 0; i < n; ++i) {
      b.advance();
      acc += b.a & 1u;
    }
    benchmark::DoNotOptimize(acc);
  }
  set_rate(state, n);
}

// The sequence that those calls span, made 512 bits per instruction
// (RngBlocks); the kernels cut their bits from it with vector instructions.
void BM_GeneratorB_Fast(benchmark::State& state) {
  const int64_t n = 6 * kSteps;
  constexpr int64_t kChunkCalls = RngBlocks::kChunkBits / 63;
  for (auto _ : state) {
    Rng a, b;
    seed_generators(a, b, 0);
    RngBlocks blocks(b);
    uint32_t acc = 0;
    for (int64_t first = 0; first < n; first += kChunkCalls) {
      blocks.next_chunk();
      blocks.make(RngBlocks::kBlocks + 1);
      acc += blocks.bytes()[first % RngBlocks::kChunkBytes];
    }
    benchmark::DoNotOptimize(acc);
  }
  set_rate(state, n);
}

void BM_GeneratorA_Reference(benchmark::State& state) {
  for (auto _ : state) {
    Rng a, b;
    seed_generators(a, b, 0);
    uint32_t acc = 0;
    for (int32_t t = 0; t < kSteps; ++t) {
      for (int32_t c = 0; c < STEP_CALLS.calls; ++c) {
        a.advance();
        acc += a.a & DRAW_MASK;
      }
    }
    benchmark::DoNotOptimize(acc);
  }
  set_rate(state, kBits);
}

// The same for rngA: the channel's first pass alone, every call's draw
// window and the list of rejected calls, 1,024 calls per chunk
// (ChannelWindows; needs AVX-512 GFNI).
void BM_GeneratorA_Fast(benchmark::State& state) {
  if (!cpu_has_avx512gfni()) {
    state.SkipWithError("no AVX-512 GFNI");
    return;
  }
  const int64_t chunks = STEP_CALLS.calls * int64_t{kSteps} / ChannelWindows::kCalls;
  alignas(64) uint16_t windows[ChannelWindows::kCalls];
  alignas(64) uint16_t rejected[ChannelWindows::kCalls + 32];
  for (auto _ : state) {
    Rng a, b;
    seed_generators(a, b, 0);
    ChannelWindows gen(a);
    int32_t acc = 0;
    for (int64_t chunk = 0; chunk < chunks; ++chunk) {
      acc += gen.make(windows, rejected);
      gen.next_chunk();
    }
    benchmark::DoNotOptimize(acc);
  }
  set_rate(state, kBits);
}

// --- Information source, random bits (one rngB call per bit). ---

// The kernels whose signature the benchmarks cannot take as it is, as
// plain functions of their inputs: the source in random mode, and the fast
// ones without their path report.
void source_reference(Streams& s, Rng& b, const InfPattern& p, int32_t n, SourceState& t) {
  generate_bits_reference(s, b, p, 3, n, t);
}
void source_fast(Streams& s, Rng& b, const InfPattern& p, int32_t n, SourceState& t) {
  generate_bits_fast(s, b, p, 3, n, t);
}
int32_t encoder_fast(Streams& s, int32_t n) { return encode_fast(s, n); }
ChannelErrors channel_fast(Streams& s, Rng& a, const SwapTable& w, const ChannelTable& t, int32_t n) {
  return transmit_fast(s, a, w, t, n);
}
void decoder_fast(DecoderState& d, const Streams& s, int32_t n, int32_t iterat) {
  decode_fast(d, s, n, iterat);
}

template <void (*Generate)(Streams&, Rng&, const InfPattern&, int32_t, SourceState&)>
void BM_Source(benchmark::State& state) {
  Prepared& prep = prepared(3.0);
  const InfPattern pattern = make_inf_pattern();
  for (auto _ : state) {
    Rng a, b;
    seed_generators(a, b, 0);
    SourceState totals;
    Generate(prep.frame->streams, b, pattern, kSteps, totals);
    benchmark::DoNotOptimize(totals.inf_weight);
  }
  set_rate(state, kBits);
}

// --- Encoder. ---

template <int32_t (*Encode)(Streams&, int32_t)>
void BM_Encoder(benchmark::State& state) {
  Prepared& prep = prepared(3.0);
  for (auto _ : state) {
    benchmark::DoNotOptimize(Encode(prep.frame->streams, kSteps));
  }
  set_rate(state, kBits);
}

// --- Channel, generators included. ---

template <ChannelErrors (*Transmit)(Streams&, Rng&, const SwapTable&, const ChannelTable&,
                                    int32_t)>
void BM_Channel(benchmark::State& state) {
  Prepared& prep = prepared(3.0);
  for (auto _ : state) {
    Rng a, b;
    seed_generators(a, b, kKst);
    benchmark::DoNotOptimize(Transmit(prep.frame->streams, a, prep.frame->swap_table, prep.estimates.table, kSteps));
  }
  set_rate(state, kBits);
}

// --- Decoder: args are AN * 10 and iterat. ---

template <void (*Decode)(DecoderState&, const Streams&, int32_t, int32_t)>
void BM_Decoder(benchmark::State& state) {
  const double an = static_cast<double>(state.range(0)) / 10.0;
  const int32_t iterat = static_cast<int32_t>(state.range(1));
  const Prepared& prep = prepared(an);
  auto work = std::make_unique<DecoderState>();
  for (auto _ : state) {
    state.PauseTiming();
    *work = prep.frame->decoder;  // as the preparation left it
    state.ResumeTiming();
    Decode(*work, prep.frame->streams, kSteps, iterat);
  }
  set_rate(state, kBits);
}

void decoder_args(benchmark::internal::Benchmark* b) {
  b->ArgNames({"AN10", "iterat"});
  for (int64_t an : {20, 30, 40}) {
    for (int64_t iterat : {3, 8, 15}) b->Args({an, iterat});
  }
  b->Unit(benchmark::kMillisecond);
}

// --- The whole frame through the library: one simulator reused, the
// default run's settings (ndkdd 520,000, AN 3.0, iterat 8). ---

template <Kernels kKernels>
void BM_Frame(benchmark::State& state) {
  FrameConfig config;
  config.ndkdd = kSteps;
  config.AN = 3.0;
  config.iterat = 8;
  Simulator sim(config, kKernels);
  for (auto _ : state) benchmark::DoNotOptimize(sim.run(0));
  set_rate(state, kBits);
}

BENCHMARK(BM_GeneratorB_Reference)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GeneratorB_Fast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GeneratorA_Reference)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GeneratorA_Fast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Source<source_reference>)->Name("BM_Source_Reference")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Source<source_fast>)->Name("BM_Source_Fast")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encoder<encode_reference>)->Name("BM_Encoder_Reference")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encoder<encoder_fast>)->Name("BM_Encoder_Fast")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Channel<transmit_reference>)->Name("BM_Channel_Reference")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Channel<channel_fast>)->Name("BM_Channel_Fast")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decoder<decode_reference>)->Name("BM_Decoder_Reference")->Apply(decoder_args);
BENCHMARK(BM_Decoder<decoder_fast>)->Name("BM_Decoder_Fast")->Apply(decoder_args);
BENCHMARK(BM_Frame<Kernels::kReference>)->Name("BM_Frame_Reference")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Frame<Kernels::kFast>)->Name("BM_Frame_Fast")->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace mtsim

BENCHMARK_MAIN();
