// Running the built mtsweep (and other programs) from a test: a scratch
// directory, a started process with its outputs in files, and the outputs
// compared as users compare them.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace mtsweep_test {

namespace fs = std::filesystem;
using nlohmann::json;

inline std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A fresh directory for one test; outputs go to out/.
struct Scratch {
  fs::path dir;
  explicit Scratch(const std::string& name)
      : dir(fs::temp_directory_path() / ("mtsweep-" + name + "-" + std::to_string(getpid()))) {
    fs::remove_all(dir);
    fs::create_directories(dir / "out");
  }
  ~Scratch() { fs::remove_all(dir); }
  std::string out(const std::string& file) const { return (dir / "out" / file).string(); }
};

struct Result {
  int status = -1;
  std::string out, err;
};

// Starts `args` (the program first) in `cwd`, stdout and stderr to files.
inline pid_t start(const std::vector<std::string>& args, const fs::path& cwd) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, (cwd / "stdout.txt").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, (cwd / "stderr.txt").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  EXPECT_EQ(posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// kill(), refused for what is not one process: kill(-1, ...) would signal
// every process the test may signal.
inline void signal_process(pid_t pid, int signal) {
  if (pid > 1) return void(kill(pid, signal));
  ADD_FAILURE() << "no process to signal (" << pid << ")";
}

inline Result finish(pid_t pid, const fs::path& cwd) {
  int raw = 0;
  waitpid(pid, &raw, 0);
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(cwd / "stdout.txt"),
          slurp(cwd / "stderr.txt")};
}

inline Result sweep(const Scratch& s, std::vector<std::string> args) {
  args.insert(args.begin(), MTSWEEP_BINARY);
  return finish(start(args, s.dir), s.dir);
}

inline std::vector<std::string> split(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  for (std::string w; in >> w;) words.push_back(w == "\"\"" ? "" : w);
  return words;
}

// The JSON without what may differ between runs of one sweep.
inline json without_times(const std::string& text) {
  json j = json::parse(text);
  j.erase("run");
  for (json& p : j["points"]) p.erase("timing");
  return j;
}

}  // namespace mtsweep_test
