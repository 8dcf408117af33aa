#include "mtsweep/decimal_range.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>

namespace mtsweep {

namespace {

constexpr int kMaxDecimals = 9;

// value = units / 10^decimals.
struct Decimal {
  int64_t units = 0;
  int decimals = 0;
};

int64_t pow10(int n) {
  int64_t p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

std::optional<Decimal> parse_decimal(std::string_view s) {
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  const size_t point = s.find('.');
  const std::string_view whole = s.substr(0, point);
  const std::string_view fraction = point == std::string_view::npos ? "" : s.substr(point + 1);
  if (whole.empty() && fraction.empty()) return std::nullopt;
  if (fraction.size() > kMaxDecimals || whole.size() > 9) return std::nullopt;
  Decimal d;
  for (const std::string_view digits : {whole, fraction}) {
    for (const char c : digits) {
      if (c < '0' || c > '9') return std::nullopt;
      d.units = d.units * 10 + (c - '0');
    }
  }
  d.decimals = static_cast<int>(fraction.size());
  if (negative) d.units = -d.units;
  return d;
}

int64_t scaled(const Decimal& d, int decimals) { return d.units * pow10(decimals - d.decimals); }

// The double that the decimal text units / 10^decimals reads as.
double to_double(int64_t units, int decimals) {
  const int64_t magnitude = units < 0 ? -units : units;
  const std::string text = (units < 0 ? "-" : "") + std::to_string(magnitude / pow10(decimals)) +
                           "." +
                           std::to_string(pow10(decimals) + magnitude % pow10(decimals)).substr(1);
  return std::strtod(text.c_str(), nullptr);
}

std::string quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

// Appends the values of one item (a number or start:stop:step); returns an
// error or "".
std::string add_item(std::string_view item, std::vector<double>& out) {
  if (item.empty()) return "empty value in the list";
  std::vector<std::string_view> parts;
  for (size_t from = 0;;) {
    const size_t colon = item.find(':', from);
    parts.push_back(item.substr(from, colon - from));
    if (colon == std::string_view::npos) break;
    from = colon + 1;
  }
  if (parts.size() != 1 && parts.size() != 3) {
    return quoted(item) + " is neither a number nor a range start:stop:step";
  }
  std::vector<Decimal> d;
  for (const std::string_view p : parts) {
    const auto value = parse_decimal(p);
    if (!value) return quoted(p) + " is not a decimal number (at most 9 decimals, no exponent)";
    d.push_back(*value);
  }
  if (d.size() == 1) {
    out.push_back(to_double(d[0].units, d[0].decimals));
    return "";
  }
  int decimals = 0;
  for (const Decimal& x : d) decimals = std::max(decimals, x.decimals);
  const int64_t start = scaled(d[0], decimals);
  const int64_t stop = scaled(d[1], decimals);
  const int64_t step = scaled(d[2], decimals);
  if (step <= 0) return "range " + quoted(item) + " needs a step above 0";
  if (start > stop) return "range " + quoted(item) + " is reversed: start above stop";
  const int64_t count = (stop - start) / step + 1;
  if (count + static_cast<int64_t>(out.size()) > MAX_RANGE_POINTS) {
    return "more than " + std::to_string(MAX_RANGE_POINTS) + " values";
  }
  for (int64_t k = 0; k < count; ++k) out.push_back(to_double(start + k * step, decimals));
  return "";
}

}  // namespace

DecimalList parse_decimal_list(std::string_view text) {
  DecimalList list;
  if (text.empty()) {
    list.error = "empty value";
    return list;
  }
  for (size_t from = 0;;) {
    const size_t comma = text.find(',', from);
    list.error = add_item(text.substr(from, comma - from), list.values);
    if (!list.error.empty() || comma == std::string_view::npos) break;
    from = comma + 1;
  }
  if (!list.error.empty()) list.values.clear();
  return list;
}

}  // namespace mtsweep
