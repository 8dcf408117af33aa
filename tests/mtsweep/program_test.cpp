// The built mtsweep as users run it: refused inputs, outputs that cannot be
// written, frames replayed with mtsim, thread counts, interrupt and resume,
// and the plot rendered.
#include <sys/stat.h>

#include <csignal>
#include <thread>

#include "sweep_scratch.h"

namespace {

using namespace sweep_testing;
using testing_support::Row;
using Outcome = testing_support::Scratch::Outcome;

class BadInputTest : public ::testing::TestWithParam<Row> {};

TEST_P(BadInputTest, RefusedWithOneLineAndNoFile) {
  SweepScratch s;
  std::vector<std::string> args{"--csv",         s.out("a.csv"), "--json",
                                s.out("a.json"), "--plot",       s.out("a.svg")};
  for (const std::string& a : testing_support::words(GetParam().at(0))) args.push_back(a);
  const Outcome r = s.run(MTSWEEP_BINARY, args);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("mtsweep: ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find(GetParam().at(1)), std::string::npos) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_TRUE(s.out_empty());
}
INSTANTIATE_TABLE(BadInputTest, "sweep_bad_inputs.txt");

TEST(MtsweepProgramTest, UnwritableOutputFailsBeforeSimulating) {
  SweepScratch s;
  // Not a directory: refused even for root.  The sweep would take minutes.
  const Outcome r = s.run(MTSWEEP_BINARY, {"--an", "2.0:5.0:0.1", "--max-frames", "2000000",
                                           "--json", s.out("a.json"), "--csv", "/dev/null/a.csv"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "mtsweep: cannot write \"/dev/null/a.csv\": Not a directory\n");
  EXPECT_TRUE(s.out_empty());
}

// The result table that mtsim prints for one frame.
std::vector<int64_t> mtsim_table(SweepScratch& s, int kst, int iterat) {
  testing_support::write_file(s / "vu34z2d.c", "code=1 kst=" + std::to_string(kst) +
                                                   " infind=3 ndkdd=20000 iterat=" + std::to_string(iterat) +
                                                   " AN=2.7 npacketll=24 lim88=0\n");
  const Outcome r = s.run(MTSIM_BINARY, {});
  EXPECT_EQ(r.status, 0);
  std::vector<int64_t> table = testing_support::numbers(r.out.substr(r.out.find("packet length =") + 15));
  table.resize(static_cast<size_t>(iterat + 4));
  table.erase(table.begin());  // the packet length
  return table;
}

// The point's sums and its failing frames are those of the mtsim runs with
// the same settings and the frames' kst: some of these frames still hold
// errors after the last iteration, some do not.
TEST(MtsweepProgramTest, FramesReplayWithMtsim) {
  SweepScratch s;
  const Outcome r = s.run(MTSWEEP_BINARY, {"--an", "2.7", "--ndkdd", "20000", "--iterat", "8",
                                           "--npacketll", "24", "--seed", "7", "--min-frames", "6",
                                           "--max-frames", "6", "--json", s.out("r.json"), "--quiet"});
  ASSERT_EQ(r.status, 0) << r.err;
  const json point = json::parse(read_file(s.out("r.json")))["points"][0];
  std::vector<int64_t> sum(11), sum_sq(11), sum_cube(11), error_frames(11);
  json failing = json::array();
  for (int kst = 7; kst <= 12; ++kst) {
    const std::vector<int64_t> table = mtsim_table(s, kst, 8);
    for (size_t i = 0; i < table.size(); ++i) {
      sum[i] += table[i];
      sum_sq[i] += table[i] * table[i];
      sum_cube[i] += table[i] * table[i] * table[i];
      error_frames[i] += table[i] != 0 ? 1 : 0;
    }
    std::vector<int64_t> errors{table[1]};
    errors.insert(errors.end(), table.begin() + 3, table.end());
    if (table.back() != 0) failing.push_back({{"kst", kst}, {"errors", errors}});
  }
  const json& counts = point["counts"];
  EXPECT_EQ(counts["table"].get<std::vector<int64_t>>(), sum);
  EXPECT_EQ(counts["table_sq"].get<std::vector<int64_t>>(), sum_sq);
  EXPECT_EQ(counts["table_cube"].get<std::vector<int64_t>>(), sum_cube);
  EXPECT_EQ(counts["error_frames"].get<std::vector<int64_t>>(), error_frames);
  EXPECT_EQ(point["failing_frames"], failing);
  EXPECT_GT(failing.size(), 0u);
  EXPECT_LT(failing.size(), 6u);
}

// A point that completes in the middle of a round, one that runs to
// --max-frames, and one left out by --stop-ber.
std::vector<std::string> small_sweep(const SweepScratch& s, const std::string& name) {
  return {"--an",
          "2.5:3.0:0.25",
          "--ndkdd",
          "20000",
          "--min-errors",
          "40",
          "--min-frames",
          "3",
          "--max-frames",
          "60",
          "--stop-ber",
          "1e-5",
          "--quiet",
          "--csv",
          s.out(name + ".csv"),
          "--json",
          s.out(name + ".json"),
          "--plot",
          s.out(name + ".svg")};
}

TEST(MtsweepProgramTest, ThreadCountsGiveTheSameResultsAndThePlotRenders) {
  SweepScratch s;
  for (const char* threads : {"1", "2", "3"}) {
    std::vector<std::string> args = small_sweep(s, threads);
    args.insert(args.end(), {"--threads", threads});
    const Outcome r = s.run(MTSWEEP_BINARY, args);
    ASSERT_EQ(r.status, 0) << r.err;
  }
  const std::string csv = read_file(s.out("1.csv"));
  EXPECT_EQ(csv.substr(0, csv.find('\n')),
            "an_db,ebn0_db,iteration,frames,bits,errors,ber,ber_low,ber_high,error_frames");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 2 * 9);  // 3.0 skipped
  const json one = without_times(read_file(s.out("1.json")));
  // Row by row as the JSON: iterations 0 ... 8 in order, Eb/N0 = AN + 1.2494 dB.
  std::istringstream rows(csv.substr(csv.find('\n') + 1));
  int n = 0;
  for (std::string row; std::getline(rows, row); ++n) {
    const json& p = one["points"][n / 9];
    const json& it = p["iterations"][n % 9];
    char want[160];
    std::snprintf(want, sizeof want, "%s,%.4f,%d,%lld,%lld,%lld,", p["an_db"].dump().c_str(),
                  p["an_db"].get<double>() + 1.2494, n % 9, p["frames"].get<long long>(),
                  it["bits"].get<long long>(), it["errors"].get<long long>());
    EXPECT_EQ(row.rfind(want, 0), 0u) << row << " against " << want;
    EXPECT_EQ(row.substr(row.rfind(',') + 1), it["error_frames"].dump()) << row;
  }
  EXPECT_EQ(one["points"][0]["frames"], 5);
  EXPECT_EQ(one["points"][1]["frames"], 60);
  EXPECT_EQ(one["skipped_an_db"], json::array({3.0}));
  for (const char* threads : {"2", "3"}) {
    EXPECT_EQ(read_file(s.out(std::string(threads) + ".csv")), csv);
    EXPECT_EQ(without_times(read_file(s.out(std::string(threads) + ".json"))), one);
  }
  const Outcome png = s.run("/usr/bin/rsvg-convert", {s.out("2.svg"), "-o", s.out("2.png")});
  EXPECT_EQ(png.status, 0) << png.err;
  EXPECT_GT(fs::file_size(s.out("2.png")), 10000u);
}

TEST(MtsweepProgramTest, InterruptKeepsFinishedPointsAndResumeCompletesThem) {
  SweepScratch s;
  // The interrupt goes out when the first point is written: points of 600
  // frames leave it the time of four more, so that it lands mid-sweep even
  // on a busy machine.
  auto args = [&](const std::string& name, const char* threads) {
    return std::vector<std::string>{"--an",
                                    "2.0:3.0:0.25",
                                    "--ndkdd",
                                    "20000",
                                    "--min-errors",
                                    "1000000",
                                    "--min-frames",
                                    "600",
                                    "--max-frames",
                                    "600",
                                    "--threads",
                                    threads,
                                    "--csv",
                                    s.out(name + ".csv"),
                                    "--json",
                                    s.out(name + ".json")};
  };
  ASSERT_EQ(s.run(MTSWEEP_BINARY, args("whole", "3")).status, 0);

  const auto process = s.start(MTSWEEP_BINARY, args("cut", "2"));
  for (int i = 0; i < 20000 && !fs::exists(s.out("cut.json")); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  testing_support::signal_process(process.pid, SIGINT);
  const Outcome cut = s.finish(process);
  EXPECT_EQ(cut.status, 130) << cut.err;
  const json kept = json::parse(read_file(s.out("cut.json")));
  EXPECT_EQ(kept["complete"], false);
  EXPECT_GE(kept["points"].size(), 1u);
  EXPECT_LT(kept["points"].size(), 5u);

  // Files are replaced whole (a new file renamed over the old), never
  // rewritten in place, and no temporary file is left behind.
  struct stat cut_file{};
  ASSERT_EQ(::stat(s.out("cut.json").c_str(), &cut_file), 0);
  std::vector<std::string> resume = args("cut", "1");
  resume.push_back("--resume");
  ASSERT_EQ(s.run(MTSWEEP_BINARY, resume).status, 0);
  struct stat resumed_file{};
  ASSERT_EQ(::stat(s.out("cut.json").c_str(), &resumed_file), 0);
  EXPECT_NE(resumed_file.st_ino, cut_file.st_ino);
  for (const auto& entry : fs::directory_iterator(s.work() / "out")) {
    EXPECT_EQ(entry.path().string().find(".tmp-"), std::string::npos) << entry.path();
  }
  EXPECT_EQ(read_file(s.out("cut.csv")), read_file(s.out("whole.csv")));
  EXPECT_EQ(without_times(read_file(s.out("cut.json"))), without_times(read_file(s.out("whole.json"))));

  // Any other setting is refused, and the file stays as it is.
  const std::string before = read_file(s.out("cut.json"));
  const std::pair<std::string, std::string> changes[] = {
      {"--seed", "1"},         {"--ndkdd", "20001"},     {"--iterat", "7"},
      {"--npacketll", "8"},    {"--infind", "2"},        {"--min-errors", "999999"},
      {"--min-frames", "599"}, {"--max-frames", "601"},  {"--an", "2.0:3.0:0.5"},
      {"--stop-ber", "1e-3"},  {"--min-error-frames", "3"}, {"--point-time", "1h"}};
  for (const auto& [option, value] : changes) {
    std::vector<std::string> other = resume;
    const auto at = std::find(other.begin(), other.end(), option);
    if (at != other.end()) {
      *(at + 1) = value;
    } else {
      other.insert(other.end(), {option, value});
    }
    const Outcome r = s.run(MTSWEEP_BINARY, other);
    EXPECT_EQ(r.status, 2) << option;
    EXPECT_NE(r.err.find("other settings: " + option), std::string::npos) << r.err;
  }
  EXPECT_EQ(read_file(s.out("cut.json")), before);
}

}  // namespace
