// The channel over chunks of 1,024 rngA calls, in four passes.
//
// 1. Windows: after c calls, a & 1023 is bits 126 c ... 126 c + 9 of the
//    generator's sequence (RngBlocks), for every call c of the chunk, and
//    whether draw1000 rejects it.
// 2. Walk: without rejections a step is 28 calls and reads its 16 draws at
//    fixed phases (kReads) from its start.  A rejected window at a read
//    phase is read again one call later, which shifts everything after it
//    by one call; a rejected window anywhere else is never read.  The
//    calls that a read rejects are therefore the only thing that varies,
//    and only the rejected calls (one in 43) need following, one table
//    look-up each.
// 3. Compaction: without the calls that a read rejected, the calls repeat
//    exactly every 28: step t's draws are calls 28 t + kReads[i].
// 4. Reception, 32 steps at a time: u = 1000 hi + lo, the level by binary
//    search in level_cdf, then a transposition from step order to the
//    eight streams.  The 16 received buffers are written with streaming
//    stores, a whole line at a time: nothing reads them before the decoder,
//    after the whole channel, when they would have left the caches anyway.
//    Written through the caches, each line cost a read for ownership and
//    pushed the generator's blocks and the chunk's buffers out of the
//    first-level cache (the channel took 9% longer, the whole frame 4%).
#include <immintrin.h>

#include <algorithm>
#include <cassert>
#include <cstring>

#include "sim/channel/transmit.h"
#include "sim/random/rng_blocks.h"

namespace mtsim {
namespace {

constexpr int32_t kCalls = 1024;  // rngA calls per chunk
constexpr int64_t kCallBits = 6 * 21;
static_assert(kCalls * kCallBits == RngBlocks::kChunkBits);
constexpr int32_t kWords = kCalls / 32;  // 32-call masks per chunk
constexpr int32_t kPeriod = STEP_CALLS.calls;  // calls per step, rejections aside
constexpr int32_t kGroup = 32;           // steps received together
constexpr int32_t kGroupCalls = kPeriod * kGroup;

// The phases of a step's reads, in order: hi and lo of inf[5] ... inf[0],
// chk2, chk1 (phase 0 is the step's first call).
constexpr auto kReads = STEP_CALLS.read_phase;
static_assert(kPeriod <= 32, "a step's read phases fit one 32-bit mask");
constexpr uint32_t read_phases() {
  uint32_t m = 0;
  for (int32_t p : kReads) m |= 1u << p;
  return m;
}
constexpr uint32_t kReadPhases = read_phases();

// kNextPhase[g][d]: the phase of the call g (mod 28) calls after a rejected
// call at phase d, with no rejected call between them.
struct PhaseTable {
  uint8_t next[kPeriod][32];
};
constexpr PhaseTable make_phase_table() {
  PhaseTable t{};
  for (int32_t g = 0; g < kPeriod; ++g) {
    for (int32_t d = 0; d < kPeriod; ++d) {
      const int32_t read_again = static_cast<int32_t>((kReadPhases >> d) & 1u);
      t.next[g][d] = static_cast<uint8_t>(((d + g - read_again) % kPeriod + kPeriod) % kPeriod);
    }
  }
  return t;
}
constexpr PhaseTable kNextPhase = make_phase_table();

struct alignas(64) Index8 {
  uint8_t v[64];
};
struct alignas(64) Index16 {
  int16_t v[32];
};
template <class F>
constexpr Index16 index16(F f) {
  Index16 x{};
  for (int32_t w = 0; w < 32; ++w) x.v[w] = static_cast<int16_t>(f(w));
  return x;
}

// Windows: 32 calls span 504 bytes; the 8 calls 8 g ... 8 g + 7 lie in the
// 128 bytes from byte 126 g, call 8 g + i in the two bytes from
// 126 i / 8, at bit 126 i mod 8 of them.  (A cut into aligned pairs of
// 64-byte lines needs 4.6 byte permutes per 32 calls instead of 4, and
// measured a third slower.)
constexpr Index8 make_window_bytes() {
  Index8 x{};
  for (int32_t b = 0; b < 64; ++b) x.v[b] = static_cast<uint8_t>(kCallBits * ((b / 2) % 8) / 8 + b % 2);
  return x;
}
constexpr Index8 kWindowBytes = make_window_bytes();
constexpr Index16 kWindowShift = index16([](int32_t w) { return (kCallBits * (w % 8)) % 8 + 5; });

// Reception: the draws of two steps as (hi, lo) pairs; then the
// transposition from (2 steps x 8 symbols) per vector to one vector of 32
// steps per symbol, in three rounds of pairs.
constexpr Index16 kDrawIndex = index16([](int32_t w) { return kPeriod * (w / 16) + kReads[w % 16]; });
constexpr Index16 kLowHalves = index16([](int32_t w) { return 2 * w; });
constexpr Index16 kRound1[2] = {index16([](int32_t w) { return 8 * (w / 4) + w % 4; }),
                                index16([](int32_t w) { return 8 * (w / 4) + 4 + w % 4; })};
constexpr Index16 kRound2[2] = {index16([](int32_t w) { return 4 * (w / 2) + w % 2; }),
                                index16([](int32_t w) { return 4 * (w / 2) + 2 + w % 2; })};
constexpr Index16 kRound3[2] = {kLowHalves, index16([](int32_t w) { return 2 * w + 1; })};

// (The maskz form: GCC 12 warns about the plain one's undefined operand.)
MTSIM_AVX512_GFNI inline __m512i lookup(__m512i index, __m512i table) {
  return _mm512_maskz_permutexvar_epi32(0xFFFF, index, table);
}

// Pass 1 over a chunk: windows[c] = swap_table[a & 1023] after call c,
// bit c of rejected set when draw1000 rejects it (above 999), and the
// rejected calls in a list.  Returns the length of the list.
// (Each pass stays out of line, so that profiles show it apart.)
[[gnu::noinline]] MTSIM_AVX512_GFNI int32_t make_windows(RngBlocks& blocks, uint16_t* windows,
                                                         uint32_t* rejected, uint16_t* list) {
  const __m512i index = load(kWindowBytes.v);
  const __m512i shift = load(kWindowShift.v);
  const __m512i low5 = _mm512_set1_epi16(31);
  const __m512i limit = _mm512_set1_epi16(999);
  __m512i calls = load(index16([](int32_t w) { return w; }).v);
  const __m512i next32 = _mm512_set1_epi16(32);
  const uint8_t* bytes = blocks.bytes();
  int32_t n = 0;
  // Word w reads blocks up to 8 w + 8; the blocks four words ahead are
  // made here, so that the ports that make blocks and those that read
  // windows work side by side (two words ahead measured 6% slower, more
  // than four no faster).
  constexpr int32_t kMadeAhead = 8 + 8 * 4;
  blocks.make(kMadeAhead);
  for (int32_t w = 0; w < kWords; ++w) {
    blocks.make(std::min(RngBlocks::kBlocks + RngBlocks::kPastEnd / 64, 8 * w + kMadeAhead));
    // Four independent permutes, a quarter of the lanes each, then merged:
    // merging each into the last one's result made a chain of four.
    __m512i part[4];
    for (int32_t q = 0; q < 4; ++q) {
      const uint8_t* p = bytes + 126 * (4 * w + q);
      part[q] = _mm512_maskz_permutex2var_epi8(__mmask64{0xFFFF} << (16 * q), load(p), index, load(p + 64));
    }
    __m512i x = _mm512_ternarylogic_epi64(part[0], part[1], _mm512_or_si512(part[2], part[3]), 0xFE);
    // swap_table: the window's five-bit halves exchanged.  Rotated right
    // by its shift + 5, a lane holds the high half in bits 0 ... 4 and
    // the low half in bits 11 ... 15.
    x = _mm512_shrdv_epi16(x, x, shift);
    x = _mm512_ternarylogic_epi32(x, _mm512_srli_epi16(x, 6), low5, 0xE4);
    _mm512_store_si512(windows + 32 * w, x);
    const __mmask32 r = _mm512_cmpgt_epu16_mask(x, limit);
    rejected[w] = r;
    _mm512_storeu_si512(list + n, _mm512_maskz_compress_epi16(r, calls));
    n += __builtin_popcount(r);
    calls = _mm512_add_epi16(calls, next32);
  }
  return n;
}

// The walk's state between chunks: the phase of the last rejected call
// and its index relative to the current chunk (call 0, the state before
// the first call, counts as one at phase 27, where nothing is read).
struct Walk {
  int32_t phase = kPeriod - 1;
  int32_t last = 0;
};

// Pass 2: bit i of `reads` set when a read rejects the window of rejected
// call i of the chunk (list[i]): one table look-up per rejected call.
[[gnu::noinline]] MTSIM_AVX512_GFNI void walk_chunk(const uint16_t* list, int32_t n, Walk& walk,
                                                    uint64_t* reads) {
  alignas(64) uint8_t phases[kCalls + 64];
  int32_t phase = walk.phase;
  uint32_t last = static_cast<uint32_t>(walk.last);
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t c = list[i];
    phase = kNextPhase.next[(c - last) % kPeriod][phase];
    phases[i] = static_cast<uint8_t>(phase);
    last = c;
  }
  walk.phase = phase;
  walk.last = static_cast<int32_t>(last) - kCalls;
  Index8 read_byte{};
  for (int32_t p = 0; p < kPeriod; ++p) read_byte.v[p] = ((kReadPhases >> p) & 1u) != 0 ? 0x80 : 0;
  const __m512i is_read = load(read_byte.v);
  for (int32_t i = 0; i < n; i += 64) {
    reads[i / 64] = _mm512_movepi8_mask(_mm512_maskz_permutexvar_epi8(~__mmask64{0}, load(phases + i), is_read)) &
                    (n - i >= 64 ? ~uint64_t{0} : (uint64_t{1} << (n - i)) - 1);
  }
  for (int32_t i = (n + 63) / 64; i <= n / 64 + 1; ++i) reads[i] = 0;  // bits_at reads one word on
}

// Bits `at` ... `at` + 31 of a bit string.
inline uint32_t bits_at(const uint64_t* bits, int32_t at) {
  const unsigned __int128 two = static_cast<unsigned __int128>(bits[(at >> 6) + 1]) << 64 | bits[at >> 6];
  return static_cast<uint32_t>(two >> (at & 63));
}

// The channel's tables as vectors.
struct Reception {
  __m512i cdf7;     // level_cdf[7], broadcast
  __m512i cdf[3];   // level_cdf[k + 3], [k + 1], [k], with +inf past 14
  __m512i reliability;  // |15 - 2 i| for i entries of level_cdf at or below u
  __m512i flip_limit;
};

MTSIM_AVX512_GFNI Reception make_reception(const ChannelTable& table) {
  alignas(64) int32_t c[3][16];
  alignas(64) int32_t rel[16];
  const auto entry = [&](int32_t i) { return i < 15 ? table.level_cdf[i] : INT32_MAX; };
  for (int32_t k = 0; k < 16; ++k) {
    c[0][k] = entry(k + 3 < 16 ? k + 3 : 15);
    c[1][k] = entry(k + 1 < 16 ? k + 1 : 15);
    c[2][k] = entry(k);
    rel[k] = 15 - 2 * k < 0 ? 2 * k - 15 : 15 - 2 * k;
  }
  Reception r;
  r.cdf7 = _mm512_set1_epi32(table.level_cdf[7]);
  for (int32_t i = 0; i < 3; ++i) r.cdf[i] = load(c[i]);
  r.reliability = load(rel);
  r.flip_limit = _mm512_set1_epi32(table.flip_limit);
  return r;
}

// Pass 4 for `steps` (at most 32) steps from stream index tau, whose calls
// are kept[0 ... 28 * steps) with kept readable to 28 * 32 + 8.  Each
// symbol's result is its reliability, plus 256 when it is inverted.
// REQUIRES: tau - tpos a multiple of 32, so that a whole group's entries
// are one aligned line per buffer.
[[gnu::noinline]] MTSIM_AVX512_GFNI void receive_group(const uint16_t* kept, int32_t steps, int32_t tau,
                                      const Reception& r, Streams& s, ChannelErrors& errors) {
  const __m512i draw_index = load(kDrawIndex.v);
  const __m512i thousand_one = _mm512_set1_epi32((1 << 16) | 1000);
  const __m512i inverted = _mm512_set1_epi32(256);
  __m512i res[16];
  for (int32_t p = 0; p < 16; ++p) {
    const uint16_t* at = kept + 2 * kPeriod * p;
    const __m512i v = _mm512_permutex2var_epi16(load(at), draw_index, load(at + 32));
    const __m512i u = _mm512_madd_epi16(v, thousand_one);
    __m512i i = _mm512_maskz_mov_epi32(_mm512_cmple_epi32_mask(r.cdf7, u), _mm512_set1_epi32(8));
    for (int32_t k = 0; k < 3; ++k) {
      const __mmask16 up = _mm512_cmple_epi32_mask(lookup(i, r.cdf[k]), u);
      i = _mm512_mask_add_epi32(i, up, i, _mm512_set1_epi32(4 >> k));
    }
    const __m512i rel = lookup(i, r.reliability);
    res[p] = _mm512_mask_or_epi32(rel, _mm512_cmple_epi32_mask(u, r.flip_limit), rel, inverted);
  }
  __m512i j[8];
  for (int32_t p = 0; p < 8; ++p) j[p] = _mm512_permutex2var_epi16(res[2 * p], load(kLowHalves.v), res[2 * p + 1]);
  __m512i k[4][2];
  for (int32_t a = 0; a < 4; ++a) {
    for (int32_t h = 0; h < 2; ++h) k[a][h] = _mm512_permutex2var_epi16(j[2 * a], load(kRound1[h].v), j[2 * a + 1]);
  }
  __m512i l[2][2][2];
  for (int32_t b = 0; b < 2; ++b) {
    for (int32_t h = 0; h < 2; ++h) {
      for (int32_t g = 0; g < 2; ++g) {
        l[b][h][g] = _mm512_permutex2var_epi16(k[2 * b][h], load(kRound2[g].v), k[2 * b + 1][h]);
      }
    }
  }
  const __mmask32 lanes = first_lanes(steps);
  const __m512i one = _mm512_set1_epi16(1);
  const __m512i flag = _mm512_set1_epi16(256);
  const __m512i low8 = _mm512_set1_epi16(255);
  for (int32_t m = 0; m < 8; ++m) {
    const __m512i o = _mm512_permutex2var_epi16(l[0][m / 4][(m / 2) % 2], load(kRound3[m % 2].v),
                                                l[1][m / 4][(m / 2) % 2]);
    // Symbol m of a step is inf[5 - m] for m < 6, then chk2, chk1.
    const int16_t* sent = m < 6 ? s.inf[5 - m].data() : m == 6 ? s.chk2.data() : s.chk1.data();
    int16_t* hard = m < 6 ? s.rinf[5 - m].data() : m == 6 ? s.rchk2.data() : s.rchk1.data();
    int16_t* rel = m < 6 ? s.relinf[5 - m].data() : m == 6 ? s.relchk2.data() : s.relchk1.data();
    const __mmask32 flips = _mm512_mask_test_epi16_mask(lanes, o, flag);
    const __m512i bits = load(sent + tau);
    const __m512i received = _mm512_mask_sub_epi16(bits, flips, one, bits);
    const __m512i reliability = _mm512_and_si512(o, low8);
    if (steps == kGroup) {
      // A whole line each, past the caches (see transmit_vector).
      _mm512_stream_si512(reinterpret_cast<__m512i*>(hard + tau), received);
      _mm512_stream_si512(reinterpret_cast<__m512i*>(rel + tau), reliability);
    } else {
      _mm512_mask_storeu_epi16(hard + tau, lanes, received);
      _mm512_mask_storeu_epi16(rel + tau, lanes, reliability);
    }
    (m < 6 ? errors.inferr : errors.isaerr) += __builtin_popcount(flips);
  }
}

MTSIM_AVX512_GFNI ChannelErrors transmit_vector(Streams& s, Rng& rngA, const ChannelTable& table,
                                                 int32_t ndkdd) {
  ChannelErrors errors;
  const Reception reception = make_reception(table);
  RngBlocks blocks(rngA);
  alignas(64) uint16_t windows[kCalls];
  uint32_t rejected[kWords];
  alignas(64) uint16_t list[kCalls + 32];   // the rejected calls
  uint64_t reads[kCalls / 64 + 2];          // which of them a read rejected
  // Calls kept after compaction, from the first step not yet received.
  alignas(64) uint16_t kept[kGroupCalls + kCalls + kGroupCalls + 64] = {};
  int32_t in_kept = 0;
  const int64_t needed = int64_t{kPeriod} * ndkdd;  // calls the steps take
  int64_t made = 0;                                 // calls kept so far
  int32_t received = 0;                             // steps received
  Walk walk;
  for (int64_t chunk = 0; made < needed; ++chunk) {
    blocks.next_chunk();
    const int32_t n = make_windows(blocks, windows, rejected, list);
    walk_chunk(list, n, walk, reads);
    int32_t at_list = 0;
    for (int32_t w = 0; w < kWords && made < needed; ++w) {
      // Without the calls that a read rejected (and call 0, the state
      // before the first call).
      uint32_t keep = ~_pdep_u32(bits_at(reads, at_list), rejected[w]);
      at_list += __builtin_popcount(rejected[w]);
      if (chunk == 0 && w == 0) keep &= ~1u;
      _mm512_storeu_si512(kept + in_kept, _mm512_maskz_compress_epi16(keep, load(windows + 32 * w)));
      const int32_t count = __builtin_popcount(keep);
      if (made + count >= needed) {
        // The last step's last call: rngA ends in its state.
        const uint32_t nth = _pdep_u32(1u << (needed - made - 1), keep);
        const int64_t call = chunk * kCalls + 32 * w + __builtin_ctz(nth);
        blocks.state_at(call * kCallBits, rngA);
      }
      in_kept += count;
      made += count;
    }
    int32_t at = 0;
    while (received < ndkdd) {
      const int32_t steps = ndkdd - received < kGroup ? ndkdd - received : kGroup;
      if (in_kept - at < kPeriod * steps) break;
      receive_group(kept + at, steps, tpos + received, reception, s, errors);
      at += kPeriod * steps;
      received += steps;
    }
    // The rest to the front, by vector (rep movs, which memmove uses for
    // this size, took several times as long).
    for (int32_t i = 0; i < in_kept - at; i += 32) {
      __m512i x = load(kept + at + i);
      asm("" : "+v"(x));
      _mm512_storeu_si512(kept + i, x);
    }
    in_kept -= at;
  }
  _mm_sfence();  // the streaming stores are ordered before whatever follows
  return errors;
}

// The vector passes take the standard swap table and a non-decreasing
// level table as given facts.
bool vector_ready(const Rng& rngA, const SwapTable& swap_table, const ChannelTable& table) {
  if (rngA.cycles != RNG_A_CYCLES || rngA.b > RNG_MASK2 || !cpu_has_avx512gfni()) return false;
  for (int32_t i = 0; i < 1024; ++i) {
    if (swap_table[i] != (i % 32) * 32 + i / 32) return false;
  }
  for (int32_t i = 0; i < 14; ++i) {
    if (table.level_cdf[i] > table.level_cdf[i + 1]) return false;
  }
  return true;
}

}  // namespace

ChannelErrors transmit_fast(Streams& s, Rng& rngA, const SwapTable& swap_table,
                            const ChannelTable& table, int32_t ndkdd, KernelPath* path) {
  assert(ndkdd <= MAX_NDKDD);
  if (ndkdd <= 0 || !vector_ready(rngA, swap_table, table)) {
    report_path(path, KernelPath::kScalar);
    return transmit_reference(s, rngA, swap_table, table, ndkdd);
  }
  report_path(path, KernelPath::kVector);
  return transmit_vector(s, rngA, table, ndkdd);
}

}  // namespace mtsim
