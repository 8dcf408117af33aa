#include "sim/random/rng.h"

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

TEST(RngTest, NegativeSeedsShiftAsThirtyTwoBitWords) {
  // The seed's high bits enter the first cycle through x << 10, which keeps
  // only the low 32 bits; afterwards both words are masked.
  struct Case {
    int32_t kst;
    uint32_t b_after_one_cycle;
  };
  for (const Case& c : {Case{-1, 2139496448u}, Case{-2147483647 - 1, 7986176u}}) {
    Rng rngA, rngB;
    seed_generators(rngA, rngB, c.kst);
    rngA.cycle();
    EXPECT_EQ(rngA.a, 7799u);
    EXPECT_EQ(rngA.b, c.b_after_one_cycle);
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

  // A state whose low ten bits look up 1000 is rejected: the generator
  // advances and the value comes from the new state.
  ASSERT_EQ(table[287], 1000);
  Rng rejecting{287, 7799, RNG_A_CYCLES};
  Rng one_call = rejecting;
  one_call.advance();
  const int32_t v = draw1000(rejecting, table);
  EXPECT_LE(v, 999);
  EXPECT_NE(rejecting.a, 287u);
  EXPECT_EQ(v, table[rejecting.a & DRAW_MASK]);
  if (table[one_call.a & DRAW_MASK] <= 999) {
    EXPECT_EQ(rejecting.a, one_call.a);  // exactly one further call
  }
}

}  // namespace
}  // namespace mtsim
