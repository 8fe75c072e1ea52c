// Saving the lines of a log window: only what was added since the last save is
// written, as long as the file is still the one written last; the file always
// ends up holding exactly the lines with CR LF.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/run/LineFile.h"
#include "core/platform/Files.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFileBytes;
using testsupport::WriteFileBytes;

std::string Crlf(const std::vector<std::string>& lines) {
  std::string bytes;
  for (const auto& line : lines) bytes += line + "\r\n";
  return bytes;
}

TEST(LineFileTest, AppendMakesOneLinePerPieceBetweenLineBreaks) {
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {"T1:seq=1,nm_1_2_3.jpg OK", {"T1:seq=1,nm_1_2_3.jpg OK"}},
      {"", {""}},
      {"T2 Socket Error # 10054\r\nConnection reset by peer.->http://h/x", {"T2 Socket Error # 10054", "Connection reset by peer.->http://h/x"}},
      {"Error: may be your IP is banned.\nPlease try again later.", {"Error: may be your IP is banned.", "Please try again later."}},
      {"a\rb\n\nc", {"a", "b", "", "c"}},
      {"a\r\n", {"a", ""}},
  };
  for (const Case& c : cases) {
    run::LineFile file;
    EXPECT_EQ(file.Append(c.text), c.lines.size()) << c.text;
    EXPECT_EQ(file.Lines(), c.lines) << c.text;
  }
}

TEST(LineFileTest, LaterSavesAppendOnlyTheNewLines) {
  testsupport::TempDir dir;
  const std::string path = dir.File("log.txt");
  run::LineFile file;
  file.Reset({"header"});
  file.Save(path);
  EXPECT_FALSE(file.LastSaveAppended());
  EXPECT_EQ(ReadFileBytes(path), "header\r\n");
  const auto inode = fs::status(path).permissions();
  (void)inode;

  file.Append("T1 OK");
  file.Append("T2 OK");
  file.Save(path);
  EXPECT_TRUE(file.LastSaveAppended());
  EXPECT_EQ(ReadFileBytes(path), Crlf({"header", "T1 OK", "T2 OK"}));

  file.Save(path);  // nothing new
  EXPECT_TRUE(file.LastSaveAppended());
  EXPECT_EQ(ReadFileBytes(path), Crlf({"header", "T1 OK", "T2 OK"}));
}

TEST(LineFileTest, AFileChangedBehindItsBackIsRewrittenWhole) {
  testsupport::TempDir dir;
  const std::string path = dir.File("log.txt");
  struct Case {
    const char* name;
    std::function<void()> change;
  };
  const std::vector<Case> cases = {
      {"shorter", [&] { WriteFileBytes(path, "x\r\n"); }},
      {"longer", [&] { WriteFileBytes(path, ReadFileBytes(path) + "extra\r\n"); }},
      {"replaced, same size", [&] {
         const std::string bytes = ReadFileBytes(path);
         fs::remove(path);
         WriteFileBytes(path, std::string(bytes.size(), 'z'));
       }},
      {"deleted", [&] { fs::remove(path); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    run::LineFile file;
    file.Reset({"one", "two"});
    file.Save(path);
    c.change();
    file.Append("three");
    file.Save(path);
    EXPECT_FALSE(file.LastSaveAppended());
    EXPECT_EQ(ReadFileBytes(path), Crlf({"one", "two", "three"}));
  }
}

TEST(LineFileTest, LoadedFileIsAppendedToOnlyWhenItAlreadyEndsEveryLineInCrLf) {
  testsupport::TempDir dir;
  const std::string path = dir.File("log.txt");
  struct Case {
    std::string bytes;
    bool appends;
  };
  for (const Case& c : std::vector<Case>{{"a\r\nb\r\n", true}, {"a\nb\n", false}, {"a\r\nb", false}, {"", true}}) {
    WriteFileBytes(path, c.bytes);
    run::LineFile file;
    file.Load(path);
    file.Append("new");
    file.Save(path);
    EXPECT_EQ(file.LastSaveAppended(), c.appends) << c.bytes;
    std::vector<std::string> expected = platform::SplitLines(c.bytes);
    expected.push_back("new");
    EXPECT_EQ(ReadFileBytes(path), Crlf(expected)) << c.bytes;
  }
}

TEST(LineFileTest, ReplacedLinesAreRewrittenNotAppended) {
  testsupport::TempDir dir;
  const std::string path = dir.File("log.txt");
  run::LineFile file;
  file.Reset({"first run"});
  file.Save(path);
  file.Reset({"second", "run"});
  file.Save(path);
  EXPECT_FALSE(file.LastSaveAppended());
  EXPECT_EQ(ReadFileBytes(path), Crlf({"second", "run"}));
}

TEST(LineFileTest, FailuresThrowFileErrorAndTheNextSaveRepairsTheFile) {
  testsupport::TempDir dir;
  run::LineFile missing;
  missing.Reset({"x"});
  EXPECT_THROW(missing.Save(dir.File("no/such/folder/log.txt")), platform::FileError);
  EXPECT_THROW(missing.Load(dir.File("absent.txt")), platform::FileError);

  // A log whose place is taken by a folder cannot be saved; once the folder
  // is gone the next save writes every line.
  const std::string path = dir.File("log.txt");
  run::LineFile file;
  file.Reset({"a"});
  file.Save(path);
  fs::remove(path);
  fs::create_directory(path);
  file.Append("b");
  EXPECT_THROW(file.Save(path), platform::FileError);
  fs::remove(path);
  file.Save(path);
  EXPECT_EQ(ReadFileBytes(path), Crlf({"a", "b"}));
}

}  // namespace
