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
//
// Details:
// - Blanks are spaces and tabs. A section line is "[" name "]" with blanks
//   allowed around it and the name; text after "]" is ignored. Lines above the
//   first section belong to none and are never found.
// - When a name occurs twice, the first section and its first key count.
// - A replaced line keeps its text up to the first '=' and its line end.
// - A new key goes right after the last non-blank line of its section, so the
//   blank lines before the next section stay below it. A new section is
//   appended as "[name]" CR LF "key=value" CR LF. New lines end in CR LF; a
//   last line without a line end gets one before anything is added after it.
// - A name or value is written only up to its first CR or LF: a line break
//   would otherwise plant lines of its own in the file.
// - A file that exists but cannot be read gives defaults on reads and fails
//   writes (it is never replaced by a file holding only the new key).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/platform/Files.h"

namespace settings {

inline constexpr std::size_t kMaxValueLength = 2047;

struct IniEntry {
  std::string Section;
  std::string Key;
  std::string Value;
};

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
  // Writes the entries in order, each as WriteString would, in one atomic
  // rewrite of the file: either all of them reach it or none.
  void Write(const std::vector<IniEntry>& entries);

 private:
  std::string path_;
  platform::FileAccess access_;
};

}  // namespace settings
