// Block-wise multithreshold decoding.
//
// Notation: E(b) is the entry of step b (it writes position b and adds its
// syndromes to sums at b - 694 ... b); D(j, a) is iteration j of step a,
// the six decisions at position P = a - decision_delay(j).  A decision at
// P reads sum and dif at P only; a flip at P writes dec/dif at P, negates
// the syndrome cells P ... P + 694 and adds to sums at P - 694 ... P + 694.
//
// 1. Syndromes come from the stream buffers.  E(b) reads dec at b - 694 ...
//    b.  Those positions were entered at most 694 steps earlier and the
//    first decision on a position comes decision_delay(0) = 710 steps after
//    its entry, so dec there still equals rinf; pre-start positions hold
//    the prepared 0, which the block path reads as 0 below tpos.
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
//    (see "Decisions" below).  A flip then only toggles dec, negates dif
//    and the six cells.  The same identity rebuilds the sum ring exactly on
//    return (rebuild_sums): a position entered in this call holds dif/2
//    plus half of each of its cells formed so far; a pre-start position
//    holds its prepared value plus half of each of its cells formed in this
//    call (its own cells below tpos are never formed, and pre-start bits
//    never flip, so they are never negated).
// 5. Pre-start positions are never flipped: their prepared sum gathers at
//    most six cells of at most 15, so the metric stays at or below -109.
//    Their decisions are skipped.
// 6. With no metric above its threshold a pass over 64 positions changes
//    nothing, so one vector compare decides them all.  Otherwise the first
//    position (in step order) with an exceeding metric is decided exactly,
//    streams 5 ... 0 in turn, and the chunk's later metrics are corrected
//    for its flips before the next exceeding position is looked for.
// 7. counts[3 + j] is taken after D(j, .) over the block, from a per
//    position bit set of wrong decisions that entries set and flips toggle:
//    a decision flips only its own bit, and no other decision of the block
//    touches the bits of D(j, .) before D(j, .) is over.
#include "sim/decoder/decoder_fast.h"

#include <algorithm>
#include <array>
#include <cassert>

#include "sim/channel/transmit.h"
#include "sim/decoder/prepare.h"

namespace mtsim {
namespace {

constexpr int32_t kLanes = 32;    // 16-bit lanes of a 512-bit vector
constexpr int32_t kChunk = 64;    // 8-bit lanes: positions decided together
constexpr int32_t kBlock = 1024;  // steps per block
// Cells are read up to 694 + 63 entries past a ring position; the block
// registers' syndrome rings repeat their first kMirror entries after the
// end, so those reads need no wrap.  Besides them the block path keeps, per
// ring position, the six decisions as bits (so that a flip writes dec
// without waiting to read it) and bit k set while decision k differs from
// the sent bit.
constexpr int32_t kMirror = BLOCK_MIRROR;
static_assert(kMirror >= MAX_DELAY + kChunk && kMirror % kChunk == 0);
static_assert(NUM_INF <= 8, "a position's decisions are the bits of one byte");

// --- The bounds that keep the decisions in 8 bits. ---
//
// With h the halved cells, D = dif / 2 and g = 1 + 2 dif_gain[j], a metric
// exceeds thr[j] exactly when A = (sum of the six h) > B = thr[j] - g D.
// |h|, |D| <= MAX_RELIABILITY, so |A| <= 90 and -75 <= B <= 104 for the
// schedule's thresholds and gains: neither leaves 8 bits.
constexpr bool fits_in_halves() {
  for (size_t j = 0; j < thr.size(); ++j) {
    const int32_t g = 1 + 2 * dif_gain[j];
    if (thr[j] < 0 || dif_gain[j] < 0 || g > 5) return false;
    if (thr[j] + g * MAX_RELIABILITY > 127 || thr[j] - g * MAX_RELIABILITY < -128) return false;
  }
  return 6 * MAX_RELIABILITY + 2 * MAX_RELIABILITY <= 127;  // A, also after a shared-cell correction
}
static_assert(fits_in_halves());

// --- A flip, as far as the block path keeps it. ---

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
  negate_cell(r.half2, (p + tk[4]) & DEC_MASK);
  negate_cell(r.half2, (p + tk[3]) & DEC_MASK);
  negate_cell(r.half1, (p + tk[2]) & DEC_MASK);
  negate_cell(r.half1, (p + tk[1]) & DEC_MASK);
  negate_cell(r.half1, (p + tk[0]) & DEC_MASK);
  r.wrong[p] = static_cast<uint8_t>(r.wrong[p] ^ (1u << k));
}

// The delay of cell c of stream k: c = 0 ... 2 check 2 at delays 0,
// taps[k][3], taps[k][4]; c = 3 ... 5 check 1 at taps[k][0 ... 2].
constexpr int32_t cell_delay(int32_t k, int32_t c) {
  return c == 0 ? 0 : c < 3 ? taps[k][c + 2] : taps[k][c - 3];
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

// --- Small vector helpers. ---

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

// Entries of row from stream index r on, 0 at indices below tpos (the
// decisions there are the prepared 0).
MTSIM_AVX512 inline __m512i load_entered(const int16_t* row, int32_t r) {
  if (r >= tpos) return load(row + r);
  return _mm512_maskz_loadu_epi16(~first_lanes(tpos - r), row + r);
}

// --- Entries. ---

// Fetches what the entry of a later group of steps reads and writes (the
// 24 stream rows at stream index r, the ring entries at ring position t),
// so that its loads and stores do not wait for memory.
// (__builtin_prefetch is called here directly: behind helper functions of
// their own, g++ 12 takes the calls for ones without effect and drops
// them.)
constexpr int32_t kAhead = 4 * kLanes;  // steps
[[gnu::always_inline]] inline void prefetch_entry(const DecoderState& d, const Streams& s,
                                                  const BlockRegisters& regs, int32_t t, int32_t r) {
  constexpr int kRead = 0, kWrite = 1, kKeep = 3;
  for (const Stream* b : {&s.rchk1, &s.rchk2, &s.chk1, &s.chk2, &s.relchk1, &s.relchk2}) {
    __builtin_prefetch(b->data() + r, kRead, kKeep);
  }
#pragma GCC unroll 6
  for (int32_t k = 0; k < NUM_INF; ++k) {
    __builtin_prefetch(s.rinf[k].data() + r, kRead, kKeep);
    __builtin_prefetch(s.inf[k].data() + r, kRead, kKeep);
    __builtin_prefetch(s.relinf[k].data() + r, kRead, kKeep);
    __builtin_prefetch(d.dec[k].data() + t, kWrite, kKeep);
    __builtin_prefetch(d.dif[k].data() + t, kWrite, kKeep);
    __builtin_prefetch(regs.dif_half[k] + t, kWrite, kKeep);
  }
  __builtin_prefetch(regs.half1 + t, kWrite, kKeep);
  __builtin_prefetch(regs.half2 + t, kWrite, kKeep);
  __builtin_prefetch(regs.wrong + t, kWrite, kKeep);
  __builtin_prefetch(regs.decided + t, kWrite, kKeep);
}

// The entries of `len` (at most kBlock) steps from ring position t0,
// stream index r0 on: dec, dif, both cells and the wrong bits (no sums,
// see 4), and the errors at the decoder's input.
// REQUIRES: the positions before r0 back to r0 - 694 were entered in this
// call and are undecided, or are pre-start positions.
MTSIM_AVX512 void enter_block(DecoderState& d, const Streams& s, BlockRegisters& regs,
                              int32_t t0, int32_t r0, int32_t len) {
  const __m512i one = _mm512_set1_epi16(1);
  const __m512i zero = _mm512_setzero_si512();
  int32_t inf_errors = 0;
  int32_t check_errors = 0;
  for (int32_t c = 0; c < len;) {
    const int32_t t = (t0 + c) & DEC_MASK;
    const int32_t r = r0 + c;
    const int32_t n = std::min({kLanes, len - c, DEC_RING - t});
    const __mmask32 lanes = first_lanes(n);
    prefetch_entry(d, s, regs, (t + kAhead) & DEC_MASK, r + kAhead);

    // Both parities over the received word, the errors at the input, and
    // the decisions as bits.
    __m512i s2 = load(&s.rchk2[r]);
    __m512i s1 = load(&s.rchk1[r]);
    check_errors += __builtin_popcount(_mm512_mask_cmpneq_epi16_mask(lanes, s2, load(&s.chk2[r])));
    check_errors += __builtin_popcount(_mm512_mask_cmpneq_epi16_mask(lanes, s1, load(&s.chk1[r])));
    __m512i wrong = zero;
    __m512i decided = zero;
    // Unrolled, so that every shift and bit is a constant.
#pragma GCC unroll 6
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

    // The cells: +2w for an unsatisfied check, -2w for a satisfied one,
    // kept halved.
    const __m512i rel2 = load(&s.relchk2[r]);
    const __m512i rel1 = load(&s.relchk1[r]);
    const __m512i v2 = _mm512_mask_blend_epi16(_mm512_test_epi16_mask(s2, one),
                                               _mm512_sub_epi16(zero, rel2), rel2);
    const __m512i v1 = _mm512_mask_blend_epi16(_mm512_test_epi16_mask(s1, one),
                                               _mm512_sub_epi16(zero, rel1), rel1);
    store_halves(regs.half2, t, lanes, v2);
    store_halves(regs.half1, t, lanes, v1);

    // The difference registers: -2w while the decision is the received bit.
#pragma GCC unroll 6
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

// --- Decisions. ---
//
// An iteration decides 64 positions at a time in 8-bit lanes (see "The
// bounds" above).  A chunk's A stay exact while its positions are decided:
// a flip of bit k at P negates the cells P + e of k, and the A of bit k' at
// P + delta contains that cell exactly when k' has a cell at delay
// e - delta in the same row (kSpread); each such A changes by twice the
// cell's new half.  B at later positions does not change.  At delta = 0
// only the shared check-2 cell at P qualifies, which the decisions at P
// follow themselves.

// The metrics of one chunk of an iteration: per stream A and B, and which
// lanes have A > B.
struct ChunkMetrics {
  __m512i a[NUM_INF];
  __m512i b[NUM_INF];
  uint64_t above[NUM_INF];
};

// Iteration j's threshold and gain as the chunks use them.
struct IterationRule {
  __m512i threshold;    // thr[j] in every byte
  __mmask64 add_once;   // g D = D + (g - 1) / 2 times 2 D, for g = 1, 3 or 5
  __mmask64 add_twice;
};

MTSIM_AVX512 inline IterationRule iteration_rule(int32_t j) {
  const int32_t gain = 1 + 2 * dif_gain[j];
  return IterationRule{_mm512_set1_epi8(static_cast<char>(thr[j])), gain >= 3 ? ~__mmask64{0} : 0,
                       gain >= 5 ? ~__mmask64{0} : 0};
}

// Forms the chunk at ring position p (its first n = popcount(lanes)
// positions); returns the lanes where any stream's metric is over.
[[gnu::always_inline]] MTSIM_AVX512 inline uint64_t form_metrics(const BlockRegisters& regs,
                                                                 int32_t p, __mmask64 lanes,
                                                                 const IterationRule& rule,
                                                                 ChunkMetrics& m) {
  const __m512i own2 = _mm512_loadu_si512(regs.half2 + p);
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
    m.a[k] = _mm512_add_epi8(c1, c2);
    const __m512i half_dif = _mm512_loadu_si512(regs.dif_half[k] + p);
    const __m512i twice = _mm512_add_epi8(half_dif, half_dif);
    __m512i scaled = _mm512_mask_add_epi8(half_dif, rule.add_once, half_dif, twice);
    scaled = _mm512_mask_add_epi8(scaled, rule.add_twice, scaled, twice);
    m.b[k] = _mm512_sub_epi8(rule.threshold, scaled);
    m.above[k] = _mm512_mask_cmpgt_epi8_mask(lanes, m.a[k], m.b[k]);
    over |= m.above[k];
  }
  return over;
}

// The bits that flip at lane `first` of the chunk (ring position at), from
// the metrics there (kFlipRule).  With c the shared check-2 cell (2 h in
// halves), after an odd number of flips A - 2 h must exceed B.
[[gnu::always_inline]] MTSIM_AVX512 inline uint32_t flips_at(const BlockRegisters& regs,
                                                             const ChunkMetrics& m, int32_t at,
                                                             int32_t first) {
  const int32_t shared = regs.half2[at];
  uint32_t over_now = 0;
#pragma GCC unroll 6
  for (int32_t k = 0; k < NUM_INF; ++k) over_now |= static_cast<uint32_t>((m.above[k] >> first) & 1u) << k;
  // The usual case needs no more: one bit over, and c >= 0, so that after
  // its flip no other A (all at most their B) exceeds B + 2 h.
  if (shared >= 0 && (over_now & (over_now - 1)) == 0) return over_now;
  const __m512i lowered = _mm512_set1_epi8(static_cast<char>(2 * shared));
  uint32_t over_raised = 0;
#pragma GCC unroll 6
  for (int32_t k = 0; k < NUM_INF; ++k) {
    const uint64_t raised = _mm512_cmpgt_epi8_mask(_mm512_sub_epi8(m.a[k], lowered), m.b[k]);
    over_raised |= static_cast<uint32_t>((raised >> first) & 1u) << k;
  }
  return kFlipRule[over_now | over_raised << NUM_INF];
}

// Flips `flips` at lane `first` (ring position at) and corrects the A of
// the chunk's `later` lanes for them.  The order of the flips does not
// matter: the bits of one position share no other cell.
[[gnu::always_inline]] MTSIM_AVX512 inline void flip_and_correct(DecoderState& d,
                                                                 BlockRegisters& regs,
                                                                 ChunkMetrics& m, int32_t at,
                                                                 int32_t first, uint32_t flips,
                                                                 uint64_t later) {
  for (; flips != 0; flips &= flips - 1) {
    const int32_t k = __builtin_ctz(flips);
    // Twice the flipped bit's new halves, in bytes 0 ... 5 of every 128-bit
    // lane: minus twice the old ones, read before the flip writes them, so
    // that the reads need not wait for its stores.
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
      m.a[s2] = _mm512_mask_add_epi8(m.a[s2], hit, m.a[s2], _mm512_shuffle_epi8(cells, which));
    }
  }
}

// Iteration j over `len` positions from ring position p0 (stream index s0)
// on.  Pre-start positions are skipped (see 5).
MTSIM_AVX512 void decide_block(DecoderState& d, BlockRegisters& regs, int32_t p0, int32_t s0,
                               int32_t len, int32_t j) {
  const IterationRule rule = iteration_rule(j);
  for (int32_t i = std::max(0, tpos - s0); i < len;) {
    const int32_t p = (p0 + i) & DEC_MASK;
    const int32_t n = std::min({kChunk, len - i, DEC_RING - p});
    const __mmask64 lanes = first_bytes(n);
    ChunkMetrics m;
    uint64_t over = form_metrics(regs, p, lanes, rule, m);
    i += n;
    if (over == 0) continue;
    while (over != 0) {
      const int32_t first = __builtin_ctzll(over);
      const uint64_t later = lanes & (first >= kChunk - 1 ? 0u : ~uint64_t{0} << (first + 1));
      flip_and_correct(d, regs, m, p + first, first, flips_at(regs, m, p + first, first), later);
      over = 0;
#pragma GCC unroll 6
      for (int32_t k = 0; k < NUM_INF; ++k) {
        m.above[k] = _mm512_mask_cmpgt_epi8_mask(later, m.a[k], m.b[k]);
        over |= m.above[k];
      }
    }
  }
}

// The decisions still wrong among `len` positions from ring position p0
// on: the bits set in their wrong-bit bytes, by nibble look-up.
MTSIM_AVX512 int32_t count_wrong(const BlockRegisters& regs, int32_t p0, int32_t len) {
  const __m512i nibble_bits = _mm512_set4_epi32(0x04030302, 0x03020201, 0x03020201, 0x02010100);
  const __m512i low4 = _mm512_set1_epi8(0x0F);
  __m512i errors = _mm512_setzero_si512();
  for (int32_t i = 0; i < len;) {
    const int32_t p = (p0 + i) & DEC_MASK;
    const int32_t n = std::min({kChunk, len - i, DEC_RING - p});
    const __m512i w = _mm512_maskz_loadu_epi8(first_bytes(n), regs.wrong + p);
    const __m512i bits = _mm512_add_epi8(
        _mm512_shuffle_epi8(nibble_bits, _mm512_and_si512(w, low4)),
        _mm512_shuffle_epi8(nibble_bits, _mm512_and_si512(_mm512_srli_epi16(w, 4), low4)));
    errors = _mm512_add_epi64(errors, _mm512_sad_epu8(bits, _mm512_setzero_si512()));
    i += n;
  }
  return static_cast<int32_t>(sum_lanes(errors));
}

// --- Before and after the blocks. ---

// The block registers of a prepared state: the halved cells of the whole
// ring (so that the ring written back on return keeps the entries this call
// does not reach), and no decision and no wrong bit at the pre-start
// positions that the iterations decide (the prepared dec and the sent bits
// there are 0).
MTSIM_AVX512 void start_blocks(const DecoderState& d, BlockRegisters& regs, int32_t iterat) {
  // Cells are even (plus or minus twice a reliability): halving loses
  // nothing.
  for (int32_t i = 0; i < DEC_RING; ++i) {
    regs.half1[i] = static_cast<int8_t>(d.syn1[i] / 2);
    regs.half2[i] = static_cast<int8_t>(d.syn2[i] / 2);
  }
  std::copy_n(regs.half1, kMirror, regs.half1 + DEC_RING);
  std::copy_n(regs.half2, kMirror, regs.half2 + DEC_RING);
  const int32_t oldest = tpos - decision_delay(iterat - 1);
  std::fill(regs.wrong + oldest, regs.wrong + tpos, uint8_t{0});
  std::fill(regs.decided + oldest, regs.decided + tpos, uint8_t{0});
}

// Halved cells at ring positions p + e ...: lane i when i + e < formed,
// else 0.
MTSIM_AVX512 inline __m512i formed_halves(const int8_t* half, int32_t p, int32_t formed, int32_t e) {
  return _mm512_cvtepi8_epi16(_mm256_maskz_loadu_epi8(first_lanes(formed - e), half + p + e));
}

// The sum ring as the reference would hold it with the newest entered
// stream index r (see 4).
MTSIM_AVX512 void rebuild_sums(DecoderState& d, const BlockRegisters& regs, int32_t r) {
  for (int32_t k = 0; k < NUM_INF; ++k) {
    const auto& tk = taps[k];
    for (int32_t y = std::max(tpos, r - DEC_MASK); y <= r;) {
      const int32_t p = y & DEC_MASK;
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
    for (int32_t y = std::max(tpos - MAX_DELAY, r - DEC_MASK); y < tpos; ++y) {
      int32_t sum = PRESTART_SUM;
      const int32_t delays2[3] = {0, tk[4], tk[3]};
      const int32_t delays1[3] = {tk[2], tk[1], tk[0]};
      for (int32_t e : delays2) {
        if (y + e >= tpos && y + e <= r) sum += regs.half2[(y + e) & DEC_MASK];
      }
      for (int32_t e : delays1) {
        if (y + e >= tpos && y + e <= r) sum += regs.half1[(y + e) & DEC_MASK];
      }
      d.sum[k][y & DEC_MASK] = static_cast<int16_t>(sum);
    }
  }
}

MTSIM_AVX512 void decode_blocks(DecoderState& d, const Streams& s, int32_t ndkdd,
                                int32_t iterat) {
  BlockRegisters& regs = d.block;
  start_blocks(d, regs, iterat);
  for (int32_t done = 0; done < ndkdd;) {
    const int32_t len = std::min(kBlock, ndkdd - done);
    const int32_t t0 = (d.dec_pos + 1) & DEC_MASK;
    const int32_t r0 = d.rcv_pos + 1;
    enter_block(d, s, regs, t0, r0, len);
    for (int32_t j = 0; j < iterat; ++j) {
      const int32_t back = decision_delay(j);
      decide_block(d, regs, (t0 - back) & DEC_MASK, r0 - back, len, j);
      d.counts[3 + j] += count_wrong(regs, (t0 - back) & DEC_MASK, len);
    }
    d.dec_pos = (t0 + len - 1) & DEC_MASK;
    d.rcv_pos = r0 + len - 1;
    d.counts[0] += NUM_INF * len;
    done += len;
  }

  for (int32_t i = 0; i < DEC_RING; ++i) {
    d.syn1[i] = static_cast<int16_t>(2 * regs.half1[i]);
    d.syn2[i] = static_cast<int16_t>(2 * regs.half2[i]);
  }
  rebuild_sums(d, regs, d.rcv_pos);
}

[[maybe_unused]] bool as_prepared(const DecoderState& d) {
  return d.rcv_pos == tpos - 1 && d.dec_pos == tpos - 1;
}

}  // namespace

void decode_fast(DecoderState& d, const Streams& s, int32_t ndkdd, int32_t iterat,
                 KernelPath* path) {
  assert(ndkdd <= MAX_NDKDD && iterat >= MIN_ITERAT && iterat <= MAX_ITERAT);
  assert(as_prepared(d));
  if (ndkdd <= 0 || !cpu_has_avx512bw()) {
    report_path(path, KernelPath::kScalar);
    decode_reference(d, s, ndkdd, iterat);
    return;
  }
  report_path(path, KernelPath::kVector);
  decode_blocks(d, s, ndkdd, iterat);
}

}  // namespace mtsim
