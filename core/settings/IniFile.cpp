#include "core/settings/IniFile.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "core/platform/Numbers.h"

namespace settings {

namespace {

// One line of the file with the line end it had, so that lines a write does
// not touch go back byte for byte.
struct Line {
  std::string text;
  std::string end;  // "\r\n", "\n", "\r" or "" (last line without an end)
};

constexpr const char* kNewLineEnd = "\r\n";

// Some editors begin a UTF-8 file with a byte-order mark; it belongs to no line.
constexpr std::string_view kByteOrderMark("\xEF\xBB\xBF");

bool HasByteOrderMark(std::string_view content) { return content.substr(0, kByteOrderMark.size()) == kByteOrderMark; }

std::vector<Line> SplitKeepingEnds(std::string_view content) {
  if (HasByteOrderMark(content)) content.remove_prefix(kByteOrderMark.size());
  std::vector<Line> lines;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < content.size()) {
    const char c = content[i];
    if (c == '\r' || c == '\n') {
      const std::size_t endLength =
          (c == '\r' && i + 1 < content.size() && content[i + 1] == '\n') ? 2 : 1;
      lines.push_back({std::string(content.substr(start, i - start)),
                       std::string(content.substr(i, endLength))});
      i += endLength;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < content.size()) lines.push_back({std::string(content.substr(start)), ""});
  return lines;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

// "[name]" with blanks allowed around the line and the name; anything after
// the closing bracket is ignored. Without a "]" the line is no section line
// (an entry, if it holds a "="), as with the Windows profile functions.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  line.remove_prefix(1);
  const std::size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(0, close));
}

// Key of an entry line: the trimmed text before its first '='.
std::optional<std::string_view> EntryKey(std::string_view line) {
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos || SectionName(line)) return std::nullopt;
  return Trim(line.substr(0, equals));
}

struct Location {
  std::optional<std::size_t> section;  // index of the section line
  std::size_t sectionEnd = 0;          // one past the section's last line
  std::optional<std::size_t> entry;    // index of the key's line
};

// The first section of that name, and the first entry of that key in it;
// lines above the first section belong to no section.
Location Find(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
  Location location;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto name = SectionName(lines[i].text);
    if (!location.section) {
      if (name && EqualsIgnoringCase(*name, section)) location.section = i;
      continue;
    }
    if (name) {
      location.sectionEnd = i;
      return location;
    }
    if (!location.entry) {
      const auto entryKey = EntryKey(lines[i].text);
      if (entryKey && EqualsIgnoringCase(*entryKey, key)) location.entry = i;
    }
  }
  location.sectionEnd = lines.size();
  return location;
}

std::string CleanValue(std::string_view raw) {
  std::string_view value = Trim(raw);
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  if (value.size() > kMaxValueLength) value = value.substr(0, kMaxValueLength);
  return std::string(value);
}

// A line break inside a value would start a new line in the file, so that a
// value could plant keys of its own: everything from it on is left out.
std::string_view OneLine(std::string_view text) {
  return text.substr(0, text.find_first_of("\r\n"));
}

// Why a trimmed name cannot be written: empty, or it would not read back as
// itself from the line a write makes of it; nullptr when it can.
const char* SectionNameFault(std::string_view name) {
  if (name.empty()) return "it is empty";
  if (name.find_first_of("\r\n") != std::string_view::npos) return "it holds a line break";
  if (name.find(']') != std::string_view::npos) return "it holds a \"]\"";
  return nullptr;
}

const char* KeyNameFault(std::string_view name) {
  if (name.empty()) return "it is empty";
  if (name.find_first_of("\r\n") != std::string_view::npos) return "it holds a line break";
  if (name.find('=') != std::string_view::npos) return "it holds a \"=\"";
  if (name.front() == '[') return "it begins with \"[\"";
  return nullptr;
}

void Refuse(const char* kind, std::string_view name, const char* fault, const std::string& path) {
  throw InvalidNameError("Cannot write the " + std::string(kind) + " name \"" + std::string(name) + "\" to " + path +
                         ": " + fault + ".");
}

void CheckStorableSection(std::string_view section, const std::string& path) {
  if (const char* fault = SectionNameFault(Trim(section))) Refuse("section", Trim(section), fault, path);
}

void CheckStorable(const IniEntry& entry, const std::string& path) {
  CheckStorableSection(entry.Section, path);
  if (const char* fault = KeyNameFault(Trim(entry.Key))) Refuse("key", Trim(entry.Key), fault, path);
}

// Replaces the key's value where its line stands, or adds the key at the end
// of its section, or the section with the key at the end of the file.
void Set(std::vector<Line>& lines, const IniEntry& written) {
  const std::string_view section = Trim(written.Section);
  const std::string_view key = Trim(written.Key);
  const std::string_view value = OneLine(written.Value);
  const Location location = Find(lines, section, key);

  std::string entry;
  entry.append(key).append("=").append(value);
  if (location.entry) {
    std::string& text = lines[*location.entry].text;
    text.erase(text.find('=') + 1);
    text.append(value);
  } else if (location.section) {
    // After the section's last non-blank line, so blank lines that separate
    // it from the next section stay below the new key.
    std::size_t last = *location.section;
    for (std::size_t i = last + 1; i < location.sectionEnd; ++i) {
      if (!Trim(lines[i].text).empty()) last = i;
    }
    if (lines[last].end.empty()) lines[last].end = kNewLineEnd;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(last) + 1, Line{entry, kNewLineEnd});
  } else {
    if (!lines.empty() && lines.back().end.empty()) lines.back().end = kNewLineEnd;
    lines.push_back({"[" + std::string(section) + "]", kNewLineEnd});
    lines.push_back({entry, kNewLineEnd});
  }
}

// The file's text as the programs hold it (UTF-8): a file with a byte order
// mark is UTF-8 already, any other is in the system's code page on Windows.
platform::ReadOutcome ReadText(const std::string& path, std::string& content) {
  const platform::ReadOutcome outcome = platform::ReadWholeFile(path, content);
  if (outcome == platform::ReadOutcome::Ok && !HasByteOrderMark(content)) content = platform::TextFromFile(content);
  return outcome;
}

}  // namespace

IniFile::IniFile(std::string path, platform::FileAccess access)
    : path_(std::move(path)), access_(access) {}

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
  std::string content;
  if (ReadText(path_, content) != platform::ReadOutcome::Ok) return defaultValue;
  const std::vector<Line> lines = SplitKeepingEnds(content);
  const Location location = Find(lines, Trim(section), Trim(key));
  if (!location.entry) return defaultValue;
  const std::string& text = lines[*location.entry].text;
  return CleanValue(std::string_view(text).substr(text.find('=') + 1));
}

int32_t IniFile::ReadInteger(const std::string& section, const std::string& key,
                             int32_t defaultValue) const {
  const std::string text = ReadString(section, key, std::string());
  return platform::ParseInteger(text).value_or(defaultValue);
}

void IniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  Write({IniEntry{section, key, value}});
}

void IniFile::Write(const std::vector<IniEntry>& entries) {
  for (const IniEntry& entry : entries) CheckStorable(entry, path_);
  Rewrite([&entries](std::vector<Line>& lines) {
    for (const IniEntry& entry : entries) Set(lines, entry);
  });
}

std::vector<std::string> IniFile::SectionNames() const {
  std::vector<std::string> names;
  std::string content;
  if (ReadText(path_, content) != platform::ReadOutcome::Ok) return names;
  for (const Line& line : SplitKeepingEnds(content)) {
    const auto name = SectionName(line.text);
    if (!name) continue;
    const bool seen = std::any_of(names.begin(), names.end(), [&](const std::string& n) { return EqualsIgnoringCase(n, *name); });
    if (!seen) names.emplace_back(*name);
  }
  return names;
}

void IniFile::ReplaceSection(const std::string& sectionName, const std::vector<std::pair<std::string, std::string>>& entries) {
  const std::string section(Trim(sectionName));
  CheckStorableSection(section, path_);
  for (const auto& [key, value] : entries) CheckStorable(IniEntry{section, key, value}, path_);
  Rewrite([&](std::vector<Line>& lines) {
    const Location location = Find(lines, section, std::string_view());
    if (location.section) {
      lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(*location.section),
                  lines.begin() + static_cast<std::ptrdiff_t>(location.sectionEnd));
    }
    if (entries.empty()) return;
    if (!lines.empty() && lines.back().end.empty()) lines.back().end = kNewLineEnd;
    lines.push_back({"[" + section + "]", kNewLineEnd});
    for (const auto& [key, value] : entries) {
      lines.push_back({std::string(Trim(key)) + "=" + std::string(OneLine(value)), kNewLineEnd});
    }
  });
}

template <typename Edit>
void IniFile::Rewrite(Edit&& edit) {
  std::string content;
  // An existing file that cannot be read must not be replaced by a file
  // holding only the new keys.
  if (ReadText(path_, content) == platform::ReadOutcome::Failed) platform::ThrowUnableToWrite(path_);
  std::vector<Line> lines = SplitKeepingEnds(content);
  edit(lines);

  std::string output(HasByteOrderMark(content) ? kByteOrderMark : std::string_view());
  output.reserve(content.size() + 256);
  for (const Line& line : lines) output.append(line.text).append(line.end);
  try {
    platform::WriteFileAtomic(path_, HasByteOrderMark(output) ? output : platform::TextForFile(output), access_);
  } catch (const platform::FileError&) {
    platform::ThrowUnableToWrite(path_);
  }
}

void IniFile::WriteInteger(const std::string& section, const std::string& key, int32_t value) {
  WriteString(section, key, platform::FormatInteger(value));
}

}  // namespace settings
