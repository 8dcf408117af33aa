// Report streams held in memory, and the parameter reader run over a text
// held in memory.  Shared by the tests and the parameter-reader fuzzer.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include "mtsim/params.h"

namespace testing_support {

// A FILE stream that collects what is written to it in memory, so that
// tests can hand it to code that writes through stdio.
class MemoryStream {
 public:
  MemoryStream() : file_(open_memstream(&buf_, &len_)) {}
  ~MemoryStream() {
    if (file_ != nullptr) std::fclose(file_);
    std::free(buf_);
  }
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;

  // Borrowed: this object flushes and closes it.
  std::FILE* file() const { return file_; }
  // Handed to an owner that closes it; text() then shows what it flushed.
  std::FILE* release() { return std::exchange(file_, nullptr); }
  std::string text() {
    if (file_ != nullptr) std::fflush(file_);
    return std::string(buf_ == nullptr ? "" : buf_, len_);
  }

 private:
  char* buf_ = nullptr;
  size_t len_ = 0;
  std::FILE* file_;
};

struct ReaderOutput {
  mtsim::Params params;
  std::string console;
  std::string results;
  std::string diagnostics;
  int results_error = 0;  // what the writer reported when closing the results stream
};

// Reads `file_text` as the parameter file (embedded NUL bytes included).
ReaderOutput read_parameter_text(std::string_view file_text);

}  // namespace testing_support
