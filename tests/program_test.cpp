// The built program as a user meets it: whole runs against recorded
// reports, and every way it ends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include "mtsim/run.h"
#include "support/harness.h"
#include "support/param_harness.h"

namespace mtsim {
namespace {

namespace fs = std::filesystem;
using testing_support::data_path;
using testing_support::read_file;
using testing_support::Row;
using testing_support::Scratch;
using testing_support::write_file;

constexpr const char* kSmallRun =
    "code=3 kst=5 infind=3 ndkdd=20000 iterat=6 AN=2.5 npacketll=30 lim88=0";
constexpr const char* kEarlierResults = "results of an earlier run\n";

// Name and content of every file in `dir`.
std::map<std::string, std::string> files_in(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
    files[e.path().filename()] = e.is_regular_file() ? read_file(e.path()) : "(not a file)";
  }
  return files;
}

// The clock values of a report (times and speeds) as "#".
std::string masked(const std::string& report) {
  return std::regex_replace(report, std::regex("[0-9]+( +(ms|s|bits/s)\\b)"), "#$1");
}

// A run in this process with a scripted clock: its readings are `us`, the
// first one the origin.  Console, results and diagnostics.
std::vector<std::string> run_with_clock(std::string params, std::vector<int64_t> us) {
  testing_support::MemoryStream console, results, diagnostics;
  std::FILE* in = fmemopen(params.data(), params.size(), "r");
  Run(in, std::make_unique<ReportWriter>(console.file(), results.release(), diagnostics.file()),
      Clock([us, next = size_t{0}]() mutable { return us[std::min(next++, us.size() - 1)]; }))
      .execute();  // the writer closes the results stream
  std::fclose(in);
  return {console.text(), results.text(), diagnostics.text()};
}

std::vector<std::string> recorded_runs() {
  std::vector<std::string> names;
  for (const fs::directory_entry& e : fs::directory_iterator(data_path("runs"))) {
    names.push_back(e.path().filename());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Each directory of data/runs holds a parameter file ("parameters") and the
// console, results and standard-error text it gives.  With a "clock" file
// (its readings in microseconds) the run has that clock; otherwise the built
// program runs, over the longer results file of an earlier run, and its
// clock values are masked.
class WholeRunTest : public ::testing::TestWithParam<std::string> {};

TEST_P(WholeRunTest, ReportsAsRecorded) {
  const fs::path d = data_path("runs") / GetParam();
  std::vector<std::string> got;
  if (fs::exists(d / "clock")) {
    got = run_with_clock(read_file(d / "parameters"),
                         testing_support::numbers(read_file(d / "clock")));
  } else {
    Scratch s;
    fs::copy_file(d / "parameters", s / "vu34z2d.c");
    write_file(s / "vu34z2t.c", std::string(100000, '\n'));
    const Scratch::Outcome o = s.run(MTSIM_BINARY, {});
    EXPECT_EQ(o.status, 0);
    got = {masked(o.out), masked(read_file(s / "vu34z2t.c")), o.err};
  }
  EXPECT_EQ(got[0], read_file(d / "console"));
  EXPECT_EQ(got[1], read_file(d / "results"));
  EXPECT_EQ(got[2], read_file(d / "stderr"));
}
INSTANTIATE_TEST_SUITE_P(Recorded, WholeRunTest, ::testing::ValuesIn(recorded_runs()),
                         [](const auto& info) { return info.param; });

// data/exits.txt: what the directory holds, the arguments, and the exit
// status, standard output and standard error that follow.  Unless the output
// is "*" (a report), no file in the directory may change.
class ExitTest : public ::testing::TestWithParam<Row> {};

TEST_P(ExitTest, AsRecorded) {
  const Row& row = GetParam();
  const std::string usage = read_file(data_path("usage.txt"));
  auto expand = [&usage](const std::string& field) {
    const std::string text =
        std::regex_replace(testing_support::unescape(field), std::regex("\\{usage\\}"), usage);
    return std::regex_replace(text, std::regex("\\{version\\}"), MTSIM_VERSION);
  };
  Scratch s;
  std::istringstream setup(row.at(0));
  Scratch::Options options;
  for (std::string item; setup >> item;) {
    const fs::path path = s / item.substr(0, item.find(':'));
    const std::string what = item.substr(item.find(':') + 1);
    options.unprivileged |= what == "unreadable" || what == "read-only";
    if (what == "parameters") write_file(path, kSmallRun);
    if (what == "earlier-results") write_file(path, kEarlierResults);
    if (what == "directory") fs::create_directory(path);
    if (what == "unreadable") fs::permissions(path, fs::perms::none);
    if (what == "read-only") fs::permissions(path, fs::perms::owner_read | fs::perms::owner_exec);
    if (what == "/dev/full" && path.filename() != "stdout") fs::create_symlink(what, path);
    if (what == "/dev/full" && path.filename() == "stdout") options.stdout_path = "/dev/full";
  }
  const auto before = files_in(s.work());
  const Scratch::Outcome o = s.run(MTSIM_BINARY, testing_support::words(row.at(1)), options);
  EXPECT_EQ(o.status, std::stoi(row.at(2)));
  EXPECT_EQ(o.err, expand(row.size() > 4 ? row.at(4) : ""));
  if (row.at(3) == "*") return;
  EXPECT_EQ(o.out, expand(row.at(3)));
  EXPECT_EQ(files_in(s.work()), before);
}
INSTANTIATE_TABLE(ExitTest, "exits.txt");

TEST(ProgramTest, ParameterFileMayBeAPipe) {
  // A pipe cannot be rewound: the check that the file is readable must not
  // lose what it read.  No leading blank: a lost first character loses code.
  Scratch s;
  ASSERT_EQ(mkfifo((s / "vu34z2d.c").c_str(), 0600), 0);
  std::thread writer([&s] { write_file(s / "vu34z2d.c", kSmallRun); });
  const Scratch::Outcome o = s.run(MTSIM_BINARY, {});
  close(open((s / "vu34z2d.c").c_str(), O_RDONLY | O_NONBLOCK));  // frees a writer nobody read
  writer.join();
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, "");
  EXPECT_NE(o.out.find("\n  code=3 \n  kst=5 \n  infind =3 "), std::string::npos)
      << o.out.substr(0, 200);
}

}  // namespace
}  // namespace mtsim
