#include "driver/params.h"

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

TEST(ReadParametersTest, MisspelledKeyLeavesItAndEveryLaterEntryUnread) {
  const Echo e = read_from(
      "code=3\nKst=4\ninfind=3\nndkdd=100000\niterat=8\nAN=3.0\nnpacketll=100\nlim88=1\n");
  EXPECT_EQ(e.params.code, 3);
  EXPECT_EQ(e.params.kst, 0);
  EXPECT_EQ(e.params.infind, 0);
  EXPECT_EQ(e.params.ndkdd, 20000);
  EXPECT_EQ(e.params.iterat, 3);
  EXPECT_EQ(e.params.AN, 25.0);
  EXPECT_EQ(e.params.npacketll, 0);
  EXPECT_EQ(e.params.lim88, 0);
  // One warning per unread key, each naming its key.
  for (const char* key : {"kst", "infind", "ndkdd", "iterat", "AN", "npacketll", "lim88"}) {
    EXPECT_NE(e.warnings.find(std::string("parameter \"") + key + "\" could not be read"),
              std::string::npos)
        << key;
  }
  EXPECT_EQ(e.warnings.find("\"code\""), std::string::npos);
}

TEST(ReadParametersTest, MissingEntryLeavesOnlyItselfUnread) {
  const Echo e = read_from("code=3\nkst=4\ninfind=1\niterat=8\nAN=3.5\nnpacketll=100\nlim88=1\n");
  EXPECT_EQ(e.params.infind, 1);
  EXPECT_EQ(e.params.ndkdd, 20000);  // unread: 0, then replaced
  EXPECT_EQ(e.params.iterat, 8);
  EXPECT_EQ(e.params.AN, 3.5);
  EXPECT_EQ(e.params.npacketll, 100);
  EXPECT_EQ(e.warnings,
            "mtsim: parameter \"ndkdd\" could not be read from \"vu34z2d.c\"; it keeps its initial value 0\n");
}

TEST(ReadParametersTest, NotANumberAnIsWarnedAndBecomesTwentyFive) {
  const Echo e = read_from(file_with("20000", "3", "nan", "0"));
  EXPECT_EQ(e.params.AN, 25.0);
  EXPECT_NE(e.results.find("\n  AN=25.000000 "), std::string::npos);
  EXPECT_NE(e.warnings.find("\"AN\" is not a number"), std::string::npos);
}

TEST(ReadParametersTest, NumbersBeyondThirtyTwoBitsSaturateWithAWarning) {
  const Echo e = read_from(
      "code=99999999999 kst=-99999999999 infind=3 ndkdd=20000 iterat=3 AN=3 npacketll=0 "
      "lim88=4294967296");
  EXPECT_EQ(e.params.code, 2147483647);
  EXPECT_EQ(e.params.kst, -2147483647 - 1);
  EXPECT_EQ(e.params.lim88, 2147483647);
  EXPECT_NE(e.warnings.find("\"kst\" is beyond the 32-bit range; read as -2147483648"),
            std::string::npos);
}

TEST(ReadParametersTest, EmptyFileLeavesEverythingAtItsInitialValue) {
  const Echo e = read_from("");
  EXPECT_EQ(e.params.ndkdd, 20000);
  EXPECT_EQ(e.params.iterat, 3);
  EXPECT_EQ(e.params.AN, 25.0);
  EXPECT_EQ(e.console,
            "\n  code=0 \n  kst=0 \n  infind =0    ndkdd=20000 n  iterat=3 "
            "\n   AN=25.000000 n  npacketll=0 \n lim88=0-free control par ");
}

}  // namespace
}  // namespace mtsim
