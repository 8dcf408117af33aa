#include "sim/random/rng_blocks.h"

#include <cstring>


namespace mtsim {

RngBlocks::RngBlocks(const Rng& start) {
  // The first 52 blocks (416 words) wait in the chunk's place.  The
  // generator's own cycles give the first 52 words, 21 bits each: after n
  // cycles a holds bits 21 n ... 21 n + 20 (only its low 21 bits count).
  uint64_t* first = words_ + 8 * kLag;
  std::memset(first, 0, 8 * kLag * sizeof(uint64_t));
  Rng g = start;
  for (int32_t bit = 0; bit < 64 * kLag; bit += 21) {
    const uint64_t a = g.a & RNG_MASK1;
    first[bit >> 6] |= a << (bit & 63);
    if ((bit & 63) > 64 - 21 && (bit >> 6) + 1 < kLag) first[(bit >> 6) + 1] |= a >> (64 - (bit & 63));
    g.cycle();
  }
  for (int32_t m = kLag; m < 8 * kLag; ++m) first[m] = first[m - 31] ^ first[m - 52];
}

MTSIM_AVX512 void RngBlocks::next_chunk() {
  // Chunk 0 continues the blocks that the constructor made; later chunks
  // keep the last 52 blocks of the one before as their past, copied by
  // vector: the string copy, rep movs, is several times slower at this size.
  if (++chunk_ == 0) {
    made_ = kLag;
    return;
  }
  __m512i* v = reinterpret_cast<__m512i*>(words_);
  for (int32_t n = 0; n < kLag; ++n) {
    __m512i x = _mm512_load_si512(v + kBlocks + n);
    asm("" : "+v"(x));  // keeps the compiler from turning the loop into a string copy
    _mm512_store_si512(v + n, x);
  }
  made_ = 0;
}

void RngBlocks::state_at(int64_t bit, Rng& gen) const {
  const int64_t rel = bit - chunk_ * kChunkBits;
  uint64_t x;
  std::memcpy(&x, bytes() + (rel >> 3), sizeof x);
  set_state_word(gen, x >> (rel & 7));
}

}  // namespace mtsim
