// The settings-file access over any file and any script of reads and writes.
// Input: two bytes (little-endian) giving the length of the initial file, the
// file's bytes, then the script.
//
// Invariants: every read gives what a reference reader of the documented
// rules finds; a write refuses exactly the names that cannot be stored and
// then leaves the file as it was; otherwise the written entry reads back as
// the read rules make of the value, every other entry reads as before, only
// the written line changes or the new lines appear (after a last line that
// gains the line end it lacked), and no temporary file stays in the folder.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/settings/IniFile.h"
#include "fuzz/FuzzSupport.h"

namespace {

using fuzz::Quote;
using fuzz::RawLine;

constexpr const char* kDefault = "<default>";
constexpr std::size_t kMaxValueLength = 2047;

std::string Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return "";
  return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string OneLine(const std::string& value) { return value.substr(0, value.find_first_of("\r\n")); }

// What a read gives for the text after the '='.
std::string ReadForm(std::string_view raw) {
  std::string value = Trim(raw);
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
    value = value.substr(1, value.size() - 2);
  }
  return value.substr(0, kMaxValueLength);
}

using Name = std::pair<std::string, std::string>;  // section and key, trimmed, lower case

Name NameOf(const std::string& section, const std::string& key) {
  return {Lower(Trim(section)), Lower(Trim(key))};
}

// Every entry a read can find, by the documented rules: a section line is
// "[" name "]" (blanks around; text after "]" ignored), an entry line holds a
// "=", lines above the first section belong to none, and the first section
// of a name and the first key in it count. A UTF-8 byte order mark at the
// start of the file is not part of its first line.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view WithoutByteOrderMark(std::string_view content) {
  if (content.substr(0, kByteOrderMark.size()) == kByteOrderMark) content.remove_prefix(kByteOrderMark.size());
  return content;
}

std::map<Name, std::string> Readable(std::string_view content) {
  content = WithoutByteOrderMark(content);
  std::map<Name, std::string> entries;
  std::set<std::string> sections;
  std::optional<std::string> current;  // the section, when it is the first of its name
  bool inSection = false;
  for (const RawLine& line : fuzz::SplitKeepingEnds(content)) {
    const std::string trimmed = Trim(line.text);
    const std::size_t close = trimmed.find(']');
    if (!trimmed.empty() && trimmed[0] == '[' && close != std::string::npos) {
      const std::string name = Lower(Trim(std::string_view(trimmed).substr(1, close - 1)));
      inSection = true;
      current = sections.insert(name).second ? std::optional<std::string>(name) : std::nullopt;
      continue;
    }
    const std::size_t equals = line.text.find('=');
    if (!inSection || !current || equals == std::string::npos) continue;
    entries.emplace(Name{*current, Lower(Trim(std::string_view(line.text).substr(0, equals)))},
                    ReadForm(std::string_view(line.text).substr(equals + 1)));
  }
  return entries;
}

bool Storable(const std::string& section, const std::string& key) {
  const std::string s = Trim(section);
  const std::string k = Trim(key);
  return !s.empty() && s.find_first_of("\r\n]") == std::string::npos && !k.empty() &&
         k.find_first_of("\r\n=") == std::string::npos && k[0] != '[';
}

class Session {
 public:
  explicit Session(FuzzedDataProvider& script)
      : script_(script), path_(fuzz::ScratchFolder() + "config.ini"), ini_(path_) {}

  void Run() {
    for (int step = 0; step < 24 && script_.remaining_bytes() > 0; ++step) {
      switch (script_.ConsumeIntegralInRange(0, 4)) {
        case 0:
        case 1: {
          const std::string section = PickName(true);
          const std::string key = PickName(false);
          Read(section, key);
          break;
        }
        case 2: {
          const settings::IniEntry entry{PickName(true), PickName(false), PickValue()};
          Write({entry}, [&] { ini_.WriteString(entry.Section, entry.Key, entry.Value); });
          break;
        }
        case 3: {
          std::vector<settings::IniEntry> entries(script_.ConsumeIntegralInRange<std::size_t>(1, 4));
          for (auto& entry : entries) entry = {PickName(true), PickName(false), PickValue()};
          Write(entries, [&] { ini_.Write(entries); });
          break;
        }
        case 4:
          std::filesystem::remove(path_);
          break;
      }
    }
  }

 private:
  std::string Content() const { return std::filesystem::exists(path_) ? fuzz::ReadBytes(path_) : std::string(); }

  // A name of the file (in another case, with blanks around it) or a new one.
  std::string PickName(bool section) {
    const auto known = Readable(Content());
    if (known.empty() || !script_.ConsumeBool()) return script_.ConsumeRandomLengthString(12);
    auto it = known.begin();
    std::advance(it, script_.ConsumeIntegralInRange<std::size_t>(0, known.size() - 1));
    std::string name = section ? it->first.first : it->first.second;
    if (script_.ConsumeBool()) {
      std::transform(name.begin(), name.end(), name.begin(), [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
      });
    }
    if (script_.ConsumeBool()) name = " " + name + "\t";
    return name;
  }

  // Mostly short; now and then about the longest value a read keeps.
  std::string PickValue() {
    if (!script_.ConsumeBool()) return script_.ConsumeRandomLengthString(40);
    const std::string quote = script_.ConsumeBool() ? "\"" : "";
    return quote + std::string(script_.ConsumeIntegralInRange<std::size_t>(2040, 2060), 'v') + quote;
  }

  void Read(const std::string& section, const std::string& key) {
    const auto entries = Readable(Content());
    const auto found = entries.find(NameOf(section, key));
    const std::string expected = found == entries.end() ? kDefault : found->second;
    const std::string got = ini_.ReadString(section, key, kDefault);
    FUZZ_CHECK(got == expected, "read " + Quote(section) + " " + Quote(key) + " gave " + Quote(got) +
                                    ", the rules give " + Quote(expected) + " in " + Quote(Content()));
    const auto number = fuzz::ReferenceInteger(found == entries.end() ? "" : found->second);
    FUZZ_CHECK(ini_.ReadInteger(section, key, -7) == number.value_or(-7),
               "integer read " + Quote(section) + " " + Quote(key) + " in " + Quote(Content()));
  }

  template <typename WriteAction>
  void Write(const std::vector<settings::IniEntry>& entries, WriteAction write) {
    const bool existed = std::filesystem::exists(path_);
    const std::string before = Content();
    const bool storable = std::all_of(entries.begin(), entries.end(),
                                      [](const auto& e) { return Storable(e.Section, e.Key); });
    std::string names;
    for (const auto& e : entries) names += " " + Quote(e.Section) + "/" + Quote(e.Key);
    try {
      write();
    } catch (const settings::InvalidNameError& error) {
      FUZZ_CHECK(!storable, "refused storable names" + names + ": " + error.what());
      FUZZ_CHECK(std::filesystem::exists(path_) == existed && Content() == before,
                 "a refused write changed the file" + names);
      return;
    }
    FUZZ_CHECK(storable, "wrote names that cannot be stored:" + names + "; file now " + Quote(Content()));
    const std::string after = Content();
    const std::string detail = names + "\nbefore " + Quote(before) + "\nafter  " + Quote(after);

    // The written entries read back; the last write of a name counts.
    std::map<Name, std::string> written;
    for (const auto& e : entries) written[NameOf(e.Section, e.Key)] = ReadForm(OneLine(e.Value));
    const auto was = Readable(before);
    const auto now = Readable(after);
    for (const auto& [name, value] : written) {
      const auto found = now.find(name);
      FUZZ_CHECK(found != now.end() && found->second == value,
                 "written " + Quote(name.first) + "/" + Quote(name.second) + " does not read back as " +
                     Quote(value) + detail);
    }
    for (const auto& e : entries) {
      const std::string got = ini_.ReadString(e.Section, e.Key, kDefault);
      FUZZ_CHECK(got == written[NameOf(e.Section, e.Key)], "IniFile reads back " + Quote(got) + detail);
    }
    // Every other entry reads as before.
    for (const auto& [name, value] : was) {
      if (written.count(name) != 0) continue;
      const auto found = now.find(name);
      FUZZ_CHECK(found != now.end() && found->second == value,
                 "entry " + Quote(name.first) + "/" + Quote(name.second) + " changed" + detail);
    }
    for (const auto& [name, value] : now) {
      FUZZ_CHECK(written.count(name) != 0 || was.count(name) != 0,
                 "entry " + Quote(name.first) + "/" + Quote(name.second) + " appeared" + detail);
    }
    if (entries.size() == 1) CheckOnlyItsLinesChanged(before, after, entries[0], detail);
    const std::vector<std::string> expectedFolder{"config.ini"};
    FUZZ_CHECK(fuzz::FolderEntries(fuzz::ScratchFolder()) == expectedFolder, "a temporary file was left" + detail);
  }

  // The lines of before and after differ only in the written line (its text
  // up to the first '=' and its line end kept) or in the added key line,
  // after its new section line when the section was missing, and a last line
  // that had no line end gains one before anything added after it. A byte
  // order mark stays where it was, outside every line.
  static void CheckOnlyItsLinesChanged(const std::string& before, const std::string& after,
                                       const settings::IniEntry& entry, const std::string& detail) {
    const bool marked = WithoutByteOrderMark(before).size() != before.size();
    FUZZ_CHECK(marked == (WithoutByteOrderMark(after).size() != after.size()),
               "the byte order mark came or went" + detail);
    const std::vector<RawLine> b = fuzz::SplitKeepingEnds(WithoutByteOrderMark(before));
    const std::vector<RawLine> a = fuzz::SplitKeepingEnds(WithoutByteOrderMark(after));
    if (a == b) return;  // the value it had
    std::size_t prefix = 0;
    while (prefix < b.size() && prefix < a.size() && a[prefix] == b[prefix]) ++prefix;
    std::size_t suffix = 0;
    while (suffix < b.size() - prefix && suffix < a.size() - prefix &&
           a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix]) {
      ++suffix;
    }
    const std::vector<RawLine> gone(b.begin() + static_cast<std::ptrdiff_t>(prefix),
                                    b.end() - static_cast<std::ptrdiff_t>(suffix));
    const std::vector<RawLine> added(a.begin() + static_cast<std::ptrdiff_t>(prefix),
                                     a.end() - static_cast<std::ptrdiff_t>(suffix));
    const std::string value = OneLine(entry.Value);
    if (gone.size() == 1 && added.size() == 1 && gone[0].text.find('=') != std::string::npos) {
      const RawLine& old = gone[0];
      const RawLine replaced{old.text.substr(0, old.text.find('=') + 1) + value, old.end};
      FUZZ_CHECK(added[0] == replaced, "the replaced line is not the old line with the new value" + detail);
      return;
    }
    std::vector<RawLine> expected;
    if (!gone.empty()) {
      FUZZ_CHECK(gone.size() == 1 && gone[0].end.empty(), "lines changed that the write did not touch" + detail);
      expected.push_back({gone[0].text, "\r\n"});
    }
    const RawLine keyLine{Trim(entry.Key) + "=" + value, "\r\n"};
    std::vector<RawLine> withSection = expected;
    withSection.push_back({"[" + Trim(entry.Section) + "]", "\r\n"});
    withSection.push_back(keyLine);
    expected.push_back(keyLine);
    FUZZ_CHECK(added == expected || added == withSection, "lines changed beyond the added ones" + detail);
  }

  FuzzedDataProvider& script_;
  const std::string path_;
  settings::IniFile ini_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const std::size_t fileLength = std::min<std::size_t>(data[0] | (data[1] << 8), size - 2);
  fuzz::EmptyScratchFolder();
  fuzz::WriteBytes(fuzz::ScratchFolder() + "config.ini",
                   std::string_view(reinterpret_cast<const char*>(data + 2), fileLength));
  FuzzedDataProvider script(data + 2 + fileLength, size - 2 - fileLength);
  Session(script).Run();
  return 0;
}
