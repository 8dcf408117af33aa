#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "sim/source/source.h"
#include "sim/code/encoder.h"
#include "test_support.h"

namespace mtsim {
namespace {

using testing::parameter_text;
using testing::TestRun;

// Runs the start-up, set-up, source and coding phases.
void source_and_code(TestRun& t) {
  t->start_up();
  t->read_parameters();
  t->estimate_channel();
  t->code_setup();
  t->generate_source();
  t->coding_phase();
}

std::vector<int> step_bits(Run& run, int32_t t) {
  std::vector<int> bits;
  for (int k = 5; k >= 0; --k) bits.push_back(run.frame.streams.inf[k][tpos + t]);
  return bits;
}

TEST(SourceTest, RandomModeFirstStepsAndWeights) {
  TestRun t(parameter_text(0, 3, 20000, 3, "3.0", 0));
  source_and_code(t);
  EXPECT_EQ(step_bits(t.run(), 0), (std::vector<int>{1, 0, 1, 0, 0, 1}));
  EXPECT_EQ(t->frame.source.inftot, 120000);
  EXPECT_EQ(t->frame.source.inf_weight, 59885);
  EXPECT_EQ(t->frame.check_weight, 19968);
  const std::pair<int, int> first_checks[4] = {{1, 1}, {0, 0}, {0, 0}, {0, 0}};
  for (int s = 0; s < 4; ++s) {
    EXPECT_EQ(t->frame.streams.chk1[tpos + s], first_checks[s].first) << s;
    EXPECT_EQ(t->frame.streams.chk2[tpos + s], first_checks[s].second) << s;
  }
}

TEST(SourceTest, InformationBitsDoNotDependOnTheNoiseSeed) {
  TestRun a(parameter_text(0, 3, 20000, 3, "3.0", 0));
  TestRun b(parameter_text(-99, 3, 20000, 3, "2.0", 0));
  source_and_code(a);
  source_and_code(b);
  for (int k = 0; k < NUM_INF; ++k) EXPECT_EQ(a->frame.streams.inf[k], b->frame.streams.inf[k]);
  EXPECT_EQ(a->frame.rngB.a, b->frame.rngB.a);
}

TEST(SourceTest, PatternModeRunsAcrossStreamsAndSteps) {
  TestRun t(parameter_text(0, 2, 20000, 3, "3.0", 0));
  source_and_code(t);
  EXPECT_EQ(step_bits(t.run(), 0), (std::vector<int>{1, 1, 0, 1, 0, 1}));
  EXPECT_EQ(step_bits(t.run(), 1), (std::vector<int>{1, 1, 0, 0, 1, 1}));
  EXPECT_EQ(t->frame.source.inf_weight, 62070);
  // Bit n of the run, six per step from inf[5] down, is pattern bit n mod 29 + 1.
  const auto pattern = make_inf_pattern();
  for (int n = 0; n < 600; ++n) {
    EXPECT_EQ(t->frame.streams.inf[5 - n % 6][tpos + n / 6], pattern[n % 29 + 1]) << n;
  }
}

TEST(SourceTest, FixedModesAndTheirCheckWeights) {
  struct Case {
    int infind;
    int32_t inf_weight;
    int32_t check_weight;
  };
  // All ones: each check sums eighteen ones, so only the first 694 steps,
  // which still read prehistory zeros, give 1 bits.
  for (const Case& c : {Case{1, 120000, 769}, Case{0, 0, 0}, Case{-3, 0, 0}, Case{9, 62070, -1}}) {
    SCOPED_TRACE(c.infind);
    TestRun t(parameter_text(0, c.infind, 20000, 3, "3.0", 0));
    source_and_code(t);
    EXPECT_EQ(t->frame.source.inftot, 120000);
    EXPECT_EQ(t->frame.source.inf_weight, c.inf_weight);
    if (c.check_weight >= 0) {
      EXPECT_EQ(t->frame.check_weight, c.check_weight);
    }
    // rngB made one call per information bit whatever the mode.
    Rng a, b;
    seed_generators(a, b, 0);
    for (int i = 0; i < 120000; ++i) b.advance();
    EXPECT_EQ(t->frame.rngB.a, b.a);
  }
  TestRun ones(parameter_text(0, 1, 20000, 3, "3.0", 0));
  source_and_code(ones);
  EXPECT_EQ(ones->frame.streams.chk1[tpos], 1);
  EXPECT_EQ(ones->frame.streams.chk2[tpos], 0);
  for (int32_t t = 694; t < 20000; ++t) {
    ASSERT_EQ(ones->frame.streams.chk1[tpos + t] + ones->frame.streams.chk2[tpos + t], 0) << t;
  }
}

TEST(CodeTest, EveryBitIsInSixChecksAndNoTwoBitsShareTwo) {
  // The checks of bit (k, 0): check 1 at taps[k][0..2], check 2 at 0 and
  // taps[k][3..4].  Two distinct bits (k, 0) and (m, d) share a check when
  // one of k's check positions equals one of m's shifted by d.
  auto checks = [](int k) {
    std::vector<std::pair<int, int>> c;  // (check number, step)
    for (int n = 0; n < 3; ++n) c.emplace_back(1, taps[k][n]);
    c.emplace_back(2, 0);
    c.emplace_back(2, taps[k][3]);
    c.emplace_back(2, taps[k][4]);
    return c;
  };
  for (int k = 0; k < NUM_INF; ++k) {
    const auto mine = checks(k);
    const std::set<std::pair<int, int>> distinct(mine.begin(), mine.end());
    EXPECT_EQ(distinct.size(), 6u) << k;
    for (int m = 0; m < NUM_INF; ++m) {
      for (int d = -MAX_DELAY; d <= MAX_DELAY; ++d) {
        if (m == k && d == 0) continue;
        int shared = 0;
        for (const auto& a : mine) {
          for (const auto& b : checks(m)) shared += a.first == b.first && a.second == b.second + d;
        }
        ASSERT_LE(shared, 1) << "streams " << k << " and " << m << " at shift " << d;
      }
    }
  }
  // sorted_taps holds the same delays in ascending order.
  for (int k = 0; k < NUM_INF; ++k) {
    std::multiset<int> c1{taps[k][0], taps[k][1], taps[k][2]};
    std::multiset<int> c2{0, taps[k][3], taps[k][4]};
    EXPECT_EQ(std::vector<int>(c1.begin(), c1.end()),
              std::vector<int>(sorted_taps[k].begin(), sorted_taps[k].begin() + 3));
    EXPECT_EQ(std::vector<int>(c2.begin(), c2.end()),
              std::vector<int>(sorted_taps[6 + k].begin(), sorted_taps[6 + k].begin() + 3));
  }
}

TEST(EncoderTest, ChecksAreTheParityEquations) {
  TestRun t(parameter_text(5, 3, 30000, 3, "3.0", 0));
  source_and_code(t);
  const Streams& s = t->frame.streams;
  int32_t weight = 0;
  for (int32_t tau = tpos; tau < tpos + 30000; ++tau) {
    int c1 = 0;
    int c2 = 0;
    for (int k = 0; k < NUM_INF; ++k) {
      c1 ^= s.inf[k][tau - taps[k][0]] ^ s.inf[k][tau - taps[k][1]] ^ s.inf[k][tau - taps[k][2]];
      c2 ^= s.inf[k][tau] ^ s.inf[k][tau - taps[k][3]] ^ s.inf[k][tau - taps[k][4]];
    }
    ASSERT_EQ(s.chk1[tau], c1) << tau;
    ASSERT_EQ(s.chk2[tau], c2) << tau;
    weight += c1 + c2;
  }
  EXPECT_EQ(t->frame.check_weight, weight);
  // The prehistory stayed zero and nothing beyond the run was written.
  for (int32_t i = tpos - MAX_DELAY; i < tpos; ++i) {
    for (int k = 0; k < NUM_INF; ++k) ASSERT_EQ(s.inf[k][i], 0);
    ASSERT_EQ(s.chk1[i] + s.chk2[i], 0);
  }
  EXPECT_EQ(s.chk1[tpos + 30000] + s.chk2[tpos + 30000], 0);
}

TEST(CodingPhaseTest, ReportWithChosenClock) {
  // Readings: origin, start time, inf start, coding start, coding end.
  TestRun t(parameter_text(0, 3, 20000, 3, "3.0", 0),
            testing::scripted_clock({0, 2'500'000, 2'600'000, 2'700'123, 2'707'200}));
  source_and_code(t);
  const std::string console = t.console();
  const std::string results = t.results();
  EXPECT_NE(console.find(" \n  start time is       2 s    \n ============================= "
                         " \n    Program finish print   \n  inf start       2600 ms    "
                         " \n  coding start       2700 ms    \n  inf weight=59885 \n  check weight=19968 "
                         " \n  inftot=120000  \n  coding end & noise  gen start  =  2707 ms    "
                         " \n ********* coder speed= 17142000  bits/s   "),
            std::string::npos)
      << console;
  EXPECT_NE(results.find(" \n start time is       2 s    \n ========================== "
                         " \n  Program finish print    \n  inf start   2600 ms    "
                         " \n  coding start   2700 ms     \n  inf weight=59885 \n   check weight=19968 "
                         " \n  inftot=120000  \n coding end & noise  gen start = 2707 ms    "
                         "\n ******** coder speed= 17142000  bits/s  "),
            std::string::npos)
      << results;
}

}  // namespace
}  // namespace mtsim
