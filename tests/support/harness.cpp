#include "support/harness.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace testing_support {

std::string read_file(const fs::path& path) {
  std::error_code ignored;
  if (fs::is_directory(path, ignored)) return "";
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_file(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

fs::path data_path(const std::string& name) { return fs::path(TEST_DATA_DIR) / name; }

std::vector<Row> data_rows(const std::string& name) {
  std::vector<Row> rows;
  std::istringstream in(read_file(data_path(name)));
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (line.empty() || line[0] == '#') continue;
    Row row{number, {}};
    for (size_t at; (at = line.find(" | ")) != std::string::npos; line.erase(0, at + 3)) {
      row.fields.push_back(line.substr(0, at));
    }
    row.fields.push_back(line);
    rows.push_back(row);
  }
  if (rows.empty()) throw std::runtime_error("no rows in " + data_path(name).string());
  return rows;
}

std::string row_name(const Row& row) {
  std::string name = "line" + std::to_string(row.line) + "_";
  for (const char c : row.at(0).substr(0, 40)) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

void PrintTo(const Row& row, std::ostream* out) {
  *out << "line " << row.line << ":";
  for (const std::string& f : row.fields) *out << " [" << f << "]";
}

std::string unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = i + 1 < s.size() && s[i] == '\\' ? s[++i] : '\0';
    if (c == 'x') {
      out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else if (c == '[') {
      const size_t end = s.find(']', i);
      out.append(std::stoul(s.substr(i + 1, end - i - 1)), s[end + 1]);
      i = end + 1;
    } else {
      const std::string from = "nrtfv\\", to = "\n\r\t\f\v\\";
      out += c == '\0' ? s[i] : to.at(from.find(c));
    }
  }
  return out;
}

std::vector<int64_t> numbers(const std::string& field) {
  std::vector<int64_t> v;
  std::istringstream in(field);
  for (int64_t n; in >> n;) v.push_back(n);
  return v;
}

std::vector<std::string> words(const std::string& field) {
  std::vector<std::string> v;
  std::istringstream in(field);
  for (std::string w; in >> w;) v.push_back(w == "\"\"" ? "" : w);
  return v;
}

Scratch::Scratch() {
  std::string pattern = (fs::temp_directory_path() / "mtsim-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::system_error(errno, std::generic_category());
  root_ = pattern;
  fs::create_directory(work());
}

Scratch::~Scratch() {
  std::error_code ignored;
  fs::permissions(work(), fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(root_, ignored);
}

Scratch::Process Scratch::start(const std::string& program, const std::vector<std::string>& args,
                                const Options& options) {
  constexpr uid_t kNobody = 65534;
  const bool drop = options.unprivileged && geteuid() == 0;
  const std::string binary = drop ? (root_ / fs::path(program).filename()).string() : program;
  if (drop) {  // the user must own the directory and reach the program
    fs::copy_file(program, binary, fs::copy_options::overwrite_existing);
    for (const fs::path& p : fs::recursive_directory_iterator(root_))
      lchown(p.c_str(), kNobody, kNobody);
    lchown(root_.c_str(), kNobody, kNobody);
  }
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const std::string n = std::to_string(++started_);
  Process process{-1, root_ / ("stdout-" + n), root_ / ("stderr-" + n),
                  options.stdout_path.empty() && options.stdout_fd < 0};
  if (!options.stdout_path.empty()) process.out = options.stdout_path;
  const std::string paths[3] = {"/dev/null", process.out.string(), process.err.string()};
  const std::string dir = work().string();
  const pid_t pid = fork();
  if (pid == 0) {
    for (int fd = 0; fd < 3; ++fd) {
      const int opened = fd == 1 && options.stdout_fd >= 0
                             ? options.stdout_fd
                             : open(paths[fd].c_str(), fd == 0 ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (opened < 0 || dup2(opened, fd) < 0) _exit(126);
    }
    if (options.address_space > 0) {
      const rlimit limit{options.address_space, options.address_space};
      if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
    }
    if (chdir(dir.c_str()) != 0) _exit(126);
    if (drop && (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0))
      _exit(126);
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  EXPECT_GT(pid, 0) << "fork failed";
  process.pid = pid;
  return process;
}

Scratch::Outcome Scratch::finish(const Process& process, int timeout_s) const {
  const pid_t pid = process.pid;
  Outcome o;
  int raw = 0;
  pid_t ended = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_s);
  while (pid > 0 && (ended = waitpid(pid, &raw, WNOHANG)) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "still running after " << timeout_s << " s: killed";
      kill(pid, SIGKILL);
      waitpid(pid, &raw, 0);
      return o;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (ended != pid) return o;
  if (WIFEXITED(raw)) o.status = WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) o.signal = WTERMSIG(raw);
  if (process.own_out) o.out = read_file(process.out);
  o.err = read_file(process.err);
  return o;
}

void signal_process(pid_t pid, int signal) {
  if (pid > 1) return void(kill(pid, signal));
  ADD_FAILURE() << "no process to signal (" << pid << ")";
}

}  // namespace testing_support
