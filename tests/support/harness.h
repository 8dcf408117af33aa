// What the tests share: the tables and expected outputs kept as data under
// tests/data, and runs of the built program in scratch directories.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace mtsim::testing {

namespace fs = std::filesystem;

std::string read_file(const fs::path& path);
void write_file(const fs::path& path, const std::string& text);

// tests/data/`name`.
fs::path data_path(const std::string& name);
// The rows of a table: its lines without comments ("#") and blank lines,
// each split at " | " into fields.
std::vector<std::vector<std::string>> data_rows(const std::string& name);
// C escapes (\n \r \t \f \v \\ \xHH) and \[N]c, N copies of c, resolved.
std::string unescape(const std::string& text);
// The integers of a field, in order.
std::vector<int64_t> numbers(const std::string& field);

// A fresh directory, removed afterwards; the program runs in work(), and its
// captured standard streams are kept beside work(), not in it.
class Scratch {
 public:
  Scratch();
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  fs::path work() const { return root_ / "work"; }
  fs::path operator/(const std::string& name) const { return work() / name; }

  struct Outcome {
    int status = -1;  // the exit status; -1 when the program did not exit normally
    std::string out;  // standard output, unless it went to `console`
    std::string err;
  };
  // Runs mtsim with `args` in work(), standard input from /dev/null and
  // standard output to `console` when given.  `unprivileged`: as user
  // 65534 when the tests run as root, which permission bits do not stop.
  Outcome run(const std::vector<std::string>& args = {}, bool unprivileged = false,
              const std::string& console = "") const;

 private:
  fs::path root_;
};

}  // namespace mtsim::testing
