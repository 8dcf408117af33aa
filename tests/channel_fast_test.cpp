// The fast channel against the reference, bit for bit: every buffer, both
// counts and rngA's final state, over seeds, noise levels and frame
// lengths chosen for the edges of its chunks and groups; the tables it
// must refuse; and its window pass against rngA, call by call.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "sim/channel/channel_windows.h"
#include "sim/channel/estimates.h"
#include "sim/channel/transmit.h"
#include "support/state_diff.h"

namespace mtsim {
namespace {

constexpr int32_t kMax = 2147483647, kMin = -kMax - 1;
constexpr const char* kNoGfni = "no AVX-512 GFNI: the fast channel runs the reference";

Rng rng_a(int32_t kst) {
  Rng a, unused;
  seed_generators(a, unused, kst);
  return a;
}

// --- The window pass: every call's window and the rejected calls, over
// chunks and the state advance between them. ---

struct WindowCase {
  const char* name;
  Rng start;
};

void PrintTo(const WindowCase& c, std::ostream* os) { *os << c.name; }

class ChannelWindowsTest : public ::testing::TestWithParam<WindowCase> {};

TEST_P(ChannelWindowsTest, EveryCallAsTheGenerator) {
  if (!cpu_has_avx512gfni()) GTEST_SKIP() << kNoGfni;
  Rng gen = GetParam().start;
  ChannelWindows windows(gen);
  const SwapTable swap = make_swap_table();
  alignas(64) uint16_t got[ChannelWindows::kCalls];
  alignas(64) uint16_t rejected[ChannelWindows::kCalls + 32];
  for (int32_t chunk = 0; chunk < 4; ++chunk) {
    if (chunk > 0) windows.next_chunk();
    const int32_t n = windows.make(got, rejected);
    std::vector<uint16_t> want_rejected;
    for (int32_t c = 0; c < ChannelWindows::kCalls; ++c, gen.advance()) {
      const int32_t want = swap[gen.a & DRAW_MASK];
      ASSERT_EQ(got[c], want) << "chunk " << chunk << " call " << c;
      if (want > 999) want_rejected.push_back(static_cast<uint16_t>(c));
      if (c == 0 || c == 1 || c == 27 || c == ChannelWindows::kCalls - 1) {
        Rng at{0, 0, RNG_A_CYCLES};
        windows.state_at(c, at);
        ASSERT_EQ(at.a, gen.a & RNG_MASK1) << "chunk " << chunk << " call " << c;
        ASSERT_EQ(at.b, gen.b) << "chunk " << chunk << " call " << c;
      }
    }
    ASSERT_EQ(std::vector<uint16_t>(rejected, rejected + n), want_rejected) << "chunk " << chunk;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Seeds, ChannelWindowsTest,
    ::testing::Values(WindowCase{"Seed0", rng_a(0)}, WindowCase{"Seed1", rng_a(1)},
                      WindowCase{"SeedMinus1", rng_a(-1)}, WindowCase{"SeedMax", rng_a(kMax)},
                      WindowCase{"SeedMin", rng_a(kMin)}, WindowCase{"Seed987654321", rng_a(987654321)},
                      WindowCase{"HighBitsInAAndTopB", Rng{0xFFFFFFF0u, RNG_MASK2, RNG_A_CYCLES}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Whole channel runs against the reference. ---

struct Outcome {
  std::unique_ptr<Streams> streams;
  ChannelErrors errors;
  Rng rngA;
  KernelPath path = KernelPath::kScalar;
};

// Random sent bits; the outputs preset to 7, no value the channel writes,
// so that a write past the frame shows.
std::unique_ptr<Streams> sent_streams(int32_t ndkdd) {
  auto s = std::make_unique<Streams>();
  std::mt19937 bits(static_cast<uint32_t>(ndkdd));
  for (Stream* x : {&s->inf[0], &s->inf[1], &s->inf[2], &s->inf[3], &s->inf[4], &s->inf[5], &s->chk1, &s->chk2}) {
    for (int32_t t = 0; t < ndkdd; ++t) (*x)[tpos + t] = static_cast<int16_t>(bits() & 1u);
  }
  for (Stream* x : {&s->rinf[0], &s->rinf[1], &s->rinf[2], &s->rinf[3], &s->rinf[4], &s->rinf[5], &s->rchk1,
                    &s->rchk2, &s->relinf[0], &s->relinf[1], &s->relinf[2], &s->relinf[3], &s->relinf[4],
                    &s->relinf[5], &s->relchk1, &s->relchk2}) {
    std::fill(x->begin(), x->end(), int16_t{7});
  }
  return s;
}

// The reference's and the fast kernel's runs on the same input.
std::pair<Outcome, Outcome> both_ways(const Rng& start, const SwapTable& swap, const ChannelTable& table,
                                      int32_t ndkdd) {
  Outcome ref{sent_streams(ndkdd), {}, start};
  Outcome fast{std::make_unique<Streams>(*ref.streams), {}, start};
  ref.errors = transmit_reference(*ref.streams, ref.rngA, swap, table, ndkdd);
  fast.errors = transmit_fast(*fast.streams, fast.rngA, swap, table, ndkdd, &fast.path);
  return {std::move(ref), std::move(fast)};
}

// Both counts, rngA's final state, and every buffer: the first that
// differs is named with its first differing entry.
void expect_same(const Outcome& fast, const Outcome& ref) {
  EXPECT_EQ(fast.errors.inferr, ref.errors.inferr);
  EXPECT_EQ(fast.errors.isaerr, ref.errors.isaerr);
  EXPECT_EQ(fast.rngA.a, ref.rngA.a);
  EXPECT_EQ(fast.rngA.b, ref.rngA.b);
  EXPECT_EQ(testing_support::first_difference(*fast.streams, *ref.streams), "");
}

struct FrameCase {
  std::string name;
  int32_t kst;
  double an;
  int32_t ndkdd;
};

void PrintTo(const FrameCase& c, std::ostream* os) { *os << c.name; }

class ChannelFastTest : public ::testing::TestWithParam<FrameCase> {};

TEST_P(ChannelFastTest, AsTheReference) {
  if (!cpu_has_avx512gfni()) GTEST_SKIP() << kNoGfni;
  const FrameCase& c = GetParam();
  const auto [ref, fast] = both_ways(rng_a(c.kst), make_swap_table(), channel_estimates(c.an).table, c.ndkdd);
  ASSERT_EQ(fast.path, KernelPath::kVector);
  expect_same(fast, ref);
}

// Lengths: within a group of 32 steps, at its edges, a whole number of
// groups, several chunks with a ragged end, and the longest frame.
std::vector<FrameCase> frame_cases() {
  std::vector<FrameCase> cases = {
      {"Seed0_AN2_1Step", 0, 2.0, 1},
      {"Seed1_AN2_5_2Steps", 1, 2.5, 2},
      {"SeedMinus1_AN3_31Steps", -1, 3.0, 31},
      {"SeedMax_AN3_5_32Steps", kMax, 3.5, 32},
      {"SeedMin_AN4_33Steps", kMin, 4.0, 33},
      {"Seed77_AN5_1000Steps", 77, 5.0, 1000},
      {"Seed0_AN25_20000Steps", 0, 25.0, 20000},
      {"SeedMinus1_AN2_40001Steps", -1, 2.0, 40001},
      {"SeedMax_AN2_5_40001Steps", kMax, 2.5, 40001},
      {"SeedMin_AN3_20000Steps", kMin, 3.0, 20000},
      {"Seed1_AN3_5_1000Steps", 1, 3.5, 1000},
      {"Seed0_AN3_520000Steps", 0, 3.0, 520000},
  };
  std::mt19937 seeds(20261209);
  const double levels[] = {2.0, 3.0, 4.0, 5.0};
  const int32_t lengths[] = {20000, 40001, 33, 1000};
  for (int32_t i = 0; i < 4; ++i) {
    const auto kst = static_cast<int32_t>(seeds());
    cases.push_back({"Random" + std::to_string(i) + "_AN" + std::to_string(static_cast<int>(levels[i])) + "_" +
                         std::to_string(lengths[i]) + "Steps",
                     kst, levels[i], lengths[i]});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Frames, ChannelFastTest, ::testing::ValuesIn(frame_cases()),
                         [](const auto& info) { return info.param.name; });

// --- Tables: ties, which the vector path takes, and what it refuses. ---

struct TableCase {
  const char* name;
  Rng start;
  ChannelTable table;
  SwapTable swap;
  int32_t ndkdd;
  KernelPath path;
};

void PrintTo(const TableCase& c, std::ostream* os) { *os << c.name; }

class ChannelTablesTest : public ::testing::TestWithParam<TableCase> {};

TEST_P(ChannelTablesTest, AsTheReferenceOnTheExpectedPath) {
  const TableCase& c = GetParam();
  if (c.path == KernelPath::kVector && !cpu_has_avx512gfni()) GTEST_SKIP() << kNoGfni;
  const auto [ref, fast] = both_ways(c.start, c.swap, c.table, c.ndkdd);
  ASSERT_EQ(fast.path, c.path) << path_name(fast.path);
  expect_same(fast, ref);
}

std::vector<TableCase> table_cases() {
  const ChannelTable an3 = channel_estimates(3.0).table;
  // Ties at both ends and at the boundary; u = flip_limit still inverts.
  const ChannelTable ties{{0, 0, 5, 5, 900, 900, 22878, 22878, 22878, 67037, 105920, 999999, 999999, 999999,
                           1000000, 1000000},
                          22878};
  ChannelTable unsorted = an3;
  std::swap(unsorted.level_cdf[3], unsorted.level_cdf[9]);
  ChannelTable negative = ties;
  negative.level_cdf[0] = -1;
  SwapTable other_swap = make_swap_table();
  std::swap(other_swap[5], other_swap[1023]);
  const SwapTable swap = make_swap_table();
  const Rng a5 = rng_a(5);
  return {
      {"TiesAtEveryEdge", a5, ties, swap, 30000, KernelPath::kVector},
      {"UnsortedLevels", a5, unsorted, swap, 3000, KernelPath::kScalar},
      {"NegativeEntry", a5, negative, swap, 3000, KernelPath::kScalar},
      {"OtherSwapTable", a5, an3, other_swap, 3000, KernelPath::kScalar},
      {"RngBCycles", Rng{5, 7799, RNG_B_CYCLES}, an3, swap, 3000, KernelPath::kScalar},
      {"BAboveItsMask", Rng{5, RNG_MASK2 + 1u, RNG_A_CYCLES}, an3, swap, 3000, KernelPath::kScalar},
      {"NoSteps", a5, an3, swap, 0, KernelPath::kScalar},
  };
}

INSTANTIATE_TEST_SUITE_P(Tables, ChannelTablesTest, ::testing::ValuesIn(table_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mtsim
