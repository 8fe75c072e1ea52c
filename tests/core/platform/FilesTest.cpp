#include "core/platform/Files.h"
#include "core/platform/Locations.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/platform/FileLock.h"
#include "tests/support/DiskSteps.h"
#ifndef _WIN32
#include "tests/support/FileSizeLimit.h"
#endif
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using platform::FileError;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;
using Lines = std::vector<std::string>;

using testsupport::Entries;
using testsupport::FileErrorText;
#ifndef _WIN32
using testsupport::FileSizeLimit;
using testsupport::ModeOf;
using testsupport::ScopedUmask;

bool RunningAsRoot() { return ::geteuid() == 0; }
#endif


TEST(SplitLines, AcceptsEveryLineEnd) {
  const struct {
    const char* text;
    Lines expected;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\r\n", {"a"}},
      {"a\n", {"a"}},
      {"a\r", {"a"}},
      {"\r\n", {""}},
      {"\n\r\n", {"", ""}},
      {"a\r\n\r\n", {"a", ""}},
      {"a\n\nb", {"a", "", "b"}},
      {"a\r\rb\r", {"a", "", "b"}},
      {"a\r\nb\n\rc", {"a", "b", "", "c"}},
      {" x \t\r\ny ", {" x \t", "y "}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::SplitLines(c.text), c.expected) << testing::PrintToString(c.text);
  }
}

TEST(JoinLinesCrLf, EndsEveryLineIncludingTheLast) {
  EXPECT_EQ(platform::JoinLinesCrLf({}), "");
  EXPECT_EQ(platform::JoinLinesCrLf({""}), "\r\n");
  EXPECT_EQ(platform::JoinLinesCrLf({"a", "", "b"}), "a\r\n\r\nb\r\n");
}

TEST(ReadTextLines, ReadsFilesOfEveryLineEnd) {
  TempDir dir;
  const struct {
    const char* bytes;
    Lines expected;
  } cases[] = {
      {"[XY]\r\nMinX=6742\r\n", {"[XY]", "MinX=6742"}},
      {"[XY]\nMinX=6742\n", {"[XY]", "MinX=6742"}},
      {"[XY]\rMinX=6742\r", {"[XY]", "MinX=6742"}},
      {"[XY]\r\nMinX=6742", {"[XY]", "MinX=6742"}},
      {"", {}},
  };
  for (const auto& c : cases) {
    WriteFileBytes(dir.File("t.txt"), c.bytes);
    EXPECT_EQ(platform::ReadTextLines(dir.File("t.txt")), c.expected)
        << testing::PrintToString(c.bytes);
  }
}

TEST(ReadTextLines, ReportsAFileThatCannotBeOpened) {
  TempDir dir;
  const std::string missing = dir.File("missing_failed.ftl");
  EXPECT_EQ(FileErrorText([&] { platform::ReadTextLines(missing); }), "Cannot open file " + missing);
  EXPECT_EQ(FileErrorText([&] { platform::ReadTextLines(dir.Path()); }),
            "Cannot open file " + dir.Path());
}

TEST(WriteTextLines, WritesCrLfAfterEveryLine) {
  TempDir dir;
  platform::WriteTextLines(dir.File("log.txt"), {"Task", "", "Now time:x"});
  EXPECT_EQ(ReadFileBytes(dir.File("log.txt")), "Task\r\n\r\nNow time:x\r\n");
  platform::WriteTextLines(dir.File("log.txt"), {});
  EXPECT_EQ(ReadFileBytes(dir.File("log.txt")), "");
  EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"log.txt"});
}

TEST(WriteFileAtomic, CreatesAndReplacesWithoutLeavingATemporaryFile) {
  TempDir dir;
  const std::string path = dir.File("tile.jpg");
  const std::string binary("\xff\xd8\x00\r\n\x1a", 6);
  platform::WriteFileAtomic(path, binary);
  EXPECT_EQ(ReadFileBytes(path), binary);
  platform::WriteFileAtomic(path, "shorter");
  EXPECT_EQ(ReadFileBytes(path), "shorter");
  EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"tile.jpg"});
}

#ifndef _WIN32  // POSIX modes, umask, links and pipes (tests/wine-exclusions.cmake)
TEST(WriteFileAtomic, NewFilesFollowTheUmaskOrAreOwnerOnly) {
  ScopedUmask mask(022);
  TempDir dir;
  platform::WriteFileAtomic(dir.File("plain.txt"), "x");
  EXPECT_EQ(ModeOf(dir.File("plain.txt")), 0644u);
  platform::WriteFileAtomic(dir.File("secret.ini"), "x", platform::FileAccess::OwnerOnly);
  EXPECT_EQ(ModeOf(dir.File("secret.ini")), 0600u);
}

TEST(WriteFileAtomic, AnExistingFileKeepsItsMode) {
  ScopedUmask mask(022);
  TempDir dir;
  const std::string path = dir.File("config.ini");
  for (const mode_t mode : {0640u, 0604u, 0600u, 0666u}) {
    WriteFileBytes(path, "old");
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
    platform::WriteFileAtomic(path, "new", platform::FileAccess::Default);
    EXPECT_EQ(ModeOf(path), mode);
    platform::WriteFileAtomic(path, "newer", platform::FileAccess::OwnerOnly);
    EXPECT_EQ(ModeOf(path), mode);
    EXPECT_EQ(ReadFileBytes(path), "newer");
  }
}

// What the path names stays what it is: a link is written through, a named
// pipe (as a shell's >(...) gives) gets the bytes and is never replaced by a
// file, which a streamed writer refuses rather than put in its place.
TEST(WriteFileAtomic, WritesThroughASymbolicLinkAndIntoAPipe) {
  TempDir dir;
  WriteFileBytes(dir.File("real.ini"), "old");
  ASSERT_EQ(::symlink("real.ini", dir.File("link.ini").c_str()), 0);
  platform::WriteFileAtomic(dir.File("link.ini"), "new");
  EXPECT_TRUE(fs::is_symlink(dir.File("link.ini")));
  EXPECT_EQ(ReadFileBytes(dir.File("real.ini")), "new");

  const std::string pipe = dir.File("summary.json");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] { received = ReadFileBytes(pipe); });
  platform::WriteFileAtomic(pipe, "{\"holes\": 0}");
  reader.join();
  EXPECT_EQ(received, "{\"holes\": 0}");
  EXPECT_TRUE(fs::is_fifo(pipe));
  EXPECT_EQ(FileErrorText([&] { platform::AtomicFileWriter streamed(pipe); }), "Cannot create file " + pipe);
  EXPECT_TRUE(fs::is_fifo(pipe));
  EXPECT_EQ(Entries(dir.Path()), (std::set<std::string>{"link.ini", "real.ini", "summary.json"}));
}
#endif

TEST(WriteFileAtomic, ReportsAFileThatCannotBeCreated) {
  TempDir dir;
  WriteFileBytes(dir.File("plain"), "x");
  fs::create_directory(dir.File("folder"));
  const std::string cases[] = {
      dir.File("missing/list.txt"),  // folder does not exist
      dir.File("plain/list.txt"),    // "folder" is a file
      dir.File("folder"),            // target is a folder
  };
  for (const auto& path : cases) {
    EXPECT_EQ(FileErrorText([&] { platform::WriteFileAtomic(path, "data"); }),
              "Cannot create file " + path);
  }
  EXPECT_TRUE(fs::is_directory(dir.File("folder")));
  EXPECT_EQ(Entries(dir.Path()), (std::set<std::string>{"folder", "plain"}));
}

#ifndef _WIN32  // POSIX permissions, size limits and process ids (tests/wine-exclusions.cmake)
TEST(WriteFileAtomic, ReadOnlyFolderOrFileIsNotWritten) {
  if (RunningAsRoot()) GTEST_SKIP() << "permissions do not bind root";
  TempDir dir;
  const std::string readOnlyFile = dir.File("locked.ini");
  WriteFileBytes(readOnlyFile, "old");
  ASSERT_EQ(::chmod(readOnlyFile.c_str(), 0444), 0);
  EXPECT_EQ(FileErrorText([&] { platform::WriteFileAtomic(readOnlyFile, "new"); }),
            "Cannot create file " + readOnlyFile);
  EXPECT_EQ(ReadFileBytes(readOnlyFile), "old");

  fs::create_directory(dir.File("ro"));
  ASSERT_EQ(::chmod(dir.File("ro").c_str(), 0555), 0);
  const std::string inReadOnly = dir.File("ro/x.txt");
  EXPECT_EQ(FileErrorText([&] { platform::WriteFileAtomic(inReadOnly, "new"); }),
            "Cannot create file " + inReadOnly);
}

TEST(WriteFileAtomic, AFailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
  TempDir dir;
  const std::string path = dir.File("task.otsk");
  WriteFileBytes(path, "old contents");
  std::string error;
  {
    FileSizeLimit limit(100);
    error = FileErrorText([&] { platform::WriteFileAtomic(path, std::string(4096, 'x')); });
  }
  EXPECT_EQ(error, "Unable to write to " + path);
  EXPECT_EQ(ReadFileBytes(path), "old contents");
  EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"task.otsk"});
}

// Every failure of a file names the system's reason after the framework's
// text, and nothing that is no regular file is waited on or read: a named
// pipe (which would block an open for reading until a writer came) or a
// socket reads "not a regular file".
TEST(FileError, NamesTheSystemsReason) {
  TempDir dir;
  WriteFileBytes(dir.File("plain"), "x");
  fs::create_directory(dir.File("folder"));
  const std::string pipe = dir.File("pipe");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const auto text = [](const std::function<void()>& action) {
    try {
      action();
    } catch (const FileError& error) {
      EXPECT_TRUE(platform::IsSystemFailure(error));
      return platform::FailureText(error);
    }
    return std::string("(no error)");
  };
  struct Case {
    std::function<void()> action;
    std::string expected;
  };
  const Case cases[] = {
      {[&] { platform::WriteFileAtomic(dir.File("missing/a.txt"), "x"); },
       "Cannot create file " + dir.File("missing/a.txt") + ": No such file or directory"},
      {[&] { platform::WriteFileAtomic(dir.File("plain/a.txt"), "x"); },
       "Cannot create file " + dir.File("plain/a.txt") + ": Not a directory"},
      {[&] { platform::WriteFileAtomic(dir.File("folder"), "x"); },
       "Cannot create file " + dir.File("folder") + ": Is a directory"},
      {[&] { platform::AtomicFileWriter streamed(pipe); }, "Cannot create file " + pipe + ": not a regular file"},
      {[&] {
         FileSizeLimit limit(100);
         platform::WriteFileAtomic(dir.File("big"), std::string(4096, 'x'));
       },
       "Unable to write to " + dir.File("big") + ": File too large"},
      {[&] {
         FileSizeLimit limit(100);
         platform::AtomicFileWriter streamed(dir.File("big"));
         streamed.Write(std::string(4096, 'x'));
       },
       "Unable to write to " + dir.File("big") + ": File too large"},
      {[&] { platform::ReadTextLines(dir.File("none")); },
       "Cannot open file " + dir.File("none") + ": No such file or directory"},
      {[&] { platform::ReadTextLines(dir.File("folder")); }, "Cannot open file " + dir.File("folder") + ": Is a directory"},
      {[&] { platform::ReadTextLines(pipe); }, "Cannot open file " + pipe + ": not a regular file"},
  };
  for (const Case& c : cases) EXPECT_EQ(text(c.action), c.expected);
  EXPECT_EQ(Entries(dir.Path()), (std::set<std::string>{"folder", "pipe", "plain"}));

  // A sentence gets the reason as a sentence of its own; other errors are told as they are.
  EXPECT_EQ(platform::FailureText(FileError("Create directory /m/t/ Failed.", "Permission denied")),
            "Create directory /m/t/ Failed. Permission denied.");
  EXPECT_EQ(platform::FailureText(FileError("Unable to write to /m/t.otsk")), "Unable to write to /m/t.otsk");
  EXPECT_EQ(platform::FailureText(std::runtime_error("Bad URL")), "Bad URL");
  EXPECT_FALSE(platform::IsSystemFailure(std::runtime_error("Bad URL")));
}

// A process killed in the middle of a write leaves its temporary file; the
// next Start removes it, and only it.
TEST(RemoveStaleTemporaries, RemovesOnlyOurOwnNamesOfProcessesThatAreGone) {
  pid_t gone = 4000000;
  while (gone > 2 && !(::kill(gone, 0) == -1 && errno == ESRCH)) --gone;
  const std::string dead = std::to_string(gone);
  const std::string self = std::to_string(::getpid());
  TempDir dir;
  const std::vector<std::string> kept = {
      "nm_6742_3101_13.jpg",                    // a tile
      ".nm_6742_3101_13.jpg.~" + self + "-4-99",  // this process is writing it
      ".t.otsk.~1-0-5",                         // a process that still runs
      ".hidden",
      ".nm_1_1_13.jpg.~" + dead + "-1",          // not the whole pattern
      ".nm_1_1_13.jpg.~" + dead + "-x-1",
      "nm_1_1_13.jpg.~" + dead + "-1-1",         // not hidden
  };
  for (const std::string& name : kept) WriteFileBytes(dir.File(name), "x");
  WriteFileBytes(dir.File(".nm_6742_3102_13.jpg.~" + dead + "-0-12345"), "half a tile");
  WriteFileBytes(dir.File(".t_log.txt.~" + dead + "-7-3"), "half a log");

  EXPECT_EQ(platform::RemoveStaleTemporaries(dir.Path()), 2);
  EXPECT_EQ(Entries(dir.Path()), std::set<std::string>(kept.begin(), kept.end()));
  EXPECT_EQ(platform::RemoveStaleTemporaries(dir.File("missing")), 0);
}
#endif

TEST(WriteFileAtomic, ReadersNeverSeeAHalfWrittenFile) {
  TempDir dir;
  const std::string path = dir.File("log.txt");
  const std::string a(200000, 'a');
  const std::string b(100000, 'b');
  platform::WriteFileAtomic(path, a);
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 40; ++i) platform::WriteFileAtomic(path, i % 2 ? a : b);
    done = true;
  });
  int reads = 0;
  std::size_t torn = 0;
  while (!done || reads == 0) {
    // Read as the programs read (on Windows sharing the file's deletion, so
    // the writer's rename can replace it meanwhile).
    std::string seen;
    platform::ReadWholeFile(path, seen);
    if (seen != a && seen != b) torn = seen.size();
    ++reads;
  }
  writer.join();
  EXPECT_EQ(torn, 0u) << "a reader saw a file of " << torn << " bytes";
  EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"log.txt"});
}

TEST(CopyFileNoReplace, CopiesOnlyWhenTheTargetIsMissing) {
  TempDir dir;
  const std::string blank = dir.File("blank.jpg");
  const std::string tile = dir.File("nm_1_2_3.jpg");
  const std::string bytes("\xff\xd8\xff\xe0\x00\x10JFIF\x00", 11);
  WriteFileBytes(blank, bytes);

  EXPECT_TRUE(platform::CopyFileNoReplace(blank, tile));
  EXPECT_EQ(ReadFileBytes(tile), bytes);

  WriteFileBytes(tile, "real tile");
  EXPECT_FALSE(platform::CopyFileNoReplace(blank, tile));
  EXPECT_EQ(ReadFileBytes(tile), "real tile");

  EXPECT_FALSE(platform::CopyFileNoReplace(dir.File("none.jpg"), dir.File("a.jpg")));
  EXPECT_FALSE(platform::CopyFileNoReplace(dir.Path(), dir.File("b.jpg")));
  EXPECT_FALSE(platform::CopyFileNoReplace(blank, dir.File("nofolder/c.jpg")));
  EXPECT_EQ(Entries(dir.Path()), (std::set<std::string>{"blank.jpg", "nm_1_2_3.jpg"}));
}

TEST(CopyFileNoReplace, ConcurrentCopiesMakeOneTarget) {
  TempDir dir;
  WriteFileBytes(dir.File("blank.jpg"), std::string(50000, 'z'));
  std::atomic<int> successes{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] {
      if (platform::CopyFileNoReplace(dir.File("blank.jpg"), dir.File("t.jpg"))) ++successes;
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(successes.load(), 1);
  EXPECT_EQ(ReadFileBytes(dir.File("t.jpg")), std::string(50000, 'z'));
  EXPECT_EQ(Entries(dir.Path()), (std::set<std::string>{"blank.jpg", "t.jpg"}));
}

#ifndef _WIN32  // the POSIX flush steps (Windows flushes each file as it is written) (tests/wine-exclusions.cmake)
// A file written with its flush is flushed, renamed, and its folder flushed;
// deferred ones are only renamed, and the batch flushes them later, their file
// system once and each folder once. A flush that fails stays failed.
TEST(DurableBatch, FlushesWhatWasAddedThenEachFolderOnceAndAFailedFlushIsFinal) {
  using platform::DiskStep;
  using platform::Flush;
  TempDir dir;
  const std::string a = dir.Path() + "a/";
  const std::string b = dir.Path() + "b/";
  fs::create_directory(a);
  fs::create_directory(b);
  WriteFileBytes(dir.File("blank"), "blank");
  testsupport::DiskSteps steps;
  platform::DurableBatch batch;

  platform::WriteFileAtomic(dir.File("now"), "now");
  EXPECT_EQ(steps.Events(), (std::vector<testsupport::DiskEvent>{{DiskStep::FlushFile, dir.File("now")},
                                                                  {DiskStep::Rename, dir.File("now")},
                                                                  {DiskStep::FlushFolder, dir.Path()}}));
  steps.Clear();
  for (const std::string& path : {a + "1", a + "2", b + "1"}) {
    platform::WriteFileAtomic(path, "tile", platform::FileAccess::Default, Flush::Deferred);
    batch.Add(path);
  }
  ASSERT_TRUE(platform::CopyFileNoReplace(dir.File("blank"), b + "2", Flush::Deferred));
  batch.Add(b + "2");
  EXPECT_EQ(steps.Events(), (std::vector<testsupport::DiskEvent>{{DiskStep::Rename, a + "1"},
                                                                  {DiskStep::Rename, a + "2"},
                                                                  {DiskStep::Rename, b + "1"},
                                                                  {DiskStep::Rename, b + "2"}}));
  EXPECT_EQ(ReadFileBytes(a + "1"), "tile");
  EXPECT_EQ(ReadFileBytes(b + "2"), "blank");

  steps.Clear();
  batch.MakeDurable();
  EXPECT_EQ(steps.Events(), (std::vector<testsupport::DiskEvent>{{DiskStep::FlushFileSystem, a},
                                                                  {DiskStep::FlushFolder, a},
                                                                  {DiskStep::FlushFolder, b}}));
  steps.Clear();
  batch.MakeDurable();
  EXPECT_EQ(steps.Events(), std::vector<testsupport::DiskEvent>{}) << "nothing added since";

  platform::WriteFileAtomic(a + "3", "tile", platform::FileAccess::Default, Flush::Deferred);
  batch.Add(a + "3");
  steps.RefuseNext(DiskStep::FlushFileSystem);
  EXPECT_EQ(FileErrorText([&] { batch.MakeDurable(); }), "Unable to write to " + a);
  batch.Add(a + "3");
  EXPECT_EQ(FileErrorText([&] { batch.MakeDurable(); }), "Unable to write to " + a) << "a failed flush is final";
}
#endif

TEST(Folders, ExistAndCreateOneLevel) {
  TempDir dir;
  WriteFileBytes(dir.File("file"), "x");
  EXPECT_TRUE(platform::DirectoryExists(dir.Path()));
  EXPECT_FALSE(platform::DirectoryExists(dir.File("file")));
  EXPECT_FALSE(platform::DirectoryExists(dir.File("none")));
  EXPECT_TRUE(platform::FileExists(dir.File("file")));
  EXPECT_FALSE(platform::FileExists(dir.Path()));
  EXPECT_FALSE(platform::FileExists(dir.File("none")));

  EXPECT_TRUE(platform::CreateDir(dir.File("new")));
  EXPECT_TRUE(platform::DirectoryExists(dir.File("new")));
  EXPECT_FALSE(platform::CreateDir(dir.File("new")));          // exists
  EXPECT_FALSE(platform::CreateDir(dir.File("a/b")));          // parent missing
  EXPECT_FALSE(platform::DirectoryExists(dir.File("a")));
  EXPECT_FALSE(platform::CreateDir(dir.File("file")));         // a file
  EXPECT_TRUE(platform::CreateDir(dir.File("new/trailing/")));  // typed with separator
}

#ifndef _WIN32  // a POSIX path and program name (tests/wine-exclusions.cmake)
TEST(ExecutableFolder, IsTheExecutablesFolderWhateverTheWorkingFolder) {
  TempDir dir;
  const auto before = fs::current_path();
  fs::current_path(dir.Path());
  const std::string folder = platform::ExecutableFolder();
  fs::current_path(before);
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.front(), '/');
  EXPECT_EQ(folder.back(), platform::kPathSeparator);
  EXPECT_TRUE(platform::FileExists(folder + "platform_tests"));
}
#endif

}  // namespace

namespace {

// The lock file goes with its holder; a locker that opened it before it went
// must not take the removed file for the lock, or two would hold it at once.
TEST(FileLock, OneHolderAtATimeAndNoFileLeftBehind) {
  TempDir dir;
  const std::string path = dir.File(".task.otsk.lock");
  std::atomic<int> holders{0};
  std::atomic<int> overlaps{0};
  std::atomic<int> taken{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        std::optional<platform::FileLock> lock = platform::FileLock::TryAcquire(path);
        if (!lock) continue;
        ++taken;
        if (++holders != 1) ++overlaps;
        std::this_thread::yield();
        --holders;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_GT(taken.load(), 0);
  EXPECT_FALSE(fs::exists(path));

  std::optional<platform::FileLock> held = platform::FileLock::TryAcquire(path);
  ASSERT_TRUE(held);
  EXPECT_TRUE(fs::exists(path));
  EXPECT_FALSE(platform::FileLock::TryAcquire(path));
}

}  // namespace

namespace {

// Names beyond ASCII, as a user types them (UTF-8 in the programs), in every
// call of the file layer: on Windows through the wide-character API.
TEST(Files, NamesBeyondAsciiInEveryCall) {
  TempDir dir;
  const char sep = platform::kPathSeparator;
  const std::string folder = dir.File("Karten Z\xC3\xBCrich \xE6\x9D\xB1\xE4\xBA\xAC");  // "Karten Zürich 東京"
  ASSERT_TRUE(platform::CreateDir(folder));
  EXPECT_TRUE(platform::DirectoryExists(folder));
  const std::string task = folder + sep + "\xC3\x9C" "bersicht.otsk";  // "Übersicht.otsk"
  platform::WriteFileAtomic(task, "bytes");
  EXPECT_TRUE(platform::FileExists(task));
  std::string read;
  ASSERT_EQ(platform::ReadWholeFile(task, read), platform::ReadOutcome::Ok);
  EXPECT_EQ(read, "bytes");

  const std::string copy = folder + sep + "Kopie \xC3\x9F.jpg";  // "Kopie ß.jpg"
  EXPECT_TRUE(platform::CopyFileNoReplace(task, copy));
  EXPECT_FALSE(platform::CopyFileNoReplace(task, copy));
  {
    platform::AtomicFileWriter writer(folder + sep + "Str\xC3\xB6m.tif");  // "Ström.tif"
    writer.Write("tiff");
    writer.Commit();
  }
  ASSERT_EQ(platform::ReadWholeFile(folder + sep + "Str\xC3\xB6m.tif", read), platform::ReadOutcome::Ok);
  EXPECT_EQ(read, "tiff");

  const std::string lockPath = folder + sep + ".\xC3\x9C" "bersicht.otsk.lock";
  std::optional<platform::FileLock> lock = platform::FileLock::TryAcquire(lockPath);
  ASSERT_TRUE(lock);
  EXPECT_FALSE(platform::FileLock::TryAcquire(lockPath));
  lock.reset();
  EXPECT_FALSE(platform::FileExists(lockPath));

  const std::string deep = folder + sep + "\xC3\xA4" + sep + "\xC3\xB6" + sep;  // "ä" "ö"
  EXPECT_TRUE(platform::CreateFolderPath(deep));
  EXPECT_TRUE(platform::DirectoryExists(deep));
}

// The text files are the system's single-byte code page on Windows (Wine's
// default, as a western Windows, is 1252) and UTF-8 elsewhere; read back,
// both are the programs' UTF-8, and a file written on the other platform
// reads the same.
TEST(TextFiles, SystemCodePageOnWindowsUtf8Elsewhere) {
  TempDir dir;
  const std::string line = "c:\\maps\\Z\xC3\xBCrich\\nm_6742_3101_13.jpg|http://127.0.0.1/x";  // "Zürich"
  platform::WriteTextLines(dir.File("list.txt"), {line, "second"});
#ifdef _WIN32
  EXPECT_EQ(ReadFileBytes(dir.File("list.txt")),
            "c:\\maps\\Z\xFCrich\\nm_6742_3101_13.jpg|http://127.0.0.1/x\r\nsecond\r\n");
#else
  EXPECT_EQ(ReadFileBytes(dir.File("list.txt")), line + "\r\nsecond\r\n");
#endif
  EXPECT_EQ(platform::ReadTextLines(dir.File("list.txt")), (Lines{line, "second"}));

  WriteFileBytes(dir.File("utf8.txt"), line + "\r\n");
  WriteFileBytes(dir.File("ansi.txt"), "c:\\maps\\Z\xFCrich\\nm_6742_3101_13.jpg|http://127.0.0.1/x\r\n");
  EXPECT_EQ(platform::ReadTextLines(dir.File("utf8.txt")), Lines{line});
#ifdef _WIN32
  EXPECT_EQ(platform::ReadTextLines(dir.File("ansi.txt")), Lines{line});
#else
  // Linux takes no code page: the bytes stay as they are.
  EXPECT_EQ(platform::ReadTextLines(dir.File("ansi.txt")),
            Lines{"c:\\maps\\Z\xFCrich\\nm_6742_3101_13.jpg|http://127.0.0.1/x"});
#endif
}

}  // namespace
