#include "channel/rng.h"

#include <gtest/gtest.h>

#include <vector>

namespace mtsim {
namespace {

TEST(RngTest, RngBFromItsSeed) {
  Rng rngA, rngB;
  seed_generators(rngA, rngB, 0);
  rngB.advance();
  EXPECT_EQ(rngB.word_a(), 1694723);
  EXPECT_EQ(static_cast<int32_t>(rngB.b), 472911833);
  rngB.advance();
  EXPECT_EQ(rngB.word_a(), 1892666);

  seed_generators(rngA, rngB, 0);
  int bits[8];
  for (int& bit : bits) {
    rngB.advance();
    bit = rngB.bit();
  }
  EXPECT_EQ(std::vector<int>(bits, bits + 8), (std::vector<int>{1, 0, 1, 0, 0, 1, 0, 1}));
}

TEST(RngTest, RngAFromTheNoiseSeed) {
  Rng rngA, rngB;
  seed_generators(rngA, rngB, 0);
  rngA.advance();
  EXPECT_EQ(rngA.word_a(), 319802);
  EXPECT_EQ(static_cast<int32_t>(rngA.b), 540862876);
  rngA.advance();
  EXPECT_EQ(rngA.word_a(), 2051918);
  EXPECT_EQ(static_cast<int32_t>(rngA.b), 835538279);

  seed_generators(rngA, rngB, 1);
  rngA.advance();
  EXPECT_EQ(rngA.word_a(), 844090);
  EXPECT_EQ(static_cast<int32_t>(rngA.b), 3468188);
}

TEST(RngTest, NegativeSeedsAreWellDefined) {
  // The seed's high bits enter through x << 10 in the first cycle only;
  // afterwards both words are masked and never negative.
  for (int32_t kst : {-1, -2147483647 - 1, -123456}) {
    Rng rngA, rngB;
    seed_generators(rngA, rngB, kst);
    rngA.cycle();
    const uint32_t x = 7799u ^ static_cast<uint32_t>(kst);
    EXPECT_EQ(rngA.a, 7799u & RNG_MASK1);
    EXPECT_EQ(rngA.b, ((7799u >> 21) ^ (x << 10)) & RNG_MASK2);
    for (int i = 0; i < 100; ++i) {
      rngA.advance();
      EXPECT_GE(rngA.word_a(), 0);
      EXPECT_LT(rngA.a, 1u << 21);
      EXPECT_LT(rngA.b, 1u << 31);
    }
  }
}

TEST(RngTest, SwapTableExchangesTheHalvesOfTheIndex) {
  const SwapTable table = make_swap_table();
  EXPECT_EQ(table[0], 0);
  EXPECT_EQ(table[1], 32);
  EXPECT_EQ(table[32], 1);
  EXPECT_EQ(table[1023], 1023);
  EXPECT_EQ(table[287], 1000);
  EXPECT_EQ(table[255], 999);
  int rejected = 0;
  for (int i = 0; i < 1024; ++i) {
    EXPECT_EQ(table[i], (i % 32) * 32 + i / 32);
    rejected += table[i] > 999 ? 1 : 0;
  }
  EXPECT_EQ(rejected, 24);
}

TEST(RngTest, Draw1000TakesTheSwappedLowBitsAndRejectsAbove999) {
  const SwapTable table = make_swap_table();
  Rng rngA, rngB;
  seed_generators(rngA, rngB, 0);
  rngA.advance();
  EXPECT_EQ(draw1000(rngA, table), 841);
  rngA.advance();
  rngA.advance();
  EXPECT_EQ(draw1000(rngA, table), 620);

  // A state whose low ten bits are rejected draws again from the next call.
  Rng rejecting{287, 7799, RNG_A_CYCLES};
  Rng expected = rejecting;
  expected.advance();
  int32_t want = table[expected.a & DRAW_MASK];
  while (want > 999) {
    expected.advance();
    want = table[expected.a & DRAW_MASK];
  }
  EXPECT_EQ(draw1000(rejecting, table), want);
  EXPECT_EQ(rejecting.a, expected.a);
  EXPECT_EQ(rejecting.b, expected.b);
}

}  // namespace
}  // namespace mtsim
