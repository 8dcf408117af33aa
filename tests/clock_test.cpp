#include "mtsim/clock.h"

#include <gtest/gtest.h>

namespace mtsim {
namespace {

ClockReading at_us(int64_t us) { return ClockReading{static_cast<int32_t>(us / 1000), us}; }

TEST(SpeedTest, DividesBeforeScaling) {
  EXPECT_EQ(bits_per_second(120000, at_us(0), at_us(350000)), 342000);
  EXPECT_EQ(bits_per_second(120000, at_us(1000), at_us(8000)), 17142000);
}

TEST(SpeedTest, OneMillisecondNeedsSixtyFourBits) {
  // 6 * 520,000 bits in 1 ms: 3,120,000,000 bits/s, beyond 2^31.
  EXPECT_EQ(bits_per_second(3120000, at_us(5000), at_us(6000)), 3120000000L);
}

TEST(SpeedTest, UnderOneMillisecondUsesMicroseconds) {
  // 120,000 bits in 700 us: 171,428,571 bits/s, shown as a multiple of 1000.
  EXPECT_EQ(bits_per_second(120000, at_us(2100), at_us(2800)), 171428000);
  // Readings in the same millisecond but with a microsecond interval.
  EXPECT_EQ(bits_per_second(120000, at_us(3001), at_us(3999)), 120240000);
  EXPECT_EQ(bits_per_second(120000, at_us(3000), at_us(3000)), 0);
}

TEST(ClockTest, ReadsElapsedTimeFromItsStart) {
  int64_t now = 1'000'000'123;
  Clock clock([&now] { return now; });
  EXPECT_EQ(clock.read().ms, 0);
  now += 2'345'678;
  const ClockReading r = clock.read();
  EXPECT_EQ(r.ms, 2345);
  EXPECT_EQ(r.us, 2345678);
}

}  // namespace
}  // namespace mtsim
