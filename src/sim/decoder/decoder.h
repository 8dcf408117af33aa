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
inline constexpr int32_t NUM_COUNTS = 28;
inline constexpr int32_t MAX_ITERAT = 15;

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
  int32_t dec_pos = 0;       // ring index of the newest entered position
  int32_t rcv_pos = 0;       // stream index of the newest entered position
  int32_t dec_mask = 0;      // ring mask, 32,767
  int32_t dec_lag = 0;       // 10
  int32_t iter_spacing = 0;  // 700
  // [0] bits entered, [1] information and [2] check errors at the input,
  // [3 + j] information errors left right after iteration j.
  std::array<int32_t, NUM_COUNTS> counts;
  BlockRegisters block;  // decode_fast's own
};

// The threshold schedule, indexed by iteration.
inline constexpr std::array<int32_t, 44> dif_gain = {1, 2, 2, 2, 2};
inline constexpr std::array<int32_t, 44> thr = {29, 15, 8, 4, 2};

// Toggles decision k at ring position p and updates dif, the bit's six
// syndrome cells and the 108 sums that those cells reach, plus its own sum.
void flip(DecoderState& d, int32_t k, int32_t p);

// Flips bit k at p when sum + dif_gain[j] * dif exceeds thr[j].
void threshold_decision(DecoderState& d, int32_t k, int32_t p, int32_t j);

// One decoding step: enter the next received position, then `iterat`
// iterations.  REQUIRES: the state prepared for decoding, 3 <= iterat <= 15.
void decode_step(DecoderState& d, const Streams& s, int32_t iterat);

// ndkdd decoding steps, written as directly as the algorithm reads: the
// reference that faster versions are checked against.  Returns 0.
int32_t decode_reference(DecoderState& d, const Streams& s, int32_t ndkdd, int32_t iterat);

}  // namespace mtsim
