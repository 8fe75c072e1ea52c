// Where a program finds its files. Two layouts are known:
//   flat       a build folder or a portable copy: the programs with blankimg/,
//              help/ and ini/ beside them;
//   installed  the programs in <prefix>/bin/, their data in
//              <prefix>/share/orvenna/ and the settings in the user's
//              configuration folder.
// Every folder returned ends in the separator. Any thread; no state.
#pragma once

#include <string>

namespace platform {

// The folder of the running executable.
std::string ExecutableFolder();

// The program folder (blankimg/, help/) of a program in executableFolder: that
// folder when it holds blankimg/, else <executableFolder>/../share/orvenna/
// when that exists, else executableFolder itself.
std::string ProgramFolderFor(const std::string& executableFolder);
// ProgramFolderFor(ExecutableFolder()).
std::string ProgramFolder();

// The folder of the programs whose program folder this is: <prefix>/bin/ for
// <prefix>/share/orvenna/, else the program folder itself (flat).
std::string ProgramsFolderFor(const std::string& programFolder);

// True when programFolder holds an ini/ folder this user can write to: the
// settings are kept there, as a build or portable copy keeps them.
bool SettingsBesideProgram(const std::string& programFolder);
// The user's configuration folder for the programs: $XDG_CONFIG_HOME/orvenna/,
// or ~/.config/orvenna/ when that variable is unset, empty or relative.
std::string UserSettingsFolder();
// Where the settings and state of the programs of programFolder lie: its ini/
// when SettingsBesideProgram, else UserSettingsFolder().
std::string SettingsFolder(const std::string& programFolder);
// The user's cache folder for the programs (what can be fetched again):
// $XDG_CACHE_HOME/orvenna/, or ~/.cache/orvenna/ when that variable is unset,
// empty or relative. Shared by every program folder, as a cache may be.
std::string UserCacheFolder();

#ifndef _WIN32
// The user's home folder as the user database has it ("/" without one).
std::string HomeFromUserDatabase();
#endif

// Creates folder and every missing folder above it, owner-only (they may hold
// secrets). True when the folder exists afterwards.
bool CreateFolderPath(const std::string& folder);

}  // namespace platform
