#include "core/platform/Locations.h"

#include <cstdlib>
#include <vector>

#include "core/platform/Files.h"

#ifdef _WIN32
#include <windows.h>

#include "core/platform/WideText.h"
#else
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

namespace {

// Where an installed program's data lies, seen from the parent of bin/.
std::string InstalledDataFolder() { return std::string("share") + kPathSeparator + "orvenna"; }
constexpr const char* kInstalledProgramsFolder = "bin";

std::string WithSeparator(std::string folder) {
  if (folder.empty() || folder.back() != kPathSeparator) folder += kPathSeparator;
  return folder;
}

// The folder above folder (which ends in the separator), lexically: the
// executable's folder comes resolved, without links or "..".
std::string ParentOf(const std::string& folder) {
  if (folder.size() <= 1) return folder;
  return ExtractFilePath(folder.substr(0, folder.size() - 1));
}

#ifndef _WIN32
std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}
#endif

bool IsAbsolute(const std::string& path) {
#ifdef _WIN32
  return path.size() > 2 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
#else
  return !path.empty() && path.front() == '/';
#endif
}

}  // namespace

#ifndef _WIN32
std::string HomeFromUserDatabase() {
  std::vector<char> buffer(16384);
  struct passwd entry {};
  struct passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr && found->pw_dir[0] != '\0') {
    return found->pw_dir;
  }
  return "/";
}
#endif

std::string ExecutableFolder() {
#ifdef _WIN32
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      break;
    }
    buffer.resize(buffer.size() * 2);
  }
  return ExtractFilePath(windows::Utf8(buffer));
#else
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<std::size_t>(n));
      break;
    }
    buffer.resize(buffer.size() * 2);
  }
  return ExtractFilePath(buffer);
#endif
}

std::string ProgramFolderFor(const std::string& executableFolder) {
  const std::string folder = WithSeparator(executableFolder);
  if (DirectoryExists(folder + "blankimg")) return folder;
  const std::string installed = ParentOf(folder) + InstalledDataFolder();
  if (DirectoryExists(installed)) return WithSeparator(installed);
  return folder;
}

std::string ProgramFolder() { return ProgramFolderFor(ExecutableFolder()); }

std::string ProgramsFolderFor(const std::string& programFolder) {
  const std::string folder = WithSeparator(programFolder);
  const std::string suffix = kPathSeparator + InstalledDataFolder() + kPathSeparator;
  if (folder.size() < suffix.size() || folder.compare(folder.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return folder;
  }
  return folder.substr(0, folder.size() - suffix.size() + 1) + kInstalledProgramsFolder + kPathSeparator;
}

bool SettingsBesideProgram(const std::string& programFolder) {
  const std::string ini = WithSeparator(programFolder) + "ini";
  if (!DirectoryExists(ini)) return false;
#ifdef _WIN32
  // The read-only mark says nothing of a folder's access list (Program Files
  // is closed to a user without one): a file made there tells.
  const std::wstring probe = windows::Wide(ini + "\\.write-test");
  const HANDLE handle = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE,
                                    nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  CloseHandle(handle);
  return true;
#else
  return ::access(ini.c_str(), W_OK | X_OK) == 0;
#endif
}

#ifndef _WIN32
namespace {

// $<variable>/orvenna/, or ~/<homeFolder>/orvenna/ when the variable holds
// no absolute path (the XDG base directory rules).
std::string UserFolder(const char* variable, const char* homeFolder) {
  std::string base = Environment(variable);
  if (!IsAbsolute(base)) {
    std::string home = Environment("HOME");
    if (!IsAbsolute(home)) home = HomeFromUserDatabase();
    base = WithSeparator(home) + homeFolder;
  }
  return WithSeparator(base) + "orvenna/";
}

}  // namespace
#endif

std::string UserSettingsFolder() {
#ifdef _WIN32
  // %APPDATA%\Orvenna\ (the roaming profile: the settings go with the user).
  std::string base = windows::Environment(L"APPDATA");
  if (!IsAbsolute(base)) base = windows::Environment(L"USERPROFILE");
  if (!IsAbsolute(base)) base = "c:\\";
  return WithSeparator(base) + "Orvenna" + kPathSeparator;
#else
  return UserFolder("XDG_CONFIG_HOME", ".config");
#endif
}

std::string UserCacheFolder() {
#ifdef _WIN32
  // %LOCALAPPDATA%\Orvenna\ (this machine only: what can be fetched again).
  const std::string base = windows::Environment(L"LOCALAPPDATA");
  if (!IsAbsolute(base)) return UserSettingsFolder() + "cache" + kPathSeparator;
  return WithSeparator(base) + "Orvenna" + kPathSeparator;
#else
  return UserFolder("XDG_CACHE_HOME", ".cache");
#endif
}

std::string SettingsFolder(const std::string& programFolder) {
  if (SettingsBesideProgram(programFolder)) return WithSeparator(programFolder) + "ini" + kPathSeparator;
  return UserSettingsFolder();
}

bool CreateFolderPath(const std::string& folder) {
  if (folder.empty()) return false;
  for (std::size_t end = 1; end <= folder.size(); ++end) {
    if (end < folder.size() && !IsPathDelimiter(folder[end])) continue;
    const std::string level = folder.substr(0, end);
    if (DirectoryExists(level)) continue;
#ifdef _WIN32
    CreateDirectoryW(windows::Wide(level).c_str(), nullptr);
#else
    ::mkdir(level.c_str(), 0700);
#endif
  }
  return DirectoryExists(folder);
}

}  // namespace platform
