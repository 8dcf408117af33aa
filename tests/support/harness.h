// What every test shares: the tables and expected outputs kept as data
// under tests/data, names for the cases of a parameterized test, and the
// built programs run in scratch directories.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace testing_support {

namespace fs = std::filesystem;

std::string read_file(const fs::path& path);
void write_file(const fs::path& path, const std::string& text);

// --- Tables. ---
//
// A table is a file in tests/data: lines of fields separated by " | ",
// comments ("#") and blank lines ignored.

fs::path data_path(const std::string& name);

struct Row {
  int line = 0;  // in the file, for failure messages
  std::vector<std::string> fields;
  const std::string& at(size_t i) const { return fields.at(i); }
  size_t size() const { return fields.size(); }
};
std::vector<Row> data_rows(const std::string& name);

// A parameterized test's case name for a row: its line and first field,
// reduced to letters, digits and underscores.
std::string row_name(const Row& row);
void PrintTo(const Row& row, std::ostream* out);

// One case of `suite` (a TestWithParam<Row>) per row of the table `file`.
#define INSTANTIATE_TABLE(suite, file)                                               \
  INSTANTIATE_TEST_SUITE_P(Table, suite, ::testing::ValuesIn(::testing_support::data_rows(file)), \
                           [](const ::testing::TestParamInfo<::testing_support::Row>& info) { \
                             return ::testing_support::row_name(info.param);                \
                           })

// C escapes (\n \r \t \f \v \\ \xHH) and \[N]c, N copies of c, resolved.
std::string unescape(const std::string& text);
// The integers of a field, in order.
std::vector<int64_t> numbers(const std::string& field);
// The words of a field; "" stands for an empty word.
std::vector<std::string> words(const std::string& field);

// --- Programs. ---

struct RunOptions {
  // As user 65534 when the tests run as root, whom permission bits do not
  // stop; the program is copied where that user can run it.
  bool unprivileged = false;
  std::string stdout_path;  // instead of a file of the scratch directory
  int stdout_fd = -1;       // or this descriptor (the write end of a pipe)
  uint64_t address_space = 0;  // a limit of the program's memory (RLIMIT_AS), bytes
};

struct Outcome {
  int status = -1;  // the exit status; -1 when the program did not exit normally
  int signal = 0;   // the signal that ended it, if one did
  std::string out;  // standard output; empty when it went to RunOptions::stdout_path or stdout_fd
  std::string err;
};

// A fresh directory, removed afterwards.  Programs run in work(); their
// standard output and error go to files beside work(), not into it, so
// that a test can tell exactly which files a program wrote.
class Scratch {
 public:
  Scratch();
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  fs::path work() const { return root_ / "work"; }
  fs::path operator/(const std::string& name) const { return work() / name; }

  using Options = RunOptions;
  using Outcome = testing_support::Outcome;

  // A started program and where its outputs go.
  struct Process {
    pid_t pid = -1;
    fs::path out, err;
    bool own_out = true;  // standard output is a file of this scratch
  };

  // Starts `program` with `args` in work(), standard input from /dev/null.
  Process start(const std::string& program, const std::vector<std::string>& args,
                const Options& options = {});
  // Waits for a started program (at most `timeout_s` seconds, then kills
  // it: status -1) and collects its outputs.
  Outcome finish(const Process& process, int timeout_s = 300) const;
  Outcome run(const std::string& program, const std::vector<std::string>& args,
              const Options& options = {}) {
    return finish(start(program, args, options));
  }

 private:
  fs::path root_;
  int started_ = 0;
};

// kill(), refused (as a test failure) for what is not one process.
void signal_process(pid_t pid, int signal);

}  // namespace testing_support
