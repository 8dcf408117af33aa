// The one way report text leaves a run.
//
// A run writes its report twice, to the console and to the results file,
// each copy with its own wording, plus warnings on a diagnostic stream.  All
// three are plain FILE streams so that tests can hand in memory streams.
// The writer owns the results file: it closes it and reports whether every
// byte written to it arrived.
#pragma once

#include <cstdio>

namespace mtsim {

class ReportWriter {
 public:
  // `console` and `diagnostics` are borrowed; `results` is owned and closed
  // by close_results() or the destructor.  REQUIRES: all three non-null.
  ReportWriter(std::FILE* console, std::FILE* results, std::FILE* diagnostics);
  ~ReportWriter();
  ReportWriter(const ReportWriter&) = delete;
  ReportWriter& operator=(const ReportWriter&) = delete;

  [[gnu::format(printf, 2, 3)]] void console(const char* format, ...);
  [[gnu::format(printf, 2, 3)]] void results(const char* format, ...);
  [[gnu::format(printf, 2, 3)]] void warn(const char* format, ...);

  // Flushes and closes the results file.  Returns 0 when every write and
  // the close succeeded, otherwise the errno of the first failure seen.
  int close_results();

 private:
  std::FILE* console_;
  std::FILE* results_;
  std::FILE* diagnostics_;
  int results_errno_ = 0;  // first write failure on the results file
};

}  // namespace mtsim
