// mtsweep: bit error rate curves of the simulated code on every core, and
// on every rank of an MPI job.  Parses and checks the command line, keeps
// the finished points of an earlier sweep (--resume), makes sure every
// output can be written, then runs the sweep, rewriting the outputs after
// every finished point and keeping a running point's progress at least
// every --checkpoint seconds.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>

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
  kFailure,   // 1: a file, the standard output or memory failed
  kBadUsage,  // 2: the command line or the file to resume does not fit
  kPaused,    // 75: --max-time is up; continue with --resume
  kStopped,   // 128 + the signal: stopped by SIGINT or SIGTERM
};

struct Outcome {
  Ending ending = Ending::kDone;
  int signal = 0;  // with kStopped
};

// EX_TEMPFAIL of sysexits.h: "try again later", which a batch script can
// tell from a failure.
constexpr int kPausedStatus = 75;

int exit_status(const Outcome& o) {
  switch (o.ending) {
    case Ending::kDone:
      return 0;
    case Ending::kFailure:
      return 1;
    case Ending::kBadUsage:
      return 2;
    case Ending::kPaused:
      return kPausedStatus;
    case Ending::kStopped:
      return 128 + o.signal;
  }
  return 1;
}

Outcome outcome_of(const Stop& stop) {
  switch (stop.reason) {
    case StopReason::kNone:
      return {Ending::kDone};
    case StopReason::kWriteFailed:
      return {Ending::kFailure};
    case StopReason::kTimeBudget:
      return {Ending::kPaused};
    case StopReason::kSignal:
      return {Ending::kStopped, stop.signal};
  }
  return {Ending::kFailure};
}

double now_seconds() { return steady_seconds()(); }

// The whole state of one run of the program.
struct Run {
  Options options;
  RunInfo info;
  double start = now_seconds();
  double last_checkpoint = start;
  StopRequest stop;
  SweepResult result;
  Progress progress;
  std::string write_error;   // the first output file that failed
  std::string output_error;  // the standard output's failure
  // Set once the run's last checkpoint is written (or none can be): a
  // second signal waits a moment for it, then ends the process at once.
  std::mutex done_mutex;
  std::condition_variable done_changed;
  bool last_written = false;
};

void fail(const std::string& line) { std::fprintf(stderr, "mtsweep: %s\n", line.c_str()); }

// What the files are rewritten for: a finished point changes them all, a
// checkpoint only the JSON, which alone keeps the running point.
enum class Save { kAll, kCheckpoint };

// Rewrites the output files; the first failure is kept in run.write_error
// and ends the sweep: nothing more could be kept.
void save(Run& run, const SweepResult& r, Save what = Save::kAll) {
  const Options& o = run.options;
  run.info.wall_seconds = now_seconds() - run.start;
  auto write = [&](const std::string& path, auto make_text) {
    if (path.empty() || !run.write_error.empty()) return;
    run.write_error = write_file_atomically(path, make_text());
  };
  if (what == Save::kAll) write(o.csv, [&] { return csv_text(r, o.settings); });
  write(o.json, [&] { return json_text(r, o.settings, run.info); });
  if (what == Save::kAll && !r.points.empty()) {
    write(o.plot, [&] { return svg_plot(r, o.settings, o.plot_iterations); });
  }
  run.last_checkpoint = now_seconds();
  if (!run.write_error.empty()) run.stop.request(Stop{StopReason::kWriteFailed, 0});
}

// A running point's progress, at most every --checkpoint seconds.
void checkpoint_if_due(Run& run, const SweepResult& r) {
  if (now_seconds() - run.last_checkpoint >= run.options.checkpoint_seconds) {
    save(run, r, Save::kCheckpoint);
  }
}

// The run's last checkpoint is on disk (or none can be written): a second
// signal need not wait any longer.
void mark_last_written(Run& run) {
  std::lock_guard lock(run.done_mutex);
  run.last_written = true;
  run.done_changed.notify_all();
}

// Writes to the standard output, which may be a closed pipe (SIGPIPE is
// ignored, so the write fails with EPIPE) or a full disk: the first failure
// ends the sweep like a failed file.
void print(Run& run, const std::string& text) {
  if (!run.output_error.empty()) return;
  errno = 0;
  if (std::fputs(text.c_str(), stdout) < 0 || std::fflush(stdout) != 0) {
    run.output_error = std::string("cannot write the table to standard output: ") +
                       std::strerror(errno != 0 ? errno : EIO);
    run.stop.request(Stop{StopReason::kWriteFailed, 0});
  }
}

// The leader's part before the sweep: reads the sweep to resume into
// `resume_text` (left empty when there is none) and `resumed`, and makes
// sure every output can be written.  A problem has printed its line on
// stderr.
Outcome prepare(const Options& o, std::string& resume_text, SweepResult& resumed) {
  if (o.resume) {
    FileText file = read_file(o.json);
    if (!file.error.empty()) return fail(file.error), Outcome{Ending::kFailure};
    if (file.exists) {
      ResumedSweep read = read_sweep(file.text, o.json, o.settings);
      if (read.problem != ResumedSweep::Problem::kNone) {
        std::fprintf(stderr, "%s\n", read.error.c_str());
        return {read.problem == ResumedSweep::Problem::kOtherSettings ? Ending::kBadUsage
                                                                      : Ending::kFailure};
      }
      resumed = std::move(read.result);
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
  print(run, table_header(o.settings));
  for (const PointResult& p : run.result.points) print(run, table_line(p, o.settings));

  SweepHooks hooks;
  hooks.progress = [&run](const PointProgress& now) {
    show_progress(run.progress, now);
    if (run.options.max_time && now_seconds() - run.start >= *run.options.max_time) {
      run.stop.request(Stop{StopReason::kTimeBudget, 0});
    }
  };
  hooks.point_finished = [&run](size_t index, const PointResult& p) {
    show_point_finished(run.progress, index, p);
    print(run, table_line(p, run.options.settings));
  };
  hooks.save = [&run](const SweepResult& r) { save(run, r); };
  hooks.round_done = [&run](const SweepResult& r) { checkpoint_if_due(run, r); };
  return hooks;
}

// What the files keep of a stopped sweep, for its last line.
std::string kept(const Run& run) {
  const Options& o = run.options;
  if (o.csv.empty() && o.json.empty() && o.plot.empty()) return "no output file keeps the results";
  const bool progress = !o.json.empty() && has_progress(run.result);
  return std::to_string(run.result.points.size()) + " finished point(s)" +
         (progress ? " and the running one's progress" : "") + " kept";
}

// The sweep's last lines on stderr, and its outcome.
Outcome report_end(Run& run, const Stop& stop) {
  const Options& o = run.options;
  close_progress(run.progress);
  const std::string resume = o.json.empty() ? "" : " (continue with --resume)";
  if (!run.write_error.empty()) return fail(run.write_error), Outcome{Ending::kFailure};
  if (!run.output_error.empty()) {
    fail(run.output_error + "; " + kept(run) + resume);
    return {Ending::kFailure};
  }
  if (stop.reason == StopReason::kSignal) {
    fail(std::string("stopped by ") + (stop.signal == SIGINT ? "SIGINT" : "SIGTERM") + "; " +
         kept(run) + resume);
  } else if (stop.reason == StopReason::kTimeBudget) {
    fail("--max-time reached; " + kept(run) + "; continue with the same command and --resume");
  }
  return outcome_of(stop);
}

Outcome sweep(Run& run, Cluster& cluster) {
  const Options& o = run.options;
  // Only the leader touches files; the others parse the text of the sweep
  // it read.
  std::string resume_text;
  SweepResult resumed;
  const Outcome prepared = cluster.leader() ? prepare(o, resume_text, resumed) : Outcome{};
  const auto ending = static_cast<Ending>(cluster.share(static_cast<int>(prepared.ending)));
  if (ending != Ending::kDone) return {ending};
  resume_text = cluster.share(resume_text);
  if (cluster.leader()) {
    run.result = std::move(resumed);
  } else if (!resume_text.empty()) {
    run.result = read_sweep(resume_text, o.json, o.settings).result;
  }

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
      },
      [&cluster](bool mine) { return cluster.share(mine ? 1 : 0) != 0; }};
  const Stop stop = run_sweep(o.settings, rounds, run.result, hooks);
  if (!cluster.leader()) return outcome_of(stop);
  // The run's last checkpoint: the running point as the last whole round
  // left it (a complete sweep was saved by run_sweep).
  if (stop.requested()) save(run, run.result);
  mark_last_written(run);
  return report_end(run, stop);
}

// Any failure that leaves the sweep: the leader keeps what it can, then
// one line.
Outcome failed(Run& run, Cluster& cluster, const std::string& line) {
  if (cluster.leader()) {
    try {  // memory may be short for the files too: the line comes first
      if (!run.result.points.empty() || run.result.unfinished) save(run, run.result);
    } catch (const std::exception&) {
    }
    mark_last_written(run);
    close_progress(run.progress);
    fail(line);
  }
  // The other processes may wait for this one in a round: end them too.
  if (cluster.size() > 1) cluster.abort(1);
  return {Ending::kFailure};
}

std::string out_of_memory(const Options& o) {
  return "out of memory: each worker thread keeps a simulator of about 29 MB (--threads " +
         std::to_string(o.threads) + " needs about " + std::to_string(30 * o.threads) +
         " MB); give fewer --threads";
}

int run_program(Run& run, int argc, char** argv) {
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
  } catch (const std::bad_alloc&) {
    return exit_status(failed(run, cluster, out_of_memory(run.options)));
  } catch (const std::exception& e) {
    return exit_status(failed(run, cluster, e.what()));
  }
}

}  // namespace

int main(int argc, char** argv) {
  // A closed pipe on stdout (mtsweep ... | head) is a failed write, handled
  // like any other, not a death that would lose the running point.
  std::signal(SIGPIPE, SIG_IGN);
  Run run;
  // Before MPI starts threads of its own, so that they too leave SIGINT and
  // SIGTERM to the watcher.  A second signal ends the run at once, after
  // the last checkpoint if that is written within a second.
  SignalWatcher watcher(run.stop, [&run](int signal) {
    std::unique_lock lock(run.done_mutex);
    run.done_changed.wait_for(lock, std::chrono::seconds(1), [&run] { return run.last_written; });
    std::fprintf(stderr, "mtsweep: stopped at once by a second signal\n");
    std::_Exit(128 + signal);
  });
  int status = 1;
  try {
    status = run_program(run, argc, argv);
  } catch (const std::exception& e) {  // joining MPI failed
    fail(e.what());
  }
  mark_last_written(run);
  return status;
}
