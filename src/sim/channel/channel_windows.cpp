#include "sim/channel/channel_windows.h"

#include <immintrin.h>

#include <cassert>
#include <cstdint>

namespace mtsim {
namespace {

constexpr int32_t kStateBits = 52;                       // a's low 21 bits, then b's 31
constexpr int32_t kStateBytes = (kStateBits + 7) / 8;    // one GF2P8AFFINEQB each
constexpr int32_t kWindowBits = 10;                      // a & DRAW_MASK
constexpr int64_t kCallBits = 21 * RNG_A_CYCLES;         // sequence bits per call
constexpr int32_t kSubstreams = 8;                       // byte lanes of a 64-bit lane
constexpr int32_t kWindowsPerLane = 32 / kSubstreams;    // of one group of 32 calls
static_assert(DRAW_MASK + 1 == 1 << kWindowBits && kStateBytes == 7);
static_assert(ChannelWindows::kCalls % 32 == 0);

// Byte-matrices for GF2P8AFFINEQB: in each 64-bit lane an 8 x 8 matrix
// whose byte 7 - t holds the row of output bit t (the instruction's
// order).
struct Matrices {
  uint64_t window[ChannelWindows::kGroups][kStateBytes][8];  // [group][state byte][lane]
  uint64_t advance[kStateBytes][8];                          // [state byte][new state byte]
};

// The 8 x 8 block of `rows` (52-bit masks over the state, one per output
// bit, `n` of them) on state bits 8 k ... 8 k + 7.
constexpr uint64_t byte_block(const uint64_t* rows, int32_t n, int32_t k) {
  uint64_t m = 0;
  for (int32_t t = 0; t < n && t < 8; ++t) m |= ((rows[t] >> (8 * k)) & 0xFF) << (8 * (7 - t));
  return m;
}

// Every bit of rngA's sequence as the mask of the state bits whose parity
// it is.  After n shift cycles a holds bits 21 n ... 21 n + 20 of the
// sequence w and b the next 31 (rng_blocks.h), so w[i] is state bit i for
// i < 52 and w[i - 31] ^ w[i - 52] after; the window after c calls is
// w[126 c] ... w[126 c + 9], and the state after 1,024 calls starts at
// w[126 * 1024].
//
// Group g's lane 2 i + h, byte j, holds byte h of the swapped window after
// 32 g + 8 i calls from substream j, so that a lane's matrix is the same
// for all eight substreams.
constexpr Matrices make_matrices() {
  constexpr int32_t kOffsets = ChannelWindows::kCalls / kSubstreams;
  uint64_t window_bits[kOffsets][kWindowBits]{};  // calls 0, 8, 16, ...
  uint64_t advanced[kStateBits]{};
  uint64_t recent[64]{};  // w[i - 64] ... w[i - 1], by i mod 64
  constexpr int64_t kAdvanced = kCallBits * ChannelWindows::kCalls;
  for (int64_t i = 0; i < kAdvanced + kStateBits; ++i) {
    const uint64_t w = i < kStateBits ? uint64_t{1} << i : recent[(i - 31) & 63] ^ recent[(i - 52) & 63];
    recent[i & 63] = w;
    const int64_t call = i / kCallBits, at = i % kCallBits;
    if (call < ChannelWindows::kCalls && call % kSubstreams == 0 && at < kWindowBits) {
      window_bits[call / kSubstreams][at] = w;
    }
    if (i >= kAdvanced) advanced[i - kAdvanced] = w;
  }
  Matrices m{};
  for (int32_t g = 0; g < ChannelWindows::kGroups; ++g) {
    for (int32_t lane = 0; lane < 8; ++lane) {
      const int32_t offset = kWindowsPerLane * g + lane / 2, half = lane % 2;
      uint64_t rows[8]{};
      // The swap: bit b of the looked-up value is bit (b + 5) mod 10 of
      // the window.
      for (int32_t t = 0; t < 8 && 8 * half + t < kWindowBits; ++t) {
        rows[t] = window_bits[offset][(8 * half + t + 5) % kWindowBits];
      }
      for (int32_t k = 0; k < kStateBytes; ++k) m.window[g][k][lane] = byte_block(rows, 8, k);
    }
  }
  for (int32_t lane = 0; lane < kStateBytes; ++lane) {
    const int32_t n = kStateBits - 8 * lane < 8 ? kStateBits - 8 * lane : 8;
    for (int32_t k = 0; k < kStateBytes; ++k) m.advance[k][lane] = byte_block(advanced + 8 * lane, n, k);
  }
  return m;
}

alignas(64) constexpr Matrices kMatrices = make_matrices();

// Byte 2 q + h of a group's windows in call order (call q = 8 i + j) is
// byte h of window i of substream j: lane 2 i + h, byte j.
struct alignas(64) Order {
  uint8_t v[64];
};
constexpr Order make_call_order() {
  Order o{};
  for (int32_t q = 0; q < 32; ++q) {
    for (int32_t h = 0; h < 2; ++h) {
      o.v[2 * q + h] = static_cast<uint8_t>(8 * (2 * (q / kSubstreams) + h) + q % kSubstreams);
    }
  }
  return o;
}
constexpr Order kCallOrder = make_call_order();

struct alignas(64) Calls {
  uint16_t v[32];
};
constexpr Calls make_first_calls() {
  Calls c{};
  for (int32_t q = 0; q < 32; ++q) c.v[q] = static_cast<uint16_t>(q);
  return c;
}
constexpr Calls kFirstCalls = make_first_calls();

// State byte k of all eight substreams, in every 64-bit lane.
MTSIM_AVX512_GFNI inline __m512i state_byte(__m512i lanes, int32_t k) {
  return _mm512_maskz_permutexvar_epi64(0xFF, _mm512_set1_epi64(k), lanes);
}

}  // namespace

ChannelWindows::ChannelWindows(const Rng& start) {
  assert(start.b <= RNG_MASK2);
  Rng g{start.a, start.b, RNG_A_CYCLES};  // a call reads only a's low 21 bits
  for (int32_t j = 0; j < kSubstreams; ++j) {
    const uint64_t s = state_word(g);
    for (int32_t k = 0; k < kStateBytes; ++k) lanes_[8 * k + j] = static_cast<uint8_t>(s >> (8 * k));
    g.advance();
  }
}

MTSIM_AVX512_GFNI int32_t ChannelWindows::make(uint16_t* windows, uint16_t* rejected) const {
  assert(reinterpret_cast<uintptr_t>(windows) % 64 == 0 && reinterpret_cast<uintptr_t>(rejected) % 64 == 0);
  const __m512i lanes = load(lanes_);
  __m512i x[kStateBytes];
  for (int32_t k = 0; k < kStateBytes; ++k) x[k] = state_byte(lanes, k);
  const __m512i order = load(kCallOrder.v);
  const __m512i limit = _mm512_set1_epi16(999);  // draw1000 rejects what is above
  const __m512i next32 = _mm512_set1_epi16(32);
  __m512i calls = load(kFirstCalls.v);
  // The rejected calls (one in 43) gather in a vector, `held` of its
  // lanes, which is stored only when full.  A store after every group, at
  // an address that depends on the group's count, makes the next groups'
  // matrix loads wait for it whenever the processor's memory-dependence
  // prediction has seen them collide, which depends on where the buffers
  // lie.
  __m512i list = _mm512_setzero_si512();
  int32_t held = 0, n = 0;
  for (int32_t g = 0; g < kGroups; ++g) {
    const auto& mat = kMatrices.window[g];
    __m512i p[kStateBytes];
    for (int32_t k = 0; k < kStateBytes; ++k) p[k] = _mm512_gf2p8affine_epi64_epi8(x[k], load(mat[k]), 0);
    // 0x96: the three-way exclusive or.
    const __m512i v = _mm512_ternarylogic_epi64(_mm512_ternarylogic_epi64(p[0], p[1], p[2], 0x96),
                                                _mm512_ternarylogic_epi64(p[3], p[4], p[5], 0x96), p[6], 0x96);
    const __m512i w = _mm512_maskz_permutexvar_epi8(~__mmask64{0}, order, v);
    _mm512_store_si512(windows + 32 * g, w);
    const __mmask32 r = _mm512_cmpgt_epu16_mask(w, limit);
    const int32_t count = __builtin_popcount(r);
    const __m512i more = _mm512_maskz_compress_epi16(r, calls);
    if (held + count < 32) {
      list = _mm512_mask_expand_epi16(list, _bzhi_u32(~0u, count) << held, more);
      held += count;
    } else {
      list = _mm512_mask_expand_epi16(list, ~0u << held, more);
      _mm512_store_si512(rejected + n, list);
      n += 32;
      // The calls that did not fit: those after r's first 32 - held.
      list = _mm512_maskz_compress_epi16(_pdep_u32(static_cast<uint32_t>(~uint64_t{0} << (32 - held)), r), calls);
      held += count - 32;
    }
    calls = _mm512_add_epi16(calls, next32);
  }
  _mm512_store_si512(rejected + n, list);
  return n + held;
}

MTSIM_AVX512_GFNI void ChannelWindows::next_chunk() {
  const __m512i lanes = load(lanes_);
  __m512i next = _mm512_setzero_si512();
  for (int32_t k = 0; k < kStateBytes; ++k) {
    next = _mm512_xor_si512(next, _mm512_gf2p8affine_epi64_epi8(state_byte(lanes, k), load(kMatrices.advance[k]), 0));
  }
  _mm512_store_si512(lanes_, next);
}

void ChannelWindows::state_at(int32_t call, Rng& gen) const {
  assert(0 <= call && call < kCalls);
  uint64_t s = 0;
  for (int32_t k = 0; k < kStateBytes; ++k) s |= uint64_t{lanes_[8 * k]} << (8 * k);
  Rng g{0, 0, RNG_A_CYCLES};
  set_state_word(g, s);
  for (int32_t i = 0; i < call; ++i) g.advance();
  gen.a = g.a;
  gen.b = g.b;
}

}  // namespace mtsim
