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

namespace mtsim::testing {
namespace {

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
  MemoryStream console, results, diagnostics;
  std::FILE* in = fmemopen(params.data(), params.size(), "r");
  std::make_unique<Run>(
      in, std::make_unique<ReportWriter>(console.file(), results.release(), diagnostics.file()),
      Clock([us, next = size_t{0}]() mutable { return us[std::min(next++, us.size() - 1)]; }))
      ->execute();  // the writer closes the results stream
  std::fclose(in);
  return {console.text(), results.text(), diagnostics.text()};
}

// Each directory of data/runs holds a parameter file ("parameters") and the
// console, results and standard-error text it gives.  With a "clock" file
// (its readings in microseconds) the run has that clock; otherwise the built
// program runs, over the longer results file of an earlier run, and its
// clock values are masked.
TEST(WholeRunTest, ReportsAsRecorded) {
  for (const fs::directory_entry& e : fs::directory_iterator(data_path("runs"))) {
    const fs::path d = e.path();
    SCOPED_TRACE(d.filename().string());
    std::vector<std::string> got;
    if (fs::exists(d / "clock")) {
      got = run_with_clock(read_file(d / "parameters"), numbers(read_file(d / "clock")));
    } else {
      Scratch s;
      fs::copy_file(d / "parameters", s / "vu34z2d.c");
      write_file(s / "vu34z2t.c", std::string(100000, '\n'));
      const Scratch::Outcome o = s.run();
      EXPECT_EQ(o.status, 0);
      got = {masked(o.out), masked(read_file(s / "vu34z2t.c")), o.err};
    }
    EXPECT_EQ(got[0], read_file(d / "console"));
    EXPECT_EQ(got[1], read_file(d / "results"));
    EXPECT_EQ(got[2], read_file(d / "stderr"));
  }
}

// data/exits.txt: what the directory holds, the arguments, and the exit
// status, standard output and standard error that follow.  Unless the output
// is "*" (a report), no file in the directory may change.
TEST(ExitTest, EveryExitAsRecorded) {
  const std::string usage = read_file(data_path("usage.txt"));
  auto expand = [&usage](const std::string& field) {
    const std::string text = std::regex_replace(unescape(field), std::regex("\\{usage\\}"), usage);
    return std::regex_replace(text, std::regex("\\{version\\}"), MTSIM_VERSION);
  };
  for (const std::vector<std::string>& row : data_rows("exits.txt")) {
    SCOPED_TRACE(row.at(0) + " | " + row.at(1));
    Scratch s;
    std::istringstream setup(row.at(0)), words(row.at(1));
    bool unprivileged = false;
    for (std::string item; setup >> item;) {
      const fs::path path = s / item.substr(0, item.find(':'));
      const std::string what = item.substr(item.find(':') + 1);
      unprivileged |= what == "unreadable" || what == "read-only";
      if (what == "parameters") write_file(path, kSmallRun);
      if (what == "earlier-results") write_file(path, kEarlierResults);
      if (what == "directory") fs::create_directory(path);
      if (what == "unreadable") fs::permissions(path, fs::perms::none);
      if (what == "read-only") fs::permissions(path, fs::perms::owner_read | fs::perms::owner_exec);
      if (what == "/dev/full" && path.filename() != "stdout") fs::create_symlink(what, path);
    }
    std::vector<std::string> args;
    for (std::string w; words >> w;) args.push_back(w == "\"\"" ? "" : w);
    const auto before = files_in(s.work());
    const bool console_full = row.at(0).find("stdout:/dev/full") != std::string::npos;
    const Scratch::Outcome o = s.run(args, unprivileged, console_full ? "/dev/full" : "");
    EXPECT_EQ(o.status, std::stoi(row.at(2)));
    EXPECT_EQ(o.err, expand(row.size() > 4 ? row[4] : ""));
    if (row.at(3) == "*") continue;
    EXPECT_EQ(o.out, expand(row.at(3)));
    EXPECT_EQ(files_in(s.work()), before);
  }
}

TEST(ProgramTest, ParameterFileMayBeAPipe) {
  // A pipe cannot be rewound: the check that the file is readable must not
  // lose what it read.  No leading blank: a lost first character loses code.
  Scratch s;
  ASSERT_EQ(mkfifo((s / "vu34z2d.c").c_str(), 0600), 0);
  std::thread writer([&s] { write_file(s / "vu34z2d.c", kSmallRun); });
  const Scratch::Outcome o = s.run();
  close(open((s / "vu34z2d.c").c_str(), O_RDONLY | O_NONBLOCK));  // frees a writer nobody read
  writer.join();
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.err, "");
  EXPECT_NE(o.out.find("\n  code=3 \n  kst=5 \n  infind =3 "), std::string::npos)
      << o.out.substr(0, 200);
}

}  // namespace
}  // namespace mtsim::testing
