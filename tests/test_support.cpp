#include "test_support.h"

#include <cstring>
#include <regex>
#include <sstream>

namespace mtsim::testing {

std::string parameter_text(int kst, int infind, int ndkdd, int iterat, const char* AN,
                           int npacketll) {
  char text[512];
  std::snprintf(text, sizeof text,
                "  code=7\n  kst=%d\n  infind=%d\n  ndkdd=%d\n  iterat=%d\n  AN=%s\n"
                "  npacketll=%d\n  lim88=0\n",
                kst, infind, ndkdd, iterat, AN, npacketll);
  return text;
}

TestRun::TestRun(const std::string& parameter_file, Clock clock)
    : results_file_(results_.release()), params_(std::tmpfile()) {
  std::fwrite(parameter_file.data(), 1, parameter_file.size(), params_);
  std::rewind(params_);
  run_ = Run::create(
      params_,
      std::make_unique<ReportWriter>(console_.file(), results_file_, diagnostics_.file()),
      std::move(clock));
}

TestRun::~TestRun() {
  run_.reset();
  std::fclose(params_);
}

void run_through_channel(Run& run) {
  run.start_up();
  run.read_parameters();
  run.estimate_channel();
  run.code_setup();
  run.generate_source();
  run.coding_phase();
  run.transmit();
}

namespace {

std::vector<std::string> split_lines(const std::string& s) {
  std::vector<std::string> lines;
  std::string line;
  std::istringstream in(s);
  while (std::getline(in, line)) lines.push_back(line);
  if (!s.empty() && s.back() == '\n') lines.push_back("");
  return lines;
}

std::regex line_regex(const std::string& pattern) {
  std::string re;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern.compare(i, 3, "{N}") == 0) {
      re += "-?[0-9]+";
      i += 2;
    } else if (pattern.compare(i, 3, "{F}") == 0) {
      re += "-?[0-9]+\\.[0-9]{6}";
      i += 2;
    } else {
      const char c = pattern[i];
      if (std::strchr("\\^$.|?*+()[]{}", c) != nullptr) re += '\\';
      re += c;
    }
  }
  return std::regex(re);
}

}  // namespace

bool matches_template(const std::string& text, const std::string& pattern, std::string* where) {
  const std::vector<std::string> got = split_lines(text);
  const std::vector<std::string> want = split_lines(pattern);
  for (size_t i = 0; i < want.size() || i < got.size(); ++i) {
    const std::string g = i < got.size() ? got[i] : "<end of text>";
    const std::string w = i < want.size() ? want[i] : "<end of template>";
    if (i >= got.size() || i >= want.size() || !std::regex_match(g, line_regex(w))) {
      if (where != nullptr) *where = "line " + std::to_string(i + 1) + ": got [" + g + "] want [" + w + "]";
      return false;
    }
  }
  return true;
}

}  // namespace mtsim::testing
