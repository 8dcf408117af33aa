// The real program, run in scratch directories: its failure exits, where its
// warnings go, and whether two runs of one parameter file agree.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace mtsim {
namespace {

namespace fs = std::filesystem;

constexpr const char* kParamFile = "vu34z2d.c";
constexpr const char* kResultsFile = "vu34z2t.c";

// A small but complete run: pseudo-random source, noise and an error packet.
constexpr const char* kSmallRun =
    "  code=3\n  kst=5\n  infind=3\n  ndkdd=20000\n  iterat=6\n  AN=2.5\n  npacketll=30\n"
    "  lim88=0\n";

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_file(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A fresh directory for the program to run in, removed afterwards; the
// captured standard streams live beside it, not in it.
class Scratch {
 public:
  Scratch() {
    std::string pattern = (fs::temp_directory_path() / "mtsim-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw fs::filesystem_error("mkdtemp", std::error_code(errno, std::generic_category()));
    root_ = pattern;
    fs::create_directory(work());
  }
  ~Scratch() {
    std::error_code ignored;
    fs::permissions(work(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(root_, ignored);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  fs::path work() const { return root_ / "work"; }
  fs::path operator/(const char* name) const { return work() / name; }

  struct Outcome {
    int exit_status = -1;  // -1 unless the program exited normally
    std::string out;
    std::string err;
  };

  // Runs the program with no arguments in work(), stdin from /dev/null,
  // standard output into a file beside work() unless `console` names one.
  Outcome run(const std::string& console = "") const {
    const std::string dir = work().string();
    const std::string out_path = console.empty() ? (root_ / "stdout").string() : console;
    const std::string err_path = (root_ / "stderr").string();
    const pid_t pid = fork();
    if (pid == 0) {
      const int in = open("/dev/null", O_RDONLY);
      const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (in < 0 || out < 0 || err < 0 || chdir(dir.c_str()) != 0) _exit(126);
      dup2(in, 0);
      dup2(out, 1);
      dup2(err, 2);
      execl(MTSIM_BINARY, "mtsim", static_cast<char*>(nullptr));
      _exit(127);
    }
    Outcome o;
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return o;
    if (WIFEXITED(status)) o.exit_status = WEXITSTATUS(status);
    if (console.empty()) o.out = read_file(root_ / "stdout");
    o.err = read_file(root_ / "stderr");
    return o;
  }

 private:
  fs::path root_;
};

std::string message(const char* what, const char* file, int error) {
  return std::string("mtsim: ") + what + " \"" + file + "\": " + std::strerror(error) + "\n";
}

// --- Failure exits. ---

constexpr const char* kEarlierResults = "results of an earlier run\n";

struct FailureCase {
  const char* name;
  std::function<void(const Scratch&)> setup;
  std::string stderr_text;
  bool before_results_opened;  // the earlier results must survive
  bool needs_unprivileged;     // permission bits do not stop root
};

class FailureExitTest : public ::testing::TestWithParam<FailureCase> {};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

TEST_P(FailureExitTest, SaysWhyOnOneLineAndExitsNonZero) {
  const FailureCase& c = GetParam();
  if (c.needs_unprivileged && geteuid() == 0) GTEST_SKIP() << "permission bits do not bind root";
  Scratch s;
  c.setup(s);

  const Scratch::Outcome o = s.run();

  EXPECT_EQ(o.exit_status, 1);
  EXPECT_EQ(o.err, c.stderr_text);
  if (c.before_results_opened) {
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(read_file(s / kResultsFile), kEarlierResults);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Program, FailureExitTest,
    ::testing::Values(
        FailureCase{"no_parameter_file",
                    [](const Scratch& s) { write_file(s / kResultsFile, kEarlierResults); },
                    message("cannot open parameter file", kParamFile, ENOENT), true, false},
        // Opening a directory for reading succeeds; only the read fails.
        FailureCase{"parameter_file_is_a_directory",
                    [](const Scratch& s) {
                      fs::create_directory(s / kParamFile);
                      write_file(s / kResultsFile, kEarlierResults);
                    },
                    message("cannot open parameter file", kParamFile, EISDIR), true, false},
        FailureCase{"parameter_file_unreadable",
                    [](const Scratch& s) {
                      write_file(s / kParamFile, kSmallRun);
                      fs::permissions(s / kParamFile, fs::perms::none);
                      write_file(s / kResultsFile, kEarlierResults);
                    },
                    message("cannot open parameter file", kParamFile, EACCES), true, true},
        FailureCase{"results_file_is_a_directory",
                    [](const Scratch& s) {
                      write_file(s / kParamFile, kSmallRun);
                      fs::create_directory(s / kResultsFile);
                    },
                    message("cannot open results file", kResultsFile, EISDIR), false, false},
        FailureCase{"results_directory_read_only",
                    [](const Scratch& s) {
                      write_file(s / kParamFile, kSmallRun);
                      fs::permissions(s.work(), fs::perms::owner_read | fs::perms::owner_exec);
                    },
                    message("cannot open results file", kResultsFile, EACCES), false, true},
        // Every write lands in the stream's buffer; the loss shows only when
        // the buffer is flushed at the close.
        FailureCase{"results_file_on_a_full_device",
                    [](const Scratch& s) {
                      write_file(s / kParamFile, kSmallRun);
                      fs::create_symlink("/dev/full", s / kResultsFile);
                    },
                    message("cannot write results file", kResultsFile, ENOSPC), false, false}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST(ProgramTest, NothingIsWrittenWhenTheResultsFileCannotBeCreated) {
  Scratch s;
  write_file(s / kParamFile, kSmallRun);
  fs::create_directory(s / kResultsFile);
  const Scratch::Outcome o = s.run();
  EXPECT_EQ(o.exit_status, 1);
  EXPECT_EQ(o.out, "");
  EXPECT_TRUE(fs::is_empty(s / kResultsFile));
}

TEST(ProgramTest, ALostConsoleReportIsAFailure) {
  Scratch s;
  write_file(s / kParamFile, kSmallRun);
  const Scratch::Outcome o = s.run("/dev/full");
  EXPECT_EQ(o.exit_status, 1);
  EXPECT_EQ(o.err, std::string("mtsim: cannot write the console report: ") + std::strerror(ENOSPC) + "\n");
}

TEST(ProgramTest, ParameterFileMayBeAPipe) {
  // A pipe cannot be rewound: the check that the file is readable must not
  // lose what it read.
  Scratch s;
  ASSERT_EQ(mkfifo((s / kParamFile).c_str(), 0600), 0);
  // No leading blank: losing the first character would lose "code".
  std::thread writer([&s] {
    write_file(s / kParamFile, "code=3 kst=5 infind=3 ndkdd=20000 iterat=6 AN=2.5 npacketll=30 lim88=0");
  });
  const Scratch::Outcome o = s.run();
  writer.join();
  EXPECT_EQ(o.exit_status, 0);
  EXPECT_EQ(o.err, "");
  EXPECT_NE(o.out.find("\n  code=3 \n  kst=5 \n  infind =3    ndkdd=20000 n  iterat=6 "), std::string::npos)
      << o.out.substr(0, 200);
}

TEST(ProgramTest, WarningsGoToStandardErrorAndNotIntoTheReports) {
  Scratch s;
  // kst misspelled: it and every later entry stay unread.
  write_file(s / kParamFile, "code=1\nkts=5\ninfind=3\nndkdd=20000\n");
  const Scratch::Outcome o = s.run();
  ASSERT_EQ(o.exit_status, 0) << o.err;

  std::istringstream err(o.err);
  int lines = 0;
  for (std::string line; std::getline(err, line); ++lines)
    EXPECT_EQ(line.rfind("mtsim: parameter \"", 0), 0u) << line;
  EXPECT_EQ(lines, 7);
  EXPECT_EQ(o.out.find("mtsim:"), std::string::npos);
  EXPECT_EQ(read_file(s / kResultsFile).find("mtsim:"), std::string::npos);
}

// --- Determinism. ---

// Replaces the clock readings (time lines and speed lines) by '#', leaving
// every count and every parameter as printed.
std::string without_clock_values(const std::string& report) {
  std::string masked;
  std::istringstream in(report);
  for (std::string line; std::getline(in, line);) {
    const bool clock_line = line.find(" ms") != std::string::npos ||
                            line.find("bits/s") != std::string::npos ||
                            line.find("time is") != std::string::npos;
    for (size_t i = 0; i < line.size(); ++i) {
      const bool digit = line[i] >= '0' && line[i] <= '9';
      if (!clock_line || !digit) {
        masked += line[i];
      } else if (i == 0 || line[i - 1] < '0' || line[i - 1] > '9') {
        masked += '#';
      }
    }
    masked += '\n';
  }
  return masked;
}

struct Report {
  std::string console;
  std::string results;
};

Report run_in(const Scratch& s) {
  const Scratch::Outcome o = s.run();
  EXPECT_EQ(o.exit_status, 0) << o.err;
  EXPECT_EQ(o.err, "");
  return {without_clock_values(o.out), without_clock_values(read_file(s / kResultsFile))};
}

TEST(DeterminismTest, SameParameterFileSameReports) {
  Scratch s;
  write_file(s / kParamFile, kSmallRun);
  const Report first = run_in(s);
  const Report second = run_in(s);

  // The reports must have got as far as the result table.
  EXPECT_NE(first.console.find("packet length = 30"), std::string::npos) << first.console;
  EXPECT_NE(first.results.find("packet length=30"), std::string::npos) << first.results;
  EXPECT_EQ(first.console, second.console);
  EXPECT_EQ(first.results, second.results);

  // Another noise seed must change the counts: the masking hides only the
  // clock, not the results.
  std::string other = kSmallRun;
  other.replace(other.find("kst=5"), 5, "kst=6");
  write_file(s / kParamFile, other);
  const Report other_seed = run_in(s);
  EXPECT_NE(first.console, other_seed.console);
  EXPECT_NE(first.results, other_seed.results);
}

TEST(DeterminismTest, ARunReplacesALongerResultsFileEntirely) {
  Scratch fresh;
  write_file(fresh / kParamFile, kSmallRun);
  const Report expected = run_in(fresh);

  Scratch reused;
  write_file(reused / kParamFile, kSmallRun);
  std::string junk;
  for (int i = 0; i < 4000; ++i) junk += "junk line of an earlier, longer results file\n";
  write_file(reused / kResultsFile, junk);
  const Report rerun = run_in(reused);

  EXPECT_EQ(rerun.results, expected.results);
  EXPECT_EQ(rerun.console, expected.console);
}

}  // namespace
}  // namespace mtsim
