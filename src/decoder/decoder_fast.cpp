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
//    there still equals rinf.  Once 694 steps of this call are done none of
//    them is a pre-start position, so the block path reads rinf directly;
//    the first steps run the reference step.
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
//    All other pairs keep their order.  Within E of the block, every
//    assignment (sum at the entered position) is made before every
//    addition, which is what the step order gives: an addition from step b
//    lands at b or earlier, after that position's own entry.
// 4. With no metric above its threshold a pass over 32 positions changes
//    nothing, so one vector compare decides them all.  Otherwise the first
//    position (in step order) with an exceeding metric is decided exactly,
//    streams 5 ... 0 one at a time, and the scan resumes after it with fresh
//    loads, since its flips change later sums.
// 5. counts[3 + j] is taken after D(j, .) over the block: a decision flips
//    only its own bit, and no other decision of the block touches the bits
//    of D(j, .) before D(j, .) is over, so the count equals counting each
//    bit right after its own decision.
#include "decoder/decoder_fast.h"

#include <immintrin.h>

#include <algorithm>

#include "code/cpu.h"

namespace mtsim {
namespace {

constexpr int32_t kRingMask = DEC_RING - 1;
constexpr int32_t kLanes = 32;   // 16-bit lanes of a 512-bit vector
constexpr int32_t kBlock = 256;  // steps per block
constexpr int32_t kLag = 10;
constexpr int32_t kSpacing = 700;
static_assert(DEC_RING % kBlock == 0 && kBlock % kLanes == 0);

inline int16_t add16(int16_t x, int32_t v) { return static_cast<int16_t>(x + v); }

// The flip of stream K at ring position p, as the reference's flip.  With
// kWrap false every index p - 694 ... p + 694 lies inside the ring, so no
// mask is needed and every address is p plus a constant.
template <int K, bool kWrap>
void flip_at(DecoderState& d, int32_t p) {
  const auto ix = [](int32_t x) { return kWrap ? (x & kRingMask) : x; };
  constexpr auto tk = taps[K];
  d.dec[K][p] = static_cast<int16_t>(1 - d.dec[K][p]);
  d.dif[K][p] = static_cast<int16_t>(-d.dif[K][p]);
  d.sum[K][p] = add16(d.sum[K][p], d.dif[K][p]);

  for (int32_t cell : {p, p + tk[4], p + tk[3]}) {
    int16_t& c = d.syn2[ix(cell)];
    c = static_cast<int16_t>(-c);
  }
  for (int32_t cell : {p + tk[2], p + tk[1], p + tk[0]}) {
    int16_t& c = d.syn1[ix(cell)];
    c = static_cast<int16_t>(-c);
  }

#pragma GCC unroll 3
  for (int32_t kk = 0; kk < 3; ++kk) {
    const int32_t q = ix(p + sorted_taps[6 + K][kk]);
    const int32_t v2 = d.syn2[q];
#pragma GCC unroll 6
    for (int32_t s = 0; s < NUM_INF; ++s) {
      d.sum[s][q] = add16(d.sum[s][q], v2);
      d.sum[s][ix(q - taps[s][4])] = add16(d.sum[s][ix(q - taps[s][4])], v2);
      d.sum[s][ix(q - taps[s][3])] = add16(d.sum[s][ix(q - taps[s][3])], v2);
    }
    const int32_t u = ix(p + sorted_taps[K][kk]);
    const int32_t v1 = d.syn1[u];
#pragma GCC unroll 6
    for (int32_t s = 0; s < NUM_INF; ++s) {
#pragma GCC unroll 3
      for (int32_t n = 0; n < 3; ++n) {
        int16_t& c = d.sum[s][ix(u - taps[s][n])];
        c = add16(c, v1);
      }
    }
  }
}

using FlipFn = void (*)(DecoderState&, int32_t);
constexpr FlipFn kFlips[2][NUM_INF] = {
    {flip_at<0, false>, flip_at<1, false>, flip_at<2, false>, flip_at<3, false>,
     flip_at<4, false>, flip_at<5, false>},
    {flip_at<0, true>, flip_at<1, true>, flip_at<2, true>, flip_at<3, true>, flip_at<4, true>,
     flip_at<5, true>},
};

// errors[p] is the number of streams k whose decision at ring position p
// differs from the sent bit: what counts[3 + j] adds for p.  Kept exact by
// every entry and flip, it spares the count the sent bits' buffers.
using ErrorRing = int8_t[DEC_RING];

// The six threshold decisions of iteration j at ring position p (stream
// index sp), streams 5 ... 0, exactly as the reference takes them.
void decide_position(DecoderState& d, const Streams& s, ErrorRing& errors, int32_t p, int32_t sp,
                     int32_t j) {
  const bool wrap = p < MAX_DELAY || p > kRingMask - MAX_DELAY;
  for (int32_t k = NUM_INF - 1; k >= 0; --k) {
    const int32_t metric = d.sum[k][p] + dif_gain[j] * d.dif[k][p];
    if (metric > thr[j]) {
      const int32_t wrong_before = d.dec[k][p] != s.inf[k][sp] ? 1 : 0;
      kFlips[wrap ? 1 : 0][k](d, p);
      const int32_t wrong_after = d.dec[k][p] != s.inf[k][sp] ? 1 : 0;
      errors[p] = static_cast<int8_t>(errors[p] + wrong_after - wrong_before);
    }
  }
}

// errors[] for the positions entered before the block path took over, as
// far back as any iteration still decides.
void count_entered_errors(const DecoderState& d, const Streams& s, ErrorRing& errors,
                          int32_t iterat) {
  const int32_t oldest = std::max(0, d.rcv_pos + 1 - (kLag + kSpacing * iterat));
  for (int32_t sp = oldest; sp <= d.rcv_pos; ++sp) {
    const int32_t p = sp & kRingMask;
    int32_t wrong = 0;
    for (int32_t k = 0; k < NUM_INF; ++k) wrong += d.dec[k][p] != s.inf[k][sp] ? 1 : 0;
    errors[p] = static_cast<int8_t>(wrong);
  }
}

// Undoubled syndromes of the block's steps, for the sum additions.
struct BlockSyndromes {
  alignas(64) int16_t v1[kBlock];
  alignas(64) int16_t v2[kBlock];
};

MTSIM_AVX512 inline __m512i load(const int16_t* p) { return _mm512_loadu_si512(p); }
MTSIM_AVX512 inline void store(int16_t* p, __m512i v) { _mm512_storeu_si512(p, v); }
MTSIM_AVX512 inline __mmask32 first_lanes(int32_t n) {
  return n >= kLanes ? ~__mmask32{0} : static_cast<__mmask32>((1u << n) - 1);
}
MTSIM_AVX512 inline __mmask64 first_bytes(int32_t n) {
  return n >= 64 ? ~__mmask64{0} : static_cast<__mmask64>((uint64_t{1} << n) - 1);
}
// The sum of the 32-bit lanes (the 64-bit lanes hold small values, so
// their high halves are 0).  Written out because the library's reductions
// trip a false "may be used uninitialized" warning in this compiler.
MTSIM_AVX512 inline int32_t sum_lanes(__m512i v) {
  alignas(64) int32_t lanes[16];
  _mm512_store_si512(lanes, v);
  int32_t total = 0;
  for (int32_t x : lanes) total += x;
  return total;
}
// Fetches what a later chunk will read, so that the loads of the stream
// buffers and the writes of the ring entries do not wait for memory.
inline void prefetch(const int16_t* p) { __builtin_prefetch(p, 0, 3); }
inline void prefetch_for_write(int16_t* p) { __builtin_prefetch(p, 1, 3); }
constexpr int32_t kAhead = 4 * kLanes;  // steps

// ring[start + i] += v[i] for i < kBlock, ring indices masked.  Entries
// from DEC_RING upward are never written: a chunk that reaches the end of
// the ring is cut there and resumes at 0.
MTSIM_AVX512 void add_to_ring(int16_t* ring, int32_t start, const int16_t* v) {
  for (int32_t i = 0; i < kBlock;) {
    const int32_t p = (start + i) & kRingMask;
    const int32_t n = std::min({kLanes, kBlock - i, DEC_RING - p});
    const __mmask32 m = first_lanes(n);
    const __m512i x = _mm512_maskz_loadu_epi16(m, v + i);
    _mm512_mask_storeu_epi16(ring + p, m, _mm512_add_epi16(load(ring + p), x));
    i += n;
  }
}

// The entries of kBlock steps at ring positions t0 ... (t0 is a multiple of
// kBlock, so they do not wrap) and stream indices r0 ...
// REQUIRES: the 694 positions before r0 were entered and are undecided.
MTSIM_AVX512 void enter_block(DecoderState& d, const Streams& s, ErrorRing& errors, int32_t t0,
                              int32_t r0, BlockSyndromes& v) {
  const __m512i one = _mm512_set1_epi16(1);
  const __m512i zero = _mm512_setzero_si512();
  __m512i inf_errors = zero;
  int32_t check_errors = 0;
  for (int32_t c = 0; c < kBlock; c += kLanes) {
    const int32_t t = t0 + c;
    const int32_t r = r0 + c;
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
        prefetch_for_write(d.sum[k].data() + ta);
      }
      prefetch_for_write(d.syn1.data() + ta);
      prefetch_for_write(d.syn2.data() + ta);
    }
    __m512i wrong = zero;
    __m512i s2 = load(&s.rchk2[r]);
    __m512i s1 = load(&s.rchk1[r]);
    check_errors += __builtin_popcount(_mm512_cmpneq_epi16_mask(s2, load(&s.chk2[r])));
    check_errors += __builtin_popcount(_mm512_cmpneq_epi16_mask(s1, load(&s.chk1[r])));
    for (int32_t k = 0; k < NUM_INF; ++k) {
      const int16_t* rk = s.rinf[k].data() + r;
      const __m512i cur = load(rk);
      store(&d.dec[k][t], cur);
      wrong = _mm512_mask_add_epi16(wrong, _mm512_cmpneq_epi16_mask(cur, load(&s.inf[k][r])),
                                    wrong, one);
      s2 = _mm512_add_epi16(
          s2, _mm512_add_epi16(cur, _mm512_add_epi16(load(rk - taps[k][3]), load(rk - taps[k][4]))));
      s1 = _mm512_add_epi16(
          s1, _mm512_add_epi16(load(rk - taps[k][0]),
                               _mm512_add_epi16(load(rk - taps[k][1]), load(rk - taps[k][2]))));
    }
    inf_errors = _mm512_add_epi16(inf_errors, wrong);
    _mm512_mask_cvtepi16_storeu_epi8(errors + t, ~__mmask32{0}, wrong);
    const __m512i rel2 = load(&s.relchk2[r]);
    const __m512i rel1 = load(&s.relchk1[r]);
    const __m512i v2 = _mm512_mask_blend_epi16(_mm512_test_epi16_mask(s2, one),
                                               _mm512_sub_epi16(zero, rel2), rel2);
    const __m512i v1 = _mm512_mask_blend_epi16(_mm512_test_epi16_mask(s1, one),
                                               _mm512_sub_epi16(zero, rel1), rel1);
    _mm512_store_si512(v.v2 + c, v2);
    _mm512_store_si512(v.v1 + c, v1);
    store(&d.syn2[t], _mm512_add_epi16(v2, v2));
    store(&d.syn1[t], _mm512_add_epi16(v1, v1));
    for (int32_t k = 0; k < NUM_INF; ++k) {
      const __m512i rel = load(&s.relinf[k][r]);
      store(&d.dif[k][t], _mm512_sub_epi16(zero, _mm512_add_epi16(rel, rel)));
      store(&d.sum[k][t], _mm512_sub_epi16(v2, rel));
    }
  }
  // At most 6 * kBlock / kLanes = 48 per lane: no overflow.
  d.counts[1] += sum_lanes(_mm512_madd_epi16(inf_errors, one));
  d.counts[2] += check_errors;

  // Every assignment of the block is done; now the additions.
  for (int32_t k = 0; k < NUM_INF; ++k) {
    int16_t* sum = d.sum[k].data();
    add_to_ring(sum, t0 - taps[k][4], v.v2);
    add_to_ring(sum, t0 - taps[k][3], v.v2);
    add_to_ring(sum, t0 - taps[k][0], v.v1);
    add_to_ring(sum, t0 - taps[k][1], v.v1);
    add_to_ring(sum, t0 - taps[k][2], v.v1);
  }
}

// Iteration j over kBlock positions from ring position p0 (stream index
// s0) on, then its error count.
MTSIM_AVX512 void decide_block(DecoderState& d, const Streams& s, ErrorRing& errors, int32_t p0,
                               int32_t s0, int32_t j) {
  const int32_t gain = dif_gain[j];
  const __m512i threshold = _mm512_set1_epi16(static_cast<int16_t>(thr[j]));
  for (int32_t i = 0; i < kBlock;) {
    const int32_t p = (p0 + i) & kRingMask;
    const int32_t n = std::min({kLanes, kBlock - i, DEC_RING - p});
    __mmask32 over = 0;
    for (int32_t k = 0; k < NUM_INF; ++k) {
      const __m512i sum = load(&d.sum[k][p]);
      const __m512i dif = load(&d.dif[k][p]);
      __m512i metric = sum;
      if (gain == 1) metric = _mm512_add_epi16(sum, dif);
      if (gain == 2) metric = _mm512_add_epi16(sum, _mm512_add_epi16(dif, dif));
      over |= _mm512_cmpgt_epi16_mask(metric, threshold);
    }
    over &= first_lanes(n);
    if (over == 0) {
      i += n;
      continue;
    }
    const int32_t first = __builtin_ctz(over);
    decide_position(d, s, errors, p + first, s0 + i + first, j);
    i += first + 1;
  }

  __m512i wrong = _mm512_setzero_si512();
  for (int32_t i = 0; i < kBlock;) {
    const int32_t p = (p0 + i) & kRingMask;
    const int32_t n = std::min({64, kBlock - i, DEC_RING - p});
    const __m512i e = _mm512_maskz_loadu_epi8(first_bytes(n), errors + p);
    wrong = _mm512_add_epi64(wrong, _mm512_sad_epu8(e, _mm512_setzero_si512()));
    i += n;
  }
  d.counts[3 + j] += sum_lanes(wrong);
}

MTSIM_AVX512 void decode_blocks(DecoderState& d, const Streams& s, int32_t ndkdd,
                                int32_t iterat) {
  int32_t done = 0;
  // Reference steps until the syndromes read only positions entered here
  // and the next entry position starts a block.
  while (done < ndkdd && (done < MAX_DELAY || ((d.dec_pos + 1) & (kBlock - 1)) != 0)) {
    decode_step(d, s, iterat);
    ++done;
  }
  BlockSyndromes syndromes;
  alignas(64) ErrorRing errors;
  count_entered_errors(d, s, errors, iterat);
  while (ndkdd - done >= kBlock) {
    const int32_t t0 = (d.dec_pos + 1) & kRingMask;
    const int32_t r0 = d.rcv_pos + 1;
    enter_block(d, s, errors, t0, r0, syndromes);
    for (int32_t j = 0; j < iterat; ++j) {
      const int32_t back = kLag + kSpacing * (j + 1);
      decide_block(d, s, errors, (t0 - back) & kRingMask, r0 - back, j);
    }
    d.dec_pos = (t0 + kBlock - 1) & kRingMask;
    d.rcv_pos = r0 + kBlock - 1;
    d.counts[0] += NUM_INF * kBlock;
    done += kBlock;
  }
  for (; done < ndkdd; ++done) decode_step(d, s, iterat);
}

}  // namespace

int32_t decode_fast(DecoderState& d, const Streams& s, int32_t ndkdd, int32_t iterat) {
  const bool layout_as_prepared =
      d.dec_mask == kRingMask && d.dec_lag == kLag && d.iter_spacing == kSpacing;
  if (!cpu_has_avx512bw() || !layout_as_prepared || iterat < 1 || iterat > MAX_ITERAT) {
    return decode_reference(d, s, ndkdd, iterat);
  }
  decode_blocks(d, s, ndkdd, iterat);
  return 0;
}

}  // namespace mtsim
