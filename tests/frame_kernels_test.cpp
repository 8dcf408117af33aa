// The fast kernels against the reference ones, bit for bit: two frames of
// the same settings, one through the reference stages and one through the
// fast ones, must agree after every stage in every buffer, register ring,
// count and generator state.  And where the processor has the vector
// instruction sets, the fast stages must take their vector paths.
#include <gtest/gtest.h>

#include <random>

#include "sim/frame/frame.h"
#include "support/state_diff.h"

namespace mtsim {
namespace {

using testing_support::first_difference;

struct Case {
  int32_t kst;
  FrameConfig config;
};

std::string describe(const Case& c) {
  const FrameConfig& f = c.config;
  return "kst " + std::to_string(c.kst) + " infind " + std::to_string(f.infind) + " ndkdd " +
         std::to_string(f.ndkdd) + " iterat " + std::to_string(f.iterat) + " AN " +
         std::to_string(f.AN) + " npacketll " + std::to_string(f.npacketll);
}

std::string generators(const Rng& a, const Rng& b) {
  return std::to_string(a.a) + "/" + std::to_string(a.b) + " " + std::to_string(b.a) + "/" +
         std::to_string(b.b);
}

class FrameKernelsTest : public ::testing::TestWithParam<Case> {};

TEST_P(FrameKernelsTest, EveryStageAsTheReference) {
  if (!cpu_has_avx512bw()) GTEST_SKIP() << "no AVX-512BW: every fast kernel runs its reference";
  const Case& c = GetParam();
  SCOPED_TRACE(describe(c));
  const ChannelTable table = channel_estimates(c.config.AN).table;
  const auto ref = make_frame_state(), fast = make_frame_state();
  start_frame(*ref, c.kst);
  start_frame(*fast, c.kst);

  run_source(*ref, c.config, Kernels::kReference);
  run_source(*fast, c.config, Kernels::kFast);
  EXPECT_EQ(first_difference(fast->streams, ref->streams), "") << "source";
  EXPECT_EQ(fast->source.inf_weight, ref->source.inf_weight);
  EXPECT_EQ(fast->source.pattern_pos, ref->source.pattern_pos);
  EXPECT_EQ(generators(fast->rngA, fast->rngB), generators(ref->rngA, ref->rngB)) << "source";

  run_encoder(*ref, c.config, Kernels::kReference);
  run_encoder(*fast, c.config, Kernels::kFast);
  EXPECT_EQ(first_difference(fast->streams, ref->streams), "") << "encoder";
  EXPECT_EQ(fast->check_weight, ref->check_weight);

  run_channel(*ref, table, c.config, Kernels::kReference);
  run_channel(*fast, table, c.config, Kernels::kFast);
  EXPECT_EQ(first_difference(fast->streams, ref->streams), "") << "channel";
  EXPECT_EQ(fast->channel_errors.inferr, ref->channel_errors.inferr);
  EXPECT_EQ(fast->channel_errors.isaerr, ref->channel_errors.isaerr);
  EXPECT_EQ(generators(fast->rngA, fast->rngB), generators(ref->rngA, ref->rngB)) << "channel";

  run_preparation(*ref, c.config);
  run_preparation(*fast, c.config);
  run_decoder(*ref, c.config, Kernels::kReference);
  run_decoder(*fast, c.config, Kernels::kFast);
  EXPECT_EQ(first_difference(fast->decoder, ref->decoder), "") << "decoder";

  // What was compared: the vector paths, but for the channel's without GFNI.
  const KernelPaths& p = fast->paths;
  EXPECT_EQ(path_name(p.source), path_name(KernelPath::kVector));
  EXPECT_EQ(path_name(p.encoder), path_name(KernelPath::kVector));
  EXPECT_EQ(path_name(p.decoder), path_name(KernelPath::kVector));
  if (!cpu_has_avx512gfni()) {
    std::printf("[ note     ] no AVX-512 GFNI: the channel compared its reference with itself\n");
  } else {
    EXPECT_EQ(path_name(p.channel), path_name(KernelPath::kVector));
  }
}

// Draws exactly at the channel's edges: u = flip_limit (kst 3 at AN 2.0,
// step 40), which inverts; u = 391,999 and 57,999, level_cdf entries at the
// end of a range of 1,000 u.  ndkdd that ends a vector of 32 steps early,
// late, and at its last step.  Every other source mode; most iterations and
// flips; the longest frame.
const Case kCases[] = {
    {3, {3, 20000, 3, 2.0, 0}},      {5, {3, 20000, 3, 3.81, 0}},
    {10, {3, 20000, 3, 5.0, 0}},     {-1, {3, 20001, 15, 3.0, 200}},
    {123456789, {3, 33333, 8, 4.0, 16}}, {-2000000000, {3, 20031, 5, 2.5, 8}},
    {7, {0, 20000, 15, 25.0, 200}},  {0, {2, 20000, 15, 2.0, 200}},
    {1, {1, 50000, 8, 2.5, 0}},      {-3, {-1, 20000, 4, 3.0, 16}},
    {0, {3, 520000, 8, 3.0, 0}},
};
INSTANTIATE_TEST_SUITE_P(Chosen, FrameKernelsTest, ::testing::ValuesIn(kCases));

std::vector<Case> random_cases() {
  std::mt19937 gen(20261206);
  const double levels[] = {2.0, 2.0, 2.5, 3.0, 3.5, 4.0, 5.0};
  std::vector<Case> cases;
  for (int32_t i = 0; i < 8; ++i) {
    const auto kst = static_cast<int32_t>(gen());
    const auto infind = static_cast<int32_t>(gen() % 5) - 1;
    const auto ndkdd = MIN_NDKDD + static_cast<int32_t>(gen() % 20000);
    const auto iterat = MIN_ITERAT + static_cast<int32_t>(gen() % 13);
    const double AN = levels[gen() % 7];
    cases.push_back({kst, {infind, ndkdd, iterat, AN, static_cast<int32_t>(gen() % 201)}});
  }
  return cases;
}
INSTANTIATE_TEST_SUITE_P(Random, FrameKernelsTest, ::testing::ValuesIn(random_cases()));

// A vector path that silently stops being taken (a dispatch condition gone
// wrong) would leave every differential test passing.
TEST(KernelPathsTest, VectorPathsAreTakenWhereTheProcessorHasThem) {
  Simulator sim(FrameConfig{3, MIN_NDKDD, 8, 3.0, 0});
  sim.run(0);
  const KernelPath bw = cpu_has_avx512bw() ? KernelPath::kVector : KernelPath::kScalar;
  const KernelPath gfni = cpu_has_avx512gfni() ? KernelPath::kVector : KernelPath::kScalar;
  EXPECT_EQ(path_name(sim.paths().source), path_name(bw));
  EXPECT_EQ(path_name(sim.paths().encoder), path_name(bw));
  EXPECT_EQ(path_name(sim.paths().decoder), path_name(bw));
  EXPECT_EQ(path_name(sim.paths().channel), path_name(gfni));
  std::printf("[ paths    ] source %s, encoder %s, channel %s, decoder %s\n",
              path_name(sim.paths().source), path_name(sim.paths().encoder),
              path_name(sim.paths().channel), path_name(sim.paths().decoder));
}

}  // namespace
}  // namespace mtsim
