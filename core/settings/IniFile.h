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
//   allowed around it and the name; text after "]" is ignored. A line that
//   begins with "[" but has no "]" is no section line (with a "=" it is an
//   entry of the section above it). Any other line with a "=" is an entry
//   whose key is the text before the first "=", trimmed. Lines above the first
//   section belong to none and are never found.
// - Section and key names given by the caller are trimmed of blanks, as those
//   in the file are, for reads and writes alike.
// - When a name occurs twice, the first section and its first key count.
// - A replaced line keeps its text up to the first '=' and its line end.
// - A new key goes right after the last non-blank line of its section, so the
//   blank lines before the next section stay below it. A new section is
//   appended as "[name]" CR LF "key=value" CR LF. New lines end in CR LF; a
//   last line without a line end gets one before anything is added after it.
// - A value is written only up to its first CR or LF: a line break would
//   otherwise plant lines of its own in the file.
// - A write refuses, with InvalidNameError and before the file is touched, a
//   name (after trimming) that is empty or would not read back as itself from
//   the line it makes: a section name (line "[" name "]") holding CR, LF or
//   "]" (the name would end there); a key name (line key "=" value) holding
//   CR, LF or "=" (the key would end there) or beginning with "[" (the line
//   could read as a section line, hiding the real section of that name).
// - A file that exists but cannot be read gives defaults on reads and fails
//   writes (it is never replaced by a file holding only the new key).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "core/platform/Files.h"

namespace settings {

inline constexpr std::size_t kMaxValueLength = 2047;

// A section or key name that cannot be stored faithfully (see above). The
// program writes only names of its own, so this is a fault of the caller.
class InvalidNameError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

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

  // Throw InvalidNameError for a name that cannot be stored, and
  // platform::FileError("Unable to write to <path>") when the file cannot be
  // written.
  void WriteString(const std::string& section, const std::string& key,
                   const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int32_t value);
  // Writes the entries in order, each as WriteString would, in one atomic
  // rewrite of the file: either all of them reach it or none.
  void Write(const std::vector<IniEntry>& entries);

  // The names of the file's sections, in file order, each once.
  std::vector<std::string> SectionNames() const;
  // Removes the section (every line from its header to the next section)
  // and, when entries are given, appends it anew at the end of the file with
  // exactly those keys, in one atomic rewrite. Throws as Write does.
  void ReplaceSection(const std::string& section, const std::vector<std::pair<std::string, std::string>>& entries);

 private:
  template <typename Edit>
  void Rewrite(Edit&& edit);

  std::string path_;
  platform::FileAccess access_;
};

}  // namespace settings
