#include "mtsweep/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <map>

#include "mtsweep/decimal_range.h"
#include "mtsweep/duration.h"
#include "sweep/output/svg_plot.h"

namespace mtsweep {

namespace {


// A usage error: its text is the whole line printed.
struct UsageError {
  std::string line;
};

[[noreturn]] void refuse(const std::string& option, const std::string& what) {
  throw UsageError{"mtsweep: " + option + ": " + what};
}

int64_t to_integer(const std::string& option, const std::string& text) {
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || end != text.data() + text.size()) {
    refuse(option, "\"" + text + "\" is not an integer");
  }
  return value;
}

int64_t integer_in(const std::string& option, const std::string& text, int64_t lo, int64_t hi) {
  const int64_t value = to_integer(option, text);
  if (value < lo || value > hi) {
    refuse(option, text + " is outside " + std::to_string(lo) + " ... " + std::to_string(hi));
  }
  return value;
}

double to_real(const std::string& option, const std::string& text) {
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(value)) {
    refuse(option, "\"" + text + "\" is not a number");
  }
  if (errno == ERANGE) refuse(option, text + " is out of range");
  return value;
}

// The defaults of every setting.
const SweepSettings kDefaults;

// The option texts as given; converted and checked after CLI11 is done.
struct RawOptions {
  std::vector<std::string> an;
  std::map<std::string, std::string> integers;  // by setting name
  std::string stop_ber, threads, plot_iterations, checkpoint = "60", max_time, point_time;
};

std::string range(int64_t lo, int64_t hi) { return std::to_string(lo) + " ... " + std::to_string(hi); }

// What each integer setting's option does, before its range and default.
std::string integer_help(const IntegerSetting& setting) {
  const std::map<std::string, std::string> help = {
      {"ndkdd", "time steps of a frame, " + range(setting.lo, setting.hi)},
      {"iterat", "decoder iterations, " + range(setting.lo, setting.hi)},
      {"npacketll", "error packet length in bits, " + range(setting.lo, setting.hi)},
      {"infind", "source: 3 random, 2 pattern, 1 ones, 0 zeros"},
      {"seed", "frame i of every point uses kst = seed + i"},
      {"min_errors", "a point stops once its frames hold this many errors after the last iteration"},
      {"min_error_frames",
       "and once that many of its frames hold errors after the last iteration: the independent "
       "events behind its errors"},
      {"min_frames", "frames of a point at least, 2 or more"},
      {"max_frames", "frames of a point at most, up to " + std::to_string(setting.hi)},
  };
  return help.at(setting.name) + " (default " + std::to_string(setting.get(kDefaults)) + ")";
}

void add_options(CLI::App& app, RawOptions& raw, Options& o) {
  app.add_option("--an", raw.an,
                 "Es/N0 values in dB, 2.0 ... 5.0: a list 2.0,2.5 or ranges start:stop:step "
                 "with an inclusive end (2.0:4.0:0.25 is 9 points); may be repeated")
      ->required()
      ->delimiter('\0')
      ->type_name("LIST");
  for (const IntegerSetting& setting : integer_settings()) {
    std::string& text = raw.integers[setting.name];
    text = std::to_string(setting.get(kDefaults));
    app.add_option(option_of(setting.name), text, integer_help(setting))->type_name("INT");
  }
  app.add_option("--stop-ber", raw.stop_ber,
                 "skip the points after one whose BER after the last iteration is below this")
      ->type_name("NUM");
  app.add_option("--threads", raw.threads,
                 "worker threads, " + range(1, MAX_THREADS) + " (default: the cores available)")
      ->type_name("INT");
  app.add_option("--csv", o.csv, "write one row per point and iteration to this file")
      ->type_name("FILE");
  app.add_option("--json", o.json, "write the whole sweep to this file")
      ->type_name("FILE");
  app.add_option("--plot", o.plot, "draw the BER curves to this SVG file")
      ->type_name("FILE");
  app.add_option("--plot-iterations", raw.plot_iterations,
                 "iterations drawn, e.g. 1,4,8 (default: the first, the middle and the last)")
      ->type_name("LIST");
  app.add_option("--checkpoint", raw.checkpoint,
                 "keep a running point's progress in the --json file at least this often, "
                 "in seconds (default 60)")
      ->type_name("SECONDS");
  app.add_option("--max-time", raw.max_time,
                 "end this run after this long (e.g. 90s, 45m, 11h30m), with a checkpoint and "
                 "exit status 75, to be continued with --resume; results are unchanged")
      ->type_name("DURATION");
  app.add_option("--point-time", raw.point_time,
                 "end a point after this long with the frames it has (stopped_by \"time\"); "
                 "its result then depends on the machine's speed, threads and ranks")
      ->type_name("DURATION");
  app.add_flag("--quiet", o.quiet, "no progress on stderr");
  app.add_flag(
      "--resume", o.resume,
      "continue the sweep in the --json file: keep its finished points, simulate the rest");
}

double duration(const std::string& option, const std::string& text) {
  const std::optional<double> seconds = parse_duration(text);
  if (!seconds) refuse(option, "\"" + text + "\" is not a duration such as 90s, 45m or 11h30m");
  return *seconds;
}

// A setting's problem as the command line names it: the option, and every
// setting the message names as its option ("9 is below --min-frames 10").
[[noreturn]] void refuse(const SettingError& e) {
  std::string what = e.what;
  for (const IntegerSetting& other : integer_settings()) {
    const std::string name = other.name, option = option_of(name);
    for (size_t at = 0; (at = what.find(name, at)) != std::string::npos; at += option.size()) {
      what.replace(at, name.size(), option);
    }
  }
  refuse(option_of(e.setting), what);
}

// An integer setting's option, converted and checked against its range.
int64_t setting_value(const IntegerSetting& setting, const std::string& text) {
  const int64_t value = to_integer(option_of(setting.name), text);
  if (const auto error = check_integer(setting, value)) refuse(*error);
  return value;
}

std::vector<double> an_values(const std::vector<std::string>& items) {
  std::vector<double> values;
  for (const std::string& item : items) {
    const DecimalList list = parse_decimal_list(item);
    if (!list.error.empty()) refuse("--an", list.error);
    values.insert(values.end(), list.values.begin(), list.values.end());
  }
  values = sorted_an(std::move(values));
  if (values.size() > static_cast<size_t>(MAX_RANGE_POINTS)) refuse("--an", "too many values");
  return values;
}

void convert(const RawOptions& raw, int default_threads, Options& o) {
  SweepSettings& s = o.settings;
  s.an = an_values(raw.an);
  for (const IntegerSetting& setting : integer_settings()) {
    setting.set(s, setting_value(setting, raw.integers.at(setting.name)));
  }
  if (!raw.stop_ber.empty()) s.stop_ber = to_real("--stop-ber", raw.stop_ber);
  if (!raw.point_time.empty()) s.point_time = duration("--point-time", raw.point_time);
  if (!raw.max_time.empty()) o.max_time = duration("--max-time", raw.max_time);
  o.checkpoint_seconds = to_real("--checkpoint", raw.checkpoint);
  if (!(o.checkpoint_seconds > 0.0)) refuse("--checkpoint", raw.checkpoint + " is not above 0");
  if (const auto error = settings_error(s)) refuse(*error);
  o.threads = raw.threads.empty()
                  ? std::clamp(default_threads, 1, MAX_THREADS)
                  : static_cast<int>(integer_in("--threads", raw.threads, 1, MAX_THREADS));
  if (raw.plot_iterations.empty()) {
    o.plot_iterations = default_plot_iterations(s.iterat);
  } else {
    // Each checked as it is converted, so that a refusal quotes the text
    // as given ("09 is outside 1 ... 8").
    std::vector<int64_t> chosen;
    for (size_t from = 0;;) {
      const size_t comma = raw.plot_iterations.find(',', from);
      chosen.push_back(integer_in("--plot-iterations",
                                  raw.plot_iterations.substr(from, comma - from), 1, s.iterat));
      if (comma == std::string::npos) break;
      from = comma + 1;
    }
    PlotIterations plot = chosen_plot_iterations(chosen, s.iterat);
    if (!plot.error.empty()) refuse("--plot-iterations", plot.error);
    o.plot_iterations = std::move(plot.iterations);
  }
  if (o.resume && o.json.empty()) refuse("--resume", "needs --json FILE, the sweep to continue");
  const std::pair<const char*, const std::string*> files[] = {
      {"--csv", &o.csv}, {"--json", &o.json}, {"--plot", &o.plot}};
  for (const auto& [name, path] : files) {
    for (const auto& [other, other_path] : files) {
      if (name != other && !path->empty() && *path == *other_path) {
        refuse(name, "\"" + *path + "\" is also given to " + other);
      }
    }
  }
}

}  // namespace

ParsedCommandLine parse_command_line(int argc, const char* const* argv, const std::string& version,
                                     int default_threads) {
  Options o;
  o.command_line.assign(argv, argv + argc);
  CLI::App app{
      "Sweeps bit error rate curves of the simulated rate-3/4 code and multithreshold decoder:\n"
      "for every AN, frames with kst = seed, seed + 1, ... until the errors after the last\n"
      "iteration reach --min-errors. Prints a table; writes CSV, JSON and an SVG plot.\n"
      "README.md (section Curves) explains the outputs and the intervals.",
      "mtsweep"};
  RawOptions raw;
  add_options(app, raw, o);
  app.set_version_flag("--version", "mtsweep " + version);
  try {
    app.parse(argc, argv);
    convert(raw, default_threads, o);
  } catch (const CLI::CallForHelp&) {
    return EarlyExit{false, app.help()};
  } catch (const CLI::CallForVersion& e) {
    return EarlyExit{false, std::string(e.what()) + "\n"};
  } catch (const CLI::ParseError& e) {
    return EarlyExit{true, "mtsweep: " + std::string(e.what()) + " (see --help)\n"};
  } catch (const UsageError& e) {
    return EarlyExit{true, e.line + "\n"};
  }
  return o;
}

}  // namespace mtsweep
