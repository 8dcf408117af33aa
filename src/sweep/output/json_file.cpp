#include "sweep/output/json_file.h"

#include <nlohmann/json.hpp>

#include "sweep/stats/intervals.h"

namespace mtsweep {

namespace {

using json = nlohmann::ordered_json;

json settings_json(const SweepSettings& s) {
  json j{{"an", s.an}};
  for (const IntegerSetting& setting : integer_settings()) j[setting.name] = setting.get(s);
  j["stop_ber"] = s.stop_ber ? json(*s.stop_ber) : json(nullptr);
  j["point_time"] = s.point_time ? json(*s.point_time) : json(nullptr);
  return j;
}

json channel_json(const mtsim::ChannelEstimates& e) {
  return json{{"p8", e.p8},           {"C8", e.C8},          {"R8", e.R8},   {"C2_8", e.hard8.C2},
              {"R1_8", e.hard8.R1},   {"p16", e.p16},        {"C16", e.C16}, {"R16", e.R16},
              {"C2_16", e.hard16.C2}, {"R1_16", e.hard16.R1}};
}

json point_json(const PointResult& p, const SweepSettings& s) {
  const PointSums& sums = p.sums;
  const auto entries = static_cast<size_t>(s.iterat + 3);
  json iterations = json::array();
  for (int it = 0; it <= s.iterat; ++it) {
    const Rate r = rate_after(sums, s.ndkdd, it);
    iterations.push_back({{"iteration", it},
                          {"bits_per_frame", judged_bits(s.ndkdd, it)},
                          {"bits", r.bits},
                          {"errors", r.errors},
                          {"error_frames", r.error_frames},
                          {"ber", r.ber},
                          {"ber_low", r.low},
                          {"ber_high", r.high}});
  }
  json failing = json::array();
  for (const FailingFrame& f : sums.failing) failing.push_back({{"kst", f.kst}, {"errors", f.errors}});
  return json{
      {"an_db", p.an},
      {"ebn0_db", ebn0_db(p.an)},
      {"frames", sums.frames},
      {"kst", {s.seed, s.seed + sums.frames - 1}},
      {"stopped_by", p.stopped_by == PointStop::kNotYet ? json(nullptr)
                                                          : json(point_stop_name(p.stopped_by))},
      {"counts",
       {{"table", std::vector<int64_t>(sums.table.begin(), sums.table.begin() + entries)},
        {"table_sq", std::vector<double>(sums.table_sq.begin(), sums.table_sq.begin() + entries)},
        {"table_cube",
         std::vector<double>(sums.table_cube.begin(), sums.table_cube.begin() + entries)},
        {"error_frames",
         std::vector<int64_t>(sums.error_frames.begin(), sums.error_frames.begin() + entries)},
        {"inftot", sums.inftot},
        {"inf_weight", sums.inf_weight},
        {"check_weight", sums.check_weight},
        {"inferr", sums.inferr},
        {"isaerr", sums.isaerr}}},
      {"iterations", iterations},
      {"failing_frames", failing},
      {"channel", channel_json(p.estimates)},
      {"timing",
       {{"wall_seconds", p.timing.wall_seconds},
        {"mbit_per_s", mbit_per_s(p, s.ndkdd)},
        {"frames_computed", p.timing.frames_computed}}}};
}

PointResult point_from_json(const json& j, const SweepSettings& s) {
  PointResult p;
  p.an = j.at("an_db").get<double>();
  if (!j.at("stopped_by").is_null()) {
    p.stopped_by = point_stop_named(j.at("stopped_by").get<std::string>());
    if (p.stopped_by == PointStop::kNotYet) throw std::runtime_error("a point stopped by no known rule");
  }
  p.estimates = mtsim::channel_estimates(p.an);
  const json& c = j.at("counts");
  if (!c.contains("error_frames")) {
    throw std::runtime_error(
        "it has no error-frame counts (an earlier mtsweep wrote it): finish it with that "
        "version, or start afresh");
  }
  const auto entries = static_cast<size_t>(s.iterat + 3);
  const auto read = [&](const char* key, auto& to) {
    const auto v = c.at(key).get<std::vector<typename std::decay_t<decltype(to)>::value_type>>();
    if (v.size() != entries) throw std::runtime_error(std::string("a point's ") + key + " has the wrong length");
    std::copy(v.begin(), v.end(), to.begin());
  };
  read("table", p.sums.table);
  read("table_sq", p.sums.table_sq);
  read("table_cube", p.sums.table_cube);
  read("error_frames", p.sums.error_frames);
  for (const json& f : j.at("failing_frames")) {
    p.sums.failing.push_back({f.at("kst").get<int32_t>(), f.at("errors").get<std::vector<int32_t>>()});
    if (p.sums.failing.back().errors.size() != static_cast<size_t>(s.iterat + 1)) {
      throw std::runtime_error("a failing frame has the wrong number of iterations");
    }
  }
  p.sums.frames = j.at("frames").get<int64_t>();
  p.sums.inftot = c.at("inftot").get<int64_t>();
  p.sums.inf_weight = c.at("inf_weight").get<int64_t>();
  p.sums.check_weight = c.at("check_weight").get<int64_t>();
  p.sums.inferr = c.at("inferr").get<int64_t>();
  p.sums.isaerr = c.at("isaerr").get<int64_t>();
  const json& t = j.at("timing");
  p.timing.wall_seconds = t.at("wall_seconds").get<double>();
  p.timing.frames_computed = t.at("frames_computed").get<int64_t>();
  return p;
}

}  // namespace

std::string json_text(const SweepResult& r, const SweepSettings& s, const RunInfo& run) {
  json points = json::array();
  for (const PointResult& p : r.points) points.push_back(point_json(p, s));
  const json unfinished = has_progress(r) ? point_json(*r.unfinished, s) : json(nullptr);
  const json j{
      {"program", "mtsweep"},
      {"version", run.version},
      {"settings", settings_json(s)},
      {"complete", r.complete},
      {"capacity_limit",
       {{"rate", mtsim::CODE_RATE}, {"an_db", r.capacity_an}, {"ebn0_db", ebn0_db(r.capacity_an)}}},
      {"points", points},
      {"unfinished_point", unfinished},
      {"skipped_an_db", r.skipped},
      {"run",
       {{"command_line", run.command_line},
        {"threads", run.threads},
        {"ranks", run.ranks},
        {"workers", run.workers},
        {"wall_seconds", run.wall_seconds}}}};
  return j.dump(1) + "\n";
}

ResumedSweep read_sweep(const std::string& text, const std::string& path,
                        const SweepSettings& settings) {
  ResumedSweep out;
  const std::string where = "mtsweep: --resume: \"" + path + "\"";
  try {
    const json j = json::parse(text);
    if (j.at("program") != "mtsweep") throw std::runtime_error("no mtsweep output");
    json stored = j.at("settings");
    // Settings that came later, as the files before them meant them.
    if (!stored.contains("min_error_frames")) stored["min_error_frames"] = 0;
    if (!stored.contains("point_time")) stored["point_time"] = nullptr;
    const json wanted = settings_json(settings);
    for (const auto& [key, value] : wanted.items()) {
      if (!stored.contains(key) || stored.at(key) != value) {
        out.problem = ResumedSweep::Problem::kOtherSettings;
        out.error = where + " holds a sweep with other settings: " + option_of(key) + " " +
                    (stored.contains(key) ? stored.at(key).dump() : "missing") + ", not " +
                    value.dump() + " (never mixed: give the same settings or another --json)";
        return out;
      }
    }
    // Finished points as the rule (or the point's time) ended them, in AN
    // order; then the next one, unfinished, if the sweep stopped in it.
    for (const json& point : j.at("points")) {
      PointResult p = point_from_json(point, settings);
      const size_t i = out.result.points.size();
      const PointStop by_rule = point_stop(p.sums, settings.stop, settings.iterat);
      if (i >= settings.an.size() || p.an != settings.an[i] ||
          (p.stopped_by != by_rule && p.stopped_by != PointStop::kTime)) {
        throw std::runtime_error("its points are not the first finished points of the sweep");
      }
      out.result.points.push_back(p);
    }
    if (j.contains("unfinished_point") && !j.at("unfinished_point").is_null()) {
      PointResult p = point_from_json(j.at("unfinished_point"), settings);
      const size_t i = out.result.points.size();
      if (i >= settings.an.size() || p.an != settings.an[i] || p.stopped_by != PointStop::kNotYet ||
          point_complete(p.sums, settings.stop, settings.iterat)) {
        throw std::runtime_error("its unfinished point is not the next point of the sweep");
      }
      out.result.unfinished = p;
    }
  } catch (const std::exception& e) {
    out.result = SweepResult{};
    out.problem = ResumedSweep::Problem::kNotASweep;
    out.error = where + " cannot be resumed: " + e.what();
  }
  return out;
}

}  // namespace mtsweep
