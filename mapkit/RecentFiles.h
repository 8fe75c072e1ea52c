// The task files opened lately, newest first, kept in the viewer's own
// settings file, tileview.ini in the settings folder (section [Recent]).
// Load and Save touch the disk: the viewer calls them on its file thread.
#pragma once

#include <string>
#include <vector>

namespace mapkit {

// The viewer's settings file for the programs of programFolder.
std::string RecentFilesPath(const std::string& programFolder);

class RecentFiles {
 public:
  static constexpr int kMaxFiles = 8;

  explicit RecentFiles(std::vector<std::string> paths = {});

  // Moves path to the front, once, dropping the oldest beyond kMaxFiles.
  void Add(const std::string& path);
  const std::vector<std::string>& Paths() const { return paths_; }

  static RecentFiles Load(const std::string& settingsPath);
  // Throws platform::FileError.
  void Save(const std::string& settingsPath) const;

 private:
  std::vector<std::string> paths_;
};

}  // namespace mapkit
