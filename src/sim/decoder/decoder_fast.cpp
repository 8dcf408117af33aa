// Block-wise multithreshold decoding.
//
// Notation: E(b) is the entry of step b (it writes position b and adds its
// syndromes to sums at b - 694 ... b); D(j, a) is iteration j of step a,
// the six decisions at position P = a - 10 - 700 (j + 1).  A decision at P
// reads sum and dif at P only; a flip at P writes dec/dif at P, negates the
// syndrome cells P ... P + 694 and adds to sums at P - 694 ... P + 694.
//
// 1. Syndromes come from the stream buffers.  E(b) reads dec at b - 694 ...
//    b.  Those positions were entered at most 694 steps earlier and the
//    first decision on a position comes 710 steps after its entry, so dec
//    there still equals rinf; pre-start positions hold the prepared 0,
//    which the block path reads as 0 below tpos.
// 2. Two decisions more than 694 positions apart commute: neither reads a
//    cell or sum the other writes (their syndrome cells are disjoint and
//    each reads sum/dif only at its own position, outside the other's
//    reach); where both add to the same sums, additions commute.
// 3. For a block of B steps this file runs "E of all B steps, then D(0, .)
//    over the block in step order, then D(1, .), ...".  Against the
//    step-major order the changed pairs are:
//    - D(j, a) and E(b), b > a: P <= a - 710, so the flip stays below
//      a - 16 < b - 694: it never touches what E(b) reads (dec at b - 694
//      ... b) or assigns (position b), and E(b) adds only to sums above
//      b - 695 > P, never the one that D(j, a) reads.  The rest are
//      additions to common sums, which commute.
//    - D(j, a) and D(i, b) with a < b, i < j: their positions differ by
//      (b - a) + 700 (j - i) >= 701 > 694, so they commute by 2.
//    All other pairs keep their order.
// 4. Sums are not stored while blocks run.  A real position is decided at
//    least 710 steps after its entry, when all six of its cells are formed,
//    and from then on the register invariant holds exactly:
//      2 sum[k][P] = dif[k][P] + (the six cells of bit k at P),
//    so 2 metric = cells + (1 + 2 dif_gain[j]) dif, all even, compared with
//    2 thr[j]; the block path keeps the cells and dif halved, in 8 bits
//    (decide_block).  A flip then only toggles dec, negates dif and the six
//    cells.
//    The same identity rebuilds the sum ring exactly before the last steps
//    (which run the reference step) and on return: a position entered in
//    this call holds dif/2 plus half of each of its cells formed so far; a
//    pre-start position holds its prepared value plus half of each of its
//    cells formed in this call (its own cells below tpos are never formed,
//    and pre-start bits never flip, so they are never negated).
// 5. Pre-start positions are never flipped: their prepared sum of -199
//    gathers at most six cells of at most 15, so the metric stays at or
//    below -109.  Their decisions are skipped.
// 6. With no metric above its threshold a pass over 64 positions changes
//    nothing, so one vector compare decides them all.  Otherwise the first
//    position (in step order) with an exceeding metric is decided exactly,
//    streams 5 ... 0 in turn, and the chunk's later metrics are corrected
//    for its flips (see decide_block) before the next exceeding position is
//    looked for.
// 7. counts[3 + j] is taken after D(j, .) over the block, from a per
//    position bit set of wrong decisions that entries set and flips toggle:
//    a decision flips only its own bit, and no other decision of the block
//    touches the bits of D(j, .) before D(j, .) is over.
#include "sim/decoder/decoder_fast.h"

#include <immintrin.h>

#include <algorithm>
#include <array>

#include "sim/cpu.h"

namespace mtsim {
namespace {

constexpr int32_t kRingMask = DEC_RING - 1;
constexpr int32_t kLanes = 32;   // 16-bit lanes of a 512-bit vector
constexpr int32_t kChunk = 64;   // 8-bit lanes: positions decided together
constexpr int32_t kBlock = 1024;  // steps per block
constexpr int32_t kLag = 10;
constexpr int32_t kSpacing = 700;
// Cells are read up to 694 + 31 entries past a ring position; the block
// registers' syndrome rings repeat their first kMirror entries after the
// end, so those reads need no wrap.  Besides them the block path keeps, per
// ring position, the six decisions as bits (so that a flip writes dec
// without waiting to read it) and bit k set while decision k differs from
// the sent bit.
constexpr int32_t kMirror = BLOCK_MIRROR;
static_assert(kMirror >= MAX_DELAY + kChunk && kMirror % kChunk == 0);

// Prepared sums of the pre-start positions that cells of the run reach.
using PrestartSums = int16_t[NUM_INF][MAX_DELAY];

inline void negate_cell(int8_t* half, int32_t c) {
  half[c] = static_cast<int8_t>(-half[c]);
  if (c < kMirror) half[c + DEC_RING] = half[c];
}

// The flip of the reference, without the sums (see 4).
// REQUIRES: dec and the sent bit are 0 or 1, so 1 - dec and the wrong bit
// are toggles.
void flip_bit(DecoderState& d, BlockRegisters& r, int32_t k, int32_t p) {
  const auto& tk = taps[k];
  r.decided[p] = static_cast<uint8_t>(r.decided[p] ^ (1u << k));
  d.dec[k][p] = static_cast<int16_t>((r.decided[p] >> k) & 1u);
  d.dif[k][p] = static_cast<int16_t>(-d.dif[k][p]);
  r.dif_half[k][p] = static_cast<int8_t>(-r.dif_half[k][p]);
  negate_cell(r.half2, p);
  negate_cell(r.half2, (p + tk[4]) & kRingMask);
  negate_cell(r.half2, (p + tk[3]) & kRingMask);
  negate_cell(r.half1, (p + tk[2]) & kRingMask);
  negate_cell(r.half1, (p + tk[1]) & kRingMask);
  negate_cell(r.half1, (p + tk[0]) & kRingMask);
  r.wrong[p] = static_cast<uint8_t>(r.wrong[p] ^ (1u << k));
}

// Where a flip's negated cells sit in the metrics of later positions of
// the same chunk: for a flip of bit k at P, bit (s, P + delta) with
// 0 < delta < 64 contains the flipped bit's cell number cell[k][s][delta]
// (numbered as cell_delay numbers them) when bit delta of lanes[k][s] is
// set; self-orthogonality makes that cell unique.
struct FlipSpread {
  // cell[k][s][kChunk + delta]; the kChunk bytes before it are padding, so
  // that a load from kChunk - first on gives lane first + delta the cell.
  alignas(64) uint8_t cell[NUM_INF][NUM_INF][2 * kChunk];
  uint64_t lanes[NUM_INF][NUM_INF];
};

// The delay of cell c of stream k: c = 0 ... 2 check 2 at delays 0,
// taps[k][3], taps[k][4]; c = 3 ... 5 check 1 at taps[k][0 ... 2].
constexpr int32_t cell_delay(int32_t k, int32_t c) {
  return c == 0 ? 0 : c < 3 ? taps[k][c + 2] : taps[k][c - 3];
}

constexpr FlipSpread make_flip_spread() {
  FlipSpread t{};
  for (int32_t k = 0; k < NUM_INF; ++k) {
    for (int32_t c = 0; c < 6; ++c) {
      for (int32_t s = 0; s < NUM_INF; ++s) {
        for (int32_t c2 = 0; c2 < 6; ++c2) {
          const int32_t delta = cell_delay(k, c) - cell_delay(s, c2);
          if ((c < 3) == (c2 < 3) && delta > 0 && delta < kChunk) {
            if ((t.lanes[k][s] >> delta) & 1u) throw "two cells shared";
            t.lanes[k][s] |= uint64_t{1} << delta;
            t.cell[k][s][kChunk + delta] = static_cast<uint8_t>(c);
          }
        }
      }
    }
  }
  return t;
}
constexpr FlipSpread kSpread = make_flip_spread();

// The bounds that keep the decisions in 8 bits (see decide_block).
constexpr bool fits_in_halves() {
  for (size_t j = 0; j < thr.size(); ++j) {
    if (thr[j] < 0 || thr[j] > 29 || dif_gain[j] < 0 || dif_gain[j] > 2) return false;
  }
  return true;
}
static_assert(fits_in_halves());

// The flips at one position from two bit sets over streams 0 ... 5: low six
// bits, the metric is over the threshold; high six, it is over the
// threshold once an odd number of the position's bits have flipped (each
// flip there negates the shared check-2 cell c and so moves every metric at
// the position by -2c, then back).  Streams are decided 5 ... 0, as the
// reference does; a table keeps the choice free of unpredictable branches.
constexpr std::array<uint8_t, 1 << (2 * NUM_INF)> make_flip_rule() {
  std::array<uint8_t, 1 << (2 * NUM_INF)> rule{};
  for (uint32_t bits = 0; bits < rule.size(); ++bits) {
    uint32_t flips = 0;
    bool odd = false;
    for (int32_t k = NUM_INF - 1; k >= 0; --k) {
      const bool flip = ((bits >> (odd ? k + NUM_INF : k)) & 1u) != 0;
      flips |= flip ? 1u << k : 0u;
      odd = odd != flip;
    }
    rule[bits] = static_cast<uint8_t>(flips);
  }
  return rule;
}
constexpr std::array<uint8_t, 1 << (2 * NUM_INF)> kFlipRule = make_flip_rule();

// Self-orthogonality as the decisions at one position rely on it: two bits
// of one position share only the check-2 cell at that position (delay 0,
// implicit in taps).
constexpr bool shares_only_own_check2() {
  for (int32_t k = 0; k < NUM_INF; ++k) {
    for (int32_t k2 = 0; k2 < NUM_INF; ++k2) {
      if (k == k2) continue;
      for (int32_t a = 0; a < 5; ++a) {
        for (int32_t b = 0; b < 5; ++b) {
          const bool same_row = (a < 3) == (b < 3);
          if (same_row && taps[k][a] == taps[k2][b]) return false;
        }
      }
    }
  }
  return true;
}
static_assert(shares_only_own_check2());

MTSIM_AVX512 inline __m512i load(const int16_t* p) { return _mm512_loadu_si512(p); }
MTSIM_AVX512 inline __mmask32 first_lanes(int32_t n) {
  if (n <= 0) return 0;
  return n >= kLanes ? ~__mmask32{0} : static_cast<__mmask32>((1u << n) - 1);
}
MTSIM_AVX512 inline __mmask64 first_bytes(int32_t n) {
  return n >= 64 ? ~__mmask64{0} : static_cast<__mmask64>((uint64_t{1} << n) - 1);
}
// The sum of the 64-bit lanes.  Written out because the library's
// reductions trip a false "may be used uninitialized" warning in GCC 12.
MTSIM_AVX512 inline int64_t sum_lanes(__m512i v) {
  alignas(64) int64_t lanes[8];
  _mm512_store_si512(lanes, v);
  int64_t total = 0;
  for (int64_t x : lanes) total += x;
  return total;
}
// Stores the first n 16-bit lanes of v at ring position t as halved
// cells, and their copy in the mirrored tail.
MTSIM_AVX512 inline void store_halves(int8_t* half, int32_t t, __mmask32 lanes, __m512i v) {
  _mm512_mask_cvtepi16_storeu_epi8(half + t, lanes, v);
  if (t < kMirror) _mm512_mask_cvtepi16_storeu_epi8(half + DEC_RING + t, lanes & first_lanes(kMirror - t), v);
}
// Fetches what a later chunk will read, so that the loads of the stream
// buffers and the writes of the ring entries do not wait for memory.
inline void prefetch(const int16_t* p) { __builtin_prefetch(p, 0, 3); }
inline void prefetch_for_write(const void* p) { __builtin_prefetch(p, 1, 3); }
constexpr int32_t kAhead = 4 * kLanes;  // steps

// Entries of row from stream index r on, 0 at indices below tpos (the
// decisions there are the prepared 0).
MTSIM_AVX512 inline __m512i load_entered(const int16_t* row, int32_t r) {
  if (r >= tpos) return load(row + r);
  return _mm512_maskz_loadu_epi16(~first_lanes(tpos - r), row + r);
}

// The entries of `len` (at most kBlock) steps from ring position t0,
// stream index r0 on: dec, dif, both cells and the wrong bits (no sums,
// see 4).
// REQUIRES: the positions before r0 back to r0 - 694 were entered in this
// call and are undecided, or are pre-start positions.
MTSIM_AVX512 void enter_block(DecoderState& d, const Streams& s, BlockRegisters& regs,
                              int32_t t0, int32_t r0, int32_t len) {
  const __m512i one = _mm512_set1_epi16(1);
  const __m512i zero = _mm512_setzero_si512();
  int32_t inf_errors = 0;
  int32_t check_errors = 0;
  for (int32_t c = 0; c < len;) {
    const int32_t t = (t0 + c) & kRingMask;
    const int32_t r = r0 + c;
    const int32_t n = std::min({kLanes, len - c, DEC_RING - t});
    const __mmask32 lanes = first_lanes(n);
    {
      const int32_t ra = r + kAhead;
      const int32_t ta = (t + kAhead) & kRingMask;
      for (const Stream* b : {&s.rchk1, &s.rchk2, &s.chk1, &s.chk2, &s.relchk1, &s.relchk2}) {
        prefetch(b->data() + ra);
      }
      for (int32_t k = 0; k < NUM_INF; ++k) {
        prefetch(s.rinf[k].data() + ra);
        prefetch(s.inf[k].data() + ra);
        prefetch(s.relinf[k].data() + ra);
        prefetch_for_write(d.dec[k].data() + ta);
        prefetch_for_write(d.dif[k].data() + ta);
      }
      prefetch_for_write(regs.half1 + ta);
      prefetch_for_write(regs.half2 + ta);
      for (const auto& row : regs.dif_half) prefetch_for_write(row + ta);
      prefetch_for_write(regs.wrong + ta);
      prefetch_for_write(regs.decided + ta);
    }
    __m512i s2 = load(&s.rchk2[r]);
    __m512i s1 = load(&s.rchk1[r]);
    check_errors += __builtin_popcount(_mm512_mask_cmpneq_epi16_mask(lanes, s2, load(&s.chk2[r])));
    check_errors += __builtin_popcount(_mm512_mask_cmpneq_epi16_mask(lanes, s1, load(&s.chk1[r])));
    __m512i wrong = zero;
    __m512i decided = zero;
    for (int32_t k = 0; k < NUM_INF; ++k) {
      const int16_t* rk = s.rinf[k].data() + r;
      const __m512i cur = load(rk);
      decided = _mm512_or_si512(decided, _mm512_slli_epi16(_mm512_and_si512(cur, one), k));
      _mm512_mask_storeu_epi16(&d.dec[k][t], lanes, cur);
      const __mmask32 differs = _mm512_mask_cmpneq_epi16_mask(lanes, cur, load(&s.inf[k][r]));
      inf_errors += __builtin_popcount(differs);
      wrong = _mm512_or_si512(
          wrong, _mm512_maskz_mov_epi16(differs, _mm512_set1_epi16(static_cast<int16_t>(1 << k))));
      const int16_t* row = s.rinf[k].data();
      s2 = _mm512_add_epi16(s2, _mm512_add_epi16(cur, _mm512_add_epi16(load_entered(row, r - taps[k][3]),
                                                                     load_entered(row, r - taps[k][4]))));
      s1 = _mm512_add_epi16(
          s1, _mm512_add_epi16(load_entered(row, r - taps[k][0]),
                               _mm512_add_epi16(load_entered(row, r - taps[k][1]),
                                                load_entered(row, r - taps[k][2]))));
    }
    _mm512_mask_cvtepi16_storeu_epi8(regs.wrong + t, lanes, wrong);
    _mm512_mask_cvtepi16_storeu_epi8(regs.decided + t, lanes, decided);
    const __m512i rel2 = load(&s.relchk2[r]);
    const __m512i rel1 = load(&s.relchk1[r]);
    // +2w for an unsatisfied check, -2w for a satisfied one.
    const __m512i v2 = _mm512_mask_blend_epi16(_mm512_test_epi16_mask(s2, one),
                                               _mm512_sub_epi16(zero, rel2), rel2);
    const __m512i v1 = _mm512_mask_blend_epi16(_mm512_test_epi16_mask(s1, one),
                                               _mm512_sub_epi16(zero, rel1), rel1);
    store_halves(regs.half2, t, lanes, v2);
    store_halves(regs.half1, t, lanes, v1);
    for (int32_t k = 0; k < NUM_INF; ++k) {
      const __m512i minus_rel = _mm512_sub_epi16(zero, load(&s.relinf[k][r]));
      _mm512_mask_storeu_epi16(&d.dif[k][t], lanes, _mm512_add_epi16(minus_rel, minus_rel));
      _mm512_mask_cvtepi16_storeu_epi8(regs.dif_half[k] + t, lanes, minus_rel);
    }
    c += n;
  }
  d.counts[1] += inf_errors;
  d.counts[2] += check_errors;
}

// Iteration j over `len` positions from ring position p0 (stream index s0)
// on, then its error count.
//
// The decisions work in halves, 64 positions at a time in 8-bit lanes: with
// h the halved cells, D = dif / 2 and g = 1 + 2 dif_gain[j], a metric
// exceeds 2 thr[j] exactly when A = (sum of the six h) > B = thr[j] - g D.
// |A| <= 90 and -75 <= B <= 104, so neither leaves 8 bits.
//
// A chunk's A stay exact while its positions are decided: a flip of bit k
// at P negates the cells P + e of k, and the A of bit k' at P + delta
// contains that cell exactly when k' has a cell at delay e - delta in the
// same row (kSpread); each such A changes by twice the cell's new half.
// B at later positions does not change.  At delta = 0 only the shared
// check-2 cell at P qualifies, which the decisions at P follow themselves.
MTSIM_AVX512 void decide_block(DecoderState& d, BlockRegisters& regs, int32_t p0, int32_t s0,
                               int32_t len, int32_t j) {
  const int32_t gain = 1 + 2 * dif_gain[j];
  const __m512i threshold = _mm512_set1_epi8(static_cast<char>(thr[j]));
  // g D = D + (g - 1) / 2 times 2 D, for g = 1, 3 or 5.
  const __mmask64 add_once = gain >= 3 ? ~__mmask64{0} : 0;
  const __mmask64 add_twice = gain >= 5 ? ~__mmask64{0} : 0;
  for (int32_t i = std::max(0, tpos - s0); i < len;) {
    const int32_t p = (p0 + i) & kRingMask;
    const int32_t n = std::min({kChunk, len - i, DEC_RING - p});
    const __mmask64 lanes = first_bytes(n);
    const __m512i own2 = _mm512_loadu_si512(regs.half2 + p);
    __m512i a[NUM_INF];
    __m512i b[NUM_INF];
    uint64_t above[NUM_INF];
    uint64_t over = 0;
#pragma GCC unroll 6
    for (int32_t k = 0; k < NUM_INF; ++k) {
      const auto& tk = taps[k];
      const int8_t* h2 = regs.half2 + p;
      const int8_t* h1 = regs.half1 + p;
      const __m512i c2 = _mm512_add_epi8(own2, _mm512_add_epi8(_mm512_loadu_si512(h2 + tk[4]),
                                                               _mm512_loadu_si512(h2 + tk[3])));
      const __m512i c1 = _mm512_add_epi8(_mm512_loadu_si512(h1 + tk[2]),
                                         _mm512_add_epi8(_mm512_loadu_si512(h1 + tk[1]),
                                                         _mm512_loadu_si512(h1 + tk[0])));
      a[k] = _mm512_add_epi8(c1, c2);
      const __m512i half_dif = _mm512_loadu_si512(regs.dif_half[k] + p);
      const __m512i twice = _mm512_add_epi8(half_dif, half_dif);
      __m512i scaled = _mm512_mask_add_epi8(half_dif, add_once, half_dif, twice);
      scaled = _mm512_mask_add_epi8(scaled, add_twice, scaled, twice);
      b[k] = _mm512_sub_epi8(threshold, scaled);
      above[k] = _mm512_mask_cmpgt_epi8_mask(lanes, a[k], b[k]);
      over |= above[k];
    }
    i += n;
    if (over == 0) continue;

    while (over != 0) {
      const int32_t first = __builtin_ctzll(over);
      const int32_t at = p + first;
      // The six decisions at `at` (kFlipRule); with c the shared check-2
      // cell (2 h in halves), after an odd number of flips A - 2 h must
      // exceed B.
      const int32_t shared = regs.half2[at];
      uint32_t over_now = 0;
#pragma GCC unroll 6
      for (int32_t k = 0; k < NUM_INF; ++k) over_now |= static_cast<uint32_t>((above[k] >> first) & 1u) << k;
      uint32_t flips = over_now;
      // The usual case needs no more: one bit over, and c >= 0, so that
      // after its flip no other A (all at most their B) exceeds B + 2 h.
      if (shared < 0 || (over_now & (over_now - 1)) != 0) {
        const __m512i lowered = _mm512_set1_epi8(static_cast<char>(2 * shared));
        uint32_t over_raised = 0;
#pragma GCC unroll 6
        for (int32_t k = 0; k < NUM_INF; ++k) {
          const uint64_t raised = _mm512_cmpgt_epi8_mask(_mm512_sub_epi8(a[k], lowered), b[k]);
          over_raised |= static_cast<uint32_t>((raised >> first) & 1u) << k;
        }
        flips = kFlipRule[over_now | over_raised << NUM_INF];
      }
      // The flips themselves; their order does not matter, as the bits of
      // one position share no other cell.
      const uint64_t later = lanes & (first >= kChunk - 1 ? 0u : ~uint64_t{0} << (first + 1));
      for (; flips != 0; flips &= flips - 1) {
        const int32_t k = __builtin_ctz(flips);
        // Twice the flipped bit's new halves, in bytes 0 ... 5 of every
        // 128-bit lane: minus twice the old ones, read before the flip
        // writes them, so that the reads need not wait for its stores.
        const auto& tk = taps[k];
        const auto cell = [](int8_t v) { return uint64_t{static_cast<uint8_t>(-2 * v)}; };
        const uint64_t news = cell(regs.half2[at + tk[3]]) << 8 | cell(regs.half2[at + tk[4]]) << 16 |
                              cell(regs.half1[at + tk[0]]) << 24 | cell(regs.half1[at + tk[1]]) << 32 |
                              cell(regs.half1[at + tk[2]]) << 40;
        const __m512i cells = _mm512_maskz_broadcast_i32x4(0xFFFF, _mm_cvtsi64_si128(static_cast<int64_t>(news)));
        flip_bit(d, regs, k, at);
#pragma GCC unroll 6
        for (int32_t s2 = 0; s2 < NUM_INF; ++s2) {
          const __mmask64 hit = later & (kSpread.lanes[k][s2] << first);
          // Lane first + delta reads the cell number of delta (the bytes
          // before first read padding, outside `hit`).
          const __m512i which = _mm512_loadu_si512(kSpread.cell[k][s2] + kChunk - first);
          a[s2] = _mm512_mask_add_epi8(a[s2], hit, a[s2], _mm512_shuffle_epi8(cells, which));
        }
      }
      over = 0;
#pragma GCC unroll 6
      for (int32_t k = 0; k < NUM_INF; ++k) {
        above[k] = _mm512_mask_cmpgt_epi8_mask(later, a[k], b[k]);
        over |= above[k];
      }
    }
  }

  // Bits set in the wrong-bit bytes, by nibble look-up.
  const __m512i nibble_bits = _mm512_set4_epi32(0x04030302, 0x03020201, 0x03020201, 0x02010100);
  const __m512i low4 = _mm512_set1_epi8(0x0F);
  __m512i errors = _mm512_setzero_si512();
  for (int32_t i = 0; i < len;) {
    const int32_t p = (p0 + i) & kRingMask;
    const int32_t n = std::min({64, len - i, DEC_RING - p});
    const __m512i w = _mm512_maskz_loadu_epi8(first_bytes(n), regs.wrong + p);
    const __m512i bits = _mm512_add_epi8(
        _mm512_shuffle_epi8(nibble_bits, _mm512_and_si512(w, low4)),
        _mm512_shuffle_epi8(nibble_bits, _mm512_and_si512(_mm512_srli_epi16(w, 4), low4)));
    errors = _mm512_add_epi64(errors, _mm512_sad_epu8(bits, _mm512_setzero_si512()));
    i += n;
  }
  d.counts[3 + j] += static_cast<int32_t>(sum_lanes(errors));
}

// Decision and wrong bits of the positions entered before the blocks, as
// far back as any iteration still decides.
void mark_entered(const DecoderState& d, const Streams& s, BlockRegisters& regs,
                  int32_t iterat) {
  const int32_t oldest = std::max(0, d.rcv_pos + 1 - (kLag + kSpacing * iterat));
  for (int32_t sp = oldest; sp <= d.rcv_pos; ++sp) {
    const int32_t p = sp & kRingMask;
    uint32_t wrong = 0;
    uint32_t decided = 0;
    for (int32_t k = 0; k < NUM_INF; ++k) {
      wrong |= (d.dec[k][p] != s.inf[k][sp] ? 1u : 0u) << k;
      decided |= (static_cast<uint32_t>(d.dec[k][p]) & 1u) << k;
    }
    regs.wrong[p] = static_cast<uint8_t>(wrong);
    regs.decided[p] = static_cast<uint8_t>(decided);
  }
}

// Halved cells at ring positions p + e ...: lane i when i + e < formed,
// else 0.
MTSIM_AVX512 inline __m512i formed_halves(const int8_t* half, int32_t p, int32_t formed, int32_t e) {
  return _mm512_cvtepi8_epi16(_mm256_maskz_loadu_epi8(first_lanes(formed - e), half + p + e));
}

// The sum ring as the reference would hold it with the newest entered
// stream index r (see 4).
MTSIM_AVX512 void rebuild_sums(DecoderState& d, const BlockRegisters& regs,
                               const PrestartSums& prestart, int32_t r) {
  for (int32_t k = 0; k < NUM_INF; ++k) {
    const auto& tk = taps[k];
    for (int32_t y = std::max(tpos, r - kRingMask); y <= r;) {
      const int32_t p = y & kRingMask;
      const int32_t n = std::min({kLanes, r + 1 - y, DEC_RING - p});
      // A lane's cell at delay e is formed when y + lane + e <= r.
      const int32_t formed = r + 1 - y;
      __m512i sum = _mm512_srai_epi16(load(&d.dif[k][p]), 1);
      sum = _mm512_add_epi16(sum, formed_halves(regs.half2, p, formed, 0));
      sum = _mm512_add_epi16(sum, formed_halves(regs.half2, p, formed, tk[4]));
      sum = _mm512_add_epi16(sum, formed_halves(regs.half2, p, formed, tk[3]));
      sum = _mm512_add_epi16(sum, formed_halves(regs.half1, p, formed, tk[2]));
      sum = _mm512_add_epi16(sum, formed_halves(regs.half1, p, formed, tk[1]));
      sum = _mm512_add_epi16(sum, formed_halves(regs.half1, p, formed, tk[0]));
      _mm512_mask_storeu_epi16(&d.sum[k][p], first_lanes(n), sum);
      y += n;
    }
    for (int32_t y = std::max(tpos - MAX_DELAY, r - kRingMask); y < tpos; ++y) {
      int32_t sum = prestart[k][y - (tpos - MAX_DELAY)];
      const int32_t delays2[3] = {0, tk[4], tk[3]};
      const int32_t delays1[3] = {tk[2], tk[1], tk[0]};
      for (int32_t e : delays2) {
        if (y + e >= tpos && y + e <= r) sum += regs.half2[(y + e) & kRingMask];
      }
      for (int32_t e : delays1) {
        if (y + e >= tpos && y + e <= r) sum += regs.half1[(y + e) & kRingMask];
      }
      d.sum[k][y & kRingMask] = static_cast<int16_t>(sum);
    }
  }
}

MTSIM_AVX512 void decode_blocks(DecoderState& d, const Streams& s, int32_t ndkdd,
                                int32_t iterat) {
  // (see 4) The prepared sums that the rebuild starts from.
  PrestartSums prestart;
  for (int32_t k = 0; k < NUM_INF; ++k) {
    for (int32_t i = 0; i < MAX_DELAY; ++i) prestart[k][i] = d.sum[k][tpos - MAX_DELAY + i];
  }
  BlockRegisters& regs = d.block;
  // Cells are even (plus or minus twice a reliability): halving loses
  // nothing.
  for (int32_t i = 0; i < DEC_RING; ++i) {
    regs.half1[i] = static_cast<int8_t>(d.syn1[i] / 2);
    regs.half2[i] = static_cast<int8_t>(d.syn2[i] / 2);
  }
  std::copy_n(regs.half1, kMirror, regs.half1 + DEC_RING);
  std::copy_n(regs.half2, kMirror, regs.half2 + DEC_RING);
  mark_entered(d, s, regs, iterat);

  for (int32_t done = 0; done < ndkdd;) {
    const int32_t len = std::min(kBlock, ndkdd - done);
    const int32_t t0 = (d.dec_pos + 1) & kRingMask;
    const int32_t r0 = d.rcv_pos + 1;
    enter_block(d, s, regs, t0, r0, len);
    for (int32_t j = 0; j < iterat; ++j) {
      const int32_t back = kLag + kSpacing * (j + 1);
      decide_block(d, regs, (t0 - back) & kRingMask, r0 - back, len, j);
    }
    d.dec_pos = (t0 + len - 1) & kRingMask;
    d.rcv_pos = r0 + len - 1;
    d.counts[0] += NUM_INF * len;
    done += len;
  }

  for (int32_t i = 0; i < DEC_RING; ++i) {
    d.syn1[i] = static_cast<int16_t>(2 * regs.half1[i]);
    d.syn2[i] = static_cast<int16_t>(2 * regs.half2[i]);
  }
  rebuild_sums(d, regs, prestart, d.rcv_pos);
}

}  // namespace

int32_t decode_fast(DecoderState& d, const Streams& s, int32_t ndkdd, int32_t iterat) {
  const bool as_prepared = d.dec_mask == kRingMask && d.dec_lag == kLag &&
                           d.iter_spacing == kSpacing && d.rcv_pos == tpos - 1 &&
                           d.dec_pos == tpos - 1;
  if (!cpu_has_avx512bw() || !as_prepared || iterat < 1 || iterat > MAX_ITERAT || ndkdd <= 0) {
    return decode_reference(d, s, ndkdd, iterat);
  }
  decode_blocks(d, s, ndkdd, iterat);
  return 0;
}

}  // namespace mtsim
