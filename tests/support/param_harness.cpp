#include "support/param_harness.h"

namespace testing_support {

using mtsim::ReportWriter;

ReaderOutput read_parameter_text(std::string_view file_text) {
  // fmemopen reads exactly `size` bytes, so NUL bytes and an empty text are
  // read like any file; the copy keeps the buffer writable for the C API.
  std::string bytes(file_text);
  std::FILE* in = fmemopen(bytes.data(), bytes.size(), "r");
  MemoryStream console, results, diagnostics;
  ReaderOutput out;
  {
    ReportWriter writer(console.file(), results.release(), diagnostics.file());
    mtsim::read_parameter_file(in, out.params, writer);
    out.results_error = writer.close_results();
  }
  std::fclose(in);
  out.console = console.text();
  out.results = results.text();
  out.diagnostics = diagnostics.text();
  return out;
}

}  // namespace testing_support
