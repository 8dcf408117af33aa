#include "sim/random/rng_bits.h"

namespace mtsim {

RngBits::RngBits(const Rng& start) {
  for (uint64_t& w : words_) w = 0;
  const uint64_t first52 = uint64_t{start.a & RNG_MASK1} | uint64_t{start.b} << 21;
  const auto bit = [this](int32_t i) { return (words_[i >> 6] >> (i & 63)) & 1; };
  for (int32_t i = 0; i < 64 * kLag; ++i) {
    const uint64_t v = i < 52 ? (first52 >> i) & 1 : bit(i - 31) ^ bit(i - 52);
    words_[i >> 6] |= v << (i & 63);
  }
  for (int32_t m = kLag; m < kKeep + kChunk; ++m) words_[m] = words_[m - 31] ^ words_[m - 52];
  first_word_ = 0;
  end_word_ = kKeep + kChunk;
}

void RngBits::slide() {
  for (int32_t m = 0; m < kKeep; ++m) words_[m] = words_[kChunk + m];
  for (int32_t m = kKeep; m < kKeep + kChunk; ++m) words_[m] = words_[m - 31] ^ words_[m - 52];
  first_word_ += kChunk;
  end_word_ += kChunk;
}

void RngBits::state_at(int64_t offset, Rng& gen) {
  reserve(offset);
  const int64_t rel = offset - first_word_ * 64;
  const int32_t w = static_cast<int32_t>(rel >> 6);
  const int32_t shift = static_cast<int32_t>(rel & 63);
  uint64_t x = words_[w] >> shift;
  if (shift != 0) x |= words_[w + 1] << (64 - shift);
  gen.a = static_cast<uint32_t>(x) & RNG_MASK1;
  gen.b = static_cast<uint32_t>(x >> 21) & RNG_MASK2;
}

}  // namespace mtsim
