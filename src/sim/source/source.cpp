// The information source.
#include "sim/source/source.h"

#include <algorithm>
#include <cassert>

#include "sim/random/rng_blocks.h"

namespace mtsim {

InfPattern make_inf_pattern() {
  return {0, 1, 1, 0, 1, 0, 1, 1, 1, 0, 0, 1, 1, 0, 0, 1,
          0, 1, 0, 1, 1, 0, 1, 1, 0, 1, 0, 0, 0, 0};
}

namespace {

// The bit that mode infind sends given the generator's bit; advances the
// pattern in mode 2.
inline int32_t source_bit(int32_t infind, int32_t random_bit, const InfPattern& pattern,
                          int32_t& pattern_pos) {
  switch (infind) {
    case 1:
      return 1;
    case 2:
      pattern_pos += 1;
      if (pattern_pos > PATTERN_LEN) pattern_pos = 1;
      return pattern[pattern_pos];
    case 3:
      return random_bit;
    default:  // 0 and negative modes send zeros
      return 0;
  }
}

}  // namespace

void generate_bits_reference(Streams& s, Rng& rngB, const InfPattern& pattern, int32_t infind,
                             int32_t ndkdd, SourceState& state) {
  assert(ndkdd <= MAX_NDKDD);
  for (int32_t t = 0; t < ndkdd; ++t) {
    state.inftot += NUM_INF;
    for (int32_t j = 0; j < NUM_INF; ++j) {
      rngB.advance();
      const int32_t bit = source_bit(infind, rngB.bit(), pattern, state.pattern_pos);
      state.inf_weight += bit;
      s.inf[NUM_INF - 1 - j][tpos + t] = static_cast<int16_t>(bit);
    }
  }
}

// --- The fast source. ---
//
// rngB is 3 cycles (63 bits) per call, so bit 0 of a after call c is bit
// 63 c of the generator's sequence (RngBlocks).  Calls 64 g + 1 ... 64 g + 64
// read words 63 g ... 63 g + 63 of the sequence, call 64 g + 1 + j bit
// 63 - j of word 63 g + j: one vector shift by lane and one sign test give
// 8 of them.  The bits, in call order, then go to the six streams 32 steps
// (192 bits, three words) at a time: stream 5 - j takes the bits at
// positions j mod 6, gathered with pext.

namespace {

constexpr int64_t kCallBits = 21 * RNG_B_CYCLES;  // sequence bits per rngB call
constexpr int32_t kChunkCalls = static_cast<int32_t>(RngBlocks::kChunkBits / kCallBits);
constexpr int32_t kChunkWords = kChunkCalls / 64;  // a word: 64 calls' bits
static_assert(kChunkWords * 64 * kCallBits == RngBlocks::kChunkBits);
constexpr int32_t kGroupSteps = 32;
constexpr int32_t kGroupWords = kGroupSteps * NUM_INF / 64;  // bits of 32 steps
static_assert(kGroupWords * 64 == kGroupSteps * NUM_INF);

struct Spread {
  uint64_t mask[NUM_INF][kGroupWords];  // positions of stream 5 - j's bits
  int32_t count[NUM_INF][kGroupWords];
};
constexpr Spread make_spread() {
  Spread t{};
  for (int32_t j = 0; j < NUM_INF; ++j) {
    for (int32_t w = 0; w < kGroupWords; ++w) {
      for (int32_t b = 0; b < 64; ++b) {
        if ((64 * w + b) % NUM_INF == j) {
          t.mask[j][w] |= uint64_t{1} << b;
          ++t.count[j][w];
        }
      }
    }
  }
  return t;
}
constexpr Spread kSpread = make_spread();

// `steps` (at most 32) steps from stream index tau, from the three words
// of their bits; returns the number of 1 bits.
MTSIM_AVX512 int32_t spread_group(const uint64_t* bits, int32_t steps, int32_t tau, Streams& s) {
  const __m512i one = _mm512_set1_epi16(1);
  const __mmask32 lanes = first_lanes(steps);
  int32_t weight = 0;
  for (int32_t j = 0; j < NUM_INF; ++j) {
    const uint64_t m = _pext_u64(bits[0], kSpread.mask[j][0]) |
                       _pext_u64(bits[1], kSpread.mask[j][1]) << kSpread.count[j][0] |
                       _pext_u64(bits[2], kSpread.mask[j][2]) << (kSpread.count[j][0] + kSpread.count[j][1]);
    const __mmask32 set = static_cast<__mmask32>(m) & lanes;
    _mm512_mask_storeu_epi16(s.inf[NUM_INF - 1 - j].data() + tau, lanes, _mm512_maskz_mov_epi16(set, one));
    weight += __builtin_popcount(set);
  }
  return weight;
}

// Bits of calls 64 g + 1 ... 64 g + 64 for the kChunkWords words g of the
// current chunk (calls 2,048 k + 1 ... 2,048 k + 2,048).
// (The maskz shift: GCC 12 warns about the plain one's undefined operand.)
MTSIM_AVX512 void chunk_bits(RngBlocks& blocks, uint64_t* out) {
  const __m512i shift = _mm512_set_epi64(7, 6, 5, 4, 3, 2, 1, 0);
  const __m512i top = _mm512_set1_epi64(static_cast<int64_t>(uint64_t{1} << 63));
  blocks.make(RngBlocks::kBlocks + 1);
  const auto* words = reinterpret_cast<const uint64_t*>(blocks.bytes());
  for (int32_t g = 0; g < kChunkWords; ++g) {
    uint64_t bits = 0;
    for (int32_t q = 0; q < 8; ++q) {
      const __m512i w = _mm512_loadu_si512(words + kCallBits * g + 8 * q);
      const __mmask8 b = _mm512_test_epi64_mask(_mm512_maskz_sllv_epi64(0xFF, w, _mm512_add_epi64(shift, _mm512_set1_epi64(8 * q))), top);
      bits |= uint64_t{b} << (8 * q);
    }
    out[g] = bits;
  }
}

// The words of bits that a mode other than 3 sends: zeros, ones, or the
// pattern, whose word w starts at pattern bit (pattern_pos + 64 w) mod 29.
struct FixedBits {
  uint64_t ones = 0;
  uint64_t pattern[PATTERN_LEN] = {};
};
FixedBits make_fixed_bits(int32_t infind, const InfPattern& pattern) {
  FixedBits f;
  if (infind == 1) f.ones = ~uint64_t{0};
  for (int32_t o = 0; o < PATTERN_LEN; ++o) {
    for (int32_t b = 0; b < 64; ++b) f.pattern[o] |= uint64_t(pattern[(o + b) % PATTERN_LEN + 1]) << b;
  }
  return f;
}

// The current chunk's sent bits in call order, kChunkWords words: rngB's
// bits in mode 3, else zeros, ones or the pattern from word first_word of
// the frame on (rngB's chunk is made all the same, for its final state).
MTSIM_AVX512 void chunk_words(RngBlocks& blocks, int32_t infind, const FixedBits& fixed,
                              int32_t pattern_pos, int64_t first_word, uint64_t* out) {
  if (infind == 3) {
    chunk_bits(blocks, out);
    return;
  }
  blocks.make(RngBlocks::kBlocks + 1);
  for (int32_t w = 0; w < kChunkWords; ++w) {
    out[w] = infind == 2 ? fixed.pattern[(pattern_pos + 64 * (first_word + w)) % PATTERN_LEN] : fixed.ones;
  }
}

// Spreads the groups of 32 steps (the frame's last one may be shorter)
// from step `done` on whose bits are among the `made` calls so far, from
// `bits` (call 6 done + 1 in bit 0); returns the words used.
MTSIM_AVX512 int32_t spread_made(const uint64_t* bits, int64_t made, int32_t ndkdd, int32_t& done,
                                 Streams& s, int32_t& weight) {
  int32_t used = 0;
  while (done < ndkdd) {
    const int32_t steps = std::min(ndkdd - done, kGroupSteps);
    if (int64_t{NUM_INF} * (done + steps) > made) break;
    weight += spread_group(bits + used, steps, tpos + done, s);
    done += steps;
    used += kGroupWords;
  }
  return used;
}

MTSIM_AVX512 void generate_vector(Streams& s, Rng& rngB, const InfPattern& pattern, int32_t infind,
                                  int32_t ndkdd, SourceState& state) {
  const int64_t calls = int64_t{NUM_INF} * ndkdd;
  const FixedBits fixed = make_fixed_bits(infind, pattern);
  RngBlocks blocks(rngB);
  uint64_t bits[kChunkWords + kGroupWords] = {};  // bits not yet spread, in call order
  int32_t have = 0;                               // words in bits
  int32_t done = 0;                               // steps spread
  int32_t weight = 0;
  for (int64_t chunk = 0;; ++chunk) {
    blocks.next_chunk();
    chunk_words(blocks, infind, fixed, state.pattern_pos, kChunkWords * chunk, bits + have);
    have += kChunkWords;
    const int32_t used = spread_made(bits, kChunkCalls * (chunk + 1), ndkdd, done, s, weight);
    if (done == ndkdd) break;
    std::copy(bits + used, bits + have, bits);  // the rest to the front
    have -= used;
  }
  blocks.state_at(kCallBits * calls, rngB);
  state.inftot += static_cast<int32_t>(calls);
  state.inf_weight += weight;
  if (infind == 2) state.pattern_pos = static_cast<int32_t>((state.pattern_pos + calls - 1) % PATTERN_LEN + 1);
}

bool zeros_and_ones(const InfPattern& pattern) {
  for (int32_t i = 1; i <= PATTERN_LEN; ++i) {
    if (pattern[i] != 0 && pattern[i] != 1) return false;
  }
  return true;
}

}  // namespace

void generate_bits_fast(Streams& s, Rng& rngB, const InfPattern& pattern, int32_t infind,
                        int32_t ndkdd, SourceState& state, KernelPath* path) {
  assert(ndkdd <= MAX_NDKDD);
  if (ndkdd <= 0 || rngB.cycles != RNG_B_CYCLES || rngB.b > RNG_MASK2 || !cpu_has_avx512bw() ||
      state.pattern_pos < 0 || state.pattern_pos > PATTERN_LEN || !zeros_and_ones(pattern)) {
    report_path(path, KernelPath::kScalar);
    generate_bits_reference(s, rngB, pattern, infind, ndkdd, state);
    return;
  }
  report_path(path, KernelPath::kVector);
  generate_vector(s, rngB, pattern, infind, ndkdd, state);
}

}  // namespace mtsim
