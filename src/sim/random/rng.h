// The two shift-and-exclusive-or generators and the uniform draw in 0..999.
//
// A generator is two words, a and b.  One shift cycle is
//   x = b ^ a;  a = b & (2^21 - 1);  b = ((b >> 21) ^ (x << 10)) & (2^31 - 1)
// with 32-bit words.  b is never negative (its seed is positive and every
// new b is masked to 31 bits), so its arithmetic shift is a plain shift; the
// seed in a may be negative, and the left shift is done on unsigned words so
// that such a seed is well defined.  After one cycle a holds 21 bits and b
// 31: the state is 52 bits.  rngA (the channel noise) performs 6 cycles per
// call, rngB (information bits and the error packet) 3.
#pragma once

#include <array>
#include <cstdint>

namespace mtsim {

inline constexpr uint32_t RNG_MASK1 = 2097151;     // 2^21 - 1, b into a
inline constexpr uint32_t RNG_MASK2 = 2147483647;  // 2^31 - 1, the new b
inline constexpr uint32_t DRAW_MASK = 1023;        // rngA's draw mask
inline constexpr int32_t RNG_A_CYCLES = 6;
inline constexpr int32_t RNG_B_CYCLES = 3;

struct Rng {
  uint32_t a = 0;  // callers read this word (as signed) after a call
  uint32_t b = 0;
  int32_t cycles = 0;

  // One call: `cycles` shift cycles.
  void advance() {
    for (int32_t i = 0; i < cycles; ++i) cycle();
  }
  void cycle() {
    const uint32_t x = b ^ a;
    a = b & RNG_MASK1;
    b = ((b >> 21) ^ (x << 10)) & RNG_MASK2;
  }
  int32_t word_a() const { return static_cast<int32_t>(a); }
  int32_t bit() const { return static_cast<int32_t>(a & 1u); }
};

// The 52-bit state as one word: a's low 21 bits (all that a call reads),
// then b's 31.  REQUIRES: g.b < 2^31, as every b after seeding is.
inline uint64_t state_word(const Rng& g) { return (g.a & RNG_MASK1) | uint64_t{g.b} << 21; }

// Sets a and b from the low 52 bits of `s`, keeping g.cycles.
inline void set_state_word(Rng& g, uint64_t s) {
  g.a = static_cast<uint32_t>(s) & RNG_MASK1;
  g.b = static_cast<uint32_t>(s >> 21) & RNG_MASK2;
}

// Entry i is the ten-bit index i with its two five-bit halves exchanged.
using SwapTable = std::array<int32_t, 1024>;
SwapTable make_swap_table();

// rngA seeded with kst, rngB with 451; both b words with 7799.
void seed_generators(Rng& rngA, Rng& rngB, int32_t kst);

// v = swap_table[a & 1023] of rngA; while v > 999 rngA advances and v is
// looked up again.  Returns v in 0 ... 999.
inline int32_t draw1000(Rng& rngA, const SwapTable& swap_table) {
  int32_t v = swap_table[rngA.a & DRAW_MASK];
  while (v > 999) {
    rngA.advance();
    v = swap_table[rngA.a & DRAW_MASK];
  }
  return v;
}

}  // namespace mtsim
