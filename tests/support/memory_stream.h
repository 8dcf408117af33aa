// A FILE stream that collects what is written to it in memory, so that
// tests can hand it to code that writes through stdio.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace mtsim::testing {

class MemoryStream {
 public:
  MemoryStream() : file_(open_memstream(&buf_, &len_)) {
    if (file_ == nullptr) throw std::runtime_error("open_memstream failed");
  }
  ~MemoryStream() {
    if (file_ != nullptr) std::fclose(file_);
    std::free(buf_);
  }
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;

  // Borrowed: this object flushes and closes it.
  std::FILE* file() const { return file_; }
  // Handed to an owner that closes it.  text() then shows what the owner
  // flushed or closed.
  std::FILE* release() {
    std::FILE* f = file_;
    file_ = nullptr;
    return f;
  }
  std::string text() {
    if (file_ != nullptr) std::fflush(file_);
    return std::string(buf_ == nullptr ? "" : buf_, len_);
  }

 private:
  char* buf_ = nullptr;
  size_t len_ = 0;
  std::FILE* file_;
};

}  // namespace mtsim::testing
