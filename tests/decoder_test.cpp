#include "sim/decoder/decoder.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "sim/decoder/prepare.h"
#include "test_support.h"

namespace mtsim {
namespace {

using testing::parameter_text;
using testing::TestRun;

// A run through the channel and the decoder preparation.
std::unique_ptr<TestRun> prepared(int kst, int infind, int ndkdd, int iterat, const char* AN,
                                  int npacketll) {
  auto t = std::make_unique<TestRun>(parameter_text(kst, infind, ndkdd, iterat, AN, npacketll));
  testing::run_through_channel(t->run());
  (*t)->prepare_decoder();
  return t;
}

// Makes every received symbol right, with reliabilities from a fixed
// sequence of odd values.
void receive_without_errors(Streams& s) {
  uint32_t x = 12345;
  auto odd = [&x] {
    x = x * 1103515245u + 12345u;
    return static_cast<int16_t>(2 * ((x >> 16) % 8) + 1);
  };
  for (int32_t i = tpos; i < STREAM_LEN - 10000; ++i) {
    for (int k = 0; k < NUM_INF; ++k) {
      s.rinf[k][i] = s.inf[k][i];
      s.relinf[k][i] = odd();
    }
    s.rchk1[i] = s.chk1[i];
    s.rchk2[i] = s.chk2[i];
    s.relchk1[i] = odd();
    s.relchk2[i] = odd();
  }
}

int32_t ring(int32_t stream_index) { return stream_index & (DEC_RING - 1); }

TEST(DecoderTest, ErrorFreeReceptionNeverFlips) {
  auto t = prepared(0, 3, 40000, 15, "3.0", 0);
  mtsim::Run& run = t->run();
  receive_without_errors(run.frame.streams);
  prepare_registers(run.frame.decoder);
  run.decode_all();
  const DecoderState& d = run.frame.decoder;
  EXPECT_EQ(d.counts[0], 240000);
  for (int i = 1; i < NUM_COUNTS; ++i) EXPECT_EQ(d.counts[i], 0) << i;
  for (int32_t r = d.rcv_pos - 30000; r <= d.rcv_pos; ++r) {
    for (int k = 0; k < NUM_INF; ++k) {
      ASSERT_EQ(d.dec[k][ring(r)], run.frame.streams.rinf[k][r]);
      ASSERT_EQ(d.dif[k][ring(r)], -2 * run.frame.streams.relinf[k][r]);
    }
    ASSERT_LT(d.syn1[ring(r)], 0);
    ASSERT_LT(d.syn2[ring(r)], 0);
  }
  EXPECT_EQ(d.rcv_pos, tpos - 1 + 40000);
  EXPECT_EQ(d.dec_pos, d.rcv_pos & d.dec_mask);
}

// One information bit received wrong, all else right: its six checks fail.
// With own reliability w and check reliabilities summing to W, the metric
// is W - 3w in iteration 0 (threshold 29) and W - 5w in iterations 1 to 4
// (thresholds 15, 8, 4, 2); a metric equal to the threshold does not flip.
struct SingleError {
  int stream;
  int own;                   // w
  std::vector<int> checks;   // relchk1 at the three check-1 cells, then relchk2
  std::vector<int> left;     // counts[3 ...] for five iterations
};

TEST(DecoderTest, SingleErrorIsFlippedExactlyAboveTheThreshold) {
  const SingleError cases[] = {
      {2, 3, {15, 15, 1, 1, 3, 3}, {1, 0, 0, 0, 0}},   // 38 - 9 = 29 kept; 38 - 15 = 23 > 15
      {2, 3, {15, 15, 1, 3, 3, 3}, {0, 0, 0, 0, 0}},   // 40 - 9 = 31 > 29
      {5, 1, {15, 15, 1, 1, 1, 1}, {0, 0, 0, 0, 0}},   // 34 - 3 = 31 > 29
      {1, 1, {15, 1, 1, 1, 1, 1}, {1, 1, 0, 0, 0}},    // 20 - 5 = 15 kept; 15 > 8
      {0, 7, {15, 15, 15, 1, 1, 1}, {1, 1, 0, 0, 0}},  // 27, then 13 <= 15, then 13 > 8
      {3, 9, {1, 1, 1, 1, 1, 1}, {1, 1, 1, 1, 1}},     // never: 6 - 45 < 2
  };
  for (const SingleError& c : cases) {
    SCOPED_TRACE(::testing::Message() << "stream " << c.stream << " w " << c.own);
    auto t = prepared(0, 0, 20000, 5, "3.0", 0);
    Streams& s = t->run().frame.streams;
    for (int32_t i = tpos; i < STREAM_LEN - 10000; ++i) {
      for (int k = 0; k < NUM_INF; ++k) {
        s.rinf[k][i] = 0;
        s.relinf[k][i] = 15;
      }
      s.rchk1[i] = s.rchk2[i] = 0;
      s.relchk1[i] = s.relchk2[i] = 15;
    }
    const int k = c.stream;
    const int32_t at = tpos + 5000;
    s.rinf[k][at] = 1;
    s.relinf[k][at] = static_cast<int16_t>(c.own);
    for (int n = 0; n < 3; ++n) {
      s.relchk1[at + taps[k][n]] = static_cast<int16_t>(c.checks[n]);
    }
    s.relchk2[at] = static_cast<int16_t>(c.checks[3]);
    s.relchk2[at + taps[k][3]] = static_cast<int16_t>(c.checks[4]);
    s.relchk2[at + taps[k][4]] = static_cast<int16_t>(c.checks[5]);
    DecoderState& d = t->run().frame.decoder;
    prepare_registers(d);
    decode_reference(d, s, 20000, 5);
    EXPECT_EQ(d.counts[1], 1);
    EXPECT_EQ(d.counts[2], 0);
    EXPECT_EQ(std::vector<int>(d.counts.begin() + 3, d.counts.begin() + 8), c.left);
  }
}

TEST(DecoderTest, FlippingTwiceRestoresEveryRegister) {
  auto t = prepared(11, 3, 20000, 8, "2.0", 0);
  DecoderState& d = t->run().frame.decoder;
  for (int i = 0; i < 15000; ++i) decode_step(d, t->run().frame.streams, 8);
  auto before = std::make_unique<DecoderState>(d);
  const int32_t p = ring(d.rcv_pos - 3000);
  for (int k = 0; k < NUM_INF; ++k) {
    const int16_t sum_before = d.sum[k][p];
    flip(d, k, p);
    EXPECT_EQ(d.sum[k][p], -sum_before);  // its metric is negated too
    EXPECT_NE(d.dec[k][p], before->dec[k][p]);
    flip(d, k, p);
  }
  EXPECT_EQ(d.dec, before->dec);
  EXPECT_EQ(d.dif, before->dif);
  EXPECT_EQ(d.sum, before->sum);
  EXPECT_EQ(d.syn1, before->syn1);
  EXPECT_EQ(d.syn2, before->syn2);
}

// Recomputes every complete sum from the syndrome and difference registers.
void expect_sum_invariant(const DecoderState& d) {
  for (int32_t r = d.rcv_pos - 30000; r <= d.rcv_pos - MAX_DELAY; ++r) {
    if (r < tpos) continue;
    const int32_t p = ring(r);
    for (int k = 0; k < NUM_INF; ++k) {
      int32_t want = d.dif[k][p] + d.syn2[p] + d.syn2[ring(r + taps[k][3])] +
                     d.syn2[ring(r + taps[k][4])];
      for (int n = 0; n < 3; ++n) want += d.syn1[ring(r + taps[k][n])];
      ASSERT_EQ(2 * d.sum[k][p], want) << "stream " << k << " at " << r;
    }
  }
}

TEST(DecoderTest, SumsStayConsistentOnANoisyChannel) {
  auto t = prepared(5, 3, 60000, 15, "2.0", 200);
  DecoderState& d = t->run().frame.decoder;
  const Streams& s = t->run().frame.streams;
  int checked = 0;
  for (int i = 0; i < 50000; ++i) {
    decode_step(d, s, 15);
    if (i == 1500 || i == 12000 || i == 12001 || i == 33000 || i == 49999) {
      expect_sum_invariant(d);
      ++checked;
    }
  }
  EXPECT_EQ(checked, 5);
  // The channel made many errors and the first iterations removed some.
  EXPECT_GT(d.counts[1], 10000);
  EXPECT_LT(d.counts[4], d.counts[3]);
  EXPECT_LT(d.counts[3], d.counts[1]);
}

TEST(DecoderTest, PreStartPositionsNeverFlip) {
  // Before the ring wraps (12,768 steps) the pre-start entries still hold
  // the pre-start positions.
  auto t = prepared(2, 3, 20000, 15, "2.0", 200);
  DecoderState& d = t->run().frame.decoder;
  for (int i = 0; i < 12700; ++i) decode_step(d, t->run().frame.streams, 15);
  for (int32_t p = 0; p < tpos; ++p) {
    for (int k = 0; k < NUM_INF; ++k) {
      ASSERT_EQ(d.dec[k][p], 0);
      ASSERT_EQ(d.dif[k][p], 0);
      ASSERT_LE(d.sum[k][p], -109);
    }
  }
}

TEST(DecoderTest, CountsCoverTheRunAndNothingPastTheLastIteration) {
  for (int iterat : {3, 8}) {
    auto t = prepared(0, 3, 20000, iterat, "3.0", 0);
    t->run().decode_all();
    const DecoderState& d = t->run().frame.decoder;
    EXPECT_EQ(d.counts[0], 120000);
    EXPECT_EQ(d.counts[1], t->run().frame.channel_errors.inferr);  // no packet
    EXPECT_EQ(d.counts[2], t->run().frame.channel_errors.isaerr);
    for (int i = 3 + iterat; i < NUM_COUNTS; ++i) EXPECT_EQ(d.counts[i], 0);
  }
}

TEST(DecoderTest, ReusedStateDecodesLikeAFreshOne) {
  // 30,000 steps wrap the ring, so the first decoding overwrites the
  // pre-start entries; preparing again must restore them.
  auto t = prepared(4, 3, 30000, 6, "2.5", 0);
  mtsim::Run& run = t->run();
  run.decode_all();
  auto first = std::make_unique<DecoderState>(run.frame.decoder);
  prepare_registers(run.frame.decoder);
  run.decode_all();
  EXPECT_EQ(run.frame.decoder.counts, first->counts);
  EXPECT_EQ(run.frame.decoder.dec, first->dec);
  EXPECT_EQ(run.frame.decoder.dif, first->dif);
  EXPECT_EQ(run.frame.decoder.sum, first->sum);
  EXPECT_EQ(run.frame.decoder.syn1, first->syn1);
  EXPECT_EQ(run.frame.decoder.syn2, first->syn2);
  EXPECT_EQ(first->counts[0], 180000);
}

TEST(ErrorPacketTest, BitsAndPlaces) {
  auto bits_at = [](int npacketll) {
    TestRun t(parameter_text(0, 3, 20000, 3, "3.0", npacketll));
    testing::run_through_channel(t.run());
    const Rng before = t->frame.rngB;
    Streams& s = t->frame.streams;
    // Mark the window so that untouched entries show.
    for (Stream* x : {&s.rinf[5], &s.rinf[4], &s.rinf[3], &s.rinf[2], &s.rinf[1], &s.rinf[0],
                      &s.rchk2, &s.rchk1}) {
      for (int n = 1990; n < 2040; ++n) (*x)[tpos + n] = 7;
    }
    t->prepare_decoder();
    std::vector<std::vector<int>> got;
    for (const Stream* x : {&s.rinf[5], &s.rinf[4], &s.rinf[3], &s.rinf[2], &s.rinf[1],
                            &s.rinf[0], &s.rchk2, &s.rchk1}) {
      std::vector<int> stream;
      for (int n = 1990; n < 2040; ++n) {
        if ((*x)[tpos + n] != 7) stream.push_back((*x)[tpos + n] + 10 * (n - 2000));
      }
      got.push_back(stream);
    }
    const bool advanced = t->frame.rngB.a != before.a || t->frame.rngB.b != before.b;
    return std::make_pair(got, advanced);
  };
  // Each entry: bit + 10 * (step - 2000).
  const auto eight = bits_at(8);
  EXPECT_EQ(eight.first, (std::vector<std::vector<int>>{{1}, {1}, {0}, {1}, {1}, {0}, {1}, {1}}));
  const auto sixteen = bits_at(16);
  EXPECT_EQ(sixteen.first, (std::vector<std::vector<int>>{
                               {1, 11}, {0, 11}, {1, 10}, {1, 11}, {0, 11}, {0, 11}, {1, 11}, {0, 10}}));
  EXPECT_EQ(bits_at(15).first[0].size(), 1u);
  EXPECT_EQ(bits_at(200).first[7].size(), 25u);
  for (int none : {0, 7, -5}) {
    const auto packet = bits_at(none);
    EXPECT_FALSE(packet.second) << none;
    for (const auto& stream : packet.first) EXPECT_TRUE(stream.empty()) << none;
  }
}

TEST(PrepareTest, PreloadReachesExactlyTheLastPreStartEntry) {
  auto d = std::make_unique<DecoderState>();
  for (auto& r : d->dec) r.fill(1);
  for (auto& r : d->dif) r.fill(5);
  for (auto& r : d->sum) r.fill(3);
  d->counts.fill(9);
  prepare_registers(*d);
  for (int k = 0; k < NUM_INF; ++k) {
    EXPECT_EQ(d->sum[k][0], -199);
    EXPECT_EQ(d->sum[k][tpos - 1], -199);
    EXPECT_EQ(d->sum[k][tpos], 3);
    EXPECT_EQ(d->dec[k][tpos - 1], 0);
    EXPECT_EQ(d->dif[k][tpos - 1], 0);
  }
  for (int32_t c : d->counts) EXPECT_EQ(c, 0);
  EXPECT_EQ(d->dec_pos, 19999);
  EXPECT_EQ(d->rcv_pos, 19999);
  EXPECT_EQ(d->dec_mask, 32767);
  EXPECT_EQ(d->dec_lag, 10);
  EXPECT_EQ(d->iter_spacing, 700);
}

}  // namespace
}  // namespace mtsim
