// mtsweep: bit error rate curves of the simulated code on every core, and
// on every rank of an MPI job.  Parses and checks the command line, keeps
// the finished points of an earlier sweep (--resume), makes sure every
// output can be written, then runs the sweep, rewriting the outputs after
// every finished point.
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>

#include "mtsweep/options.h"
#include "mtsweep/progress.h"
#include "mtsweep/signals.h"
#include "sweep/output/atomic_file.h"
#include "sweep/output/csv.h"
#include "sweep/output/json_file.h"
#include "sweep/output/svg_plot.h"
#include "sweep/output/table.h"
#include "sweep/rounds/cluster.h"
#include "sweep/rounds/shared_rounds.h"
#include "sweep/sweep.h"

namespace {

using namespace mtsweep;

// How a run ends.  exit_status() is the one place that turns it into the
// process's exit status.
enum class Ending {
  kDone,      // 0: the sweep is complete
  kFailure,   // 1: a file could not be read or written
  kBadUsage,  // 2: the command line or the file to resume does not fit
  kStopped,   // 128 + the signal: stopped by SIGINT or SIGTERM
};

struct Outcome {
  Ending ending = Ending::kDone;
  int signal = 0;  // with kStopped
};

int exit_status(const Outcome& o) {
  switch (o.ending) {
    case Ending::kDone:
      return 0;
    case Ending::kFailure:
      return 1;
    case Ending::kBadUsage:
      return 2;
    case Ending::kStopped:
      return 128 + o.signal;
  }
  return 1;
}

// A stopped sweep's outcome: a failed write is a failure; a signal stops it.
Outcome outcome_of(const Stop& stop) {
  switch (stop.reason) {
    case StopReason::kNone:
      return {Ending::kDone};
    case StopReason::kWriteFailed:
      return {Ending::kFailure};
    case StopReason::kSignal:
      return {Ending::kStopped, stop.signal};
  }
  return {Ending::kFailure};
}

// The whole state of one run of the program.
struct Run {
  Options options;
  RunInfo info;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  StopRequest stop;
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
  // End the sweep: nothing more can be kept.
  if (!run.write_error.empty()) run.stop.request(Stop{StopReason::kWriteFailed, 0});
}

// The leader's part before the sweep: reads the sweep to resume into
// `resume_text` (left empty when there is none) and makes sure every output
// can be written.  A problem has printed its line on stderr.
Outcome prepare(const Options& o, std::string& resume_text) {
  if (o.resume) {
    FileText file = read_file(o.json);
    if (!file.error.empty()) return fail(file.error), Outcome{Ending::kFailure};
    if (file.exists) {
      const ResumedSweep resumed = read_sweep(file.text, o.json, o.settings);
      if (resumed.problem != ResumedSweep::Problem::kNone) {
        std::fprintf(stderr, "%s\n", resumed.error.c_str());
        return {resumed.problem == ResumedSweep::Problem::kOtherSettings ? Ending::kBadUsage
                                                                         : Ending::kFailure};
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
    if (!error.empty()) return fail(error), Outcome{Ending::kFailure};
  }
  return {};
}

// The leader prints and keeps the files; the other processes only compute
// their slices of every round, silently.
SweepHooks leader_hooks(Run& run) {
  const Options& o = run.options;
  const bool terminal_err = isatty(STDERR_FILENO) == 1;
  const bool terminal_out = isatty(STDOUT_FILENO) == 1;
  run.progress = Progress{stderr,
                          ProgressOptions{.enabled = !o.quiet,
                                          .live = terminal_err,
                                          .point_lines = !(terminal_err && terminal_out)},
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

Outcome sweep(Run& run, Cluster& cluster) {
  const Options& o = run.options;
  // Only the leader touches files; the others take the sweep it read.
  std::string resume_text;
  const Outcome prepared = cluster.leader() ? prepare(o, resume_text) : Outcome{};
  const auto ending = static_cast<Ending>(cluster.share(static_cast<int>(prepared.ending)));
  if (ending != Ending::kDone) return {ending};
  resume_text = cluster.share(resume_text);
  if (!resume_text.empty()) run.result = read_sweep(resume_text, o.json, o.settings).result;

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
  const Stop stop = run_sweep(o.settings, rounds, run.result, hooks);
  if (!cluster.leader()) return outcome_of(stop);

  close_progress(run.progress);
  if (!run.write_error.empty()) return fail(run.write_error), Outcome{Ending::kFailure};
  if (stop.reason == StopReason::kSignal) {
    std::fprintf(stderr, "mtsweep: stopped by %s; %zu finished point(s) kept%s\n",
                 stop.signal == SIGINT ? "SIGINT" : "SIGTERM", run.result.points.size(),
                 o.json.empty() ? "" : " (continue with --resume)");
  }
  return outcome_of(stop);
}

}  // namespace

int main(int argc, char** argv) {
  Run run;
  // Before MPI starts threads of its own, so that they too leave SIGINT and
  // SIGTERM to the watcher.
  SignalWatcher watcher(run.stop);
  Cluster cluster(argc, argv);
  ParsedCommandLine parsed = parse_command_line(argc, argv, MTSIM_VERSION, available_cores());
  if (const auto* early = std::get_if<EarlyExit>(&parsed)) {
    // The same on every process: the same command line.
    if (cluster.leader()) std::fputs(early->text.c_str(), early->bad_usage ? stderr : stdout);
    return exit_status({early->bad_usage ? Ending::kBadUsage : Ending::kDone});
  }
  run.options = std::move(std::get<Options>(parsed));
  run.info = RunInfo{MTSIM_VERSION, run.options.command_line, run.options.threads, 1, 1, 0.0};
  try {
    return exit_status(sweep(run, cluster));
  } catch (const std::exception& e) {
    if (cluster.leader()) fail(e.what());
    // The other processes may wait for this one in a round: end them too.
    if (cluster.size() > 1) cluster.abort(1);
    return exit_status({Ending::kFailure});
  }
}
