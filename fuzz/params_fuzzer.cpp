// Fuzz target for the parameter reader: any byte sequence as the parameter
// file must leave every parameter inside the range the rest of the run
// relies on, produce the echo those parameters call for, and warn at most
// once per key, in reading order, on complete lines.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "support/param_harness.h"

namespace {

constexpr const char* kKeys[] = {"code", "kst", "infind", "ndkdd", "iterat", "AN", "npacketll",
                                 "lim88"};

// The echo both streams must carry for the final parameters `p`; infind is
// echoed as it was read, before its replacement.
std::string console_echo(const mtsim::Params& p, int32_t infind_as_read) {
  char text[512];
  std::snprintf(text, sizeof text,
                "\n  code=%d \n  kst=%d \n  infind =%d    ndkdd=%d n  iterat=%d "
                "\n   AN=%f n  npacketll=%d \n lim88=%d-free control par ",
                p.code, p.kst, infind_as_read, p.ndkdd, p.iterat, p.AN, p.npacketll, p.lim88);
  return text;
}

std::string results_echo(const mtsim::Params& p, int32_t infind_as_read) {
  char text[768];
  std::snprintf(text, sizeof text,
                "\n  --------  code=%d  -----------\n =================================="
                "\n  kst=%d \n  infind =%d \n   ndkdd=%d \n  iterat=%d \n  AN=%f "
                "\n  npacketll=%d \n ===  lim88=%d  ====-free control parameter"
                "\n ===================================================",
                p.code, p.kst, infind_as_read, p.ndkdd, p.iterat, p.AN, p.npacketll, p.lim88);
  return text;
}

[[noreturn]] void fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "params_fuzzer: %s\n%s\n", what, detail.c_str());
  std::abort();
}

void check_warnings(const std::string& diagnostics) {
  if (!diagnostics.empty() && diagnostics.back() != '\n')
    fail("warning without line end", diagnostics);
  const std::string_view prefix = "mtsim: parameter \"";
  int last_key = -1;
  size_t begin = 0;
  while (begin < diagnostics.size()) {
    const size_t end = diagnostics.find('\n', begin);
    const std::string_view line = std::string_view(diagnostics).substr(begin, end - begin);
    if (line.substr(0, prefix.size()) != prefix) fail("foreign warning line", diagnostics);
    int key = -1;
    for (int k = 0; k < 8; ++k) {
      const std::string quoted = std::string(kKeys[k]) + "\" ";
      if (line.substr(prefix.size(), quoted.size()) == quoted) key = k;
    }
    if (key <= last_key) fail("warnings not one per key in reading order", diagnostics);
    last_key = key;
    begin = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto out = testing_support::read_parameter_text(
      std::string_view(reinterpret_cast<const char*>(data), size));
  const mtsim::Params& p = out.params;

  if (p.ndkdd < 20000 || p.ndkdd > 520000) fail("ndkdd out of range", out.console);
  if (p.iterat < 3 || p.iterat > 15) fail("iterat out of range", out.console);
  if (!(p.AN == 25.0 || (p.AN >= 2.0 && p.AN <= 5.0))) fail("AN out of range", out.console);
  if (p.npacketll > 200) fail("npacketll above 200", out.console);
  if (p.infind > 3) fail("infind above 3", out.console);
  if (out.results_error != 0) fail("memory results stream reported an error", "");

  // infind is echoed as read: recover it from the console and check that it
  // leads to the value in use.
  long infind_read = 0;
  const size_t at = out.console.find("\n  infind =");
  if (at == std::string::npos || std::sscanf(out.console.c_str() + at, "\n  infind =%ld", &infind_read) != 1)
    fail("no infind echo", out.console);
  if (infind_read < INT32_MIN || infind_read > INT32_MAX) fail("infind echo beyond 32 bits", out.console);
  if (p.infind != (infind_read > 3 ? 2 : infind_read)) fail("infind echo and value disagree", out.console);

  const int32_t echoed = static_cast<int32_t>(infind_read);
  if (out.console != console_echo(p, echoed)) fail("console echo malformed", out.console);
  if (out.results != results_echo(p, echoed)) fail("results echo malformed", out.results);
  check_warnings(out.diagnostics);
  return 0;
}
