// The settings-file access against Windows' own profile functions
// (GetPrivateProfileStringA, WritePrivateProfileStringA), under Wine or on
// Windows: a generated corpus of files (sections and keys in any case,
// blanks, quotes, duplicates, lines outside sections, long lines, every line
// end, missing files) and of calls, each answered by both. Writes are made by
// both on copies of the same file and each result read back by both. Where
// the answers differ, the difference must be one of the kinds listed below
// with the reason this program answers as it does; any other fails the test.
// Windows only.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "core/settings/IniFile.h"
#include "tests/support/TempDir.h"

namespace {

using settings::IniFile;
using testsupport::TempDir;

// With a buffer of 2048 characters, as the settings are read: at most 2047
// come back.
std::string WindowsRead(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& defaultValue) {
  std::vector<char> buffer(settings::kMaxValueLength + 1);
  const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), buffer.data(),
                                           static_cast<DWORD>(buffer.size()), path.c_str());
  return std::string(buffer.data(), n);
}

// The pieces files are made of.
const std::vector<std::string> kSectionLines = {
    "[Proxy]", "[proxy]", "[ Proxy ]", "[PROXY]  ; note", "[IniParas]", "[Tile Sources]", "[\tIniParas\t]",
    "[Proxy", "[]", "[Other] trailing",
};
const std::vector<std::string> kEntryLines = {
    "Server=host.example",
    "server = spaced value ",
    "SERVER\t=\ttabbed\t",
    "Port=8080",
    "Port=0x10",
    "Port= -7",
    "User=\"quoted value\"",
    "User='single quoted'",
    "User=\"half quoted",
    "User=\"a\" and \"b\"",
    "Password=",
    "Password==equals",
    "Password=a=b=c",
    "=no key",
    "NoEquals",
    "; Server=commented",
    "# Server=hashed",
    "",
    "   ",
    "DefaultPath=c:\\maps\\newtask",
    "Long=" + std::string(3000, 'x'),
    "Key With Blanks=inner blanks",
    "key with blanks=lower",
};
const std::vector<std::string> kLineEnds = {"\r\n", "\n", "\r"};

// What is asked: sections and keys in other cases, with blanks, missing.
const std::vector<std::string> kSections = {"Proxy", "proxy", " PROXY ", "IniParas", "Tile Sources", "Other",
                                            "Missing", "Proxy "};
const std::vector<std::string> kKeys = {"Server", "server", " SERVER", "Port", "User", "Password", "DefaultPath",
                                        "Long", "Key With Blanks", "NoEquals", "Missing", "; Server"};
const std::vector<std::string> kDefaults = {"", "def", "def  "};

struct Corpus {
  std::vector<std::string> Files;
};

Corpus MakeCorpus(unsigned seed, int count) {
  std::mt19937 random(seed);
  auto pick = [&random](const std::vector<std::string>& from) {
    return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
  };
  Corpus corpus;
  for (int i = 0; i < count; ++i) {
    const std::string end = pick(kLineEnds);
    std::string text;
    // Now and then an entry above the first section.
    if (i % 5 == 0) text += pick(kEntryLines) + end;
    const int sections = 1 + static_cast<int>(random() % 4);
    for (int s = 0; s < sections; ++s) {
      text += pick(kSectionLines) + end;
      const int entries = static_cast<int>(random() % 7);
      for (int e = 0; e < entries; ++e) text += pick(kEntryLines) + end;
    }
    if (i % 3 == 0 && !text.empty()) text.resize(text.size() - end.size());  // no line end at the end
    corpus.Files.push_back(text);
  }
  return corpus;
}

// A kind of difference, known and kept, with the reason.
struct KnownKind {
  const char* Name;
  const char* Reason;
  std::function<bool(const std::string& file, const std::string& section, const std::string& key,
                     const std::string& def, const std::string& ours, const std::string& windows)>
      Matches;
};

// Long runs of one character shortened, for the failure messages.
std::string Short(const std::string& text, std::size_t most = 80) {
  const std::string shortened = std::regex_replace(text, std::regex("(.)\\1{20,}"), "$1$1$1...");
  return shortened.substr(0, most);
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.erase(0, 1);
  return text;
}

const std::vector<KnownKind>& KnownKinds() {
  static const std::vector<KnownKind> kinds = {
      {"default with trailing blanks",
       "Windows drops the trailing blanks of the default; the programs' defaults have none, and a caller's default "
       "is given back as it was passed",
       [](const std::string&, const std::string&, const std::string&, const std::string& def, const std::string& ours,
          const std::string& windows) { return def != Trimmed(def) && ours == def && windows == Trimmed(def); }},
  };
  return kinds;
}

struct Tally {
  int Compared = 0;
  std::map<std::string, int> Known;
  std::vector<std::string> Unknown;
};

void Compare(Tally& tally, const std::string& what, const std::string& file, const std::string& path,
             const std::string& section, const std::string& key, const std::string& def) {
  const std::string ours = IniFile(path).ReadString(section, key, def);
  const std::string windows = WindowsRead(path, section, key, def);
  ++tally.Compared;
  if (ours == windows) return;
  for (const KnownKind& kind : KnownKinds()) {
    if (kind.Matches(file, section, key, def, ours, windows)) {
      ++tally.Known[kind.Name];
      return;
    }
  }
  if (tally.Unknown.size() < 40) {
    tally.Unknown.push_back(what + ": [" + section + "] " + key + " (default \"" + def + "\"): ours \"" +
                            Short(ours) + "\", Windows \"" + Short(windows) + "\" in file:\n" + Short(file, 600));
  }
}

void Report(const Tally& tally) {
  std::printf("INI comparison: %d answers compared\n", tally.Compared);
  for (const auto& [name, count] : tally.Known) std::printf("  known difference \"%s\": %d\n", name.c_str(), count);
  for (const std::string& unknown : tally.Unknown) ADD_FAILURE() << unknown;
}

std::string ReadAll(const std::string& path) {
  std::string bytes;
  platform::ReadWholeFile(path, bytes);
  return bytes;
}

TEST(IniAgainstWindows, ReadsAnswerAsTheProfileFunctions) {
  TempDir dir;
  Tally tally;
  const Corpus corpus = MakeCorpus(20240314, 300);
  for (std::size_t i = 0; i < corpus.Files.size(); ++i) {
    const std::string path = dir.File("read" + std::to_string(i) + ".ini");
    testsupport::WriteFileBytes(path, corpus.Files[i]);
    for (const std::string& section : kSections) {
      for (const std::string& key : kKeys) {
        Compare(tally, "read", corpus.Files[i], path, section, key, kDefaults[(i + key.size()) % kDefaults.size()]);
      }
    }
  }
  // A missing file gives the default to both.
  for (const std::string& def : kDefaults) Compare(tally, "missing file", "", dir.File("none.ini"), "Proxy", "Server", def);
  Report(tally);
}

TEST(IniAgainstWindows, WritesReadBackAsTheProfileFunctionsWrote) {
  TempDir dir;
  Tally tally;
  const Corpus corpus = MakeCorpus(1703, 60);
  struct WriteCall {
    std::string Section, Key, Value;
  };
  const std::vector<WriteCall> writes = {
      {"Proxy", "Server", "written.example"}, {"proxy", "PORT", "3128"},     {"IniParas", "DefaultPath", "c:\\maps"},
      {"New Section", "Key", "value"},        {"Proxy", "Added", "at end"}, {"Other", "User", "  padded  "},
  };
  for (std::size_t i = 0; i < corpus.Files.size(); ++i) {
    const std::string ours = dir.File("ours" + std::to_string(i) + ".ini");
    const std::string windows = dir.File("windows" + std::to_string(i) + ".ini");
    testsupport::WriteFileBytes(ours, corpus.Files[i]);
    testsupport::WriteFileBytes(windows, corpus.Files[i]);
    for (const WriteCall& write : writes) {
      IniFile(ours).WriteString(write.Section, write.Key, write.Value);
      ASSERT_TRUE(WritePrivateProfileStringA(write.Section.c_str(), write.Key.c_str(), write.Value.c_str(),
                                             windows.c_str()));
    }
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, windows.c_str());  // flushed to the file
    // Each file read by both, for every key written and every key of the corpus.
    for (const std::string& path : {ours, windows}) {
      const std::string written = ReadAll(path);
      for (const WriteCall& write : writes) Compare(tally, "after writes", written, path, write.Section, write.Key, "");
      for (const std::string& key : kKeys) Compare(tally, "after writes", written, path, "Proxy", key, "");
    }
    // What each wrote reads the same: the values written, where Windows has them.
    for (const WriteCall& write : writes) {
      ++tally.Compared;
      const std::string fromOurs = WindowsRead(ours, write.Section, write.Key, "(none)");
      const std::string fromWindows = WindowsRead(windows, write.Section, write.Key, "(none)");
      if (fromOurs != fromWindows && tally.Unknown.size() < 40) {
        tally.Unknown.push_back("written [" + write.Section + "] " + write.Key + ": ours reads \"" + fromOurs +
                                "\", Windows' own \"" + fromWindows + "\" from:\n" + corpus.Files[i].substr(0, 400));
      }
    }
  }
  Report(tally);
}

}  // namespace
