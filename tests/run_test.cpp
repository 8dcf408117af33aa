// Whole runs in one process, with a scripted clock.
#include <gtest/gtest.h>

#include "expected_reports.h"
#include "test_support.h"

namespace mtsim {
namespace {

using testing::ExpectedRun;
using testing::parameter_text;
using testing::TestRun;

// Readings in microseconds: origin, start time, inf start, coding start,
// coding end, noise end, D0, D1, D2.
Clock chosen_clock() {
  return testing::scripted_clock({0, 2'500'000, 2'600'000, 2'700'123, 2'707'200, 3'000'000,
                                  3'100'000, 3'449'000, 3'450'000});
}

ExpectedRun random_source_at_three_decibels() {
  ExpectedRun e;
  e.code = "7";
  e.kst = "0";
  e.infind = "3";
  e.ndkdd = "20000";
  e.iterat = "3";
  e.AN = "3.000000";
  e.npacketll = "16";
  e.lim88 = "0";
  e.estimates = testing::estimates_three_decibels();
  e.inf_weight = "59885";
  e.check_weight = "19968";
  e.inftot = "120000";
  e.counts = " 120000 {N} {N} {N} {N} {N}";
  return e;
}

TEST(RunTest, BothStreamsWithAChosenClock) {
  TestRun t(parameter_text(0, 3, 20000, 3, "3.0", 16), chosen_clock());
  EXPECT_EQ(t.execute(), 0);
  ExpectedRun e = random_source_at_three_decibels();
  e.start_s = "2";
  e.inf_start = "2600";
  e.coding_start = "2700";
  e.coding_end = "2707";
  e.coder_speed = "17142000";  // 120,000 bits in 7 ms, truncated before scaling
  e.noise_end = "3000";
  e.d0 = "3100";
  e.d1 = "3449";
  e.work = "350";
  e.decoder_speed = "342000";  // over D2 - D0 = 350 ms, not D1 - D0
  std::string where;
  EXPECT_TRUE(testing::matches_template(t.console(), testing::expected_console(e), &where)) << where;
  EXPECT_TRUE(testing::matches_template(t.results(), testing::expected_results(e), &where)) << where;
  EXPECT_EQ(t.diagnostics(), "");
  // The work time is the results file's alone.
  EXPECT_EQ(t.console().find("work"), std::string::npos);
}

TEST(RunTest, FastPhasesStillPrintTrueSpeeds) {
  // Coding and decoding each within one millisecond of the clock.
  TestRun t(parameter_text(0, 3, 20000, 3, "3.0", 0),
            testing::scripted_clock({0, 10, 20, 1'000'100, 1'000'700, 1'200'000, 1'300'000,
                                     1'300'400, 1'300'500}));
  t.execute();
  EXPECT_NE(t.console().find("coder speed= 200000000  bits/s"), std::string::npos);
  EXPECT_NE(t.results().find("decoder speed= 240000000  bits/s"), std::string::npos);
  EXPECT_NE(t.results().find("time decoding work= 0  ms"), std::string::npos);
}

TEST(RunTest, PacketShowsInTheDecoderInputCountsOnly) {
  TestRun with(parameter_text(9, 3, 20000, 3, "3.0", 200));
  TestRun without(parameter_text(9, 3, 20000, 3, "3.0", 0));
  with.execute();
  without.execute();
  EXPECT_EQ(with->frame.channel_errors.inferr, without->frame.channel_errors.inferr);
  EXPECT_EQ(with->frame.channel_errors.isaerr, without->frame.channel_errors.isaerr);
  EXPECT_EQ(without->frame.decoder.counts[1], without->frame.channel_errors.inferr);
  EXPECT_EQ(without->frame.decoder.counts[2], without->frame.channel_errors.isaerr);
  // 150 random information bits and 50 check bits replaced: about half of
  // them wrong.
  EXPECT_NE(with->frame.decoder.counts[1], with->frame.channel_errors.inferr);
  EXPECT_NE(with->frame.decoder.counts[2], with->frame.channel_errors.isaerr);
}

TEST(RunTest, RunsInOneProcessAreIndependent) {
  TestRun first(parameter_text(3, 3, 25000, 8, "2.5", 40), chosen_clock());
  TestRun other(parameter_text(4, 2, 30000, 5, "2.0", 80), chosen_clock());
  TestRun second(parameter_text(3, 3, 25000, 8, "2.5", 40), chosen_clock());
  first.execute();
  other.execute();
  second.execute();
  EXPECT_EQ(first.console(), second.console());
  EXPECT_EQ(first.results(), second.results());
  EXPECT_NE(first.results(), other.results());
  EXPECT_EQ(first->frame.decoder.counts, second->frame.decoder.counts);
}

}  // namespace
}  // namespace mtsim
