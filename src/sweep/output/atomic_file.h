// The files a sweep keeps.  They are written whole or not at all: the text
// goes to a temporary file beside the target, which then replaces the
// target by rename(), so a reader (or an interrupted sweep) sees the old
// file or the new one, never a part.
#pragma once

#include <string>
#include <string_view>

namespace mtsweep {

// Empty on success, otherwise one line naming the file and the reason; the
// target is then unchanged and no temporary file is left.
std::string write_file_atomically(const std::string& path, std::string_view text);

// Whether `path` could be written so, found by creating and removing the
// temporary file: empty, or the line write_file_atomically would give.
std::string check_writable(const std::string& path);

// A whole file read back (the JSON of a sweep to resume).  A file that does
// not exist is not an error: `exists` tells.
struct FileText {
  std::string text;
  bool exists = false;
  std::string error;  // empty unless the file exists but cannot be read
};
FileText read_file(const std::string& path);

}  // namespace mtsweep
