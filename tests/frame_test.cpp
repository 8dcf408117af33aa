// The frame API over the table in data/frames.txt: for every parameter file
// the Simulator, run with the values mtsim's reader leaves, counts exactly
// what the table records, with the fast kernels and with the reference
// ones, and the built mtsim prints the same numbers for that file.  Rows
// that differ only in kst run on one reused Simulator; the reference runs
// and mtsim start afresh.
#include "sim/frame/frame.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

#include "support/harness.h"
#include "support/param_harness.h"

namespace mtsim::testing {
namespace {

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

TEST(FrameTest, SimulatorAndProgramCountWhatTheTableRecords) {
  std::unique_ptr<Simulator> reused;
  std::string reused_settings;
  for (const std::vector<std::string>& row : data_rows("frames.txt")) {
    SCOPED_TRACE(row.at(0));
    std::string file = "code=1", value;
    std::istringstream values(row.at(0));
    for (const char* key : {"kst", "infind", "ndkdd", "iterat", "AN", "npacketll"}) {
      values >> value;
      file += std::string(" ") + key + "=" + value;
    }
    file += " lim88=0\n";
    const Params p = read_parameter_text(file).params;
    const FrameConfig c{p.infind, p.ndkdd, p.iterat, p.AN, p.npacketll};
    std::vector<int64_t> want = numbers(row.at(1) + " " + row.at(2));
    ASSERT_EQ(want.size(), 5u + c.iterat + 3);
    want.resize(5 + NUM_COUNTS);

    const std::string kst_apart = row.at(0).substr(row.at(0).find(' '));
    if (kst_apart != reused_settings) reused = std::make_unique<Simulator>(c);
    reused_settings = kst_apart;
    EXPECT_EQ(flat(reused->run(p.kst)), want) << "fast kernels";
    EXPECT_EQ(flat(Simulator(c, Kernels::kReference).run(p.kst)), want) << "reference kernels";

    Scratch s;
    write_file(s / "vu34z2d.c", file);
    const Scratch::Outcome o = s.run();
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(printed_counts(o.out), want) << "mtsim";
  }
}

TEST(FrameTest, ConfigurationsOutsideTheRangesAreRefused) {
  for (const std::vector<std::string>& row : data_rows("frame_configs.txt")) {
    SCOPED_TRACE(row.at(0));
    std::istringstream settings(row.at(0));
    std::string AN;
    FrameConfig c;
    settings >> c.infind >> c.ndkdd >> c.iterat >> AN >> c.npacketll;
    c.AN = std::stod(AN);
    const std::string error = row.size() > 1 ? row[1] : "";
    EXPECT_EQ(config_error(c), error);
    if (error.empty()) continue;
    try {
      Simulator refused(c);
      ADD_FAILURE() << "constructed";
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(e.what(), error);
    }
  }
}

}  // namespace
}  // namespace mtsim::testing
