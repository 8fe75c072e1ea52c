#include "mapkit/RecentFiles.h"

#include <algorithm>

#include "core/platform/Locations.h"
#include "core/platform/Numbers.h"
#include "core/settings/IniFile.h"

namespace mapkit {

namespace {

constexpr const char* kSection = "Recent";

std::string KeyOf(int i) { return "File" + platform::FormatInteger(i + 1); }

}  // namespace

std::string RecentFilesPath(const std::string& programFolder) {
  return platform::SettingsFolder(programFolder) + "tileview.ini";
}

RecentFiles::RecentFiles(std::vector<std::string> paths) {
  // Added oldest first, so duplicates and the limit are handled as Add does.
  for (auto path = paths.rbegin(); path != paths.rend(); ++path) Add(*path);
}

void RecentFiles::Add(const std::string& path) {
  if (path.empty()) return;
  paths_.erase(std::remove(paths_.begin(), paths_.end(), path), paths_.end());
  paths_.insert(paths_.begin(), path);
  if (paths_.size() > kMaxFiles) paths_.resize(kMaxFiles);
}

RecentFiles RecentFiles::Load(const std::string& settingsPath) {
  const settings::IniFile ini(settingsPath);
  std::vector<std::string> paths;
  for (int i = 0; i < kMaxFiles; ++i) paths.push_back(ini.ReadString(kSection, KeyOf(i), ""));
  return RecentFiles(std::move(paths));
}

void RecentFiles::Save(const std::string& settingsPath) const {
  std::vector<settings::IniEntry> entries;
  for (int i = 0; i < kMaxFiles; ++i) {
    entries.push_back(
        {kSection, KeyOf(i), i < static_cast<int>(paths_.size()) ? paths_[static_cast<std::size_t>(i)] : ""});
  }
  settings::IniFile(settingsPath).Write(entries);
}

}  // namespace mapkit
