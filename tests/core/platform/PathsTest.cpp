#include <gtest/gtest.h>

#include <string>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

#include "core/platform/Files.h"

namespace {

struct PathCase {
  const char* path;
  const char* folder;
  const char* name;
  const char* extension;
  const char* withoutExtension;
};

TEST(PathParts, FolderNameAndExtension) {
#ifdef _WIN32
  const PathCase cases[] = {
      {"c:\\maps\\beijing.otsk", "c:\\maps\\", "beijing.otsk", ".otsk", "c:\\maps\\beijing"},
      {"c:beijing.txt", "c:", "beijing.txt", ".txt", "c:beijing"},
      {"c:/maps/a.b.otsk", "c:/maps/", "a.b.otsk", ".otsk", "c:/maps/a.b"},
      {"c:\\my.maps\\task", "c:\\my.maps\\", "task", "", "c:\\my.maps\\task"},
      {"abc", "", "abc", "", "abc"},
  };
#else
  const PathCase cases[] = {
      {"/home/u/maps/beijing.otsk", "/home/u/maps/", "beijing.otsk", ".otsk", "/home/u/maps/beijing"},
      {"abc", "", "abc", "", "abc"},
      {"abc.txt", "", "abc.txt", ".txt", "abc"},
      {"abc.txt.otsk", "", "abc.txt.otsk", ".otsk", "abc.txt"},
      {"ABC.OTSK", "", "ABC.OTSK", ".OTSK", "ABC"},
      {"/my.maps/task", "/my.maps/", "task", "", "/my.maps/task"},  // dot before the last separator
      {"/maps/.hidden", "/maps/", ".hidden", ".hidden", "/maps/"},
      {"/maps/task.", "/maps/", "task.", ".", "/maps/task"},
      {"/maps/", "/maps/", "", "", "/maps/"},
      {"/", "/", "", "", "/"},
      {"", "", "", "", ""},
      // On POSIX a backslash or colon is part of a name.
      {"c:\\maps\\beijing.otsk", "", "c:\\maps\\beijing.otsk", ".otsk", "c:\\maps\\beijing"},
      {"/a/b:c.d", "/a/", "b:c.d", ".d", "/a/b:c"},
  };
#endif
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(platform::ExtractFilePath(c.path), c.folder);
    EXPECT_EQ(platform::ExtractFileName(c.path), c.name);
    EXPECT_EQ(platform::ExtractFileExt(c.path), c.extension);
    EXPECT_EQ(platform::RemoveFileExt(c.path), c.withoutExtension);
    EXPECT_EQ(std::string(c.folder) + c.name, c.path);
  }
}

TEST(PathParts, DelimitersAndTrailingSeparator) {
#ifdef _WIN32
  EXPECT_TRUE(platform::IsPathDelimiter('\\'));
  EXPECT_TRUE(platform::IsPathDelimiter('/'));
  EXPECT_TRUE(platform::IsPathDelimiter(':'));
  EXPECT_EQ(platform::IncludeTrailingDelimiter("c:"), "c:\\");
  EXPECT_EQ(platform::IncludeTrailingDelimiter("c:\\maps"), "c:\\maps\\");
  EXPECT_EQ(platform::IncludeTrailingDelimiter("c:\\maps\\"), "c:\\maps\\");
#else
  EXPECT_TRUE(platform::IsPathDelimiter('/'));
  EXPECT_FALSE(platform::IsPathDelimiter('\\'));
  EXPECT_FALSE(platform::IsPathDelimiter(':'));
  EXPECT_FALSE(platform::IsPathDelimiter('.'));
  EXPECT_EQ(platform::IncludeTrailingDelimiter("/home/u/maps"), "/home/u/maps/");
  EXPECT_EQ(platform::IncludeTrailingDelimiter("/home/u/maps/"), "/home/u/maps/");
  EXPECT_EQ(platform::IncludeTrailingDelimiter("maps\\"), "maps\\/");
  EXPECT_EQ(platform::IncludeTrailingDelimiter(""), "/");
#endif
}

}  // namespace

#ifndef _WIN32
TEST(PathParts, BuiltInFoldersLieInTheUsersHomeFromTheUserDatabase) {
  const passwd* user = getpwuid(getuid());
  ASSERT_NE(user, nullptr);
  const std::string home = platform::IncludeTrailingDelimiter(user->pw_dir);
  EXPECT_EQ(platform::BuiltInFolder("brenholt"), home + "brenholt");
  EXPECT_EQ(platform::BuiltInFolder("downloads"), home + "downloads");
}
#endif
