// rngA's draw windows as a linear map of its state, 1,024 calls at a time.
//
// rngA's state is 52 bits, s = (a mod 2^21) + 2^21 b: a call never reads
// a's higher bits.  A call is linear over GF(2) in s, and so is the window
// that draw1000 looks up after it, swap_table[a & 1023] (the ten bits of a
// with their five-bit halves exchanged).  The window after c more calls is
// therefore a fixed 10 x 52 bit matrix times s, for every c.
//
// The pass keeps eight substreams, the states after calls j = 0 ... 7 of
// the chunk, and lays them out so that byte j of each 64-bit lane is
// substream j: one GF2P8AFFINEQB applies a different 8 x 8 matrix in each
// lane to one byte of all eight states.  Seven of them, one per state byte,
// and an exclusive-or tree give the windows of 32 calls; one byte permute
// puts them in call order.  The state moves on once per chunk, by the
// matrix of 1,024 calls; no bit sequence is stored.  The matrices are
// built at compile time from the generator's recurrence (channel_windows.cpp).
#pragma once

#include <cstdint>

#include "sim/random/rng.h"
#include "sim/simd.h"

namespace mtsim {

class ChannelWindows {
 public:
  static constexpr int32_t kCalls = 1024;  // calls per chunk
  static constexpr int32_t kGroups = kCalls / 32;

  // Chunk 0 starts at `start` (call 0 of it is `start` itself).
  // REQUIRES: start.b < 2^31, as every b after seeding is.
  explicit ChannelWindows(const Rng& start);

  // Over the current chunk: windows[c] = swap_table[a & 1023] after c calls
  // from the chunk's start, for c = 0 ... 1023; the calls whose window is
  // above 999 (rejected by draw1000), ascending, in `rejected`.  Returns
  // their number.
  // REQUIRES: AVX-512 GFNI (cpu_has_avx512gfni()); both buffers 64-byte
  // aligned, `rejected` of kCalls + 32 entries.
  MTSIM_AVX512_GFNI int32_t make(uint16_t* windows, uint16_t* rejected) const;

  // Moves on to the next chunk, kCalls calls later.
  // REQUIRES: AVX-512 GFNI.
  MTSIM_AVX512_GFNI void next_chunk();

  // rngA's words after `call` calls from the current chunk's start (up
  // to kCalls - 1 scalar calls), keeping gen.cycles.
  // REQUIRES: 0 <= call < kCalls.
  void state_at(int32_t call, Rng& gen) const;

 private:
  // Byte j of 64-bit lane m: byte m of substream j's state (lane 7 zero).
  alignas(64) uint8_t lanes_[64] = {};
};

}  // namespace mtsim
