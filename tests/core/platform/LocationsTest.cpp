// Where a program finds its data, its sibling programs and its settings, in
// the flat layout of a build or portable copy and in the installed one.
#include "core/platform/Locations.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ModeOf;
using testsupport::ScopedEnvironment;
using testsupport::TempDir;

#ifndef _WIN32  // the POSIX layouts and the XDG folders (tests/wine-exclusions.cmake)
TEST(Locations, ProgramFolderIsBesideTheProgramOrInstalledBesideBin) {
  TempDir dir;
  struct Case {
    const char* what;
    std::vector<const char*> folders;  // made below dir
    const char* executableFolder;
    const char* programFolder;
  };
  const Case cases[] = {
      {"flat: a build folder", {"build/blankimg", "build/help"}, "build", "build/"},
      {"installed under a prefix", {"usr/bin", "usr/share/orvenna/blankimg"}, "usr/bin/", "usr/share/orvenna/"},
      {"flat wins over installed", {"opt/bin/blankimg", "opt/share/orvenna/blankimg"}, "opt/bin/", "opt/bin/"},
      {"neither: the executable's folder", {"lone/bin"}, "lone/bin/", "lone/bin/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* folder : c.folders) fs::create_directories(dir.File(folder));
    EXPECT_EQ(platform::ProgramFolderFor(dir.File(c.executableFolder)), dir.File(c.programFolder));
  }
}

TEST(Locations, SiblingProgramsLieInBinOfAnInstalledProgramFolder) {
  EXPECT_EQ(platform::ProgramsFolderFor("/usr/share/orvenna/"), "/usr/bin/");
  EXPECT_EQ(platform::ProgramsFolderFor("/tmp/x/usr/local/share/orvenna"), "/tmp/x/usr/local/bin/");
  EXPECT_EQ(platform::ProgramsFolderFor("/share/orvenna/"), "/bin/");
  EXPECT_EQ(platform::ProgramsFolderFor("/home/u/orvenna/build/"), "/home/u/orvenna/build/");
  EXPECT_EQ(platform::ProgramsFolderFor("/home/u/myshare/orvenna/"), "/home/u/myshare/orvenna/");
}

TEST(Locations, SettingsStayInAWritableIniBesideTheProgramElseGoToTheUsersFolder) {
  TempDir dir;
  fs::create_directories(dir.File("flat/ini"));
  fs::create_directories(dir.File("installed"));
  fs::create_directories(dir.File("home"));
  struct Case {
    const char* what;
    const char* programFolder;
    const char* xdgConfigHome;  // nullptr: unset
    std::string settingsFolder;
  };
  const Case cases[] = {
      {"ini/ beside the program", "flat/", "/elsewhere", dir.File("flat/ini/")},
      {"no ini/: the configuration folder", "installed/", "/cfg", "/cfg/orvenna/"},
      {"unset: under HOME", "installed/", nullptr, dir.File("home/.config/orvenna/")},
      {"empty: under HOME", "installed/", "", dir.File("home/.config/orvenna/")},
      {"relative: ignored", "installed/", "cfg", dir.File("home/.config/orvenna/")},
  };
  const ScopedEnvironment home("HOME", dir.File("home").c_str());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ScopedEnvironment xdg("XDG_CONFIG_HOME", c.xdgConfigHome);
    EXPECT_EQ(platform::SettingsFolder(dir.File(c.programFolder)), c.settingsFolder);
  }

  // An ini/ this user cannot write to is passed over (root writes anyway).
  if (::geteuid() != 0) {
    const ScopedEnvironment xdg("XDG_CONFIG_HOME", "/cfg");
    fs::permissions(dir.File("flat/ini"), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(platform::SettingsBesideProgram(dir.File("flat/")));
    EXPECT_EQ(platform::SettingsFolder(dir.File("flat/")), "/cfg/orvenna/");
    fs::permissions(dir.File("flat/ini"), fs::perms::owner_all);
  }
}

TEST(Locations, TheCacheFollowsXdgCacheHomeOrLiesUnderHome) {
  TempDir dir;
  const ScopedEnvironment home("HOME", dir.File("home").c_str());
  const std::pair<const char*, std::string> cases[] = {
      {"/var/cache/u", "/var/cache/u/orvenna/"},
      {nullptr, dir.File("home/.cache/orvenna/")},
      {"", dir.File("home/.cache/orvenna/")},
      {"relative", dir.File("home/.cache/orvenna/")},
  };
  for (const auto& [xdgCacheHome, folder] : cases) {
    const ScopedEnvironment xdg("XDG_CACHE_HOME", xdgCacheHome);
    EXPECT_EQ(platform::UserCacheFolder(), folder) << (xdgCacheHome ? xdgCacheHome : "unset");
  }
}

TEST(Locations, FolderPathIsMadeLevelByLevelForItsOwnerOnly) {
  TempDir dir;
  const testsupport::ScopedUmask umask(022);
  EXPECT_TRUE(platform::CreateFolderPath(dir.File("config/orvenna/")));
  EXPECT_EQ(ModeOf(dir.File("config")) & 0777, 0700u);
  EXPECT_EQ(ModeOf(dir.File("config/orvenna")) & 0777, 0700u);
  EXPECT_TRUE(platform::CreateFolderPath(dir.File("config/orvenna")));  // exists
  testsupport::WriteFileBytes(dir.File("file"), "x");
  EXPECT_FALSE(platform::CreateFolderPath(dir.File("file/below/")));
}
#else
// A portable copy keeps its settings in ini\ beside the programs; installed
// (no writable ini\), they are %APPDATA%\Orvenna\, and the cache
// %LOCALAPPDATA%\Orvenna\.
TEST(Locations, SettingsBesideTheProgramElseInAppDataAndTheCacheInLocalAppData) {
  TempDir dir;
  fs::create_directories(dir.File("portable\\ini"));
  fs::create_directories(dir.File("installed\\blankimg"));
  EXPECT_TRUE(platform::SettingsBesideProgram(dir.File("portable\\")));
  EXPECT_EQ(platform::SettingsFolder(dir.File("portable\\")), dir.File("portable\\ini\\"));
  EXPECT_FALSE(fs::exists(dir.File("portable\\ini\\.write-test"))) << "the probe is gone";

  const ScopedEnvironment appData("APPDATA", dir.File("Roaming").c_str());
  const ScopedEnvironment localAppData("LOCALAPPDATA", dir.File("Local").c_str());
  EXPECT_FALSE(platform::SettingsBesideProgram(dir.File("installed\\")));
  EXPECT_EQ(platform::SettingsFolder(dir.File("installed\\")), dir.File("Roaming\\Orvenna\\"));
  EXPECT_EQ(platform::UserCacheFolder(), dir.File("Local\\Orvenna\\"));
  EXPECT_EQ(platform::ProgramFolderFor(dir.File("installed")), dir.File("installed\\"));
}
#endif

}  // namespace
