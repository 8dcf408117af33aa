// One frame of the simulated chain: source, encoder, channel, error packet
// and decoder over ndkdd time steps, with no report, clock or file.
//
// A frame is fixed by its configuration and by kst, the seed of the channel
// noise.  Its result is FrameCounts: the decoder's result table and the
// counts the chain made on the way.  The steps below are the frame's stages
// in the order they must run; a Simulator runs them all, and a program that
// reports between stages (mtsim) calls them one by one on its own
// FrameState.  Both give the same numbers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "sim/channel/estimates.h"
#include "sim/code/streams.h"
#include "sim/decoder/decoder.h"
#include "sim/random/rng.h"
#include "sim/source/source.h"

namespace mtsim {

// Which kernel implementations a frame uses.  The reference ones are the
// direct transcriptions that the fast ones are checked against.
enum class Kernels { kFast, kReference };

// The ranges of a frame's settings that no kernel needs but the program
// keeps: AN outside 2.0 ... 5.0 is the noiseless 25.0, the packet at most
// 200 bits, the source mode at most 3.  ndkdd and iterat have theirs with
// the code and the decoder (MIN_NDKDD, MAX_ITERAT, ...).
inline constexpr double MIN_AN = 2.0;
inline constexpr double MAX_AN = 5.0;
inline constexpr double NOISELESS_AN = 25.0;
inline constexpr int32_t MAX_NPACKETLL = 200;
inline constexpr int32_t MAX_INFIND = 3;

// The frame's settings, as values after the parameter file's replacements.
struct FrameConfig {
  int32_t infind = 3;         // source mode: 3 random, 2 pattern, 1 ones, 0 and below zeros
  int32_t ndkdd = MAX_NDKDD;  // time steps, MIN_NDKDD ... MAX_NDKDD
  int32_t iterat = 8;         // decoder iterations, MIN_ITERAT ... MAX_ITERAT
  double AN = 3.0;            // Es/N0 in dB, MIN_AN ... MAX_AN or exactly NOISELESS_AN
  int32_t npacketll = 0;      // error packet length in bits, at most MAX_NPACKETLL; below 8 none

  bool operator==(const FrameConfig&) const = default;
};

// Empty when `config` lies within the ranges above; otherwise one line
// naming the first setting out of range and the range it must lie in.
std::string config_error(const FrameConfig& config);

// Which path each fast kernel of the last frame took (the reference stages
// leave kScalar).
struct KernelPaths {
  KernelPath source = KernelPath::kScalar;
  KernelPath encoder = KernelPath::kScalar;
  KernelPath channel = KernelPath::kScalar;
  KernelPath decoder = KernelPath::kScalar;
};

// What one frame counted.
struct FrameCounts {
  int32_t iterat = 0;
  // The result table: [0] information bits decoded, [1] information and
  // [2] check hard errors at the decoder input, [3 + j] information errors
  // left after iteration j.  Entries from iterat + 3 on are 0.
  std::array<int32_t, NUM_COUNTS> table{};
  int32_t inftot = 0;        // information bits generated
  int32_t inf_weight = 0;    // 1 bits among them
  int32_t check_weight = 0;  // 1 bits among the check bits
  int32_t inferr = 0;        // information symbols the channel inverted
  int32_t isaerr = 0;        // check symbols the channel inverted

  // The iterat + 3 numbers of the result table.
  std::span<const int32_t> result_table() const {
    return {table.data(), static_cast<size_t>(iterat + 3)};
  }
};

// Everything a frame touches (about 29 MB, made by make_frame_state).  The
// fixed tables are built once; start_frame resets the rest for a new frame.
//
// The state takes fresh memory from the kernel in 2 MB pages where it can
// (one page fault per 2 MB instead of one per 4 KB), and that memory is
// zero: default-initialization leaves the streams and registers as they
// are, so a new state is zero without 29 MB being written.  Its pages are
// touched first by the frame that uses them.
struct FrameState {
  SwapTable swap_table{};
  InfPattern inf_pattern{};
  Rng rngA;
  Rng rngB;
  SourceState source;
  int32_t check_weight = 0;
  ChannelErrors channel_errors;
  KernelPaths paths;
  Streams streams;       // zero while fresh (see above)
  DecoderState decoder;  // its arrays zero while fresh

  static void operator delete(void* p, std::size_t size);

 private:
  // Only make_frame_state allocates one, so that the allocation is
  // compiled with the sim library's -flifetime-dse=1 (CMakeLists.txt): with
  // it g++ does not treat the storage as dead before the constructor, and
  // the zeros of the fresh pages survive `new FrameState`.
  static void* operator new(std::size_t size);
  friend std::unique_ptr<FrameState> make_frame_state();
};

// A zeroed state with its fixed tables built.
std::unique_ptr<FrameState> make_frame_state();

// --- The stages, in order.  REQUIRES: config_error(config) is empty. ---

// Seeds the generators with kst, clears the sent streams and the counters.
void start_frame(FrameState& f, int32_t kst);
// The same without clearing, for a state whose sent streams are zero
// wherever this frame's source and encoder will not write: a fresh state
// (make_frame_state), or one whose earlier frames all had this ndkdd.
void start_fresh_frame(FrameState& f, int32_t kst);
// The six information streams.
void run_source(FrameState& f, const FrameConfig& config, Kernels kernels);
// The two check streams.
void run_encoder(FrameState& f, const FrameConfig& config, Kernels kernels);
// Received hard bits and reliabilities from the channel's level table.
void run_channel(FrameState& f, const ChannelTable& table, const FrameConfig& config,
                 Kernels kernels);
// Decoder registers preloaded, the error packet over the received bits.
void run_preparation(FrameState& f, const FrameConfig& config);
// The decoder over the whole frame; fills the result table.
void run_decoder(FrameState& f, const FrameConfig& config, Kernels kernels);

FrameCounts frame_counts(const FrameState& f, const FrameConfig& config);

// Runs whole frames of one configuration.  The state is allocated once, at
// construction, and reused by every frame: run() allocates nothing.  Two
// simulators share nothing.
class Simulator {
 public:
  // Throws std::invalid_argument with config_error's line when the
  // configuration is out of range.
  explicit Simulator(const FrameConfig& config, Kernels kernels = Kernels::kFast);

  // The frame with noise seed kst.  Its counts equal those that mtsim
  // reports for a parameter file with the same settings and kst.
  FrameCounts run(int32_t kst);

  const FrameConfig& config() const { return config_; }
  const ChannelEstimates& estimates() const { return estimates_; }
  // Of the last frame.
  const KernelPaths& paths() const { return state_->paths; }

 private:
  FrameConfig config_;
  Kernels kernels_;
  ChannelEstimates estimates_;
  std::unique_ptr<FrameState> state_;
};

}  // namespace mtsim
