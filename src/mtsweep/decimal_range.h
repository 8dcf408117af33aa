// The --an argument: lists and inclusive ranges of decimal numbers.
//
// "2.0:4.0:0.25" means 2.0, 2.25, ..., 4.0 and "2.0,2.5" the two values;
// items of both kinds may be mixed, separated by commas.  Range points are
// computed in decimal, as integers of the finest step, so 2.0:2.3:0.1
// reaches 2.3 exactly and every point is the double its decimal text reads
// as: the same number a user would type into a parameter file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace mtsweep {

// At most this many values from one argument.
inline constexpr long MAX_RANGE_POINTS = 10000;

struct DecimalList {
  std::vector<double> values;  // in the order given
  std::string error;           // empty, or what is wrong, without the option name
};

// Plain decimals only: an optional sign, digits, an optional point and at
// most nine decimals (no exponent).
DecimalList parse_decimal_list(std::string_view text);

}  // namespace mtsweep
