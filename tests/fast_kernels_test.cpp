// The fast kernels against the reference ones, bit for bit: two frames of
// the same settings, one through the reference stages and one through the
// fast ones, must agree after every stage in every buffer, register ring,
// count and generator state.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "sim/decoder/decoder_fast.h"
#include "sim/frame/frame.h"

namespace mtsim {
namespace {

template <typename T>
bool same(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof(T)) == 0;
}

void expect_same_frames(int32_t kst, const FrameConfig& c) {
  SCOPED_TRACE(::testing::Message()
               << "kst " << kst << " infind " << c.infind << " ndkdd " << c.ndkdd << " iterat "
               << c.iterat << " AN " << c.AN << " npacketll " << c.npacketll);
  const ChannelTable table = channel_estimates(c.AN).table;
  const auto ref = make_frame_state(), fast = make_frame_state();
  start_frame(*ref, kst);
  start_frame(*fast, kst);
  run_source(*ref, c, Kernels::kReference);
  run_source(*fast, c, Kernels::kFast);
  EXPECT_TRUE(fast->streams == ref->streams && same(fast->source, ref->source) &&
              same(fast->rngB, ref->rngB))
      << "source";
  run_encoder(*ref, c, Kernels::kReference);
  run_encoder(*fast, c, Kernels::kFast);
  EXPECT_TRUE(fast->streams == ref->streams && fast->check_weight == ref->check_weight)
      << "encoder";
  run_channel(*ref, table, c, Kernels::kReference);
  run_channel(*fast, table, c, Kernels::kFast);
  EXPECT_TRUE(fast->streams == ref->streams &&
              same(fast->channel_errors, ref->channel_errors) && same(fast->rngA, ref->rngA))
      << "channel";
  run_preparation(*ref, c);
  run_preparation(*fast, c);
  run_decoder(*ref, c, Kernels::kReference);
  run_decoder(*fast, c, Kernels::kFast);
  const DecoderState &f = fast->decoder, &r = ref->decoder;
  EXPECT_TRUE(f.counts == r.counts && f.rcv_pos == r.rcv_pos && f.dec_pos == r.dec_pos &&
              same(f.dec, r.dec) && same(f.dif, r.dif) && same(f.sum, r.sum) &&
              same(f.syn1, r.syn1) && same(f.syn2, r.syn2))
      << "decoder";
}

TEST(FastKernelsTest, EveryStageAsTheReference) {
  // Draws exactly at the channel's edges: u = flip_limit (kst 3 at AN 2.0, step 40), which
  // inverts; u = 391,999 and 57,999, level_cdf entries at the end of a range of 1,000 u.
  expect_same_frames(3, {3, 20000, 3, 2.0, 0});
  expect_same_frames(5, {3, 20000, 3, 3.81, 0});
  expect_same_frames(10, {3, 20000, 3, 5.0, 0});
  // ndkdd that ends a vector of 32 steps early, late, and at its last step.
  expect_same_frames(-1, {3, 20001, 15, 3.0, 200});
  expect_same_frames(123456789, {3, 33333, 8, 4.0, 16});
  expect_same_frames(-2000000000, {3, 20031, 5, 2.5, 8});
  // Every other source mode; most iterations and flips; two decoder calls; the longest frame.
  expect_same_frames(7, {0, 20000, 15, 25.0, 200});
  expect_same_frames(0, {2, 20000, 15, 2.0, 200});
  expect_same_frames(1, {1, 50000, 8, 2.5, 0});
  expect_same_frames(-3, {-1, 20000, 4, 3.0, 16});
  expect_same_frames(0, {3, 520000, 8, 3.0, 0});
}

TEST(FastKernelsTest, EveryStageAsTheReferenceOnRandomFrames) {
  std::mt19937 gen(20261206);
  const double levels[] = {2.0, 2.0, 2.5, 3.0, 3.5, 4.0, 5.0};
  for (int32_t i = 0; i < 8; ++i) {
    const auto kst = static_cast<int32_t>(gen());
    const auto infind = static_cast<int32_t>(gen() % 5) - 1;
    const auto ndkdd = 20000 + static_cast<int32_t>(gen() % 20000);
    const auto iterat = 3 + static_cast<int32_t>(gen() % 13);
    const double AN = levels[gen() % 7];
    expect_same_frames(kst, {infind, ndkdd, iterat, AN, static_cast<int32_t>(gen() % 201)});
  }
}

}  // namespace
}  // namespace mtsim
