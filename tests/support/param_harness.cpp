#include "param_harness.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "mtsim/report_writer.h"
#include "memory_stream.h"

namespace mtsim::testing {

ReaderOutput read_parameter_text(std::string_view file_text) {
  // fmemopen reads exactly `size` bytes, so NUL bytes and an empty text are
  // read like any file; the copy keeps the buffer writable for the C API.
  std::string bytes(file_text);
  std::FILE* in = fmemopen(bytes.data(), bytes.size(), "r");
  if (in == nullptr) throw std::runtime_error("fmemopen failed");

  MemoryStream console, results, diagnostics;
  ReaderOutput out;
  {
    ReportWriter writer(console.file(), results.release(), diagnostics.file());
    read_parameters(in, out.params, writer);
    out.results_error = writer.close_results();
  }
  std::fclose(in);
  out.console = console.text();
  out.results = results.text();
  out.diagnostics = diagnostics.text();
  return out;
}

std::string console_echo(const Params& p, int32_t infind_as_read) {
  char text[512];
  std::snprintf(text, sizeof text,
                "\n  code=%d \n  kst=%d \n  infind =%d    ndkdd=%d n  iterat=%d "
                "\n   AN=%f n  npacketll=%d \n lim88=%d-free control par ",
                p.code, p.kst, infind_as_read, p.ndkdd, p.iterat, p.AN, p.npacketll, p.lim88);
  return text;
}

std::string results_echo(const Params& p, int32_t infind_as_read) {
  char text[768];
  std::snprintf(text, sizeof text,
                "\n  --------  code=%d  -----------\n =================================="
                "\n  kst=%d \n  infind =%d \n   ndkdd=%d \n  iterat=%d \n  AN=%f "
                "\n  npacketll=%d \n ===  lim88=%d  ====-free control parameter"
                "\n ===================================================",
                p.code, p.kst, infind_as_read, p.ndkdd, p.iterat, p.AN, p.npacketll, p.lim88);
  return text;
}

}  // namespace mtsim::testing
