// The parameter reader over the table of files in data/parameter_files.txt:
// the values it leaves, infind as it echoes it, and one warning line, in
// reading order, for every entry it could not take as written.  The echo's
// layout is pinned by the whole-run reports.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "support/harness.h"
#include "support/param_harness.h"

namespace mtsim {
namespace {

using testing_support::Row;

class ParameterFileTest : public ::testing::TestWithParam<Row> {};

TEST_P(ParameterFileTest, ReadAsRecorded) {
  const Row& row = GetParam();
  const auto out = testing_support::read_parameter_text(testing_support::unescape(row.at(1)));
  const Params& p = out.params;
  const int echoed = std::atoi(out.console.c_str() + out.console.find("infind =") + 8);
  std::ostringstream got;
  got << p.code << ' ' << p.kst << ' ' << echoed << ' ' << p.infind << ' ' << p.ndkdd << ' '
      << p.iterat << ' ' << p.AN << ' ' << p.npacketll << ' ' << p.lim88;
  EXPECT_EQ(got.str(), row.at(2));

  // Each warning line as the key and its mark.
  std::string warnings = out.diagnostics;
  for (const auto& [says, mark] : {std::pair{"could not be read", ""},
                                   {"is beyond the 32-bit range", "+"},
                                   {"is not a number", "~"}}) {
    const std::regex line(std::string("mtsim: parameter \"(\\w+)\" ") + says + ".*\n");
    warnings = std::regex_replace(warnings, line, std::string("$1") + mark + " ");
  }
  EXPECT_EQ(warnings, row.size() > 3 ? row.at(3) + " " : "");
}
INSTANTIATE_TABLE(ParameterFileTest, "parameter_files.txt");

}  // namespace
}  // namespace mtsim
