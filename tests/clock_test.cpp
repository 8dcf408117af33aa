// The clock's readings, and the speeds computed from two of them
// (data/speeds.txt).
#include "mtsim/clock.h"

#include <gtest/gtest.h>

#include "support/harness.h"

namespace mtsim {
namespace {

using testing_support::Row;

class SpeedTest : public ::testing::TestWithParam<Row> {};

TEST_P(SpeedTest, BitsPerSecondAsRecorded) {
  const Row& row = GetParam();
  const int64_t from = std::stoll(row.at(1)), to = std::stoll(row.at(2));
  const ClockReading start{static_cast<int32_t>(from / 1000), from},
      end{static_cast<int32_t>(to / 1000), to};
  EXPECT_EQ(bits_per_second(std::stoll(row.at(0)), start, end), std::stol(row.at(3)));
}
INSTANTIATE_TABLE(SpeedTest, "speeds.txt");

TEST(ClockTest, ReadsElapsedTimeFromItsStart) {
  int64_t now = 1'000'000'123;
  const Clock clock([&now] { return now; });
  EXPECT_EQ(clock.read().ms, 0);
  now += 2'345'678;
  EXPECT_EQ(clock.read().ms, 2345);
  EXPECT_EQ(clock.read().us, 2345678);
}

}  // namespace
}  // namespace mtsim
