// mtsweep as an MPI job: 1, 2 and 3 ranks give the results of one process,
// and a job that loses a rank ends instead of hanging, keeps its finished
// points and resumes to the same results.
#include <csignal>
#include <thread>

#include "sweep_scratch.h"

namespace {

using namespace sweep_testing;
using Outcome = testing_support::Scratch::Outcome;

// mpirun's arguments for a job of `ranks` ranks of mtsweep with `args`.
std::vector<std::string> job(int ranks, const std::vector<std::string>& args) {
  std::vector<std::string> command{"--oversubscribe", "-np", std::to_string(ranks), MTSWEEP_BINARY};
  command.insert(command.end(), args.begin(), args.end());
  return command;
}

// A job still running after a minute hangs: it is stopped and fails.
constexpr int kJobTimeout = 60;

// The process of `rank` among the children of mpirun `job`, or -1.
pid_t rank_process(pid_t job, int rank) {
  const std::string wanted = "OMPI_COMM_WORLD_RANK=" + std::to_string(rank) + '\0';
  for (const fs::directory_entry& e : fs::directory_iterator("/proc")) {
    const std::string name = e.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;  // not a process
    const std::string stat = read_file(e.path() / "stat");  // pid (name) state ppid ...
    if (stat.empty() || job <= 1) continue;
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    char state = 0;
    pid_t parent = 0;
    fields >> state >> parent;
    if (parent == job && read_file(e.path() / "environ").find(wanted) != std::string::npos)
      return std::stoi(e.path().filename().string());
  }
  return -1;
}

// Waits (at most 20 s) until the JSON at `path` holds more than `points`
// points; returns how many it holds.
size_t wait_for_more_points(const std::string& path, size_t points) {
  size_t now = 0;
  for (int i = 0; i < 2000 && now <= points; ++i) {
    if (fs::exists(path)) now = json::parse(read_file(path))["points"].size();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return now;
}

std::vector<std::string> with_outputs(const SweepScratch& s, const std::string& name,
                                      const std::string& args) {
  std::vector<std::string> a = testing_support::words(args);
  a.insert(a.end(), {"--csv", s.out(name + ".csv"), "--json", s.out(name + ".json")});
  return a;
}

TEST(MtsweepMpiTest, RanksGiveTheResultsOfOneProcess) {
  SweepScratch s;
  // A point that completes within a round, one that runs to --max-frames
  // (61: the last round is split unevenly), one left out by --stop-ber.
  const std::string args =
      "--an 2.5:3.0:0.25 --ndkdd 20000 --min-errors 40 --min-frames 3 --max-frames 61 "
      "--stop-ber 1e-5 --threads 1";
  const Outcome one = s.run(MTSWEEP_BINARY, with_outputs(s, "one", args));
  ASSERT_EQ(one.status, 0) << one.err;
  for (const int ranks : {1, 2, 3}) {
    const std::string name = std::to_string(ranks) + "ranks";
    SCOPED_TRACE(name);
    const Outcome r = s.finish(s.start(MPIEXEC, job(ranks, with_outputs(s, name, args))), kJobTimeout);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_file(s.out(name + ".csv")), read_file(s.out("one.csv")));
    const std::string text = read_file(s.out(name + ".json"));
    EXPECT_EQ(without_times(text), without_times(read_file(s.out("one.json"))));
    EXPECT_EQ(json::parse(text)["run"]["ranks"], ranks);
    // The leader alone prints: one table, one line per finished point.
    const auto lines = [](const std::string& text) {
      return std::count(text.begin(), text.end(), '\n');
    };
    EXPECT_EQ(lines(r.out), lines(one.out)) << r.out;
    EXPECT_EQ(lines(r.err), lines(one.err)) << r.err;
  }
}

TEST(MtsweepMpiTest, ALostRankEndsTheJobAndResumeCompletesTheSweep) {
  SweepScratch s;
  const std::string args =
      "--an 2.0:3.0:0.25 --ndkdd 20000 --min-errors 1000000 --min-frames 600 --max-frames 600 "
      "--threads 1 --quiet --checkpoint 0.1";
  ASSERT_EQ(s.run(MTSWEEP_BINARY, with_outputs(s, "whole", args)).status, 0);
  const std::string json_path = s.out("cut.json");

  // SIGTERM to one rank only: every rank stops after the same round.
  auto mpirun = s.start(MPIEXEC, job(3, with_outputs(s, "cut", args)));
  wait_for_more_points(json_path, 0);
  const pid_t rank1 = rank_process(mpirun.pid, 1);
  ASSERT_GT(rank1, 1) << "rank 1 of the job not found";
  testing_support::signal_process(rank1, SIGTERM);
  Outcome r = s.finish(mpirun, kJobTimeout);
  EXPECT_EQ(r.status, 143) << r.err;

  // A rank killed inside a point of the resumed sweep, once a checkpoint
  // holds some of its frames: the job ends, failed, with that progress kept.
  std::vector<std::string> resume = with_outputs(s, "cut", args);
  resume.push_back("--resume");
  const json before = json::parse(read_file(json_path));
  const int64_t checkpointed = unfinished_frames(before);
  const size_t kept = before["points"].size();
  mpirun = s.start(MPIEXEC, job(3, resume));
  EXPECT_GT(wait_for_progress(json_path, checkpointed, std::chrono::seconds(20)), checkpointed);
  const pid_t rank2 = rank_process(mpirun.pid, 2);
  ASSERT_GT(rank2, 1) << "rank 2 of the job not found";
  testing_support::signal_process(rank2, SIGKILL);
  r = s.finish(mpirun, kJobTimeout);
  EXPECT_GT(r.status, 0) << r.err;
  const json cut = json::parse(read_file(json_path));
  EXPECT_EQ(cut["complete"], false);
  EXPECT_LT(cut["points"].size(), 5u);
  EXPECT_GE(cut["points"].size(), kept);
  EXPECT_FALSE(cut["unfinished_point"].is_null());

  r = s.finish(s.start(MPIEXEC, job(2, resume)), kJobTimeout);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(s.out("cut.csv")), read_file(s.out("whole.csv")));
  EXPECT_EQ(without_times(read_file(json_path)), without_times(read_file(s.out("whole.json"))));
}

}  // namespace
