#include "sweep/output/atomic_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace mtsweep {

namespace {

std::string temporary_name(const std::string& path) {
  return path + ".tmp-" + std::to_string(::getpid());
}

std::string failure(const std::string& path, int error) {
  return "cannot write \"" + path + "\": " + std::strerror(error);
}

// Writes `text` to the temporary file; 0 or the errno of the failure.
int write_temporary(const std::string& temp, std::string_view text) {
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (f == nullptr) return errno;
  int error = 0;
  if (std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fflush(f) != 0) {
    error = errno != 0 ? errno : EIO;
  } else if (::fsync(::fileno(f)) != 0 && errno != EINVAL) {
    error = errno;  // EINVAL: a special file that cannot be synced
  }
  if (std::fclose(f) != 0 && error == 0) error = errno;
  return error;
}

// The file to replace: `path`, or the file that a symbolic link at `path`
// leads to (the link stays).  Only regular files are replaced: renaming over
// a device or a link such as /dev/stdout would remove its entry.
std::string resolve(const std::string& path, std::string* error) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return path;  // new file (or the write reports why not)
  std::string target = path;
  if (S_ISLNK(st.st_mode)) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) {
      *error = "cannot write \"" + path + "\": cannot follow the link: " + std::strerror(errno);
      return path;
    }
    target = real;
    std::free(real);
    if (::lstat(target.c_str(), &st) != 0) return target;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = "cannot write \"" + path + "\": not a regular file (outputs are replaced whole)";
  }
  return target;
}

}  // namespace

std::string write_file_atomically(const std::string& path, std::string_view text) {
  std::string error_line;
  const std::string target = resolve(path, &error_line);
  if (!error_line.empty()) return error_line;
  const std::string temp = temporary_name(target);
  int error = write_temporary(temp, text);
  if (error == 0 && std::rename(temp.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    std::remove(temp.c_str());
    return failure(path, error);
  }
  return "";
}

std::string check_writable(const std::string& path) {
  std::string error_line;
  const std::string target = resolve(path, &error_line);
  if (!error_line.empty()) return error_line;
  const std::string temp = temporary_name(target);
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (f == nullptr) return failure(path, errno);
  std::fclose(f);
  std::remove(temp.c_str());
  return "";
}

FileText read_file(const std::string& path) {
  FileText result;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    if (errno != ENOENT) result.error = "cannot read \"" + path + "\": " + std::strerror(errno);
    return result;
  }
  result.exists = true;
  char buffer[65536];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) result.text.append(buffer, n);
  if (std::ferror(f)) result.error = "cannot read \"" + path + "\": " + std::strerror(errno);
  std::fclose(f);
  return result;
}

}  // namespace mtsweep
