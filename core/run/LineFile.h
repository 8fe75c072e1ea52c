// The lines of a log-like window and the text file they are saved to.
//
// Between two Load()/Reset() calls lines are only appended, so a save writes
// only the lines added since the previous save, provided the file on disk is
// still the one this object wrote last: it keeps that file open, so "same
// file" means the same device and inode (which cannot be reused while open)
// and the size it left. Anything else (first save, a file changed or replaced
// behind its back, an earlier failed append) rewrites the file whole,
// atomically. Either way the file afterwards holds exactly Lines(), each
// followed by CR LF. Main thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/platform/Files.h"

namespace run {

class LineFile {
 public:
  LineFile() = default;
  LineFile(const LineFile&) = delete;
  LineFile& operator=(const LineFile&) = delete;

  const std::vector<std::string>& Lines() const { return lines_; }

  // Replaces the lines by the file's (any line ends); throws
  // platform::FileError("Cannot open file ...") when it cannot be read. When
  // the file already holds exactly the lines with CR LF, the next save only
  // appends.
  void Load(const std::string& path);
  // Replaces the lines; the next save rewrites the file.
  void Reset(std::vector<std::string> lines);
  // Appends one line per piece of text between line breaks (CR LF, LF or CR),
  // so every entry is one line of the file. Returns how many lines it added.
  std::size_t Append(std::string_view text);

  // Makes path hold exactly Lines(). Throws platform::FileError.
  void Save(const std::string& path);

  // Whether the last Save() appended (true) or rewrote the file (false).
  bool LastSaveAppended() const { return lastSaveAppended_; }

 private:
  void Rewrite(const std::string& path);
  // Keeps path open as the file last written, holding every line so far.
  void Adopt(const std::string& path);

  std::vector<std::string> lines_;
  // The file as this object last left it, and how many lines it holds.
  platform::AppendableFile saved_;
  std::size_t savedLines_ = 0;
  bool lastSaveAppended_ = false;
};

}  // namespace run
