// The parts of mtsweep that decide numbers: --an parsing, the stop rule
// and the intervals, each on cases worked out by hand.
#include <gtest/gtest.h>

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
    add_frame(sums, frame_with(e));
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
};
INSTANTIATE_TEST_SUITE_P(Cases, StopRuleTest, ::testing::ValuesIn(kStopCases));

TEST(IntervalTest, RatioEstimatorWithTQuantile) {
  // Errors 10, 30, 20, 40 in four frames of 1,000 bits: mean 25, sample
  // variance 500 / 3, standard error sqrt(500 / 3 / 4) = 6.45497, t(3) =
  // 3.182446, so 0.025 -+ 0.0205426.
  const Rate r = frame_interval(4, 1000, 100, 100.0 + 900 + 400 + 1600);
  EXPECT_EQ(r.bits, 4000);
  EXPECT_DOUBLE_EQ(r.ber, 0.025);
  EXPECT_NEAR(r.low, 0.0044574, 1e-7);
  EXPECT_NEAR(r.high, 0.0455426, 1e-7);
  // One burst of 60 in ten frames: the lower end is cut at 0.
  const Rate burst = frame_interval(10, 1000, 60, 3600.0);
  EXPECT_EQ(burst.low, 0.0);
  EXPECT_NEAR(burst.high, 0.006 + 2.262157 * std::sqrt((3600.0 - 360.0) / 9 / 10) / 1000, 1e-8);
  // No errors: -ln(0.05) / bits.
  const Rate none = frame_interval(5, 1000, 0, 0.0);
  EXPECT_EQ(none.low, 0.0);
  EXPECT_NEAR(none.high, 2.995732 / 5000, 1e-9);
}

TEST(IntervalTest, StudentQuantilesMatchTables) {
  const std::pair<int64_t, double> table[] = {{1, 12.7062},     {2, 4.3027},  {3, 3.1824},
                                              {9, 2.2622},      {30, 2.0423}, {120, 1.9799},
                                              {1000000, 1.9600}};
  for (const auto& [df, t] : table) EXPECT_NEAR(t_quantile_95(df), t, 1e-4) << df;
  // Where the expansion takes over from the exact series, the quantile
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
