// The sweep in process: mtsweep's engine (run_sweep over this process's
// FramePool) with its settings taken from Python's keywords, and its
// outputs made by the library's writers, so that a sweep from Python gives
// mtsweep's numbers and files.
#include <pybind11/stl.h>

#include <chrono>
#include <cmath>

#include "bindings.h"
#include "sweep/output/atomic_file.h"
#include "sweep/output/csv.h"
#include "sweep/output/json_file.h"
#include "sweep/output/svg_plot.h"
#include "sweep/rounds/frame_pool.h"
#include "sweep/stats/intervals.h"
#include "sweep/sweep.h"

namespace mtsim_python {

namespace {

using namespace mtsweep;

[[noreturn]] void refuse_setting(const SettingError& e) { refuse(e.setting, e.what); }

template <typename T>
T cast_argument(const char* argument, const py::handle& value, const char* expected) {
  try {
    return value.cast<T>();
  } catch (const py::cast_error&) {
    throw py::type_error(std::string(argument) + ": " + expected + ", not " +
                         py::str(py::type::of(value).attr("__name__")).cast<std::string>());
  }
}

// The settings of `given` (keyword to value), checked as mtsweep checks
// its options; settings not given keep mtsweep's defaults.
SweepSettings settings_from(const py::dict& given) {
  SweepSettings s;
  std::vector<double> an =
      cast_argument<std::vector<double>>("an", given["an"], "a sequence of numbers");
  for (const double v : an) {
    if (std::isnan(v)) refuse("an", "nan is not a number");  // sorting needs ordered values
  }
  s.an = sorted_an(std::move(an));
  for (const IntegerSetting& setting : integer_settings()) {
    if (!given.contains(setting.name)) continue;
    const auto value = cast_argument<int64_t>(setting.name, given[setting.name], "an integer");
    if (const auto error = check_integer(setting, value)) refuse_setting(*error);
    setting.set(s, value);
  }
  if (given.contains("stop_ber") && !given["stop_ber"].is_none()) {
    s.stop_ber = cast_argument<double>("stop_ber", given["stop_ber"], "a number or None");
  }
  if (given.contains("point_time") && !given["point_time"].is_none()) {
    s.point_time = cast_argument<double>("point_time", given["point_time"], "seconds or None");
  }
  if (const auto error = settings_error(s)) refuse_setting(*error);
  return s;
}

py::dict default_settings() {
  const SweepSettings d;
  py::dict out;
  for (const IntegerSetting& setting : integer_settings()) out[setting.name] = setting.get(d);
  out["stop_ber"] = py::none();
  out["point_time"] = py::none();
  return out;
}

// Where a point stands, for a progress callback.
struct SweepProgress {
  size_t point = 0;   // index among the sorted AN values
  size_t points = 0;  // of the sweep
  double an_db = 0.0;
  double ebn0_db = 0.0;
  int64_t frames = 0;  // added to the point so far (its K once finished)
  int64_t errors = 0;  // after the last iteration, in those frames
  double ber = NAN;    // errors / judged bits, NaN before the first frame
  int64_t frames_computed = 0;
  double seconds = 0.0;
  bool finished = false;
};

SweepProgress progress_of(const SweepSettings& s, size_t index, const PointSums& sums) {
  SweepProgress p;
  p.point = index;
  p.points = s.an.size();
  p.an_db = s.an[index];
  p.ebn0_db = ebn0_db(p.an_db);
  p.frames = sums.frames;
  p.errors = last_errors(sums, s.iterat);
  p.ber = sums.frames > 0 ? running_ber(sums, s.ndkdd, s.iterat) : NAN;
  return p;
}

// A finished sweep: the engine's result with the settings and run that
// the outputs need.
struct SweepRun {
  SweepSettings settings;
  SweepResult result;
  RunInfo info;
};

SweepRun run(const py::dict& given, std::optional<int64_t> threads, const py::object& progress) {
  SweepRun out;
  out.settings = settings_from(given);
  const int workers = thread_count(threads);
  out.info = RunInfo{MTSIM_VERSION, {"python", "mtsim.sweep"}, workers, 1, workers, 0.0};
  StopRequest stop;
  PythonChecks checks(stop);
  auto report = [&](const SweepProgress& p) {
    checks.check([&] {
      if (!progress.is_none()) progress(p);
    });
  };
  SweepHooks hooks;
  hooks.progress = [&](const PointProgress& now) {
    SweepProgress p = progress_of(out.settings, now.index, *now.sums);
    p.frames_computed = now.frames_computed;
    p.seconds = now.seconds;
    report(p);
  };
  hooks.point_finished = [&](size_t index, const PointResult& point) {
    SweepProgress p = progress_of(out.settings, index, point.sums);
    p.frames_computed = point.timing.frames_computed;
    p.seconds = point.timing.wall_seconds;
    p.finished = true;
    report(p);
  };
  const auto start = std::chrono::steady_clock::now();
  {
    py::gil_scoped_release released;
    FramePool pool(workers);
    run_sweep(out.settings, pool_rounds(pool, stop), out.result, hooks);
  }
  out.info.wall_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  checks.finish();
  return out;
}

py::list rows_of(const SweepRun& r) {
  py::list rows;
  for (const CsvRow& row : csv_rows(r.result, r.settings)) {
    rows.append(py::make_tuple(row.an_db, row.ebn0_db, row.iteration, row.frames, row.bits,
                               row.errors, row.ber, row.ber_low, row.ber_high, row.error_frames));
  }
  return rows;
}

std::string plot_of(const SweepRun& r, std::optional<std::vector<int64_t>> chosen) {
  if (r.result.points.empty()) throw py::value_error("the sweep has no finished point to plot");
  if (!chosen) return svg_plot(r.result, r.settings, default_plot_iterations(r.settings.iterat));
  const PlotIterations plot = chosen_plot_iterations(*chosen, r.settings.iterat);
  if (!plot.error.empty()) refuse("iterations", plot.error);
  return svg_plot(r.result, r.settings, plot.iterations);
}

void write_file(const std::string& path, const std::string& text) {
  if (const std::string error = write_file_atomically(path, text); !error.empty()) {
    PyErr_SetString(PyExc_OSError, error.c_str());
    throw py::error_already_set();
  }
}

}  // namespace

void bind_sweep(py::module_& m) {
  py::class_<SweepProgress>(m, "SweepProgress", "Where the current point of a sweep stands.")
      .def_readonly("point", &SweepProgress::point, "index of the point among the sorted AN values")
      .def_readonly("points", &SweepProgress::points, "points of the sweep")
      .def_readonly("an_db", &SweepProgress::an_db)
      .def_readonly("ebn0_db", &SweepProgress::ebn0_db)
      .def_readonly("frames", &SweepProgress::frames, "frames added to the point so far")
      .def_readonly("errors", &SweepProgress::errors, "errors after the last iteration in those frames")
      .def_readonly("ber", &SweepProgress::ber, "BER after the last iteration so far (NaN before a frame)")
      .def_readonly("frames_computed", &SweepProgress::frames_computed,
                    "frames run, with those beyond the stop rule")
      .def_readonly("seconds", &SweepProgress::seconds, "since the point started")
      .def_readonly("finished", &SweepProgress::finished, "the point is complete");

  py::class_<SweepRun>(m, "SweepRun", "A finished sweep as the engine left it (see mtsim.SweepResult).")
      .def("csv_text", [](const SweepRun& r) { return csv_text(r.result, r.settings); })
      .def("json_text", [](const SweepRun& r) { return json_text(r.result, r.settings, r.info); })
      .def("svg_text", &plot_of, py::arg("iterations") = py::none())
      .def("rows", &rows_of);

  m.def("run_sweep", &run, py::arg("settings"), py::arg("threads"), py::arg("progress"));
  m.def("default_settings", &default_settings);
  m.def("write_file", &write_file, py::arg("path"), py::arg("text"));
  m.attr("CSV_COLUMNS") = py::tuple(py::str(CSV_HEADER).attr("split")(","));
}

}  // namespace mtsim_python
