#include "core/settings/IniFile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using settings::IniFile;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

using testsupport::Entries;
using testsupport::FileErrorText;
using testsupport::ModeOf;
using testsupport::ScopedUmask;


struct ReadCase {
  const char* rule;
  std::string file;
  const char* section;
  const char* key;
  std::string expected;  // the default is "<default>"
};

TEST(IniFileRead, TextValues) {
  const std::string longValue(3000, 'v');
  const std::string cut(2047, 'v');
  const ReadCase cases[] = {
      {"plain", "[IniParas]\r\nDefaultPath=c:\\maps\r\n", "IniParas", "DefaultPath", "c:\\maps"},
      {"a byte-order mark before the first section", "\xEF\xBB\xBF[IniParas]\r\nDefaultPath=x\r\n", "IniParas",
       "DefaultPath", "x"},
      {"names ignore case", "[iniparas]\r\ndefaultPATH=x\r\n", "IniParas", "DefaultPath", "x"},
      {"blanks around names", "  [ Proxy ]  \r\n  ProxyPort  =80\r\n", "Proxy", "ProxyPort", "80"},
      {"text after ] ignored", "[Proxy] ; note\r\nk=v\r\n", "Proxy", "k", "v"},
      {"value after the first =", "[s]\r\nk=a=b==c\r\n", "s", "k", "a=b==c"},
      {"blanks trimmed", "[s]\r\nk = \t v w \t \r\n", "s", "k", "v w"},
      {"double quotes removed", "[s]\r\nk=\"  q  \"\r\n", "s", "k", "  q  "},
      {"single quotes removed", "[s]\r\nk='abc'\r\n", "s", "k", "abc"},
      {"quotes after trimming", "[s]\r\nk=  \"abc\"  \r\n", "s", "k", "abc"},
      {"only one pair removed", "[s]\r\nk=\"\"abc\"\"\r\n", "s", "k", "\"abc\""},
      {"opening quote only", "[s]\r\nk=\"abc\r\n", "s", "k", "\"abc"},
      {"closing quote only", "[s]\r\nk=abc'\r\n", "s", "k", "abc'"},
      {"quotes that differ", "[s]\r\nk=\"abc'\r\n", "s", "k", "\"abc'"},
      {"a lone quote", "[s]\r\nk=\"\r\n", "s", "k", "\""},
      {"empty quotes", "[s]\r\nk=''\r\n", "s", "k", ""},
      {"empty value is not missing", "[s]\r\nk=\r\n", "s", "k", ""},
      {"long value cut", "[s]\r\nk=" + longValue + "\r\n", "s", "k", cut},
      {"quoted long value cut", "[s]\r\nk=\"" + longValue + "\"\r\n", "s", "k", cut},
      {"exactly 2047 kept", "[s]\r\nk=" + cut + "\r\n", "s", "k", cut},
      {"missing key", "[s]\r\nother=1\r\n", "s", "k", "<default>"},
      {"missing section", "[t]\r\nk=1\r\n", "s", "k", "<default>"},
      {"key of another section", "[t]\r\nk=1\r\n[s]\r\nj=2\r\n", "s", "k", "<default>"},
      {"section ends at the next one", "[s]\r\nj=1\r\n[t]\r\nk=2\r\n", "s", "k", "<default>"},
      {"lines above any section", "k=1\r\n[s]\r\n", "s", "k", "<default>"},
      {"first key wins", "[s]\r\nk=1\r\nk=2\r\n", "s", "k", "1"},
      {"line without =", "[s]\r\nk\r\nk=v\r\n", "s", "k", "v"},
      {"LF line ends", "[a]\nx=1\n[s]\nk=lf\n", "s", "k", "lf"},
      {"CR line ends", "[a]\rx=1\r[s]\rk=cr\r", "s", "k", "cr"},
      {"mixed line ends", "[a]\r\nx=1\r[s]\nk=mixed", "s", "k", "mixed"},
      {"no line end at the end", "[s]\r\nk=last", "s", "k", "last"},
      {"empty file", "", "s", "k", "<default>"},
      {"a section line needs its ]", "[s]\r\n[t\r\nk=1\r\n", "s", "k", "1"},
      {"no section without its ]", "[t\r\nk=1\r\n", "t", "k", "<default>"},
      {"[ without ] before = is a key", "[s]\r\n[x=1\r\n", "s", "[x", "1"},
      {"the caller's names trimmed", "[Proxy]\r\nProxyPort=80\r\n", " Proxy\t", "\tProxyPort ", "80"},
  };
  TempDir dir;
  const std::string path = dir.File("config.ini");
  for (const auto& c : cases) {
    WriteFileBytes(path, c.file);
    EXPECT_EQ(IniFile(path).ReadString(c.section, c.key, "<default>"), c.expected) << c.rule;
  }
}

TEST(IniFileRead, MissingOrUnreadableFileGivesDefaults) {
  TempDir dir;
  EXPECT_EQ(IniFile(dir.File("none.ini")).ReadString("IniParas", "Version", "6.31"), "6.31");
  EXPECT_EQ(IniFile(dir.File("none.ini")).ReadInteger("Proxy", "UseProxy", 0), 0);
  EXPECT_EQ(IniFile(dir.File("nofolder/config.ini")).ReadString("s", "k", "d"), "d");
  EXPECT_EQ(IniFile(dir.Path()).ReadString("s", "k", "d"), "d");  // a folder
}

TEST(IniFileRead, Integers) {
  const struct {
    const char* value;
    int32_t expected;  // default -99
  } cases[] = {
      {"1", 1},           {"0", 0},           {"-5", -5},          {"+5", 5},
      {"0x1", 1},         {"0X1f", 31},       {"$10", 16},         {"x1F", 31},
      {"X1f", 31},        {"  7  ", 7},       {"'12'", 12},        {"\"-3\"", -3},
      {"2147483647", 2147483647},             {"-2147483648", INT32_MIN},
      {"2147483648", -99}, {"-2147483649", -99}, {"$80000000", -99}, {"yes", -99},
      {"", -99},          {"1.5", -99},       {"12abc", -99},      {"0x", -99},
      {"-0x5", -99},      {"1 2", -99},       {"2", 2},
  };
  TempDir dir;
  const std::string path = dir.File("config.ini");
  for (const auto& c : cases) {
    WriteFileBytes(path, std::string("[Proxy]\r\nUseProxy=") + c.value + "\r\n");
    EXPECT_EQ(IniFile(path).ReadInteger("Proxy", "UseProxy", -99), c.expected)
        << '"' << c.value << '"';
  }
  EXPECT_EQ(IniFile(path).ReadInteger("Proxy", "Missing", 100), 100);
}

struct WriteCase {
  const char* rule;
  const char* before;  // nullptr: no file
  const char* section;
  const char* key;
  const char* value;
  const char* after;
};

TEST(IniFileWrite, ChangesOnlyWhatItMust) {
  const WriteCase cases[] = {
      {"replace in place, other lines byte for byte",
       "; note\n[IniParas]\r\nDefaultPath=old\rVersion = 6.31\n\n[Proxy]\r\nUseProxy=0",
       "IniParas", "DefaultPath", "new",
       "; note\n[IniParas]\r\nDefaultPath=new\rVersion = 6.31\n\n[Proxy]\r\nUseProxy=0"},
      {"replace keeps the text up to the =", "[s]\r\n  Key = old value \r\n", "s", "key", "v",
       "[s]\r\n  Key =v\r\n"},
      {"names match whatever their case", "[proxy]\r\nuseproxy=1\r\n", "Proxy", "UseProxy", "0",
       "[proxy]\r\nuseproxy=0\r\n"},
      {"replace the last line without a line end", "[s]\r\nk=1", "s", "k", "2", "[s]\r\nk=2"},
      {"empty value", "[s]\r\nk=1\r\n", "s", "k", "", "[s]\r\nk=\r\n"},
      {"new key at the end of its section, before the next",
       "[A]\r\na=1\r\n\r\n[B]\r\nb=2\r\n", "A", "c", "3",
       "[A]\r\na=1\r\nc=3\r\n\r\n[B]\r\nb=2\r\n"},
      {"new key in an empty section", "[A]\r\n[B]\r\n", "A", "k", "v", "[A]\r\nk=v\r\n[B]\r\n"},
      {"new key in the last section", "[A]\r\na=1\r\n", "A", "b", "2", "[A]\r\na=1\r\nb=2\r\n"},
      {"new key after a last line without a line end", "[A]\r\na=1", "A", "b", "2",
       "[A]\r\na=1\r\nb=2\r\n"},
      {"new key keeps the section's LF lines", "[A]\na=1\n\n", "A", "b", "2",
       "[A]\na=1\nb=2\r\n\n"},
      {"key above the first section is not the key", "k=0\r\n[s]\r\n", "s", "k", "1",
       "k=0\r\n[s]\r\nk=1\r\n"},
      {"new section at the end", "[A]\r\na=1\r\n", "B", "k", "v", "[A]\r\na=1\r\n[B]\r\nk=v\r\n"},
      {"new section after a last line without a line end", "[A]\r\na=1", "B", "k", "v",
       "[A]\r\na=1\r\n[B]\r\nk=v\r\n"},
      {"new section in an empty file", "", "B", "k", "", "[B]\r\nk=\r\n"},
      {"missing file is created", nullptr, "IniParas", "DefaultPath", "c:\\downloads",
       "[IniParas]\r\nDefaultPath=c:\\downloads\r\n"},
      {"a line break cannot plant lines", "[Proxy]\r\n", "Proxy", "ProxyPassword",
       "secret\r\n[Evil]\r\nx=1", "[Proxy]\r\nProxyPassword=secret\r\n"},
      {"the caller's names trimmed", "[Proxy]\r\nProxyPort=80\r\n", " Proxy ", "\tProxyPort ", "81",
       "[Proxy]\r\nProxyPort=81\r\n"},
      {"new names written trimmed", nullptr, " New\t", " k ", "v", "[New]\r\nk=v\r\n"},
      {"a [ line without ] stays in its section", "[s]\r\n[x\r\nk=1\r\n", "s", "k", "2",
       "[s]\r\n[x\r\nk=2\r\n"},
      {"a byte-order mark stays where it was", "\xEF\xBB\xBF[s]\r\nk=1\r\n", "s", "k", "2",
       "\xEF\xBB\xBF[s]\r\nk=2\r\n"},
  };
  TempDir dir;
  const std::string path = dir.File("config.ini");
  for (const auto& c : cases) {
    fs::remove(path);
    if (c.before != nullptr) WriteFileBytes(path, c.before);
    IniFile(path).WriteString(c.section, c.key, c.value);
    EXPECT_EQ(ReadFileBytes(path), c.after) << c.rule;
  }
  EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"config.ini"});
}

TEST(IniFileWrite, RefusesNamesThatWouldNotReadBack) {
  const struct {
    const char* section;
    const char* key;
    const char* refusal;  // nullptr: stored, and read back as written
  } cases[] = {
      {"IniParas", "[Proxy]x", "the key name \"[Proxy]x\" to <path>: it begins with \"[\""},
      {"s", " [k", "the key name \"[k\" to <path>: it begins with \"[\""},
      {"s", "a=b", "the key name \"a=b\" to <path>: it holds a \"=\""},
      {"s", "a\r\nb", "the key name \"a\r\nb\" to <path>: it holds a line break"},
      {"s", "k\n", "the key name \"k\n\" to <path>: it holds a line break"},
      {"s", "", "the key name \"\" to <path>: it is empty"},
      {"s", " \t ", "the key name \"\" to <path>: it is empty"},
      {"a]b", "k", "the section name \"a]b\" to <path>: it holds a \"]\""},
      {"s\r", "k", "the section name \"s\r\" to <path>: it holds a line break"},
      {"\t", "k", "the section name \"\" to <path>: it is empty"},
      {"[x", "k", nullptr},
      {"a=b", "k", nullptr},
      {"s", "a]b", nullptr},
      {"s", "k[", nullptr},
      {"s", ";k", nullptr},
  };
  TempDir dir;
  const std::string path = dir.File("config.ini");
  const std::string before = "[Proxy]\r\nUseProxy=1\r\n";
  for (const auto& c : cases) {
    WriteFileBytes(path, before);
    IniFile ini(path);
    if (c.refusal == nullptr) {
      ini.WriteString(c.section, c.key, "v]");
      EXPECT_EQ(ini.ReadString(c.section, c.key, "<default>"), "v]") << c.section << ' ' << c.key;
      EXPECT_EQ(ini.ReadInteger("Proxy", "UseProxy", 0), 1) << c.section << ' ' << c.key;
      continue;
    }
    std::string expected = std::string("Cannot write ") + c.refusal + ".";
    expected.replace(expected.find("<path>"), 6, path);
    // Alone, or in a batch after a good entry: the file is not touched.
    for (const auto& write : {std::function<void()>([&] { ini.WriteString(c.section, c.key, "v"); }),
                              std::function<void()>([&] {
                                ini.Write({{"Proxy", "UseProxy", "0"}, {c.section, c.key, "v"}});
                              })}) {
      try {
        write();
        ADD_FAILURE() << "not refused: " << expected;
      } catch (const settings::InvalidNameError& error) {
        EXPECT_EQ(error.what(), expected);
      }
      EXPECT_EQ(ReadFileBytes(path), before) << expected;
    }
  }
  EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"config.ini"});
}

TEST(IniFileWrite, OptionsDialogWritesIntoANewFile) {
  TempDir dir;
  const std::string path = dir.File("config.ini");
  IniFile ini(path);
  ini.WriteString("IniParas", "DefaultPath", "c:\\downloads");
  ini.WriteInteger("Proxy", "UseProxy", 0);
  ini.WriteString("Proxy", "ProxyServer", "");
  ini.WriteString("Proxy", "ProxyPort", "80a");
  ini.WriteString("Proxy", "ProxyUsername", "");
  ini.WriteString("Proxy", "ProxyPassword", "p=w \"x\"");
  EXPECT_EQ(ReadFileBytes(path),
            "[IniParas]\r\nDefaultPath=c:\\downloads\r\n[Proxy]\r\nUseProxy=0\r\n"
            "ProxyServer=\r\nProxyPort=80a\r\nProxyUsername=\r\nProxyPassword=p=w \"x\"\r\n");
  // Nothing is cached: a second object and a changed file are seen at once.
  EXPECT_EQ(IniFile(path).ReadString("Proxy", "ProxyPassword", ""), "p=w \"x\"");
  EXPECT_EQ(ini.ReadString("proxy", "PROXYPORT", ""), "80a");
  WriteFileBytes(path, "[Proxy]\r\nUseProxy=$1\r\n");
  EXPECT_EQ(ini.ReadInteger("Proxy", "UseProxy", 0), 1);
}

TEST(IniFileWrite, IntegersAsPlainDecimal) {
  TempDir dir;
  const std::string path = dir.File("task.otsk");
  IniFile ini(path);
  ini.WriteInteger("THREADS", "T1X", 6747);
  ini.WriteInteger("THREADS", "T1Y", -3105);
  ini.WriteInteger("THREADS", "T1X", INT32_MIN);
  EXPECT_EQ(ReadFileBytes(path), "[THREADS]\r\nT1X=-2147483648\r\nT1Y=-3105\r\n");
  EXPECT_EQ(ini.ReadInteger("THREADS", "T1X", 0), INT32_MIN);
}

#ifndef _WIN32  // POSIX modes and umask (tests/wine-exclusions.cmake)
TEST(IniFileWrite, FileModes) {
  ScopedUmask mask(022);
  TempDir dir;
  IniFile(dir.File("plain.ini")).WriteString("s", "k", "v");
  EXPECT_EQ(ModeOf(dir.File("plain.ini")), 0644u);
  IniFile(dir.File("secret.ini"), platform::FileAccess::OwnerOnly).WriteString("s", "k", "v");
  EXPECT_EQ(ModeOf(dir.File("secret.ini")), 0600u);

  const std::string existing = dir.File("existing.ini");
  WriteFileBytes(existing, "[s]\r\n");
  ASSERT_EQ(::chmod(existing.c_str(), 0640), 0);
  IniFile(existing, platform::FileAccess::OwnerOnly).WriteString("s", "k", "v");
  EXPECT_EQ(ModeOf(existing), 0640u);
  IniFile(existing).WriteString("s", "k", "w");
  EXPECT_EQ(ModeOf(existing), 0640u);
  EXPECT_EQ(ReadFileBytes(existing), "[s]\r\nk=w\r\n");
}
#endif

TEST(IniFileWrite, FailuresAreReportedAsUnableToWrite) {
  TempDir dir;
  fs::create_directory(dir.File("folder"));
  const std::string cases[] = {
      dir.File("ini/config.ini"),  // the "ini" folder is missing
      dir.File("folder"),          // the path is a folder
  };
  for (const auto& path : cases) {
    EXPECT_EQ(FileErrorText([&] { IniFile(path).WriteString("IniParas", "DefaultPath", "x"); }),
              "Unable to write to " + path);
    EXPECT_EQ(FileErrorText([&] { IniFile(path).WriteInteger("Proxy", "UseProxy", 1); }),
              "Unable to write to " + path);
  }
  EXPECT_FALSE(fs::exists(dir.File("ini")));
  EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"folder"});
}

#ifndef _WIN32  // POSIX permissions (tests/wine-exclusions.cmake)
TEST(IniFileWrite, ReadOnlyOrUnreadableFileIsLeftAlone) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  TempDir dir;
  const std::string path = dir.File("config.ini");
  for (const mode_t mode : {0444u, 0200u}) {
    WriteFileBytes(path, "[s]\r\nk=old\r\n");
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
    EXPECT_EQ(FileErrorText([&] { IniFile(path).WriteString("s", "k", "new"); }),
              "Unable to write to " + path);
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    EXPECT_EQ(ReadFileBytes(path), "[s]\r\nk=old\r\n");
  }
}
#endif

}  // namespace
