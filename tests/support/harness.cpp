#include "support/harness.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace mtsim::testing {

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_file(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

fs::path data_path(const std::string& name) { return fs::path(MTSIM_TEST_DATA) / name; }

std::vector<std::vector<std::string>> data_rows(const std::string& name) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(read_file(data_path(name)));
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields;
    for (size_t at; (at = line.find(" | ")) != std::string::npos; line.erase(0, at + 3)) {
      fields.push_back(line.substr(0, at));
    }
    fields.push_back(line);
    rows.push_back(fields);
  }
  if (rows.empty()) throw std::runtime_error("no rows in " + data_path(name).string());
  return rows;
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

Scratch::Outcome Scratch::run(const std::vector<std::string>& args, bool unprivileged,
                              const std::string& console) const {
  constexpr uid_t kNobody = 65534;
  const bool drop = unprivileged && geteuid() == 0;
  const std::string binary = drop ? (root_ / "mtsim").string() : MTSIM_BINARY;
  if (drop) {  // the user must own the directory and reach the program
    fs::copy_file(MTSIM_BINARY, binary);
    for (const fs::path& p : fs::recursive_directory_iterator(root_))
      lchown(p.c_str(), kNobody, kNobody);
    lchown(root_.c_str(), kNobody, kNobody);
  }
  std::vector<char*> argv{const_cast<char*>("mtsim")};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const std::string paths[4] = {"/dev/null",
                                console.empty() ? (root_ / "stdout").string() : console,
                                (root_ / "stderr").string(), work().string()};
  const pid_t pid = fork();
  if (pid == 0) {
    for (int fd = 0; fd < 3; ++fd) {
      const int opened =
          open(paths[fd].c_str(), fd == 0 ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (opened < 0 || dup2(opened, fd) < 0) _exit(126);
    }
    if (chdir(paths[3].c_str()) != 0) _exit(126);
    if (drop && (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0))
      _exit(126);
    execv(binary.c_str(), argv.data());
    _exit(127);
  }
  Outcome o;
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return o;
  if (WIFEXITED(status)) o.status = WEXITSTATUS(status);
  if (console.empty()) o.out = read_file(paths[1]);
  o.err = read_file(paths[2]);
  return o;
}

}  // namespace mtsim::testing
