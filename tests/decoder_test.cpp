// The decoder's threshold schedule, iteration by iteration, on single
// errors (data/single_errors.txt) with both decoders, and the error packet
// that the preparation lays over the received bits (data/error_packets.txt).
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "sim/frame/frame.h"
#include "support/harness.h"

namespace mtsim {
namespace {

using testing_support::numbers;
using testing_support::Row;

class SingleErrorTest : public ::testing::TestWithParam<Row> {};

TEST_P(SingleErrorTest, DecidedInTheIterationTheScheduleNames) {
  const std::vector<int64_t> error = numbers(GetParam().at(0));  // k, w, six check reliabilities
  const int k = static_cast<int>(error.at(0));
  const FrameConfig c{0, MIN_NDKDD, MAX_ITERAT, 3.0, 0};
  const std::unique_ptr<FrameState> f = make_frame_state();
  Streams& s = f->streams;
  auto fill = [&c](Stream& x, int v) { std::fill_n(x.begin() + tpos, c.ndkdd, int16_t(v)); };
  for (Kernels kernels : {Kernels::kReference, Kernels::kFast}) {
    SCOPED_TRACE(kernels == Kernels::kFast ? "fast" : "reference");
    start_frame(*f, 0);  // every sent bit 0
    for (int m = 0; m < NUM_INF; ++m) {
      fill(s.rinf[m], 0);
      fill(s.relinf[m], MAX_RELIABILITY);
    }
    for (Stream* x : {&s.rchk1, &s.rchk2}) fill(*x, 0);
    for (Stream* x : {&s.relchk1, &s.relchk2}) fill(*x, MAX_RELIABILITY);
    const int32_t at = tpos + 5000;
    s.rinf[k][at] = 1;
    s.relinf[k][at] = int16_t(error.at(1));
    for (int n = 0; n < 3; ++n) {
      s.relchk1[at + taps[k][n]] = int16_t(error.at(2 + n));
      s.relchk2[at + (n == 0 ? 0 : taps[k][2 + n])] = int16_t(error.at(5 + n));
    }
    run_preparation(*f, c);
    run_decoder(*f, c, kernels);
    // One information error and no check error at the input, then the row's counts.
    const auto& counts = f->decoder.counts;
    EXPECT_EQ(std::vector<int64_t>(counts.begin() + 1, counts.begin() + 3 + MAX_ITERAT),
              numbers("1 0 " + GetParam().at(1)));
  }
}
INSTANTIATE_TABLE(SingleErrorTest, "single_errors.txt");

class ErrorPacketTest : public ::testing::TestWithParam<Row> {};

TEST_P(ErrorPacketTest, BitsAndPlacesAsRecorded) {
  const Row& row = GetParam();
  const std::unique_ptr<FrameState> f = make_frame_state();
  Streams& s = f->streams;
  const std::array<Stream*, 8> order = {&s.rinf[5], &s.rinf[4], &s.rinf[3], &s.rinf[2],
                                        &s.rinf[1], &s.rinf[0], &s.rchk2,   &s.rchk1};
  const FrameConfig c{3, MIN_NDKDD, 3, 3.0, std::stoi(row.at(0))};
  start_frame(*f, 0);
  run_source(*f, c, Kernels::kFast);  // rngB as the packet finds it
  // Steps 1,990 ... 2,239 marked, so that what the packet leaves shows.
  for (Stream* x : order) std::fill_n(x->begin() + tpos + 1990, 250, int16_t{7});
  run_preparation(*f, c);
  std::istringstream bits(row.at(1));
  for (Stream* x : order) {
    std::string want, got;
    bits >> want;
    want = std::string(10, '.') + (want == "-" ? "" : want);
    want.resize(250, '.');
    for (int n = 1990; n < 2240; ++n) {
      got += (*x)[tpos + n] == 7 ? '.' : static_cast<char>('0' + (*x)[tpos + n]);
    }
    EXPECT_EQ(got, want);
  }
}
INSTANTIATE_TABLE(ErrorPacketTest, "error_packets.txt");

}  // namespace
}  // namespace mtsim
