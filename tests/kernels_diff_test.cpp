// The vector kernels against the plain ones, bit for bit, on inputs chosen
// to reach their edges: short and ragged runs, unmasked and negative
// seeds, level tables with ties, and the tables they must refuse.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>

#include "sim/channel/estimates.h"
#include "sim/channel/transmit.h"
#include "sim/simd.h"
#include "sim/random/rng_blocks.h"
#include "sim/source/source.h"
#include "support/state_diff.h"

namespace mtsim {
namespace {

constexpr int32_t kSeeds[] = {0, 1, -1, 77, 2147483647, -2147483647 - 1};

// rngA's windows sit 126 bits apart, rngB's bits 63 apart, in one sequence.
TEST(RngBlocksTest, FollowsBothGeneratorsCallByCall) {
  for (int32_t kst : kSeeds) {
    Rng a, b;
    seed_generators(a, b, kst);
    for (Rng gen : {a, b}) {
      const int64_t call_bits = 21 * gen.cycles;
      RngBlocks blocks(gen);
      int64_t c = 0;
      for (int32_t chunk = 0; chunk < 3; ++chunk) {
        blocks.next_chunk();
        blocks.make(RngBlocks::kBlocks + RngBlocks::kPastEnd / 64);
        for (; c * call_bits < (chunk + 1) * RngBlocks::kChunkBits; ++c) {
          const int64_t bit = c * call_bits - chunk * RngBlocks::kChunkBits;
          uint32_t window;
          std::memcpy(&window, blocks.bytes() + bit / 8, sizeof window);
          ASSERT_EQ((window >> (bit % 8)) & 1023u, gen.a & 1023u) << kst << " call " << c;
          Rng at = gen;
          blocks.state_at(c * call_bits, at);
          ASSERT_EQ(at.a, gen.a & RNG_MASK1);
          ASSERT_EQ(at.b, gen.b);
          gen.advance();
        }
      }
    }
  }
}

// Random sent bits, then the channel both ways from the same seed.
// Returns the path the fast channel took.
KernelPath expect_same_channel(int32_t kst, int32_t ndkdd, const ChannelTable& table,
                               const SwapTable& swap = make_swap_table()) {
  auto ref = std::make_unique<Streams>();
  std::mt19937 bits(static_cast<uint32_t>(kst) + static_cast<uint32_t>(ndkdd));
  for (Stream* s : {&ref->inf[0], &ref->inf[1], &ref->inf[2], &ref->inf[3], &ref->inf[4],
                    &ref->inf[5], &ref->chk1, &ref->chk2}) {
    for (int32_t t = 0; t < ndkdd; ++t) (*s)[tpos + t] = static_cast<int16_t>(bits() & 1u);
  }
  auto fast = std::make_unique<Streams>(*ref);
  Rng a_ref, a_fast, unused;
  seed_generators(a_ref, unused, kst);
  seed_generators(a_fast, unused, kst);
  const ChannelErrors e_ref = transmit_reference(*ref, a_ref, swap, table, ndkdd);
  KernelPath path = KernelPath::kScalar;
  const ChannelErrors e_fast = transmit_fast(*fast, a_fast, swap, table, ndkdd, &path);
  const std::string what = "kst " + std::to_string(kst) + " ndkdd " + std::to_string(ndkdd);
  EXPECT_EQ(e_fast.inferr, e_ref.inferr) << what;
  EXPECT_EQ(e_fast.isaerr, e_ref.isaerr) << what;
  EXPECT_EQ(a_fast.a, a_ref.a) << what;
  EXPECT_EQ(a_fast.b, a_ref.b) << what;
  EXPECT_EQ(testing_support::first_difference(*fast, *ref), "") << what;
  return path;
}

TEST(ChannelDiffTest, RaggedRunsAndEverySeed) {
  if (!cpu_has_avx512gfni()) GTEST_SKIP() << "no AVX-512 GFNI: the fast channel is the reference";
  const ChannelTable table = channel_estimates(2.0).table;
  for (int32_t kst : kSeeds) {
    for (int32_t ndkdd : {1, 31, 32, 33, 1000, 40001}) {
      EXPECT_EQ(path_name(expect_same_channel(kst, ndkdd, table)), path_name(KernelPath::kVector));
    }
  }
}

TEST(ChannelDiffTest, TablesWithTiesAndTablesRefused) {
  // Ties at both ends and at the boundary; u = flip_limit still inverts.
  ChannelTable ties{{0, 0, 5, 5, 900, 900, 22878, 22878, 22878, 67037, 105920, 999999,
                     999999, 999999, 1000000, 1000000},
                    22878};
  expect_same_channel(5, 30000, ties);
  expect_same_channel(6, 30000, channel_estimates(25.0).table);
  // Not non-decreasing, and another swap table: the fast kernel must
  // still give the reference's results.
  ChannelTable unsorted = channel_estimates(3.0).table;
  std::swap(unsorted.level_cdf[3], unsorted.level_cdf[9]);
  expect_same_channel(7, 3000, unsorted);
  SwapTable swap = make_swap_table();
  std::swap(swap[5], swap[1023]);
  expect_same_channel(8, 3000, channel_estimates(3.0).table, swap);
}

// One source mode and length from every pattern position, for two
// generator states (rngB's seed, and an unmasked one).
class SourceDiffTest : public ::testing::TestWithParam<std::tuple<int32_t, int32_t>> {};

TEST_P(SourceDiffTest, AsTheReferenceFromEveryStart) {
  if (!cpu_has_avx512bw()) GTEST_SKIP() << "no AVX-512BW: the fast source is its reference";
  const auto [infind, ndkdd] = GetParam();
  InfPattern odd = make_inf_pattern();
  odd[4] = 2;  // not a bit: the fast kernel must fall back and still match
  const Rng seeds[] = {Rng{451, 7799, RNG_B_CYCLES}, Rng{0xFFFFFFF0u, 12345, RNG_B_CYCLES}};
  auto ref = std::make_unique<Streams>(), fast = std::make_unique<Streams>();
  for (const Rng& seed : seeds) {
    for (int32_t pos : {0, 17, 29, 31}) {
      SCOPED_TRACE("seed a " + std::to_string(seed.a) + ", pattern position " + std::to_string(pos));
      const bool odd_pattern = pos == 17 && ndkdd == 33;
      const bool vector = pos <= PATTERN_LEN && !odd_pattern;
      const InfPattern& pattern = odd_pattern ? odd : make_inf_pattern();
      for (Stream& x : fast->inf) std::fill_n(x.begin() + tpos, ndkdd + 100, int16_t{9});
      Rng b_ref = seed, b_fast = seed;
      SourceState r{pos, 6, 2}, f = r;
      KernelPath path = KernelPath::kScalar;
      generate_bits_reference(*ref, b_ref, pattern, infind, ndkdd, r);
      generate_bits_fast(*fast, b_fast, pattern, infind, ndkdd, f, &path);
      EXPECT_EQ(path_name(path), path_name(vector ? KernelPath::kVector : KernelPath::kScalar));
      EXPECT_EQ(f.inf_weight, r.inf_weight);
      EXPECT_EQ(f.inftot, r.inftot);
      EXPECT_EQ(f.pattern_pos, r.pattern_pos);
      EXPECT_EQ(b_fast.a, b_ref.a);
      EXPECT_EQ(b_fast.b, b_ref.b);
      for (int32_t k = 0; k < NUM_INF; ++k) {
        const auto* want = ref->inf[k].data() + tpos;
        const auto* got = fast->inf[k].data() + tpos;
        const auto at = std::mismatch(got, got + ndkdd, want).first - got;
        EXPECT_EQ(at, ndkdd) << "inf[" << k << "] differs at step " << at;
        EXPECT_EQ(got[ndkdd], 9) << "inf[" << k << "]: written past the run";
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(ModesAndLengths, SourceDiffTest,
                         ::testing::Combine(::testing::Values(-3, 1, 2, 3, 4),
                                            ::testing::Values(1, 5, 32, 33, 341, 342, 683, 20000)));

}  // namespace
}  // namespace mtsim
