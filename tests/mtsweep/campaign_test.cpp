// Long campaigns: a point's progress survives SIGKILL and a second
// interrupt, a time budget pauses and resumes to the same result, a closed
// pipe ends the run with one line and the progress kept, a full disk on
// stdout ends it with the error named, and too little memory ends it with
// one line.
#include <fcntl.h>
#include <unistd.h>

#include <csignal>

#include "sweep_scratch.h"

namespace {

using namespace sweep_testing;
using Outcome = testing_support::Scratch::Outcome;

// Two points of 1,500 frames each, long enough to be cut in the middle.
std::vector<std::string> long_sweep(const SweepScratch& s, const std::string& name,
                                    std::vector<std::string> extra = {}) {
  std::vector<std::string> args{"--an",         "2.8,3.0",        "--ndkdd",   "20000",
                                "--min-errors", "100000000",      "--max-frames", "1500",
                                "--quiet",      "--csv",          s.out(name + ".csv"),
                                "--json",       s.out(name + ".json")};
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

class CampaignTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(s.run(MTSWEEP_BINARY, long_sweep(s, "whole", {"--threads", "2"})).status, 0);
  }
  // The CSV and the JSON (less run and timing) of `name` are those of the
  // uninterrupted sweep.
  void expect_whole(const std::string& name) {
    EXPECT_EQ(read_file(s.out(name + ".csv")), read_file(s.out("whole.csv")));
    EXPECT_EQ(without_times(read_file(s.out(name + ".json"))),
              without_times(read_file(s.out("whole.json"))));
  }
  SweepScratch s;
};

TEST_F(CampaignTest, KilledInAPointResumesFromItsCheckpoint) {
  const auto run = s.start(MTSWEEP_BINARY, long_sweep(s, "cut", {"--threads", "2", "--checkpoint", "0.2"}));
  const int64_t kept = wait_for_progress(s.out("cut.json"), 0, std::chrono::seconds(30));
  testing_support::signal_process(run.pid, SIGKILL);
  EXPECT_EQ(s.finish(run).signal, SIGKILL);
  EXPECT_GT(kept, 0);
  const Outcome resumed =
      s.run(MTSWEEP_BINARY, long_sweep(s, "cut", {"--threads", "1", "--resume"}));
  ASSERT_EQ(resumed.status, 0) << resumed.err;
  expect_whole("cut");
}

// A second interrupt right after the first ends the run at once, or after
// its last checkpoint: either way with status 130 and a whole file.
TEST_F(CampaignTest, SecondInterruptEndsTheRunWithTheFileWhole) {
  const auto run = s.start(MTSWEEP_BINARY, long_sweep(s, "twice", {"--threads", "2", "--checkpoint", "0.2"}));
  EXPECT_GT(wait_for_progress(s.out("twice.json"), 0, std::chrono::seconds(30)), 0);
  testing_support::signal_process(run.pid, SIGINT);
  testing_support::signal_process(run.pid, SIGINT);
  const Outcome r = s.finish(run);
  EXPECT_EQ(r.status, 130) << r.err;
  EXPECT_EQ(json::parse(read_file(s.out("twice.json")))["complete"], false);
  const Outcome resumed = s.run(MTSWEEP_BINARY, long_sweep(s, "twice", {"--resume"}));
  ASSERT_EQ(resumed.status, 0) << resumed.err;
  expect_whole("twice");
}

TEST_F(CampaignTest, TimeBudgetPausesAndResumesToTheSameResult) {
  const std::vector<std::string> args = long_sweep(s, "paused", {"--max-time", "0.4s"});
  Outcome r = s.run(MTSWEEP_BINARY, args);
  EXPECT_EQ(r.status, 75) << r.err;
  EXPECT_NE(r.err.find("--max-time reached"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("--resume"), std::string::npos) << r.err;
  EXPECT_EQ(json::parse(read_file(s.out("paused.json")))["complete"], false);
  std::vector<std::string> resume = args;
  resume.push_back("--resume");
  for (int pauses = 0; (r = s.run(MTSWEEP_BINARY, resume)).status == 75 && pauses < 50; ++pauses) {
  }
  ASSERT_EQ(r.status, 0) << r.err;
  expect_whole("paused");
}

TEST_F(CampaignTest, ClosedPipeEndsTheRunWithItsProgressKept) {
  int pipe_ends[2];
  ASSERT_EQ(pipe2(pipe_ends, O_CLOEXEC), 0);  // the program must not hold the reading end
  testing_support::RunOptions options;
  options.stdout_fd = pipe_ends[1];
  const auto run = s.start(MTSWEEP_BINARY, long_sweep(s, "piped"), options);
  close(pipe_ends[1]);
  char first = 0;
  ASSERT_EQ(read(pipe_ends[0], &first, 1), 1);  // the table's header has begun
  close(pipe_ends[0]);                          // as `| head -c 1` would
  const Outcome r = s.finish(run);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("standard output: Broken pipe"), std::string::npos) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  const Outcome resumed = s.run(MTSWEEP_BINARY, long_sweep(s, "piped", {"--resume"}));
  ASSERT_EQ(resumed.status, 0) << resumed.err;
  expect_whole("piped");
}

TEST_F(CampaignTest, FullStdoutEndsTheRun) {
  testing_support::RunOptions options;
  options.stdout_path = "/dev/full";
  const Outcome r = s.run(MTSWEEP_BINARY, long_sweep(s, "full"), options);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot write the table to standard output: No space left on device"),
            std::string::npos)
      << r.err;
}

TEST_F(CampaignTest, TooLittleMemoryEndsTheRunWithOneLine) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "a sanitized program reserves terabytes of shadow memory: no address-space limit fits it";
#endif
  testing_support::RunOptions options;
  options.address_space = uint64_t{1} << 30;  // room for a few simulators, not for 64
  const Outcome r = s.run(MTSWEEP_BINARY, long_sweep(s, "small", {"--threads", "64"}), options);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_TRUE(r.err.find("out of memory") != std::string::npos ||
              r.err.find("cannot start worker thread") != std::string::npos)
      << r.err;
}

}  // namespace
