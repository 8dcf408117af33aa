#include "mtsim/params.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "support/param_harness.h"

namespace mtsim {
namespace {

struct Echo {
  Params params;
  std::string console;
  std::string results;
  std::string warnings;
};

Echo read_from(const std::string& text) {
  testing::ReaderOutput out = testing::read_parameter_text(text);
  return Echo{out.params, out.console, out.results, out.diagnostics};
}

std::string file_with(const std::string& ndkdd, const std::string& iterat, const std::string& AN,
                      const std::string& npacketll, const std::string& infind = "3") {
  return "  code=5\n  kst=-17\n  infind=" + infind + "\n  ndkdd=" + ndkdd + "\n  iterat=" + iterat +
         "\n  AN=" + AN + "\n  npacketll=" + npacketll + "\n  lim88=42\n";
}

TEST(ReadParametersTest, EchoesBothStreamsInTheirOwnLayout) {
  const Echo e = read_from(file_with("100000", "8", "3.0", "16"));
  EXPECT_EQ(e.console,
            "\n  code=5 \n  kst=-17 \n  infind =3    ndkdd=100000 n  iterat=8 "
            "\n   AN=3.000000 n  npacketll=16 \n lim88=42-free control par ");
  EXPECT_EQ(e.results,
            "\n  --------  code=5  -----------\n =================================="
            "\n  kst=-17 \n  infind =3 \n   ndkdd=100000 \n  iterat=8 \n  AN=3.000000 "
            "\n  npacketll=16 \n ===  lim88=42  ====-free control parameter"
            "\n ===================================================");
  EXPECT_EQ(e.warnings, "");
  EXPECT_EQ(e.params.code, 5);
  EXPECT_EQ(e.params.kst, -17);
  EXPECT_EQ(e.params.lim88, 42);
}

TEST(ReadParametersTest, WhiteSpaceIsFreeBetweenEntries) {
  const Echo lines = read_from(file_with("30000", "4", "2.5", "9"));
  const Echo one_line =
      read_from("code=5 kst=-17 infind=3 ndkdd=30000 iterat=4 AN=2.5 npacketll=9 lim88=42");
  const Echo spread = read_from(
      "\n\n\t code=\t5\n\n kst=  -17 infind=\n3\nndkdd=30000\r\n iterat=4\tAN=2.5e0 npacketll=9 "
      "lim88=42 and anything after the last entry");
  for (const Echo* e : {&one_line, &spread}) {
    EXPECT_EQ(e->console, lines.console);
    EXPECT_EQ(e->results, lines.results);
    EXPECT_EQ(e->warnings, "");
  }
}

TEST(ReadParametersTest, ReplacementsAtEveryBoundary) {
  struct Case {
    const char* ndkdd;
    int32_t want_ndkdd;
    const char* iterat;
    int32_t want_iterat;
    const char* AN;
    double want_AN;
    const char* npacketll;
    int32_t want_npacketll;
  };
  const Case cases[] = {
      {"520000", 520000, "15", 15, "5.0", 5.0, "200", 200},
      {"520001", 510000, "16", 15, "5.5", 5.0, "201", 200},
      {"20000", 20000, "3", 3, "2.0", 2.0, "-5", -5},
      {"19999", 20000, "2", 3, "1.99", 25.0, "0", 0},
      {"-4", 20000, "-100", 3, "-3", 25.0, "7", 7},
      {"99999999999", 510000, "99999999999", 15, "1e300", 5.0, "99999999999", 200},
      {"-99999999999", 20000, "-99999999999", 3, "-inf", 25.0, "-99999999999", -2147483647 - 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.ndkdd) + " " + c.iterat + " " + c.AN + " " + c.npacketll);
    const Echo e = read_from(file_with(c.ndkdd, c.iterat, c.AN, c.npacketll));
    EXPECT_EQ(e.params.ndkdd, c.want_ndkdd);
    EXPECT_EQ(e.params.iterat, c.want_iterat);
    EXPECT_EQ(e.params.AN, c.want_AN);
    EXPECT_EQ(e.params.npacketll, c.want_npacketll);
    // The echo shows the replaced values.
    EXPECT_NE(e.results.find("ndkdd=" + std::to_string(c.want_ndkdd) + " "), std::string::npos);
    EXPECT_NE(e.results.find("iterat=" + std::to_string(c.want_iterat) + " "), std::string::npos);
    EXPECT_NE(e.console.find("npacketll=" + std::to_string(c.want_npacketll) + " "),
              std::string::npos);
  }
}

TEST(ReadParametersTest, InfindIsEchoedAsReadAndThenReplaced) {
  const Echo seven = read_from(file_with("20000", "3", "3.0", "0", "7"));
  EXPECT_NE(seven.console.find("infind =7 "), std::string::npos);
  EXPECT_NE(seven.results.find("\n  infind =7 "), std::string::npos);
  EXPECT_EQ(seven.params.infind, 2);
  const Echo minus = read_from(file_with("20000", "3", "3.0", "0", "-1"));
  EXPECT_EQ(minus.params.infind, -1);
}

TEST(ReadParametersTest, UnreadAnBecomesTwentyFive) {
  const Echo e = read_from("code=1 kst=2 infind=3 ndkdd=30000 iterat=5");
  EXPECT_EQ(e.params.ndkdd, 30000);
  EXPECT_EQ(e.params.iterat, 5);
  EXPECT_EQ(e.params.AN, 25.0);
  EXPECT_EQ(e.params.npacketll, 0);
  EXPECT_EQ(e.params.lim88, 0);
  EXPECT_NE(e.console.find("\n   AN=25.000000 n  npacketll=0 \n lim88=0-free"), std::string::npos);
  EXPECT_EQ(e.warnings,
            "mtsim: parameter \"AN\" could not be read from \"vu34z2d.c\"; it keeps its initial value 0\n"
            "mtsim: parameter \"npacketll\" could not be read from \"vu34z2d.c\"; it keeps its initial value 0\n"
            "mtsim: parameter \"lim88\" could not be read from \"vu34z2d.c\"; it keeps its initial value 0\n");
}

}  // namespace
}  // namespace mtsim
