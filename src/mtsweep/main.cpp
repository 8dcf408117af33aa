// mtsweep: bit error rate curves of the simulated code on every core, and
// on every rank of an MPI job.  Parses and checks the command line, keeps
// the finished points of an earlier sweep (--resume), makes sure every
// output can be written, then runs the sweep, rewriting the outputs after
// every finished point.
#include <sched.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>

#include "mtsweep/atomic_file.h"
#include "mtsweep/capacity.h"
#include "mtsweep/cluster.h"
#include "mtsweep/csv.h"
#include "mtsweep/json_file.h"
#include "mtsweep/progress.h"
#include "mtsweep/shared_rounds.h"
#include "mtsweep/signals.h"
#include "mtsweep/svg_plot.h"
#include "mtsweep/sweep.h"
#include "mtsweep/table.h"

namespace {

using namespace mtsweep;

int available_cores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return CPU_COUNT(&set);
}

// The whole state of one run of the program.
struct Run {
  Options options;
  RunInfo info;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  std::atomic<int> stop{0};
  SweepResult result;
  Progress progress;
  std::string write_error;
};

void fail(const std::string& line) { std::fprintf(stderr, "mtsweep: %s\n", line.c_str()); }

// Rewrites every output file; the first failure is kept in run.write_error.
void save(Run& run, const SweepResult& r) {
  const Options& o = run.options;
  run.info.wall_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - run.start).count();
  auto write = [&](const std::string& path, auto make_text) {
    if (path.empty() || !run.write_error.empty()) return;
    run.write_error = write_file_atomically(path, make_text());
  };
  write(o.csv, [&] { return csv_text(r, o.settings); });
  write(o.json, [&] { return json_text(r, o.settings, run.info); });
  if (!r.points.empty()) write(o.plot, [&] { return svg_plot(r, o.settings, o.plot_iterations); });
  if (!run.write_error.empty()) run.stop.store(-1);  // end the sweep: nothing more can be kept
}

// The leader's part before the sweep: reads the sweep to resume into
// `resume_text` (left empty when there is none) and makes sure every output
// can be written.  Returns 0, or the exit status after a line on stderr.
int prepare(const Options& o, std::string& resume_text) {
  if (o.resume) {
    FileText file = read_file(o.json);
    if (!file.error.empty()) return fail(file.error), 1;
    if (file.exists) {
      const ResumedSweep resumed = read_sweep(file.text, o.json, o.settings);
      if (resumed.exit_status != 0) {
        std::fprintf(stderr, "%s\n", resumed.error.c_str());
        return resumed.exit_status;
      }
      resume_text = std::move(file.text);
    } else if (!o.quiet) {
      std::fprintf(stderr, "mtsweep: --resume: \"%s\" does not exist yet; starting afresh\n",
                   o.json.c_str());
    }
  }
  for (const std::string* path : {&o.csv, &o.json, &o.plot}) {
    if (path->empty()) continue;
    const std::string error = check_writable(*path);
    if (!error.empty()) return fail(error), 1;
  }
  return 0;
}

// The leader prints and keeps the files; the other processes only compute
// their slices of every round, silently.
SweepHooks leader_hooks(Run& run) {
  const Options& o = run.options;
  run.progress = Progress{stderr,
                          isatty(STDERR_FILENO) == 1,
                          !o.quiet,
                          !(isatty(STDERR_FILENO) == 1 && isatty(STDOUT_FILENO) == 1),
                          o.settings.an.size(),
                          &o.settings};
  std::fputs(table_header(o.settings).c_str(), stdout);
  for (const PointResult& p : run.result.points)
    std::fputs(table_line(p, o.settings).c_str(), stdout);
  std::fflush(stdout);

  SweepHooks hooks;
  hooks.progress = [&run](const PointProgress& now) { show_progress(run.progress, now); };
  hooks.point_finished = [&run](size_t index, const PointResult& p) {
    show_point_finished(run.progress, index, p);
    std::fputs(table_line(p, run.options.settings).c_str(), stdout);
    std::fflush(stdout);
  };
  hooks.save = [&run](const SweepResult& r) { save(run, r); };
  return hooks;
}

int sweep(Run& run, Cluster& cluster) {
  const Options& o = run.options;
  // Only the leader touches files; the others take the sweep it read.
  std::string resume_text;
  const int status = cluster.share(cluster.leader() ? prepare(o, resume_text) : 0);
  if (status != 0) return status;
  resume_text = cluster.share(resume_text);
  if (!resume_text.empty()) run.result = read_sweep(resume_text, o.json, o.settings).result;
  run.result.capacity_an = an_at_capacity(CODE_RATE);

  FramePool pool(o.threads);
  SharedRounds shared(cluster, pool, run.stop);
  run.info.ranks = cluster.size();
  run.info.workers = shared.workers();
  const SweepHooks hooks = cluster.leader() ? leader_hooks(run) : SweepHooks{};
  const RoundRunner rounds{
      shared.workers(),
      [&shared](const mtsim::FrameConfig& config, int32_t first_kst,
                std::span<mtsim::FrameCounts> round, const std::function<void(int64_t)>& tick) {
        return shared.run(config, first_kst, round, tick);
      }};
  const int stopped = run_sweep(o.settings, rounds, run.result, hooks);
  if (!cluster.leader()) return stopped == 0 ? 0 : stopped < 0 ? 1 : exit_status_for(stopped);

  close_progress(run.progress);
  if (!run.write_error.empty()) return fail(run.write_error), 1;
  if (stopped != 0) {
    std::fprintf(stderr, "mtsweep: stopped by %s; %zu finished point(s) kept%s\n",
                 stopped == SIGINT ? "SIGINT" : "SIGTERM", run.result.points.size(),
                 o.json.empty() ? "" : " (continue with --resume)");
    return exit_status_for(stopped);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Run run;
  // Before MPI starts threads of its own, so that they too leave SIGINT and
  // SIGTERM to the watcher.
  SignalWatcher watcher(run.stop);
  Cluster cluster(argc, argv);
  ParsedCommandLine parsed = parse_command_line(argc, argv, MTSIM_VERSION, available_cores());
  if (parsed.exit_status >= 0) {  // the same on every process: the same command line
    if (cluster.leader())
      std::fputs(parsed.text.c_str(), parsed.exit_status == 0 ? stdout : stderr);
    return parsed.exit_status;
  }
  run.options = std::move(parsed.options);
  run.info = RunInfo{MTSIM_VERSION, run.options.command_line, run.options.threads, 1, 1, 0.0};
  try {
    return sweep(run, cluster);
  } catch (const std::exception& e) {
    if (cluster.leader()) fail(e.what());
    // The other processes may wait for this one in a round: end them too.
    if (cluster.size() > 1) cluster.abort(1);
    return 1;
  }
}
