// A generator's future, read as one sequence of bits instead of call by
// call.
//
// Number the bits of the state so that after n shift cycles a holds bits
// 21 n ... 21 n + 20 of a sequence w and b holds bits 21 n + 21 ... 21 n + 51
// (lowest bit first).  A cycle keeps b's bits as the new a and b's top ten
// bits as the new b's bottom, and its 21 new bits, (a ^ b) & (2^21 - 1)
// shifted up by 10, are w[i - 52] ^ w[i - 31] for i = 21 n + 52 ...: so
//   w[i] = w[i - 31] ^ w[i - 52]   for i >= 52.
// Squaring the recurrence's polynomial over GF(2) six times gives
// w[i] = w[i - 1984] ^ w[i - 3328], both lags multiples of 64, so in 64-bit
// words W[m] = W[m - 31] ^ W[m - 52] for m >= 52: eight words of the
// sequence cost one exclusive or each, however many cycles they span.
//
// Only the first cycle can see a seed a with more than 21 bits, and it uses
// only a's low 21 bits (a ^ b is masked to them, the new a is b's), so the
// sequence starts from a & (2^21 - 1).
#pragma once

#include <cstdint>

#include "sim/random/rng.h"

namespace mtsim {

class RngBits {
 public:
  // How far reserve() may look past the oldest offset still to be read: a
  // slide keeps kKeep words of the past.
  static constexpr int64_t kMaxAhead = 64 * (128 - 2);

  // The sequence from the generator's present state on (offset 0).
  // REQUIRES: start.b < 2^31, as every b after seeding is.
  explicit RngBits(const Rng& start);

  // Makes the bits up to offset + 63 available.  Offsets passed here
  // must not decrease (older words are dropped as new ones are made).
  void reserve(int64_t offset) {
    while ((offset >> 6) + 1 >= end_word_) slide();
  }

  // Bits offset ... offset + 9 as a number, bit `offset` lowest: a & 1023
  // after offset / 21 cycles.
  // REQUIRES: a reserve(x) before this read with offset <= x <= offset +
  // kMaxAhead, and no later reserve beyond offset + kMaxAhead.
  uint32_t bits10(int64_t offset) const {
    const int64_t rel = offset - first_word_ * 64;
    uint64_t x;
    __builtin_memcpy(&x, reinterpret_cast<const unsigned char*>(words_) + (rel >> 3), sizeof x);
    return static_cast<uint32_t>(x >> (rel & 7)) & 1023u;
  }

  // The generator's words after offset / 21 cycles, keeping gen.cycles.
  // REQUIRES: offset a multiple of 21, as for bits10.
  void state_at(int64_t offset, Rng& gen);

 private:
  static constexpr int32_t kLag = 52;      // the recurrence's longest lag, in words
  static constexpr int32_t kKeep = 128;    // words kept by a slide (>= kLag)
  static_assert(kMaxAhead == 64 * (kKeep - 2));
  static constexpr int32_t kChunk = 1024;  // words made per slide
  [[gnu::noinline]] void slide();

  uint64_t words_[kKeep + kChunk];
  int64_t first_word_ = 0;  // sequence word index of words_[0]
  int64_t end_word_ = 0;    // one past the last word made
};

}  // namespace mtsim
