// The program's settings file, config.ini in the settings folder (ini/ beside
// the program, or the user's configuration folder: platform::SettingsFolder):
// the one place that knows its sections, keys and defaults. Every read opens the file
// and every write replaces it atomically (IniFile); nothing is cached.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/download/HttpClient.h"
#include "core/ftl/FailedTileRun.h"
#include "core/settings/IniFile.h"
#include "core/task/NearmapApi.h"
#include "core/task/TileSource.h"

namespace run {

// [Proxy]: UseProxy is on when the key is exactly 1.
using download::ProxySettings;

// What the main window reads at its first show.
struct MainWindowSettings {
  std::string DefaultPath;
  std::string DefaultOutputName;
  int32_t DefaultThreadCount = 1;
  std::string Version;
};

// Section [NearmapApi]: the account's settings, the direction new tasks
// take, and the API key (kept here only, the file being the owner's).
struct NearmapApiSettings {
  task::NearmapAccount Account;
  std::string Direction = task::kNearmapDefaultDirection;
  std::string Secret;

  friend bool operator==(const NearmapApiSettings&, const NearmapApiSettings&) = default;
};

// What the Options dialog shows and writes.
struct OptionsSettings {
  std::string DefaultPath;
  ProxySettings Proxy;
};

class ConfigFile {
 public:
  explicit ConfigFile(std::string path);
  // The settings file of the programs of programFolder.
  static std::string PathFor(const std::string& programFolder);
  // Settings kept in the user's configuration folder get their file on first
  // use: the folder and the file are made owner-only, the file holding the
  // defaults its readers take, but for DefaultPath (its two defaults both stay
  // in force) and Version (it follows the installed program). An existing file
  // is never touched, and beside the program nothing is made, as ever. False
  // when the file is missing afterwards: the readers take their defaults all
  // the same, and the Options dialog reports what stops its write.
  static bool MakeOnFirstUse(const std::string& programFolder);

  const std::string& Path() const { return ini_.FileName(); }

  ProxySettings ReadProxy() const;
  // DefaultPath defaults to the built-in "brenholt" folder here.
  MainWindowSettings ReadMainWindow() const;
  // DefaultPath defaults to the built-in "downloads" folder here.
  OptionsSettings ReadOptions() const;
  // The six values in the dialog's order, all in one atomic write: either the
  // file holds all of them afterwards or it is unchanged. A file created here
  // is the owner's only (it holds the proxy password). Throws
  // platform::FileError("Unable to write to <path>").
  void WriteOptions(const OptionsSettings& options);

  // The user's tile sources, in the order they were added.
  std::vector<task::TileSource> ReadSources() const;
  std::optional<task::TileSource> ReadSource(const std::string& name) const;
  // A source's secret (empty when it has none).
  std::string ReadSourceSecret(const std::string& name) const;
  // Adds or replaces the source of that name, with its secret, in one atomic
  // write. Throws std::invalid_argument with the reason for a source that
  // cannot be saved (task::SourceProblem), platform::FileError otherwise.
  void WriteSource(const task::TileSource& source, const std::string& secret);
  // A task's own definition of source, as the task was made with it: kept
  // (a source of that name keeps its secret) unless the file holds it so
  // already. A task from another machine brings its source along. Throws as
  // WriteSource.
  void KeepSource(const task::TileSource& source);
  void RemoveSource(const std::string& name);

  // The bound of the map windows' disk cache of base tiles, in MiB; a value
  // below 1 reads as the default.
  static constexpr int32_t kDefaultMapCacheMegabytes = 500;
  int32_t ReadMapCacheMegabytes() const;
  // Throws platform::FileError("Unable to write to <path>").
  void WriteMapCacheMegabytes(int32_t megabytes);

  // A pause outside 0..3600000 ms or workers outside 1..8 read as the
  // defaults.
  NearmapApiSettings ReadNearmapApi() const;
  // In one atomic write. Throws std::invalid_argument with the reason for an
  // address or a direction that cannot be used, platform::FileError otherwise.
  void WriteNearmapApi(const NearmapApiSettings& api);

  // What a re-download of a failed list takes from this file: the secrets of
  // the sources by name, and the API key for the addresses of the Nearmap API.
  void AddCredentials(ftl::FailedListOptions& options) const;

  // [IniParas] MaxTilesPerRun: the most tiles one run of the window takes
  // from a paid source (the Nearmap API, a source of the user's own); 0, a
  // missing key or a value below 0: no cap.
  int64_t ReadMaxTilesPerRun() const;

 private:
  settings::IniFile ini_;
};

}  // namespace run
