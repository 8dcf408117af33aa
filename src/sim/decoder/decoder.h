// The soft-decision multithreshold decoder (MTD) of the rate-3/4 code.
//
// Each decoding step enters the newest received time position into rings of
// 32,768 positions (hard bits, both soft syndromes, difference and sum
// registers), then runs `iterat` threshold iterations, iteration j deciding
// the position 710 + 700 j steps behind the newest.  A flip toggles one
// decision and keeps every dependent register exact, so that for every real
// position p whose checks are all formed:
//   sum[k][p] = dif[k][p]/2 + syn1[p + taps[k][0..2]]/2
//             + syn2[p]/2 + syn2[p + taps[k][3]]/2 + syn2[p + taps[k][4]]/2
// Syndrome and difference cells hold doubled values, so a flip that negates
// a cell changes every dependent sum by exactly the cell's new value.
//
// What leaves the decoder is `counts`: the errors it saw at its input and
// the errors left after each iteration, counted against the sent bits.
#pragma once

#include <array>
#include <cstdint>

#include "sim/code/streams.h"

namespace mtsim {

inline constexpr int32_t DEC_BUF_LEN = 55000;  // entries per register array
inline constexpr int32_t DEC_RING = 32768;     // entries used: a ring
inline constexpr int32_t DEC_MASK = DEC_RING - 1;
inline constexpr int32_t NUM_COUNTS = 28;
inline constexpr int32_t MIN_ITERAT = 3;
inline constexpr int32_t MAX_ITERAT = 15;

// The pipeline: iteration j decides the position decision_delay(j) steps
// behind the newest entered one.  The lag exceeds the code's memory, so
// every check of a position is formed before its first decision; the
// spacing exceeds it too, so that no flip of one iteration changes a sum
// that another iteration of the same step reads.
inline constexpr int32_t DEC_LAG = 10;
inline constexpr int32_t ITER_SPACING = 700;
constexpr int32_t decision_delay(int32_t j) { return DEC_LAG + ITER_SPACING * (j + 1); }
static_assert(decision_delay(0) > MAX_DELAY && ITER_SPACING > MAX_DELAY);
static_assert(decision_delay(MAX_ITERAT - 1) + MAX_DELAY < DEC_RING, "the oldest cell read stays in the ring");

// The time steps of a frame that iteration j judges: 0 ... ndkdd - 1 -
// decision_delay(j).  The later ones are never decided by it, and the
// decisions of its first steps fall on pre-start positions.
constexpr int32_t judged_steps(int32_t ndkdd, int32_t j) { return ndkdd - decision_delay(j); }
static_assert(judged_steps(MIN_NDKDD, MAX_ITERAT - 1) > 0);

using Ring = std::array<int16_t, DEC_BUF_LEN>;

// Working registers of decode_fast (decoder_fast.cpp), which explains them;
// decode_reference never touches them.  They live with the decoder's state
// so that, like every other register, they are allocated and touched
// before decoding starts.
inline constexpr int32_t BLOCK_MIRROR = 768;  // syndrome entries repeated after the ring
struct BlockRegisters {
  // Halved cells and difference registers fit 8 bits (at most 15 in size),
  // so that the decisions take 64 positions per vector.
  alignas(64) int8_t half1[DEC_RING + BLOCK_MIRROR];    // syn1 / 2
  alignas(64) int8_t half2[DEC_RING + BLOCK_MIRROR];    // syn2 / 2
  alignas(64) int8_t dif_half[NUM_INF][DEC_RING + 64];  // dif / 2; 64 more for whole-vector reads
  alignas(64) uint8_t decided[DEC_RING];  // bit k: decision k
  alignas(64) uint8_t wrong[DEC_RING];    // bit k: decision k differs from the sent bit
};

struct DecoderState {
  alignas(64) std::array<Ring, NUM_INF> dec;  // current decisions, 0 or 1
  alignas(64) std::array<Ring, NUM_INF> dif;  // -2w while dec equals the received bit, +2w otherwise
  alignas(64) std::array<Ring, NUM_INF> sum;  // sum registers, see the invariant above
  alignas(64) Ring syn1;                      // +2w of chk1 while check 1 is unsatisfied, -2w when satisfied
  alignas(64) Ring syn2;                      // the same for check 2
  int32_t dec_pos = 0;  // ring index of the newest entered position
  int32_t rcv_pos = 0;  // stream index of the newest entered position
  // [0] bits entered, [1] information and [2] check errors at the input,
  // [3 + j] information errors left right after iteration j.
  std::array<int32_t, NUM_COUNTS> counts;
  BlockRegisters block;  // decode_fast's own
};

// The threshold schedule, indexed by iteration: tables of SCHEDULE_LEN
// entries, of which the first RAMP_ITERATIONS fall from a high threshold;
// every later iteration weighs the received symbol only by its own
// reliability (dif_gain 0) against threshold 0.
inline constexpr int32_t SCHEDULE_LEN = 44;
inline constexpr int32_t RAMP_ITERATIONS = 5;
constexpr std::array<int32_t, SCHEDULE_LEN> schedule(std::array<int32_t, RAMP_ITERATIONS> ramp) {
  std::array<int32_t, SCHEDULE_LEN> table{};  // the tail: 0
  for (int32_t j = 0; j < RAMP_ITERATIONS; ++j) table[j] = ramp[j];
  return table;
}
inline constexpr std::array<int32_t, SCHEDULE_LEN> dif_gain = schedule({1, 2, 2, 2, 2});
inline constexpr std::array<int32_t, SCHEDULE_LEN> thr = schedule({29, 15, 8, 4, 2});
static_assert(MAX_ITERAT <= SCHEDULE_LEN);

// Toggles decision k at ring position p and updates dif, the bit's six
// syndrome cells and the 108 sums that those cells reach, plus its own sum.
void flip(DecoderState& d, int32_t k, int32_t p);

// Flips bit k at p when sum + dif_gain[j] * dif exceeds thr[j].
void threshold_decision(DecoderState& d, int32_t k, int32_t p, int32_t j);

// One decoding step: enter the next received position, then `iterat`
// iterations.  REQUIRES: the state prepared for decoding (prepare.h),
// MIN_ITERAT <= iterat <= MAX_ITERAT.
void decode_step(DecoderState& d, const Streams& s, int32_t iterat);

// ndkdd decoding steps, written as directly as the algorithm reads: the
// reference that faster versions are checked against.
// REQUIRES: as decode_step; ndkdd <= MAX_NDKDD.
void decode_reference(DecoderState& d, const Streams& s, int32_t ndkdd, int32_t iterat);

}  // namespace mtsim
