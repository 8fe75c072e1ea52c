// Key-by-key access to INI-style text files (the settings file and task files).
//
// Section and key names match without regard to letter case. Reads take the
// text after the first '=', trimmed of blanks, with one pair of matching quotes
// around the whole value removed, cut to 2047 characters; a missing file,
// section or key gives the default. Writes replace a value where its line
// stands and keep every other line byte for byte; a missing key is added at the
// end of its section, a missing section at the end of the file. Nothing is
// cached: every call opens, reads (and for writes replaces atomically) the file.
// Any thread may use its own IniFile; the file itself is the caller's to guard.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Files.h"

namespace settings {

inline constexpr std::size_t kMaxValueLength = 2047;

class IniFile {
 public:
  // access applies when a write creates the file (OwnerOnly for files that hold
  // a password).
  explicit IniFile(std::string path,
                   platform::FileAccess access = platform::FileAccess::Default);

  const std::string& FileName() const { return path_; }

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  int32_t ReadInteger(const std::string& section, const std::string& key,
                      int32_t defaultValue) const;

  // Throws platform::FileError("Unable to write to <path>") when the file
  // cannot be written.
  void WriteString(const std::string& section, const std::string& key,
                   const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int32_t value);

 private:
  std::string path_;
  platform::FileAccess access_;
};

}  // namespace settings
