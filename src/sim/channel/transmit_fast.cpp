// The channel over chunks of 1,024 rngA calls, in four passes.  Call c of
// a chunk is rngA's state after c calls from the chunk's start; chunk 0's
// call 0 is the start state itself, no call.
//
// 1. Windows (channel_windows.h): every call's looked-up window, from a
//    bit-matrix product of rngA's state, and the list of rejected calls
//    (window above 999, which draw1000 rejects).
// 2. Walk: without rejections a step is 28 calls and reads its 16 draws at
//    fixed phases from its start.  A read that rejects its window reads
//    again one call later, which shifts every later call's phase by one; a
//    rejected window at any other phase is never read.  The walk's whole
//    state is therefore one number, the drift: call c of the chunk is at
//    phase (c - drift) mod 28.  Only rejected calls (one in 43) are
//    visited, one table look-up each, which gives the next drift and
//    whether a read rejected the call: then the call is dropped, and its
//    bit set in the chunk's drop bits.
// 3. Compaction: without the dropped calls (and chunk 0's call 0), the
//    calls repeat exactly every 28: step t's draws are kept calls
//    28 t + read_phase[i].  Kept call k (from 0) goes to ring[k mod kRing];
//    the pass leaves the drop bits zero for the next chunk.  The chunk
//    that holds the frame's last kept call gives rngA's final state: the
//    state after that call, at most 1,023 scalar calls from the chunk's
//    start.
// 4. Reception, 32 steps at a time: u = 1000 hi + lo, the level by a
//    binary search in level_cdf, then a transposition from step order to
//    the eight streams.  A group is received once all its calls are kept,
//    one chunk after the compaction that completed it, so that it reads
//    stores long retired; fewer than one group's calls then wait in the
//    ring.  The 16 received buffers are written with streaming stores, a
//    whole line at a time: nothing reads them before the decoder, after
//    the whole channel, when they would have left the caches anyway;
//    written through the caches, each line would cost a read for
//    ownership and push the chunk's tables out of the first-level cache.
#include <immintrin.h>

#include <algorithm>
#include <cassert>

#include "sim/channel/channel_windows.h"
#include "sim/channel/transmit.h"

namespace mtsim {
namespace {

constexpr int32_t kCalls = ChannelWindows::kCalls;  // rngA calls per chunk
constexpr int32_t kWords = kCalls / 32;              // 32-call words per chunk
constexpr int32_t kPeriod = STEP_CALLS.calls;         // calls per step, rejections aside
constexpr int32_t kGroup = 32;                       // steps received together
constexpr int32_t kGroupCalls = kPeriod * kGroup;
constexpr auto kReads = STEP_CALLS.read_phase;       // hi and lo of inf[5] ... inf[0], chk2, chk1
static_assert(std::is_sorted(kReads.begin(), kReads.end()), "a step's draws come in call order");
static_assert(DRAWS_PER_STEP == 16 && SYMBOLS_PER_STEP == 8,
              "reception: a vector holds two steps' 8 symbols, 16 pairs of draws");
static_assert(kPeriod + kReads[DRAWS_PER_STEP - 1] < 64,
              "two steps' draws lie within 64 kept calls: one two-vector permute");
static_assert(QUANTIZER_LEVELS == 16, "four binary-search levels over level_cdf[0 ... 14]");
static_assert(MAX_RELIABILITY < 256, "a reliability fits below the inverted flag (256)");

// --- Pass 2: the walk. ---

constexpr bool is_read(int32_t phase) {
  for (int32_t p : kReads) {
    if (p == phase) return true;
  }
  return false;
}

// The walk's state is e = drift + 32 x (whether the last rejected call
// was dropped); a rejected call c looks up next[row[c] + e], row[c] =
// kRowEntries (c mod 28).  A row's entries cover e with the flag and
// without, so that the state needs no masking between look-ups.
constexpr int32_t kDropped = 32;
constexpr int32_t kRowEntries = 2 * kDropped;
static_assert(kPeriod <= kDropped, "the drift fits below the dropped flag");
struct WalkTables {
  uint8_t next[kPeriod * kRowEntries];
  uint16_t row[kCalls];
};
constexpr WalkTables make_walk_tables() {
  WalkTables t{};
  for (int32_t r = 0; r < kPeriod; ++r) {
    for (int32_t e = 0; e < kRowEntries; ++e) {
      const int32_t drift = (e % kDropped) % kPeriod;
      const bool dropped = is_read(((r - drift) % kPeriod + kPeriod) % kPeriod);
      t.next[kRowEntries * r + e] = static_cast<uint8_t>((drift + (dropped ? 1 : 0)) % kPeriod + (dropped ? kDropped : 0));
    }
  }
  for (int32_t c = 0; c < kCalls; ++c) t.row[c] = static_cast<uint16_t>(kRowEntries * (c % kPeriod));
  return t;
}
constexpr WalkTables kWalk = make_walk_tables();

// Chunk 0's call c is the state after c calls, phase (c - 1) mod 28: drift
// 1.  The next chunk's call c is this one's c + 1,024: drift - 1,024.
constexpr int32_t kFirstDrift = 1;
constexpr int32_t next_chunk_drift(int32_t e) { return (e % kDropped + kPeriod - kCalls % kPeriod) % kPeriod; }

// Sets bit c of `drop` for every rejected call c that a read rejects.
// Returns the walk's state after the chunk.  The row's address is made
// off the chain, so that one look-up to the next is a load alone.
[[gnu::noinline]] int32_t walk_chunk(const uint16_t* rejected, int32_t n, int32_t e, uint32_t* drop) {
  uint64_t state = static_cast<uint64_t>(e);
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t c = rejected[i];
    const uint8_t* row = kWalk.next + kWalk.row[c];
    asm("" : "+r"(row));  // keeps g++ from adding the table's base to the state instead
    state = row[state];
    drop[c / 32] |= static_cast<uint32_t>(state / kDropped) << (c % 32);
  }
  return static_cast<int32_t>(state);
}

// --- Pass 3: compaction into the ring. ---

// The ring holds three groups' calls.  Reception leaves fewer than one
// group's calls behind, a chunk adds at most 1,024, and each compressed
// store writes 32 entries from the head: that fits.  Reception reads up
// to 8 entries past a group; the padding takes them, and the stores that
// cross the end are made again from 32 entries before the start.
constexpr int32_t kRing = 3 * kGroupCalls;
constexpr int32_t kPad = 32;
static_assert(kGroupCalls - 1 + kCalls + 32 <= kRing);
// Compaction loads eight words' windows and drop bits before it stores
// them: a load behind a ring store waits for the store's address whenever
// the processor's memory-dependence prediction has seen them collide, and
// that address comes at the end of the previous word's count.
constexpr int32_t kBatch = 8;
static_assert(kWords % kBatch == 0);

struct Compacted {
  int32_t kept;       // calls written to the ring
  int32_t head;       // where the next call goes
  int32_t last_call;  // the frame's last call, when this chunk holds it, else -1
};

// Writes the chunk's calls without those in `drop`, at most `wanted` of
// them, to the ring from `head`; leaves `drop` zero.  (The head stays in a
// register: through a reference, every store to the ring would reload it.)
[[gnu::noinline]] MTSIM_AVX512_GFNI Compacted compact_chunk(const uint16_t* windows, uint32_t* drop,
                                                            int64_t wanted, uint16_t* ring, int32_t head) {
  int32_t kept = 0;
  for (int32_t w0 = 0; w0 < kWords; w0 += kBatch) {
    uint32_t keep[kBatch];
    __m512i x[kBatch];
    for (int32_t b = 0; b < kBatch; ++b) {
      keep[b] = ~drop[w0 + b];
      x[b] = _mm512_maskz_compress_epi16(keep[b], load(windows + 32 * (w0 + b)));
    }
    for (int32_t b = 0; b < kBatch; ++b) drop[w0 + b] = 0;
    for (int32_t b = 0; b < kBatch; ++b) {
      _mm512_storeu_si512(ring + head, x[b]);
      if (head > kRing - 32) _mm512_storeu_si512(ring + head - kRing, x[b]);
      const int32_t count = __builtin_popcount(keep[b]);
      if (kept + count >= wanted) {
        const uint32_t last = _pdep_u32(1u << (wanted - kept - 1), keep[b]);
        return {static_cast<int32_t>(wanted), -1, 32 * (w0 + b) + __builtin_ctz(last)};
      }
      kept += count;
      head += count;
      if (head >= kRing) head -= kRing;
    }
  }
  return {kept, head, -1};
}

// --- Pass 4: reception. ---

struct alignas(64) Index16 {
  int16_t v[32];
};
template <class F>
constexpr Index16 index16(F f) {
  Index16 x{};
  for (int32_t w = 0; w < 32; ++w) x.v[w] = static_cast<int16_t>(f(w));
  return x;
}

// The draws of two steps as (hi, lo) pairs; then the transposition from
// (2 steps x 8 symbols) per vector to one vector of 32 steps per symbol,
// in three rounds of pairs.
constexpr Index16 kDrawIndex = index16([](int32_t w) { return kPeriod * (w / 16) + kReads[w % 16]; });
constexpr Index16 kLowHalves = index16([](int32_t w) { return 2 * w; });
constexpr Index16 kRound1[2] = {index16([](int32_t w) { return 8 * (w / 4) + w % 4; }),
                                index16([](int32_t w) { return 8 * (w / 4) + 4 + w % 4; })};
constexpr Index16 kRound2[2] = {index16([](int32_t w) { return 4 * (w / 2) + w % 2; }),
                                index16([](int32_t w) { return 4 * (w / 2) + 2 + w % 2; })};
constexpr Index16 kRound3[2] = {kLowHalves, index16([](int32_t w) { return 2 * w + 1; })};

// The level of u is 15 - i, i the number of entries level_cdf[0 ... 14]
// at or below u (the table is non-decreasing).  i is found bit by bit:
// after the levels so far gave its high bits b, the next bit is whether
// level_cdf[2 s b + s - 1] <= u, s = 8, 4, 2, 1.  That is the sign of
// (level_cdf[...] - 1) - u, which cannot overflow for entries of 0 and
// more; it shifts into i's low end with one double shift.
constexpr int32_t kLevels = 4;
struct Reception {
  __m512i below[kLevels];  // level k, lane b: level_cdf[2 s b + s - 1] - 1, s = 8 >> k
  __m512i reliability;     // lane i: |15 - 2 i|
  __m512i flip_limit;
};

MTSIM_AVX512_GFNI Reception make_reception(const ChannelTable& table) {
  alignas(64) int32_t below[kLevels][16];
  alignas(64) int32_t rel[16];
  for (int32_t k = 0; k < kLevels; ++k) {
    const int32_t s = 8 >> k;
    for (int32_t lane = 0; lane < 16; ++lane) {
      below[k][lane] = table.level_cdf[2 * s * (lane % (8 / s)) + s - 1] - 1;
    }
  }
  for (int32_t i = 0; i < 16; ++i) {
    rel[i] = MAX_RELIABILITY - 2 * i < 0 ? 2 * i - MAX_RELIABILITY : MAX_RELIABILITY - 2 * i;
  }
  Reception r;
  for (int32_t k = 0; k < kLevels; ++k) r.below[k] = load(below[k]);
  r.reliability = load(rel);
  r.flip_limit = _mm512_set1_epi32(table.flip_limit);
  return r;
}

// (The maskz form: GCC 12 warns about the plain one's undefined operand.)
MTSIM_AVX512_GFNI inline __m512i lookup(__m512i index, __m512i table) {
  return _mm512_maskz_permutexvar_epi32(0xFFFF, index, table);
}

// Receives `steps` (at most 32) steps from stream index tau, whose calls
// are kept[0 ... 28 * steps), with kept readable to 28 * 32 + 8.  Each
// symbol's result is its reliability, plus 256 when it is inverted.
// REQUIRES: tau - tpos a multiple of 32, so that a whole group's entries
// are one aligned line per buffer.
[[gnu::noinline]] MTSIM_AVX512_GFNI void receive_group(const uint16_t* kept, int32_t steps, int32_t tau,
                                                       const Reception& r, Streams& s, ChannelErrors& errors) {
  const __m512i draw_index = load(kDrawIndex.v);
  // u = 1000 hi + 1 lo from the (hi, lo) pair of 16-bit lanes, by one
  // multiply-add of each pair with (1000, 1).
  const __m512i thousand_one = _mm512_set1_epi32((1 << 16) | 1000);
  const __m512i inverted = _mm512_set1_epi32(256);
  __m512i res[16];
  // Eight vectors at a time go through the search level by level, so that
  // their chains overlap (and stay within the registers).
  for (int32_t half = 0; half < 2; ++half) {
    __m512i u[8], i[8];
    for (int32_t p = 0; p < 8; ++p) {
      const uint16_t* at = kept + 2 * kPeriod * (8 * half + p);
      const __m512i v = _mm512_permutex2var_epi16(load(at), draw_index, load(at + 32));
      u[p] = _mm512_madd_epi16(v, thousand_one);
      i[p] = _mm512_shldi_epi32(_mm512_setzero_si512(), _mm512_sub_epi32(r.below[0], u[p]), 1);
    }
    for (int32_t k = 1; k < kLevels; ++k) {
      for (int32_t p = 0; p < 8; ++p) {
        i[p] = _mm512_shldi_epi32(i[p], _mm512_sub_epi32(lookup(i[p], r.below[k]), u[p]), 1);
      }
    }
    for (int32_t p = 0; p < 8; ++p) {
      const __m512i rel = lookup(i[p], r.reliability);
      res[8 * half + p] = _mm512_mask_or_epi32(rel, _mm512_cmple_epi32_mask(u[p], r.flip_limit), rel, inverted);
    }
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
      // A whole line each, past the caches (see the top of this file).
      _mm512_stream_si512(reinterpret_cast<__m512i*>(hard + tau), received);
      _mm512_stream_si512(reinterpret_cast<__m512i*>(rel + tau), reliability);
    } else {
      _mm512_mask_storeu_epi16(hard + tau, lanes, received);
      _mm512_mask_storeu_epi16(rel + tau, lanes, reliability);
    }
    (m < 6 ? errors.inferr : errors.isaerr) += __builtin_popcount(flips);
  }
}

// --- The passes over the frame. ---

MTSIM_AVX512_GFNI ChannelErrors transmit_vector(Streams& s, Rng& rngA, const ChannelTable& table,
                                                 int32_t ndkdd) {
  ChannelErrors errors;
  const Reception reception = make_reception(table);
  ChannelWindows windows_of(rngA);
  alignas(64) uint16_t windows[kCalls];
  alignas(64) uint16_t rejected[kCalls + 32];
  uint32_t drop[kWords] = {1};  // chunk 0's call 0 is the start state, no call
  alignas(64) uint16_t ring_buffer[kPad + kRing + kPad] = {};
  uint16_t* const ring = ring_buffer + kPad;
  int32_t head = 0;
  const int64_t needed = int64_t{kPeriod} * ndkdd;  // calls the steps keep
  int64_t kept = 0;
  int32_t received = 0;  // steps
  int32_t walk = kFirstDrift;
  for (;;) {
    const int32_t n = windows_of.make(windows, rejected);
    walk = walk_chunk(rejected, n, walk, drop);
    for (; int64_t{kPeriod} * (received + kGroup) <= kept; received += kGroup) {
      receive_group(ring + kPeriod * received % kRing, kGroup, tpos + received, reception, s, errors);
    }
    const Compacted c = compact_chunk(windows, drop, needed - kept, ring, head);
    kept += c.kept;
    head = c.head;
    if (c.last_call >= 0) {
      windows_of.state_at(c.last_call, rngA);
      break;
    }
    windows_of.next_chunk();
    walk = next_chunk_drift(walk);
  }
  for (; received < ndkdd; received += kGroup) {
    const int32_t steps = ndkdd - received < kGroup ? ndkdd - received : kGroup;
    receive_group(ring + kPeriod * received % kRing, steps, tpos + received, reception, s, errors);
  }
  _mm_sfence();  // the streaming stores are ordered before whatever follows
  return errors;
}

// The vector passes take as given: rngA's form of generator, the standard
// swap table, and a non-decreasing level table of entries 0 and more.
bool vector_ready(const Rng& rngA, const SwapTable& swap_table, const ChannelTable& table) {
  if (rngA.cycles != RNG_A_CYCLES || rngA.b > RNG_MASK2 || !cpu_has_avx512gfni()) return false;
  for (int32_t i = 0; i < 1024; ++i) {
    if (swap_table[i] != (i % 32) * 32 + i / 32) return false;
  }
  if (table.level_cdf[0] < 0) return false;
  for (int32_t i = 0; i < QUANTIZER_LEVELS - 2; ++i) {
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
