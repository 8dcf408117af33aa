#include "param_harness.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "driver/report_writer.h"

namespace mtsim::testing {

namespace {

// A memory stream whose text survives its close.
class MemoryOut {
 public:
  MemoryOut() : stream_(open_memstream(&buffer_, &size_)) {
    if (stream_ == nullptr) throw std::runtime_error("open_memstream failed");
  }
  ~MemoryOut() {
    if (stream_ != nullptr) std::fclose(stream_);
    std::free(buffer_);
  }
  MemoryOut(const MemoryOut&) = delete;
  MemoryOut& operator=(const MemoryOut&) = delete;

  std::FILE* stream() const { return stream_; }
  // Hands the stream to an owner that closes it itself.
  std::FILE* release() {
    std::FILE* s = stream_;
    stream_ = nullptr;
    return s;
  }
  // The text written; valid once the stream is flushed or closed.
  std::string text() {
    if (stream_ != nullptr) std::fflush(stream_);
    return std::string(buffer_ == nullptr ? "" : buffer_, size_);
  }

 private:
  char* buffer_ = nullptr;
  size_t size_ = 0;
  std::FILE* stream_;
};

}  // namespace

ReaderOutput read_parameter_text(std::string_view file_text) {
  // fmemopen reads exactly `size` bytes, so NUL bytes and an empty text are
  // read like any file; the copy keeps the buffer writable for the C API.
  std::string bytes(file_text);
  std::FILE* in = fmemopen(bytes.data(), bytes.size(), "r");
  if (in == nullptr) throw std::runtime_error("fmemopen failed");

  MemoryOut console, results, diagnostics;
  ReaderOutput out;
  {
    ReportWriter writer(console.stream(), results.release(), diagnostics.stream());
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
