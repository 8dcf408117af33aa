// The frame API over the table in data/frames.txt: for every parameter file
// the Simulator, run with the values mtsim's reader leaves, counts exactly
// what the table records, with the fast kernels (also after another frame
// on the same Simulator) and with the reference ones, and the built mtsim
// prints the same numbers for that file.  Then the configurations the API
// refuses, and the fresh frame state that costs nothing until it is used.
#include "sim/frame/frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sstream>
#include <stdexcept>

#include "support/harness.h"
#include "support/param_harness.h"

namespace mtsim {
namespace {

using testing_support::numbers;
using testing_support::Row;

// inftot, inf_weight, check_weight, inferr, isaerr, then the whole result
// table, zeros past the last iteration included.
std::vector<int64_t> flat(const FrameCounts& c) {
  std::vector<int64_t> v{c.inftot, c.inf_weight, c.check_weight, c.inferr, c.isaerr};
  v.insert(v.end(), c.table.begin(), c.table.end());
  return v;
}

// The same numbers from mtsim's console report.
std::vector<int64_t> printed_counts(const std::string& console) {
  std::vector<int64_t> v;
  for (const std::string key :
       {"inftot=", "inf weight=", "check weight=", "inferr W=", "isaerr W="}) {
    const size_t at = console.find(key);
    v.push_back(at == std::string::npos ? -1 : std::atoi(console.c_str() + at + key.size()));
  }
  const std::vector<int64_t> table = numbers(console.substr(console.find("packet length = ") + 16));
  v.insert(v.end(), table.begin() + 1, table.end());  // after the packet length
  v.resize(5 + NUM_COUNTS);
  return v;
}

class FrameTest : public ::testing::TestWithParam<Row> {};

TEST_P(FrameTest, SimulatorAndProgramCountWhatTheTableRecords) {
  const Row& row = GetParam();
  std::string file = "code=1", value;
  std::istringstream values(row.at(0));
  for (const char* key : {"kst", "infind", "ndkdd", "iterat", "AN", "npacketll"}) {
    values >> value;
    file += std::string(" ") + key + "=" + value;
  }
  file += " lim88=0\n";
  const Params p = testing_support::read_parameter_text(file).params;
  const FrameConfig c{p.infind, p.ndkdd, p.iterat, p.AN, p.npacketll};
  std::vector<int64_t> want = numbers(row.at(1) + " " + row.at(2));
  ASSERT_EQ(want.size(), 5u + c.iterat + 3);
  want.resize(5 + NUM_COUNTS);

  Simulator fast(c);
  EXPECT_EQ(flat(fast.run(p.kst)), want) << "fast kernels";
  fast.run(p.kst ^ 1);  // another frame first
  EXPECT_EQ(flat(fast.run(p.kst)), want) << "fast kernels, after another frame";
  EXPECT_EQ(flat(Simulator(c, Kernels::kReference).run(p.kst)), want) << "reference kernels";

  testing_support::Scratch s;
  testing_support::write_file(s / "vu34z2d.c", file);
  const auto o = s.run(MTSIM_BINARY, {});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(printed_counts(o.out), want) << "mtsim";
}
INSTANTIATE_TABLE(FrameTest, "frames.txt");

class FrameConfigTest : public ::testing::TestWithParam<Row> {};

TEST_P(FrameConfigTest, RefusedOutsideTheRanges) {
  const Row& row = GetParam();
  std::istringstream settings(row.at(0));
  std::string AN;
  FrameConfig c;
  settings >> c.infind >> c.ndkdd >> c.iterat >> AN >> c.npacketll;
  c.AN = std::stod(AN);
  const std::string error = row.size() > 1 ? row.at(1) : "";
  EXPECT_EQ(config_error(c), error);
  if (error.empty()) return;
  try {
    Simulator refused(c);
    ADD_FAILURE() << "constructed";
  } catch (const std::invalid_argument& e) {
    EXPECT_EQ(e.what(), error);
  }
}
INSTANTIATE_TABLE(FrameConfigTest, "frame_configs.txt");

// Whether every byte of `member` is `value`.
template <class Member>
bool all_bytes(const Member& member, unsigned char value) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&member);
  return std::count(bytes, bytes + sizeof member, value) == static_cast<long>(sizeof member);
}

// A new frame state is 29 MB of zeros that the kernel hands over untouched
// (make_frame_state): its default-initialization must write none of the
// buffers and rings (a member initializer there would), or every state
// would cost 29 MB of writes up front.
TEST(FrameStateTest, DefaultInitializationLeavesTheBuffersAlone) {
  constexpr unsigned char kMark = 0xA5;
  const size_t size = (sizeof(FrameState) + 63) / 64 * 64;
  auto* raw = static_cast<unsigned char*>(std::aligned_alloc(64, size));
  ASSERT_NE(raw, nullptr);
  std::memset(raw, kMark, size);
  asm volatile("" : : "r"(raw) : "memory");  // the marks are stored before the state begins
  auto* f = ::new (raw) FrameState;          // default-initialization, as make_frame_state does
  EXPECT_TRUE(all_bytes(f->streams, kMark));
  EXPECT_TRUE(all_bytes(f->decoder.dec, kMark) && all_bytes(f->decoder.dif, kMark) &&
              all_bytes(f->decoder.sum, kMark));
  EXPECT_TRUE(all_bytes(f->decoder.syn1, kMark) && all_bytes(f->decoder.syn2, kMark));
  EXPECT_TRUE(all_bytes(f->decoder.block, kMark));
  f->~FrameState();
  std::free(raw);
}

TEST(FrameStateTest, FreshStateIsZero) {
  const std::unique_ptr<FrameState> f = make_frame_state();
  EXPECT_TRUE(all_bytes(f->streams, 0));
  EXPECT_TRUE(all_bytes(f->decoder.sum, 0) && all_bytes(f->decoder.block, 0));
}

}  // namespace
}  // namespace mtsim
