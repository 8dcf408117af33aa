// The parts of mtsweep that decide numbers: --an parsing, the stop rule
// and the intervals, each on cases worked out by hand.
#include <gtest/gtest.h>

#include <limits>
#include <sstream>

#include "mtsweep/decimal_range.h"
#include "support/harness.h"
#include "sweep/stats/intervals.h"
#include "sweep/stats/tally.h"

namespace mtsweep {
namespace {

using testing_support::Row;

class DecimalRangeTest : public ::testing::TestWithParam<Row> {};

TEST_P(DecimalRangeTest, AsRecorded) {
  const DecimalList got = parse_decimal_list(GetParam().at(0));
  const std::string& expected = GetParam().at(1);
  if (expected.rfind("error: ", 0) == 0) {
    EXPECT_NE(got.error.find(expected.substr(7)), std::string::npos) << got.error;
    EXPECT_TRUE(got.values.empty());
    return;
  }
  EXPECT_EQ(got.error, "");
  // Exactly the doubles that the decimal texts read as, so 2.0 + 3 * 0.1
  // computed in binary (2.3000000000000003) would fail.
  std::istringstream want(expected);
  std::vector<double> values;
  for (std::string v; want >> v;) values.push_back(std::stod(v));
  EXPECT_EQ(got.values, values);
}
INSTANTIATE_TABLE(DecimalRangeTest, "an_ranges.txt");

// Frames whose only count is `e` errors after the last of 3 iterations
// (and, to check the squares, 2 e at the input).
mtsim::FrameCounts frame_with(int32_t e) {
  mtsim::FrameCounts f;
  f.iterat = 3;
  f.table[1] = 2 * e;
  f.table[5] = e;
  return f;
}

struct StopCase {
  std::vector<int32_t> errors;  // per frame, in frame order
  StopRule rule;
  int64_t k;
  PointStop why;
};

class StopRuleTest : public ::testing::TestWithParam<StopCase> {};

TEST_P(StopRuleTest, PointEndsAtTheFirstKFramesInOrder) {
  const StopCase& c = GetParam();
  PointSums sums;
  for (const int32_t e : c.errors) {
    if (point_complete(sums, c.rule, 3)) break;
    // A round never reaches past max_frames and keeps every worker busy.
    const int64_t round = round_size(sums, c.rule, 3, 3);
    EXPECT_TRUE(round % 3 == 0 || sums.frames + round == c.rule.max_frames);
    EXPECT_LE(sums.frames + round, c.rule.max_frames);
    add_frame(sums, frame_with(e), static_cast<int32_t>(sums.frames));
  }
  EXPECT_EQ(sums.frames, c.k);
  EXPECT_EQ(point_stop_name(point_stop(sums, c.rule, 3)), point_stop_name(c.why));
  EXPECT_EQ(sums.table_sq[1], 4.0 * sums.table_sq[5]);
}

const StopCase kStopCases[] = {
    {{0, 50, 0, 30, 40, 90, 90}, {100, 2, 10}, 5, PointStop::kMinErrors},  // 120 >= 100 at frame 5
    {{0, 50, 0, 30, 40, 90, 90}, {100, 6, 10}, 6, PointStop::kMinErrors},  // at 5, but min_frames 6
    {{200, 0, 0, 0}, {100, 2, 10}, 2, PointStop::kMinErrors},  // one burst suffices after min_frames
    {{0, 0, 0, 0, 0, 0, 5}, {100, 2, 4}, 4, PointStop::kMaxFrames},
    {{100, 0}, {100, 2, 10}, 2, PointStop::kMinErrors},  // exactly min_errors
    {{60, 40, 1}, {100, 2, 10}, 2, PointStop::kMinErrors},  // exactly min_errors, not one frame later
    {{0, 0, 0, 100}, {100, 2, 4}, 4, PointStop::kMinErrors},  // both at once: the errors count
    {{60, 40, 1, 0, 1}, {100, 2, 10, 3}, 3, PointStop::kMinErrors},  // a third error frame at 3
    {{150, 0, 0, 0, 0, 9}, {100, 2, 10, 2}, 6, PointStop::kMinErrors},  // exactly 2 error frames
    {{150, 0, 0, 0}, {100, 2, 4, 2}, 4, PointStop::kMaxFrames},  // one burst, and no second
};
INSTANTIATE_TEST_SUITE_P(Cases, StopRuleTest, ::testing::ValuesIn(kStopCases));

// Per-frame counts as the interval sees them, frames of 1,000 bits.
FrameErrors counts(std::initializer_list<int64_t> per_frame) {
  FrameErrors e{static_cast<int64_t>(per_frame.size()), 1000, 0, 0.0, 0.0, 0};
  for (const int64_t x : per_frame) {
    e.errors += x;
    e.errors_sq += static_cast<double>(x * x);
    e.errors_cube += static_cast<double>(x * x * x);
    e.error_frames += x != 0 ? 1 : 0;
  }
  return e;
}

TEST(IntervalTest, SymmetricCountsGiveStudentsIntervalOnHalfTheErrorFrames) {
  // 100, 110, 120, 130: mean 115, no skewness, standard error
  // sqrt(500 / 3 / 4) = 6.45497; 4 error frames, so 1.5 degrees of freedom
  // and t = 6.016663: 115 -+ 38.83739 errors a frame.
  const Rate r = frame_interval(counts({100, 110, 120, 130}));
  EXPECT_EQ(r.bits, 4000);
  EXPECT_EQ(r.error_frames, 4);
  EXPECT_DOUBLE_EQ(r.ber, 0.115);
  EXPECT_NEAR(r.low, 0.07616261, 1e-8);
  EXPECT_NEAR(r.high, 0.15383739, 1e-8);
}

TEST(IntervalTest, SkewedCountsReachFurtherUpAndZerosCountAsNoEvents) {
  const Rate skewed = frame_interval(counts({10, 12, 11, 15, 13, 90, 14, 12, 11, 12}));
  EXPECT_GT(skewed.high - skewed.ber, 1.5 * (skewed.ber - skewed.low));
  // The same errors in fewer error frames: fewer events, a wider interval.
  const Rate spread = frame_interval(counts({20, 21, 20, 19, 20, 20}));
  const Rate bunched = frame_interval(counts({40, 42, 38, 0, 0, 0}));
  EXPECT_DOUBLE_EQ(spread.ber, bunched.ber);
  EXPECT_GT(bunched.high - bunched.low, 10 * (spread.high - spread.low));
  // Equal counts claim no certainty: they vary at least as Poisson counts.
  const Rate equal = frame_interval(counts({20, 20, 20, 20}));
  EXPECT_LT(equal.low, 0.02);
  EXPECT_GT(equal.high, 0.02);
  // One error frame bounds nothing; no error gives -ln(0.05) / bits.
  EXPECT_EQ(frame_interval(counts({0, 0, 7, 0})).high, std::numeric_limits<double>::infinity());
  const Rate none = frame_interval(counts({0, 0, 0, 0, 0}));
  EXPECT_EQ(none.low, 0.0);
  EXPECT_NEAR(none.high, 2.995732 / 5000, 1e-9);
}

TEST(IntervalTest, StudentQuantilesMatchTables) {
  const std::pair<double, double> table[] = {
      {0.5, 164.557674}, {1, 12.706205}, {1.5, 6.016663},    {4.5, 2.658912},
      {9, 2.262157},     {30, 2.042272}, {120, 1.979930},    {1000.5, 1.962338}};
  for (const auto& [df, t] : table) EXPECT_NEAR(t_quantile_95(df), t, 2e-6 * t) << df;
  // Where the expansion takes over from the exact function, the quantile
  // keeps falling by the same steps.
  const double before = t_quantile_95(999) - t_quantile_95(1000);
  EXPECT_NEAR(t_quantile_95(1000) - t_quantile_95(1001), before, 1e-8);
}

TEST(IntervalTest, JudgedBitsFollowTheDecoderDelay) {
  EXPECT_EQ(judged_bits(520000, 0), 3120000);
  EXPECT_EQ(judged_bits(520000, 1), 6 * (520000 - 710));
  EXPECT_EQ(judged_bits(520000, 8), 3086340);
}

}  // namespace
}  // namespace mtsweep
