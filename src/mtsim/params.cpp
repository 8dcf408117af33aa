#include "mtsim/params.h"

#include <cmath>
#include <cstdarg>
#include <limits>

#include "sim/frame/frame.h"

namespace mtsim {

namespace {

// fscanf with its format checked at the call site.
[[gnu::format(scanf, 2, 3)]] bool scan_one(std::FILE* in, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int converted = std::vfscanf(in, format, args);
  va_end(args);
  return converted == 1;
}

// Integers are scanned as long: "%ld" matches exactly the text that "%d"
// matches, and the wider target lets a value beyond 32 bits saturate instead
// of wrapping.
void take_int(bool scanned, long value, const char* key, int32_t& param, ReportWriter& out) {
  if (!scanned) {
    out.warn("mtsim: parameter \"%s\" could not be read from \"%s\"; it keeps its initial value %ld\n",
             key, PARAMETER_FILE, static_cast<long>(param));
    return;
  }
  constexpr long lo = std::numeric_limits<int32_t>::min();
  constexpr long hi = std::numeric_limits<int32_t>::max();
  if (value < lo || value > hi) {
    value = value < lo ? lo : hi;
    out.warn("mtsim: parameter \"%s\" is beyond the 32-bit range; read as %ld\n", key, value);
  }
  param = static_cast<int32_t>(value);
}

}  // namespace

void read_parameter_file(std::FILE* in, Params& p, ReportWriter& out) {
  long v = 0;
  bool ok = false;

  ok = scan_one(in, "  code=%ld ", &v);
  take_int(ok, v, "code", p.code, out);
  out.results("\n  --------  code=%ld  -----------", static_cast<long>(p.code));
  out.results("\n ==================================");
  out.console("\n  code=%ld ", static_cast<long>(p.code));

  ok = scan_one(in, "  kst=%ld ", &v);
  take_int(ok, v, "kst", p.kst, out);
  out.results("\n  kst=%ld ", static_cast<long>(p.kst));
  out.console("\n  kst=%ld ", static_cast<long>(p.kst));

  ok = scan_one(in, " infind=%ld ", &v);
  take_int(ok, v, "infind", p.infind, out);
  out.results("\n  infind =%d ", p.infind);
  out.console("\n  infind =%d ", p.infind);
  if (p.infind > MAX_INFIND) p.infind = 2;

  ok = scan_one(in, " ndkdd=%ld ", &v);
  take_int(ok, v, "ndkdd", p.ndkdd, out);
  if (p.ndkdd > MAX_NDKDD) {
    p.ndkdd = 510000;
  } else if (p.ndkdd < MIN_NDKDD) {
    p.ndkdd = MIN_NDKDD;
  }
  out.results("\n   ndkdd=%ld ", static_cast<long>(p.ndkdd));
  out.console("   ndkdd=%ld ", static_cast<long>(p.ndkdd));

  ok = scan_one(in, "iterat=%ld ", &v);
  take_int(ok, v, "iterat", p.iterat, out);
  if (p.iterat > MAX_ITERAT) {
    p.iterat = MAX_ITERAT;
  } else if (p.iterat < MIN_ITERAT) {
    p.iterat = MIN_ITERAT;
  }
  // The console's "n" instead of a line break (here and at npacketll) is
  // the report's own: the echoes share console lines as recorded.
  out.results("\n  iterat=%d ", p.iterat);
  out.console("n  iterat=%d ", p.iterat);

  double an = 0.0;
  if (scan_one(in, " AN=%lf ", &an)) {
    p.AN = an;
  } else {
    out.warn("mtsim: parameter \"AN\" could not be read from \"%s\"; it keeps its initial value %g\n",
             PARAMETER_FILE, p.AN);
  }
  if (std::isnan(p.AN)) {
    out.warn("mtsim: parameter \"AN\" is not a number; it is treated as below 2.0\n");
    p.AN = NOISELESS_AN;
  } else if (p.AN > MAX_AN) {
    p.AN = MAX_AN;
  } else if (p.AN < MIN_AN) {
    p.AN = NOISELESS_AN;
  }
  out.results("\n  AN=%lf ", p.AN);
  out.console("\n   AN=%lf ", p.AN);

  ok = scan_one(in, "npacketll=%ld ", &v);
  take_int(ok, v, "npacketll", p.npacketll, out);
  if (p.npacketll > MAX_NPACKETLL) p.npacketll = MAX_NPACKETLL;
  out.results("\n  npacketll=%d ", p.npacketll);
  out.console("n  npacketll=%d ", p.npacketll);

  ok = scan_one(in, " lim88=%ld ", &v);
  take_int(ok, v, "lim88", p.lim88, out);
  out.results("\n ===  lim88=%d  ====-free control parameter", p.lim88);
  out.console("\n lim88=%d-free control par ", p.lim88);

  out.results("\n ===================================================");
}

}  // namespace mtsim
