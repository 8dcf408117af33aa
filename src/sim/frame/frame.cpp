#include "sim/frame/frame.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <type_traits>

#include <sys/mman.h>

#include "sim/code/encoder.h"
#include "sim/decoder/decoder_fast.h"
#include "sim/decoder/prepare.h"

namespace mtsim {

std::string config_error(const FrameConfig& c) {
  char line[160];
  if (c.infind > MAX_INFIND) {
    std::snprintf(line, sizeof line, "infind %d is above %d", c.infind, MAX_INFIND);
  } else if (c.ndkdd < MIN_NDKDD || c.ndkdd > MAX_NDKDD) {
    std::snprintf(line, sizeof line, "ndkdd %d is outside %d ... %d", c.ndkdd, MIN_NDKDD, MAX_NDKDD);
  } else if (c.iterat < MIN_ITERAT || c.iterat > MAX_ITERAT) {
    std::snprintf(line, sizeof line, "iterat %d is outside %d ... %d", c.iterat, MIN_ITERAT, MAX_ITERAT);
  } else if (!(c.AN >= MIN_AN && c.AN <= MAX_AN) && c.AN != NOISELESS_AN) {
    std::snprintf(line, sizeof line, "AN %g is outside %.1f ... %.1f and not %.1f", c.AN, MIN_AN, MAX_AN,
                  NOISELESS_AN);
  } else if (c.npacketll > MAX_NPACKETLL) {
    std::snprintf(line, sizeof line, "npacketll %d is above %d", c.npacketll, MAX_NPACKETLL);
  } else {
    return {};
  }
  return line;
}

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t mapped_size(std::size_t size) { return (size + kHugePage - 1) / kHugePage * kHugePage; }

}  // namespace

void* FrameState::operator new(std::size_t size) {
  // Map 2 MB more than needed, keep the 2 MB-aligned part: transparent huge
  // pages need aligned 2 MB ranges.
  const std::size_t bytes = mapped_size(size);
  void* raw = mmap(nullptr, bytes + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  const auto start = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t aligned = (start + kHugePage - 1) / kHugePage * kHugePage;
  if (aligned > start) munmap(raw, aligned - start);
  munmap(reinterpret_cast<void*>(aligned + bytes), start + kHugePage - aligned);
  void* p = reinterpret_cast<void*>(aligned);
  madvise(p, bytes, MADV_HUGEPAGE);  // a hint: without it the state still works
  return p;
}

void FrameState::operator delete(void* p, std::size_t size) { munmap(p, mapped_size(size)); }

// Default-initialization must write nothing into the big arrays, or the
// zeros of fresh memory would not survive `new FrameState`.
static_assert(std::is_trivially_default_constructible_v<Streams>);
static_assert(std::is_trivially_default_constructible_v<Ring>);
static_assert(std::is_trivially_default_constructible_v<BlockRegisters>);

std::unique_ptr<FrameState> make_frame_state() {
  std::unique_ptr<FrameState> f(new FrameState);  // fresh memory: already zero
  f->swap_table = make_swap_table();
  f->inf_pattern = make_inf_pattern();
  return f;
}

namespace {

void seed_and_reset(FrameState& f, int32_t kst) {
  seed_generators(f.rngA, f.rngB, kst);
  f.source = SourceState{};
  f.check_weight = 0;
  f.channel_errors = ChannelErrors{};
  f.paths = KernelPaths{};
}

}  // namespace

void start_frame(FrameState& f, int32_t kst) {
  seed_and_reset(f, kst);
  Streams& s = f.streams;
  for (Stream* buffer : {&s.chk1, &s.chk2}) std::fill_n(buffer->begin(), CLEARED_LEN, int16_t{0});
  for (Stream& buffer : s.inf) std::fill_n(buffer.begin(), CLEARED_LEN, int16_t{0});
}

void start_fresh_frame(FrameState& f, int32_t kst) { seed_and_reset(f, kst); }

void run_source(FrameState& f, const FrameConfig& c, Kernels kernels) {
  if (kernels == Kernels::kFast) {
    generate_bits_fast(f.streams, f.rngB, f.inf_pattern, c.infind, c.ndkdd, f.source, &f.paths.source);
  } else {
    generate_bits_reference(f.streams, f.rngB, f.inf_pattern, c.infind, c.ndkdd, f.source);
  }
}

void run_encoder(FrameState& f, const FrameConfig& c, Kernels kernels) {
  f.check_weight += kernels == Kernels::kFast ? encode_fast(f.streams, c.ndkdd, &f.paths.encoder)
                                              : encode_reference(f.streams, c.ndkdd);
}

void run_channel(FrameState& f, const ChannelTable& table, const FrameConfig& c, Kernels kernels) {
  const ChannelErrors errors =
      kernels == Kernels::kFast
          ? transmit_fast(f.streams, f.rngA, f.swap_table, table, c.ndkdd, &f.paths.channel)
          : transmit_reference(f.streams, f.rngA, f.swap_table, table, c.ndkdd);
  f.channel_errors.inferr += errors.inferr;
  f.channel_errors.isaerr += errors.isaerr;
}

void run_preparation(FrameState& f, const FrameConfig& c) {
  prepare_registers(f.decoder);
  write_error_packet(f.streams, f.rngB, c.npacketll);
}

void run_decoder(FrameState& f, const FrameConfig& c, Kernels kernels) {
  if (kernels == Kernels::kFast) {
    decode_fast(f.decoder, f.streams, c.ndkdd, c.iterat, &f.paths.decoder);
  } else {
    decode_reference(f.decoder, f.streams, c.ndkdd, c.iterat);
  }
}

FrameCounts frame_counts(const FrameState& f, const FrameConfig& c) {
  FrameCounts counts;
  counts.iterat = c.iterat;
  counts.table = f.decoder.counts;
  counts.inftot = f.source.inftot;
  counts.inf_weight = f.source.inf_weight;
  counts.check_weight = f.check_weight;
  counts.inferr = f.channel_errors.inferr;
  counts.isaerr = f.channel_errors.isaerr;
  return counts;
}

namespace {

const FrameConfig& checked(const FrameConfig& config) {
  const std::string error = config_error(config);
  if (!error.empty()) throw std::invalid_argument(error);
  return config;
}

}  // namespace

Simulator::Simulator(const FrameConfig& config, Kernels kernels)
    : config_(checked(config)),
      kernels_(kernels),
      estimates_(channel_estimates(config.AN)),
      state_(make_frame_state()) {}

FrameCounts Simulator::run(int32_t kst) {
  FrameState& f = *state_;
  start_fresh_frame(f, kst);  // every frame of a simulator has the same ndkdd
  run_source(f, config_, kernels_);
  run_encoder(f, config_, kernels_);
  run_channel(f, estimates_.table, config_, kernels_);
  run_preparation(f, config_);
  run_decoder(f, config_, kernels_);
  return frame_counts(f, config_);
}

}  // namespace mtsim
