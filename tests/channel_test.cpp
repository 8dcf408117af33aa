#include "sim/channel/transmit.h"

#include <gtest/gtest.h>

#include <vector>

#include "test_support.h"

namespace mtsim {
namespace {

using testing::parameter_text;
using testing::TestRun;

ChannelTable three_decibel_table() {
  return ChannelTable{{89, 236, 584, 1365, 3009, 6261, 12309, 22878, 40238, 67037, 105920, 158942,
                       226895, 308746, 401408, 1000000},
                      22878};
}

TEST(ChannelTest, FirstDrawsFromSeedZero) {
  const SwapTable swap = make_swap_table();
  Rng rngA, rngB;
  seed_generators(rngA, rngB, 0);
  std::vector<int32_t> u;
  for (int m = 0; m < 6; ++m) u.push_back(draw_symbol(rngA, swap, 1));
  for (int c = 0; c < 2; ++c) {
    u.push_back(draw_symbol(rngA, swap, 2));
    rngA.advance();
  }
  u.push_back(draw_symbol(rngA, swap, 1));
  EXPECT_EQ(u, (std::vector<int32_t>{841620, 224358, 309578, 161894, 879367, 301478, 791584,
                                     873462, 421621}));
}

TEST(ChannelTest, LevelsAndReliabilitiesAroundTheBoundaries) {
  const ChannelTable table = three_decibel_table();
  EXPECT_EQ(quantizer_level(0, table), 15);
  EXPECT_EQ(quantizer_level(88, table), 15);
  EXPECT_EQ(quantizer_level(89, table), 14);
  EXPECT_EQ(quantizer_level(22877, table), 8);
  EXPECT_EQ(quantizer_level(22878, table), 7);  // u = flip_limit
  EXPECT_EQ(quantizer_level(22879, table), 7);
  EXPECT_EQ(quantizer_level(401407, table), 1);
  EXPECT_EQ(quantizer_level(401408, table), 0);
  EXPECT_EQ(quantizer_level(999999, table), 0);
  // With equal entries, the last k whose entry exceeds u wins.
  const ChannelTable noiseless{{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 834, 1000000}, 0};
  EXPECT_EQ(quantizer_level(0, noiseless), 1);
  EXPECT_EQ(quantizer_level(833, noiseless), 1);
  EXPECT_EQ(quantizer_level(834, noiseless), 0);
}

TEST(ChannelTest, FlipLimitItselfStillInverts) {
  const ChannelTable table = three_decibel_table();
  for (int16_t sent : {0, 1}) {
    const Received at = receive(22878, table, sent);
    EXPECT_EQ(at.hard, 1 - sent);
    EXPECT_EQ(at.inverted, 1);
    EXPECT_EQ(at.reliability, 1);
    const Received above = receive(22879, table, sent);
    EXPECT_EQ(above.hard, sent);
    EXPECT_EQ(above.inverted, 0);
    EXPECT_EQ(above.reliability, 1);
  }
  EXPECT_EQ(receive(0, table, 0).reliability, 15);
  EXPECT_EQ(receive(999999, table, 0).reliability, 15);
  // A noiseless channel inverts only u = 0.
  const ChannelTable noiseless{{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 834, 1000000}, 0};
  EXPECT_EQ(receive(0, noiseless, 1).hard, 0);
  EXPECT_EQ(receive(0, noiseless, 1).reliability, 13);
  EXPECT_EQ(receive(1, noiseless, 1).hard, 1);
}

TEST(ChannelTest, FirstStepTakesItsDrawsInStreamOrder) {
  // u = 841,620, 224,358, 309,578, 161,894, 879,367, 301,478 for inf[5] ...
  // inf[0], then 791,584 and 873,462 for chk2 and chk1: levels 0, 3, 1, 3,
  // 0, 2, 0, 0 in the 3 dB table, none at or below the flip limit.
  TestRun t(parameter_text(0, 3, 20000, 3, "3.0", 0));
  testing::run_through_channel(t.run());
  const Streams& s = t->frame.streams;
  const int16_t want[6] = {11, 15, 9, 13, 9, 15};  // relinf[0 ... 5]
  for (int k = 0; k < NUM_INF; ++k) {
    EXPECT_EQ(s.relinf[k][tpos], want[k]) << k;
    EXPECT_EQ(s.rinf[k][tpos], s.inf[k][tpos]) << k;
  }
  EXPECT_EQ(s.relchk2[tpos], 15);
  EXPECT_EQ(s.relchk1[tpos], 15);
  EXPECT_EQ(s.rchk1[tpos], s.chk1[tpos]);
  EXPECT_EQ(s.rchk2[tpos], s.chk2[tpos]);
}

TEST(ChannelTest, ErrorCountsDependOnTheNoiseNotOnTheSource) {
  auto counts = [](int kst, int infind, int ndkdd, const char* AN) {
    TestRun t(parameter_text(kst, infind, ndkdd, 3, AN, 0));
    testing::run_through_channel(t.run());
    return std::vector<int32_t>{t->frame.channel_errors.inferr, t->frame.channel_errors.isaerr};
  };
  const std::vector<int32_t> base = counts(0, 3, 20000, "3.0");
  EXPECT_EQ(counts(0, 0, 20000, "3.0"), base);
  EXPECT_EQ(counts(0, 1, 20000, "3.0"), base);
  EXPECT_EQ(counts(0, 2, 20000, "3.0"), base);
  EXPECT_NE(counts(1, 3, 20000, "3.0"), base);
  EXPECT_NE(counts(0, 3, 20000, "2.0"), base);
  EXPECT_NE(counts(0, 3, 25000, "3.0"), base);
}

TEST(ChannelTest, PreDecodingReport) {
  TestRun t(parameter_text(0, 3, 20000, 3, "3.0", 0));
  testing::run_through_channel(t.run());
  t->frame.channel_errors.inferr = 2741;
  t->frame.channel_errors.isaerr = 902;
  const size_t console_at = t.console().size();
  const size_t results_at = t.results().size();
  t->report_channel_errors();
  EXPECT_EQ(t.results().substr(results_at),
            " \n inftot=120000  \n  inferr gen=2741     isaerr gen=902 ");
  EXPECT_EQ(t.console().substr(console_at), " \n inftot=120000  \n inferr W=2741    isaerr W=902 ");
}

}  // namespace
}  // namespace mtsim
