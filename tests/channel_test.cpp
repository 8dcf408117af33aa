// The channel's level tables (data/level_tables.txt), and what one draw u
// gives at the edges of the levels and of the hard-error region
// (data/draws.txt).
#include <gtest/gtest.h>

#include "sim/channel/estimates.h"
#include "support/harness.h"

namespace mtsim {
namespace {

using testing_support::numbers;
using testing_support::Row;

class LevelTableTest : public ::testing::TestWithParam<Row> {};

TEST_P(LevelTableTest, AsRecorded) {
  const Row& row = GetParam();
  const ChannelTable table = channel_estimates(std::stod(row.at(0))).table;
  const std::vector<int64_t> cdf(table.level_cdf.begin(), table.level_cdf.end());
  EXPECT_EQ(cdf, numbers(row.at(2)));
  EXPECT_EQ(table.flip_limit, std::stoi(row.at(1)));
}
INSTANTIATE_TABLE(LevelTableTest, "level_tables.txt");

class DrawTest : public ::testing::TestWithParam<Row> {};

TEST_P(DrawTest, AtTheEdgesAsRecorded) {
  const Row& row = GetParam();
  const ChannelTable table = channel_estimates(std::stod(row.at(0))).table;
  const auto sent = static_cast<int16_t>(std::stoi(row.at(2)));
  const Received got = receive(std::stoi(row.at(1)), table, sent);
  EXPECT_EQ(numbers(row.at(3)), std::vector<int64_t>({got.hard, got.reliability, got.inverted}));
}
INSTANTIATE_TABLE(DrawTest, "draws.txt");

}  // namespace
}  // namespace mtsim
