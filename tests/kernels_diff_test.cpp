// The generator blocks and the fast source against the plain generators
// and source, bit for bit, on inputs chosen to reach their edges: short and
// ragged runs, unmasked and negative seeds, every source mode and pattern
// position, and a pattern the fast source must refuse.  (The channel's are
// in channel_fast_test.cpp.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>

#include "sim/simd.h"
#include "sim/random/rng_blocks.h"
#include "sim/source/source.h"

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
