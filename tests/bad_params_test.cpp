// Damaged, odd and hostile parameter files.  Every expectation below follows
// from how fscanf walks the eight formats: a blank matches any run of white
// space (or none), key characters must match one by one, a number stops at
// the first character that cannot continue it, a failed read consumes what
// matched so far and leaves the rest for the next format, and the `iterat`
// and `npacketll` formats have no leading blank, so white space left in
// front of them makes them fail.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/param_harness.h"

namespace mtsim {
namespace {

using testing::console_echo;
using testing::read_parameter_text;
using testing::results_echo;

constexpr std::array<const char*, 8> kKeys = {"code",   "kst", "infind",    "ndkdd",
                                              "iterat", "AN",  "npacketll", "lim88"};

// The well-formed file every case starts from; each value differs from what
// an unread entry ends up as, so a lost entry always shows.
const std::vector<std::string> kEntries = {"code=7",   "kst=11", "infind=1",     "ndkdd=100000",
                                           "iterat=9", "AN=3.5", "npacketll=40", "lim88=5"};

std::string join(const std::vector<std::string>& entries, const std::string& sep = "\n") {
  std::string text;
  for (const std::string& e : entries) text += e + sep;
  return text;
}

// kEntries with some entries replaced, joined by newlines.
std::string with_entries(std::initializer_list<std::pair<size_t, std::string>> replaced) {
  std::vector<std::string> entries = kEntries;
  for (const auto& [place, entry] : replaced) entries[place] = entry;
  return join(entries);
}

std::string with_entry(size_t place, const std::string& entry) {
  return with_entries({{place, entry}});
}

struct Expected {
  int32_t code = 7;
  int32_t kst = 11;
  int32_t infind_read = 1;  // as echoed
  int32_t infind = 1;       // as used
  int32_t ndkdd = 100000;
  int32_t iterat = 9;
  double AN = 3.5;
  int32_t npacketll = 40;
  int32_t lim88 = 5;
};

// What an entry that was not read ends up as: 0, then the replacements.
Expected unread(Expected e, size_t place) {
  switch (place) {
    case 0: e.code = 0; break;
    case 1: e.kst = 0; break;
    case 2: e.infind_read = e.infind = 0; break;
    case 3: e.ndkdd = 20000; break;
    case 4: e.iterat = 3; break;
    case 5: e.AN = 25.0; break;
    case 6: e.npacketll = 0; break;
    case 7: e.lim88 = 0; break;
  }
  return e;
}

Expected unread_from(size_t first, Expected e = {}) {
  for (size_t place = first; place < kKeys.size(); ++place) e = unread(e, place);
  return e;
}

enum class Warn { kUnread, kBeyond32Bits, kNotANumber };

struct Warning {
  size_t place;
  Warn kind;
};

std::vector<Warning> unread_warnings(std::initializer_list<size_t> places) {
  std::vector<Warning> w;
  for (size_t place : places) w.push_back({place, Warn::kUnread});
  return w;
}

std::vector<Warning> unread_warnings_from(size_t first) {
  std::vector<Warning> w;
  for (size_t place = first; place < kKeys.size(); ++place) w.push_back({place, Warn::kUnread});
  return w;
}

struct Case {
  std::string name;
  std::string text;
  Expected expected;
  std::vector<Warning> warnings;
};

// Failures name the case rather than dumping its bytes.
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::string with_run(const std::string& before, size_t n, char c, const std::string& after) {
  return before + std::string(n, c) + after;
}

std::vector<Case> all_cases() {
  std::vector<Case> cases = {
      // --- Whole-file shapes. ---
      {"empty_file", "", unread_from(0), unread_warnings_from(0)},
      {"only_white_space", " \n\t\r\n  \n", unread_from(0), unread_warnings_from(0)},
      {"binary_garbage", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe\x01", 19),
       unread_from(0), unread_warnings_from(0)},
      // A NUL is an ordinary character: it ends the number and matches no key.
      {"nul_byte_after_first_entry",
       std::string("code=7\0", 7) + join({"kst=11", "infind=1", "ndkdd=100000", "iterat=9",
                                          "AN=3.5", "npacketll=40", "lim88=5"}),
       unread_from(1), unread_warnings_from(1)},
      // A byte-order mark is not white space, so the first key never matches.
      {"utf8_byte_order_mark", "\xEF\xBB\xBF" + join(kEntries), unread_from(0),
       unread_warnings_from(0)},
      // CR is white space to fscanf: Windows and old Mac line ends read alike.
      {"crlf_line_ends", join(kEntries, "\r\n"), {}, {}},
      {"cr_line_ends", join(kEntries, "\r"), {}, {}},
      {"tabs_form_feeds_vertical_tabs", "\t" + join(kEntries, "\t\f\v "), {}, {}},
      {"all_on_one_line", join(kEntries, " "), {}, {}},
      // Each number ends at the first letter of the next key, and a blank in
      // a format also matches no white space at all.
      {"all_on_one_line_without_blanks", join(kEntries, ""), {}, {}},
      {"indented_with_blank_lines", "\n\n    " + join(kEntries, "\n\n\t  "), {}, {}},
      {"text_after_the_last_entry", join(kEntries) + "lim88=9 garbage 123\n\x01\xff", {}, {}},
      {"no_line_end_at_the_end", join(kEntries, "\n").erase(join(kEntries).size() - 1), {}, {}},
      {"white_space_after_equals", with_entries({{0, "code= 7"}, {1, "kst=\t11"}}), {}, {}},
      {"line_break_after_equals", with_entry(3, "ndkdd=\n  100000"), {}, {}},
      // The second code entry stands where kst is expected.
      {"duplicate_entry", "code=7\n" + join(kEntries), unread_from(1), unread_warnings_from(1)},

      // --- Keys out of order. ---
      {"code_and_kst_swapped",
       join({"kst=11", "code=7", "infind=1", "ndkdd=100000", "iterat=9", "AN=3.5", "npacketll=40",
             "lim88=5"}),
       unread_from(2, unread({}, 0)), unread_warnings({0, 2, 3, 4, 5, 6, 7})},
      // npacketll's format consumes the "n" of "ndkdd" before failing.
      {"ndkdd_and_iterat_swapped",
       join({"code=7", "kst=11", "infind=1", "iterat=9", "ndkdd=100000", "AN=3.5", "npacketll=40",
             "lim88=5"}),
       unread(unread(unread(unread({}, 3), 5), 6), 7), unread_warnings({3, 5, 6, 7})},
      {"AN_before_iterat",
       join({"code=7", "kst=11", "infind=1", "ndkdd=100000", "AN=3.5", "iterat=9", "npacketll=40",
             "lim88=5"}),
       unread(unread(unread({}, 4), 6), 7), unread_warnings({4, 6, 7})},
      {"npacketll_and_lim88_swapped",
       join({"code=7", "kst=11", "infind=1", "ndkdd=100000", "iterat=9", "AN=3.5", "lim88=5",
             "npacketll=40"}),
       unread({}, 6), unread_warnings({6})},
      // Only the last format finds its key at the front.
      {"reverse_order",
       join({"lim88=5", "npacketll=40", "AN=3.5", "iterat=9", "ndkdd=100000", "infind=1", "kst=11",
             "code=7"}),
       [] {
         Expected e = unread_from(0);
         e.lim88 = 5;
         return e;
       }(),
       unread_warnings({0, 1, 2, 3, 4, 5, 6})},

      // --- Signs. ---
      {"plus_signs",
       join({"code=+7", "kst=+11", "infind=+1", "ndkdd=+100000", "iterat=+9", "AN=+3.5",
             "npacketll=+40", "lim88=+5"}),
       {}, {}},
      {"minus_signs",
       join({"code=-7", "kst=-11", "infind=-1", "ndkdd=-100000", "iterat=-9", "AN=-3.5",
             "npacketll=-40", "lim88=-5"}),
       {.code = -7, .kst = -11, .infind_read = -1, .infind = -1, .ndkdd = 20000, .iterat = 3,
        .AN = 25.0, .npacketll = -40, .lim88 = -5},
       {}},
      {"infind_above_three_echoed_as_read", with_entry(2, "infind=+7"),
       {.infind_read = 7, .infind = 2}, {}},
      {"AN_minus_zero", with_entry(5, "AN=-0"), {.AN = 25.0}, {}},
      // The sign is consumed; the blank after it is left where iterat's
      // format, which has no leading blank, cannot get past it.
      {"sign_then_blank", with_entry(3, "ndkdd=- 100000"), unread_from(3),
       unread_warnings_from(3)},
      {"double_sign", with_entry(4, "iterat=--9"), unread_from(4), unread_warnings_from(4)},
      // A lone sign, unlike a missing number, leaves the line break unread,
      // and iterat's format cannot skip it (compare ndkdd_without_number).
      {"sign_alone", with_entry(3, "ndkdd=-"), unread_from(3), unread_warnings_from(3)},
      {"AN_sign_alone", with_entry(5, "AN=+"), unread_from(5), unread_warnings_from(5)},

      // --- Exponents. ---
      // An integer stops at the "e"; the rest of the file no longer matches.
      {"exponent_in_an_integer", with_entry(3, "ndkdd=1e5"), unread_from(4, {.ndkdd = 20000}),
       unread_warnings_from(4)},
      {"exponent_in_code", with_entry(0, "code=7e2"), unread_from(1), unread_warnings_from(1)},
      {"AN_negative_exponent", with_entry(5, "AN=35e-1"), {}, {}},
      {"AN_capital_exponent", with_entry(5, "AN=0.4E1"), {.AN = 4.0}, {}},
      {"AN_exponent_above_range", with_entry(5, "AN=1e1"), {.AN = 5.0}, {}},
      {"AN_exponent_below_range", with_entry(5, "AN=2e-1"), {.AN = 25.0}, {}},
      {"AN_overflowing_to_infinity", with_entry(5, "AN=1e999"), {.AN = 5.0}, {}},
      {"AN_hexadecimal", with_entry(5, "AN=0x1.8p1"), {.AN = 3.0}, {}},

      // --- Fractions where an integer is expected. ---
      {"fraction_in_ndkdd", with_entry(3, "ndkdd=100000.5"), unread_from(4),
       unread_warnings_from(4)},
      {"fraction_in_iterat", with_entry(4, "iterat=9.0"), unread_from(5), unread_warnings_from(5)},
      // kst is read, as 0, and draws no warning; everything after it is lost.
      {"fraction_in_kst", with_entry(1, "kst=0.5"), unread_from(2, {.kst = 0}),
       unread_warnings_from(2)},
      {"fraction_in_the_last_entry", with_entry(7, "lim88=5.9"), {}, {}},
      {"hexadecimal_integer", with_entry(3, "ndkdd=0x186A0"), unread_from(3),
       unread_warnings_from(4)},
      {"AN_decimal_comma", with_entry(5, "AN=3,5"), unread_from(6, {.AN = 3.0}),
       unread_warnings_from(6)},
      {"AN_leading_point", with_entry(5, "AN=.35e1"), {}, {}},
      {"AN_trailing_point", with_entry(5, "AN=3."), {.AN = 3.0}, {}},

      // --- No number after the key. ---
      // The number's own white-space skip eats the line break, so iterat's
      // format finds its key.
      {"ndkdd_without_number", with_entry(3, "ndkdd="), unread({}, 3), unread_warnings({3})},
      {"iterat_with_letters", with_entry(4, "iterat=x9"), unread_from(4), unread_warnings_from(4)},
      // "n" could begin "nan", so AN's read takes it from "npacketll".
      {"AN_without_number", with_entry(5, "AN="), unread_from(5), unread_warnings_from(5)},

      // --- Beyond the signed 32-bit range: saturation, never wrap-around. ---
      // Each value wraps (mod 2^32) to the base file's value, or to a value
      // in range, so a wrapping reader would pass unnoticed otherwise.
      {"beyond_32_bits",
       join({"code=2147483648", "kst=-2147483649", "infind=4294967299", "ndkdd=4295067296",
             "iterat=4294967305", "AN=3.5", "npacketll=4294967336",
             "lim88=-99999999999999999999999"}),
       {.code = 2147483647, .kst = -2147483648, .infind_read = 2147483647, .infind = 2,
        .ndkdd = 510000, .iterat = 15, .AN = 3.5, .npacketll = 200, .lim88 = -2147483648},
       {{0, Warn::kBeyond32Bits}, {1, Warn::kBeyond32Bits}, {2, Warn::kBeyond32Bits},
        {3, Warn::kBeyond32Bits}, {4, Warn::kBeyond32Bits}, {6, Warn::kBeyond32Bits},
        {7, Warn::kBeyond32Bits}}},
      {"at_the_32_bit_limits", with_entries({{0, "code=2147483647"}, {1, "kst=-2147483648"}}),
       {.code = 2147483647, .kst = -2147483648}, {}},

      // --- AN that is not a finite number. ---
      {"AN_nan", with_entry(5, "AN=nan"), {.AN = 25.0}, {{5, Warn::kNotANumber}}},
      {"AN_NAN_capitals", with_entry(5, "AN=NAN"), {.AN = 25.0}, {{5, Warn::kNotANumber}}},
      {"AN_minus_nan", with_entry(5, "AN=-nan"), {.AN = 25.0}, {{5, Warn::kNotANumber}}},
      {"AN_inf", with_entry(5, "AN=inf"), {.AN = 5.0}, {}},
      {"AN_infinity_capitals", with_entry(5, "AN=INFINITY"), {.AN = 5.0}, {}},
      {"AN_minus_inf", with_entry(5, "AN=-inf"), {.AN = 25.0}, {}},

      // --- Lines of 100,000 characters. ---
      {"long_run_of_blanks", with_run("", 100000, ' ', join(kEntries, std::string(100000, ' '))),
       {}, {}},
      {"long_garbage_line_first", with_run("", 100000, 'x', "\n" + join(kEntries)),
       unread_from(0), unread_warnings_from(0)},
      {"long_line_after_the_last_entry", with_run(join(kEntries), 100000, 'y', "\n"), {}, {}},
      {"long_number", with_entry(0, with_run("code=", 100000, '9', "")), {.code = 2147483647},
       {{0, Warn::kBeyond32Bits}}},
      {"long_run_of_leading_zeros", with_entry(4, with_run("iterat=", 100000, '0', "9")), {}, {}},
      {"long_fraction", with_entry(5, with_run("AN=3.5", 100000, '0', "")), {}, {}},
  };

  // A misspelled key stops the reading there: its entry and every later one
  // stay unread.  The misspellings vary in where the first mismatch falls.
  const std::array<const char*, 8> misspelled = {"Code=7",      "kts=11",  "infnd=1",
                                                 "ndkd=100000", "itrat=9", "AN =3.5",
                                                 "npacketl=40", "lim8=5"};
  for (size_t place = 0; place < kKeys.size(); ++place) {
    cases.push_back({std::string("misspelled_") + kKeys[place], with_entry(place, misspelled[place]),
                     unread_from(place), unread_warnings_from(place)});
  }

  // A key cut short fails at the line break, which the next format can pass
  // only if it begins with a blank; iterat's and npacketll's do not.
  cases.push_back({"ndkdd_key_cut_short", with_entry(3, "ndkd"), unread_from(3),
                   unread_warnings_from(3)});
  cases.push_back({"AN_key_cut_short", with_entry(5, "AN"), unread_from(5),
                   unread_warnings_from(5)});
  cases.push_back({"iterat_key_cut_short", with_entry(4, "iter"), unread({}, 4),
                   unread_warnings({4})});

  // A missing entry loses only itself: the failed read stops in front of the
  // next key, which the next format then matches.
  for (size_t place = 0; place < kKeys.size(); ++place) {
    std::vector<std::string> entries = kEntries;
    entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(place));
    cases.push_back({std::string("missing_") + kKeys[place], "  " + join(entries, "\n  "),
                     unread({}, place), unread_warnings({place})});
  }
  return cases;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class BadParameterFileTest : public ::testing::TestWithParam<Case> {};

TEST_P(BadParameterFileTest, ReadsWhatFscanfReadsAndWarnsAboutTheRest) {
  const Case& c = GetParam();
  const Expected& e = c.expected;
  const testing::ReaderOutput out = read_parameter_text(c.text);

  const Params& p = out.params;
  EXPECT_EQ(p.code, e.code);
  EXPECT_EQ(p.kst, e.kst);
  EXPECT_EQ(p.infind, e.infind);
  EXPECT_EQ(p.ndkdd, e.ndkdd);
  EXPECT_EQ(p.iterat, e.iterat);
  EXPECT_EQ(p.AN, e.AN);
  EXPECT_EQ(p.npacketll, e.npacketll);
  EXPECT_EQ(p.lim88, e.lim88);

  Params want;
  want.code = e.code;
  want.kst = e.kst;
  want.infind = e.infind;
  want.ndkdd = e.ndkdd;
  want.iterat = e.iterat;
  want.AN = e.AN;
  want.npacketll = e.npacketll;
  want.lim88 = e.lim88;
  EXPECT_EQ(out.console, console_echo(want, e.infind_read));
  EXPECT_EQ(out.results, results_echo(want, e.infind_read));
  EXPECT_EQ(out.results_error, 0);

  // One complete line per warning, in reading order, naming its key.
  ASSERT_TRUE(out.diagnostics.empty() || out.diagnostics.back() == '\n') << out.diagnostics;
  const std::vector<std::string> lines = lines_of(out.diagnostics);
  ASSERT_EQ(lines.size(), c.warnings.size()) << out.diagnostics;
  for (size_t i = 0; i < lines.size(); ++i) {
    const Warning& w = c.warnings[i];
    const std::string prefix = std::string("mtsim: parameter \"") + kKeys[w.place] + "\" ";
    EXPECT_EQ(lines[i].rfind(prefix, 0), 0u) << lines[i];
    const char* says = w.kind == Warn::kUnread         ? "could not be read"
                       : w.kind == Warn::kBeyond32Bits ? "beyond the 32-bit range"
                                                       : "not a number";
    EXPECT_NE(lines[i].find(says), std::string::npos) << lines[i];
  }
}

INSTANTIATE_TEST_SUITE_P(Files, BadParameterFileTest, ::testing::ValuesIn(all_cases()),
                         [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace
}  // namespace mtsim
