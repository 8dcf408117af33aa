#include "mtsim/report_writer.h"

#include <cerrno>
#include <cstdarg>

namespace mtsim {

ReportWriter::ReportWriter(std::FILE* console, std::FILE* results, std::FILE* diagnostics)
    : console_(console), results_(results), diagnostics_(diagnostics) {}

ReportWriter::~ReportWriter() {
  if (results_ != nullptr) std::fclose(results_);
}

void ReportWriter::console(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(console_, format, args);
  va_end(args);
}

void ReportWriter::results(const char* format, ...) {
  if (results_ == nullptr) return;
  va_list args;
  va_start(args, format);
  errno = 0;
  if (std::vfprintf(results_, format, args) < 0 && results_errno_ == 0)
    results_errno_ = errno != 0 ? errno : EIO;
  va_end(args);
}

void ReportWriter::warn(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(diagnostics_, format, args);
  va_end(args);
}

int ReportWriter::close_results() {
  if (results_ == nullptr) return results_errno_;
  errno = 0;
  const bool flushed = std::fflush(results_) == 0 && !std::ferror(results_);
  if (!flushed && results_errno_ == 0) results_errno_ = errno != 0 ? errno : EIO;
  errno = 0;
  if (std::fclose(results_) != 0 && results_errno_ == 0) results_errno_ = errno != 0 ? errno : EIO;
  results_ = nullptr;
  return results_errno_;
}

}  // namespace mtsim
