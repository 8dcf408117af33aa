// A generator's bit sequence made 512 bits per vector instruction.
//
// Number the bits of the state so that after n shift cycles a holds bits
// 21 n ... 21 n + 20 of a sequence w and b holds bits 21 n + 21 ... 21 n + 51
// (lowest bit first).  A cycle keeps b's bits as the new a and b's top ten
// bits as the new b's bottom, and its 21 new bits, (a ^ b) & (2^21 - 1)
// shifted up by 10, are w[i - 52] ^ w[i - 31] for i = 21 n + 52 ...: so
// w[i] = w[i - 31] ^ w[i - 52] for i >= 52.  Only the first cycle can see a
// seed a with more than 21 bits, and it uses only a's low 21 bits, so the
// sequence starts from a & (2^21 - 1).
//
// Squaring the recurrence's polynomial nine times gives
// w[i] = w[i - 31 * 512] ^ w[i - 52 * 512]: in blocks of 512 bits,
// V[n] = V[n - 31] ^ V[n - 52] for n >= 52, one exclusive or per block.
// The sequence is made in chunks of 252 blocks (129,024 bits): that is
// 2,048 calls of rngB (63 bits each), the source's generator, so every
// chunk starts on a call.  (It is 1,024 calls of rngA, 126 bits each, too:
// RngBlocksTest follows both generators through it; the channel makes rngA's
// windows from its state instead, channel_windows.h.)  A chunk (20 KB with
// its past) stays in the first-level cache while it is read.
#pragma once

#include <cstdint>

#include "sim/random/rng.h"
#include "sim/simd.h"

namespace mtsim {

class RngBlocks {
 public:
  static constexpr int32_t kBlocks = 252;                // blocks per chunk
  static constexpr int64_t kChunkBits = 512 * kBlocks;   // 129,024
  static constexpr int32_t kChunkBytes = 64 * kBlocks;
  static constexpr int32_t kPastEnd = 128;               // readable bytes past a chunk

  // The sequence from the generator's present state on (bit 0).
  // REQUIRES: start.b < 2^31, as every b after seeding is.
  explicit RngBlocks(const Rng& start);

  // Starts the next chunk (the first call starts chunk 0), whose bits are
  // kChunkBits * k ... of the sequence; make() then makes its blocks.
  // REQUIRES: AVX-512 (cpu_has_avx512bw()).
  MTSIM_AVX512 void next_chunk();

  // Makes the current chunk's blocks up to block `end` (exclusive; at most
  // kBlocks + kPastEnd / 64), so that its bytes up to 64 * end are ready.
  // REQUIRES: AVX-512 (cpu_has_avx512bw()).
  MTSIM_AVX512 void make(int32_t end) {
    __m512i* v = reinterpret_cast<__m512i*>(words_);
    for (int32_t n = kLag + made_; n < kLag + end; ++n) {
      _mm512_store_si512(v + n, _mm512_xor_si512(_mm512_load_si512(v + n - 31), _mm512_load_si512(v + n - 52)));
    }
    if (end > made_) made_ = end;
  }

  // The current chunk, bit 0 of byte 0 first; kChunkBytes + kPastEnd bytes.
  const uint8_t* bytes() const { return reinterpret_cast<const uint8_t*>(words_ + 8 * kLag); }

  // The generator's words after `bit` / 21 cycles, keeping gen.cycles.
  // REQUIRES: bit a multiple of 21, within the current chunk.
  void state_at(int64_t bit, Rng& gen) const;

 private:
  static constexpr int32_t kLag = 52;  // the recurrence's longest lag, in blocks
  static constexpr int32_t kExtra = kPastEnd / 64;
  // The current chunk and its past: small enough to stay in the
  // first-level cache, which a buffer for several chunks (moving the past
  // less often) would not.
  alignas(64) uint64_t words_[8 * (kLag + kBlocks + kExtra)];
  int64_t chunk_ = -1;  // number of the current chunk
  int32_t made_ = 0;    // blocks of the current chunk made
};

}  // namespace mtsim
