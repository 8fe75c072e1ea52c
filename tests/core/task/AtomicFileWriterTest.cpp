// The streaming writer behind the extent list.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "core/platform/Files.h"
#include "tests/support/TempDir.h"

namespace {

using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

std::size_t EntryCount(const std::string& folder) {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++count;
  return count;
}

TEST(AtomicFileWriter, ChunksBecomeTheFileOnlyAtCommit) {
  TempDir dir;
  const std::string path = dir.File("list.txt");
  WriteFileBytes(path, "old");
  ::chmod(path.c_str(), 0640);
  {
    platform::AtomicFileWriter out(path);
    out.Write("first ");
    out.Write("");
    out.Write("second");
    EXPECT_EQ(ReadFileBytes(path), "old");
    out.Commit();
  }
  EXPECT_EQ(ReadFileBytes(path), "first second");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(EntryCount(dir.Path()), 1u);
}

TEST(AtomicFileWriter, AbandonedWriteLeavesTheOldFile) {
  TempDir dir;
  const std::string path = dir.File("list.txt");
  WriteFileBytes(path, "old");
  {
    platform::AtomicFileWriter out(path);
    out.Write("partial");
  }
  EXPECT_EQ(ReadFileBytes(path), "old");
  EXPECT_EQ(EntryCount(dir.Path()), 1u);
}

TEST(AtomicFileWriter, OwnerOnlyNewFile) {
  TempDir dir;
  const std::string path = dir.File("secret.txt");
  platform::AtomicFileWriter out(path, platform::FileAccess::OwnerOnly);
  out.Commit();
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0077, 0u);
  EXPECT_EQ(st.st_size, 0);
}

TEST(AtomicFileWriter, UncreatableTargets) {
  TempDir dir;
  const std::string missingFolder = dir.File("missing") + platform::kPathSeparator + "list.txt";
  try {
    platform::AtomicFileWriter out(missingFolder);
    FAIL() << "created";
  } catch (const platform::FileError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file " + missingFolder);
  }
  ASSERT_TRUE(platform::CreateDir(dir.File("folder")));
  EXPECT_THROW(platform::AtomicFileWriter(dir.File("folder")), platform::FileError);
  EXPECT_EQ(EntryCount(dir.Path()), 1u);
}

TEST(AtomicFileWriter, CommitTwiceIsRefused) {
  TempDir dir;
  platform::AtomicFileWriter out(dir.File("a.txt"));
  out.Write("x");
  out.Commit();
  EXPECT_THROW(out.Write("y"), platform::FileError);
  EXPECT_THROW(out.Commit(), platform::FileError);
  EXPECT_EQ(ReadFileBytes(dir.File("a.txt")), "x");
}

}  // namespace
