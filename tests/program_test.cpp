// The built program, run in a scratch directory on whole parameter files.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "expected_reports.h"
#include "test_support.h"

namespace mtsim {
namespace {

namespace fs = std::filesystem;
using testing::ExpectedRun;

struct ProgramRun {
  int status = -1;
  std::string console;
  std::string results;
  std::string diagnostics;
};

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

ProgramRun run_program(const std::string& parameter_file) {
  const fs::path dir = fs::temp_directory_path() /
                       ("mtsim-program-" + std::to_string(::getpid()) + "-" +
                        std::to_string(std::rand()));
  fs::create_directories(dir);
  std::ofstream(dir / "vu34z2d.c", std::ios::binary) << parameter_file;
  const std::string command = "cd '" + dir.string() + "' && '" MTSIM_BINARY
                              "' > console.txt 2> diagnostics.txt";
  ProgramRun r;
  const int raw = std::system(command.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.console = slurp(dir / "console.txt");
  r.results = slurp(dir / "vu34z2t.c");
  r.diagnostics = slurp(dir / "diagnostics.txt");
  fs::remove_all(dir);
  return r;
}

void expect_run(const ProgramRun& r, const ExpectedRun& e) {
  EXPECT_EQ(r.status, 0);
  std::string where;
  EXPECT_TRUE(testing::matches_template(r.console, testing::expected_console(e), &where)) << where;
  EXPECT_TRUE(testing::matches_template(r.results, testing::expected_results(e), &where)) << where;
}

TEST(WholeRunTest, RandomSourceAtThreeDecibels) {
  const ProgramRun r = run_program(
      "  code=7\n  kst=0\n  infind=3\n  ndkdd=20000\n  iterat=3\n  AN=3.0\n  npacketll=16\n"
      "  lim88=0\n");
  ExpectedRun e;
  e.code = "7", e.kst = "0", e.infind = "3", e.ndkdd = "20000", e.iterat = "3";
  e.AN = "3.000000", e.npacketll = "16", e.lim88 = "0";
  e.estimates = testing::estimates_three_decibels();
  e.inf_weight = "59885", e.check_weight = "19968", e.inftot = "120000";
  e.counts = " 120000 {N} {N} {N} {N} {N}";
  expect_run(r, e);
  EXPECT_EQ(r.diagnostics, "");
}

TEST(WholeRunTest, OutOfRangeValuesOnANoiselessChannel) {
  // All on one line; every value replaced: ndkdd 20,000, iterat 15, AN 25,
  // npacketll 200, infind 1 (all ones) kept.
  const ProgramRun r = run_program(
      "code=-3 kst=12 infind=1 ndkdd=19999 iterat=16 AN=1.99 npacketll=201 lim88=-8");
  ExpectedRun e;
  e.code = "-3", e.kst = "12", e.infind = "1", e.ndkdd = "20000", e.iterat = "15";
  e.AN = "25.000000", e.npacketll = "200", e.lim88 = "-8";
  e.estimates = testing::estimates_noiseless();
  e.inf_weight = "120000", e.check_weight = "769", e.inftot = "120000";
  e.counts = " 120000";
  for (int i = 0; i < 17; ++i) e.counts += " {N}";
  expect_run(r, e);
}

TEST(WholeRunTest, MisspelledKeyRunsOnInitialValues) {
  const ProgramRun r = run_program(
      "  code=1\n  kts=5\n  infind=3\n  ndkdd=100000\n  iterat=8\n  AN=3.0\n  npacketll=0\n"
      "  lim88=0\n");
  ExpectedRun e;
  e.code = "1", e.kst = "0", e.infind = "0", e.ndkdd = "20000", e.iterat = "3";
  e.AN = "25.000000", e.npacketll = "0", e.lim88 = "0";
  e.estimates = testing::estimates_noiseless();
  e.inf_weight = "0", e.check_weight = "0", e.inftot = "120000";
  e.counts = " 120000 {N} {N} {N} {N} {N}";
  expect_run(r, e);
  EXPECT_NE(r.diagnostics.find("parameter \"kst\" could not be read"), std::string::npos);
}

}  // namespace
}  // namespace mtsim
