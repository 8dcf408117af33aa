#include "sim/channel/estimates.h"
#include "mtsim/estimates_report.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "expected_reports.h"
#include "test_support.h"

namespace mtsim {
namespace {

using testing::MemoryStream;

struct Estimate {
  ChannelTable table;
  std::string console;
  std::string results;
};

Estimate estimate(double AN) {
  MemoryStream console, results, diagnostics;
  Estimate e;
  {
    ReportWriter out(console.file(), results.release(), diagnostics.file());
    const ChannelEstimates estimates = estimate_channel(AN);
    report_estimates(estimates, out);
    e.table = estimates.table;
  }
  e.results = results.text();
  e.console = console.text();
  return e;
}

TEST(EstimateChannelTest, PrintsTheEstimatesForThreeDecibels) {
  const Estimate e = estimate(3.0);
  EXPECT_EQ(e.console, testing::estimates_three_decibels());
  EXPECT_EQ(e.results, "");  // console only
}

TEST(EstimateChannelTest, LevelTables) {
  struct Case {
    double AN;
    std::array<int32_t, 16> cdf;
    int32_t flip_limit;
  };
  const Case cases[] = {
      {2.0,
       {421, 917, 1907, 3785, 7181, 13024, 22591, 37506, 59635, 90890, 132909, 186680, 252179,
        328124, 411943, 1000000},
       37506},
      {3.0,
       {89, 236, 584, 1365, 3009, 6261, 12309, 22878, 40238, 67037, 105920, 158942, 226895, 308746,
        401408, 1000000},
       22878},
      {5.0,
       {1, 5, 21, 80, 272, 834, 2333, 5953, 13885, 29637, 57999, 104298, 172821, 264767, 376624,
        1000000},
       5953},
      {25.0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 834, 1000000}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.AN);
    const Estimate e = estimate(c.AN);
    EXPECT_EQ(e.table.level_cdf, c.cdf);
    EXPECT_EQ(e.table.flip_limit, c.flip_limit);
  }
}

TEST(EstimateChannelTest, EveryLineIsANumberAtEveryNoiseLevel) {
  for (double AN : {2.0, 2.7, 3.0, 4.0, 5.0, 25.0}) {
    SCOPED_TRACE(AN);
    const std::string console = estimate(AN).console;
    EXPECT_EQ(console.find("nan"), std::string::npos);
    EXPECT_EQ(console.find("inf"), std::string::npos);
    // 12 lines before the scan and 22 in it.
    size_t lines = 0;
    for (char c : console) lines += c == '\n' ? 1 : 0;
    EXPECT_EQ(lines, 34u);
  }
}

TEST(EstimateChannelTest, NoiselessChannelPrintsPerfectRates) {
  const std::string console = estimate(25.0).console;
  EXPECT_EQ(console.find("\n  new mpch=0\n channel capacity C8=1.000000"), 0u);
  size_t hard_lines = 0;
  for (size_t at = console.find("M=2 C=1.000000  R1=1.000000"); at != std::string::npos;
       at = console.find("M=2 C=1.000000  R1=1.000000", at + 1)) {
    ++hard_lines;
  }
  EXPECT_EQ(hard_lines, 2u);
  EXPECT_NE(console.find("MPCH test     0     "), std::string::npos);
  size_t scan_rates = 0;
  for (size_t at = console.find("\n  1.000000 -comp rate M=16"); at != std::string::npos;
       at = console.find("\n  1.000000 -comp rate M=16", at + 1)) {
    ++scan_rates;
  }
  EXPECT_EQ(scan_rates, 11u);
}

}  // namespace
}  // namespace mtsim
