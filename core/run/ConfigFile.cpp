#include "core/run/ConfigFile.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <utility>

#include "core/platform/Files.h"
#include "core/platform/Locations.h"
#include "core/platform/Numbers.h"
#include "core/platform/Version.h"
#include "core/run/RetryHeaders.h"
#include "core/task/Unitclasstask.h"

namespace run {

namespace {

constexpr const char* kIniParas = "IniParas";
constexpr const char* kProxy = "Proxy";
constexpr const char* kConfigFileName = "config.ini";
constexpr const char* kDefaultPath = "DefaultPath";
constexpr const char* kDefaultOutputName = "DefaultOutputName";
constexpr const char* kDefaultOutputNameDefault = "bigmap.bmp";
constexpr const char* kDefaultThreadCount = "DefaultThreadCount";
constexpr int32_t kDefaultThreadCountDefault = 1;
constexpr const char* kUseProxy = "UseProxy";
constexpr const char* kProxyServer = "ProxyServer";
constexpr const char* kProxyPort = "ProxyPort";
constexpr const char* kProxyUsername = "ProxyUsername";
constexpr const char* kProxyPassword = "ProxyPassword";
// One section a tile source: "TileSource <name>".
constexpr const char* kSourceSectionPrefix = "TileSource ";
constexpr const char* kSourceSecret = "Secret";
constexpr const char* kMapCache = "MapCache";
constexpr const char* kMapCacheMegabytes = "MaxMegabytes";
constexpr const char* kNearmapApi = "NearmapApi";
constexpr const char* kBaseUrl = "BaseUrl";
constexpr const char* kDirection = "Direction";
constexpr const char* kPauseMs = "PauseMs";
constexpr const char* kMaxWorkers = "MaxWorkers";
constexpr int32_t kLongestPauseMs = 3600000;

std::string SourceSection(const std::string& name) { return kSourceSectionPrefix + name; }

}  // namespace

ConfigFile::ConfigFile(std::string path) : ini_(std::move(path), platform::FileAccess::OwnerOnly) {}

std::string ConfigFile::PathFor(const std::string& programFolder) {
  return platform::SettingsFolder(programFolder) + kConfigFileName;
}

bool ConfigFile::MakeOnFirstUse(const std::string& programFolder) {
  if (platform::SettingsBesideProgram(programFolder)) return true;
  const std::string folder = platform::UserSettingsFolder();
  const std::string path = folder + kConfigFileName;
  if (platform::FileExists(path)) return true;
  if (!platform::CreateFolderPath(folder)) return false;
  // Written aside and linked into place, never replacing: a file that another
  // program made meanwhile keeps its values.
  const std::string draft = platform::TemporaryNameBeside(path);
  try {
    settings::IniFile(draft, platform::FileAccess::OwnerOnly)
        .Write({
            {kIniParas, kDefaultOutputName, kDefaultOutputNameDefault},
            {kIniParas, kDefaultThreadCount, std::to_string(kDefaultThreadCountDefault)},
            {kProxy, kUseProxy, "0"},
            {kProxy, kProxyServer, ""},
            {kProxy, kProxyPort, ""},
            {kProxy, kProxyUsername, ""},
            {kProxy, kProxyPassword, ""},
            {kNearmapApi, kBaseUrl, task::kNearmapDefaultBaseUrl},
            {kNearmapApi, kSourceSecret, ""},
            {kNearmapApi, kDirection, task::kNearmapDefaultDirection},
            {kNearmapApi, kPauseMs, platform::FormatInteger(task::NearmapAccount{}.PauseMs)},
            {kNearmapApi, kMaxWorkers, platform::FormatInteger(task::NearmapAccount{}.MaxWorkers)},
        });
    platform::CopyFileNoReplace(draft, path);
  } catch (const platform::FileError&) {
  }
  std::remove(draft.c_str());
  return platform::FileExists(path);
}

ProxySettings ConfigFile::ReadProxy() const {
  ProxySettings proxy;
  proxy.UseProxy = ini_.ReadInteger(kProxy, kUseProxy, 0) == 1;
  proxy.ProxyServer = ini_.ReadString(kProxy, kProxyServer, "");
  proxy.ProxyPort = ini_.ReadString(kProxy, kProxyPort, "");
  proxy.ProxyUsername = ini_.ReadString(kProxy, kProxyUsername, "");
  proxy.ProxyPassword = ini_.ReadString(kProxy, kProxyPassword, "");
  return proxy;
}

MainWindowSettings ConfigFile::ReadMainWindow() const {
  MainWindowSettings window;
  window.DefaultPath = ini_.ReadString(kIniParas, kDefaultPath, platform::BuiltInFolder("brenholt"));
  window.DefaultOutputName = ini_.ReadString(kIniParas, kDefaultOutputName, kDefaultOutputNameDefault);
  window.DefaultThreadCount = ini_.ReadInteger(kIniParas, kDefaultThreadCount, kDefaultThreadCountDefault);
  window.Version = ini_.ReadString(kIniParas, "Version", platform::Version());
  return window;
}

OptionsSettings ConfigFile::ReadOptions() const {
  OptionsSettings options;
  options.DefaultPath = ini_.ReadString(kIniParas, kDefaultPath, platform::BuiltInFolder("downloads"));
  options.Proxy = ReadProxy();
  return options;
}

void ConfigFile::WriteOptions(const OptionsSettings& options) {
  const ProxySettings& proxy = options.Proxy;
  ini_.Write({
      {kIniParas, kDefaultPath, options.DefaultPath},
      {kProxy, kUseProxy, proxy.UseProxy ? "1" : "0"},
      {kProxy, kProxyServer, proxy.ProxyServer},
      {kProxy, kProxyPort, proxy.ProxyPort},
      {kProxy, kProxyUsername, proxy.ProxyUsername},
      {kProxy, kProxyPassword, proxy.ProxyPassword},
  });
}

}  // namespace run

namespace run {

std::vector<task::TileSource> ConfigFile::ReadSources() const {
  std::vector<task::TileSource> sources;
  for (const std::string& section : ini_.SectionNames()) {
    if (section.rfind(kSourceSectionPrefix, 0) != 0) continue;
    if (auto source = task::ReadSource(ini_, section)) sources.push_back(std::move(*source));
  }
  return sources;
}

std::optional<task::TileSource> ConfigFile::ReadSource(const std::string& name) const {
  return task::ReadSource(ini_, SourceSection(name));
}

std::string ConfigFile::ReadSourceSecret(const std::string& name) const {
  return ini_.ReadString(SourceSection(name), kSourceSecret, "");
}

void ConfigFile::WriteSource(const task::TileSource& source, const std::string& secret) {
  if (const std::string problem = task::SourceProblem(source); !problem.empty()) throw std::invalid_argument(problem);
  auto entries = task::SourceEntries(source);
  entries.emplace_back(kSourceSecret, secret);
  ini_.ReplaceSection(SourceSection(source.Name), entries);
}

void ConfigFile::KeepSource(const task::TileSource& source) {
  if (ReadSource(source.Name) != source) WriteSource(source, ReadSourceSecret(source.Name));
}

void ConfigFile::RemoveSource(const std::string& name) { ini_.ReplaceSection(SourceSection(name), {}); }

int32_t ConfigFile::ReadMapCacheMegabytes() const {
  const int32_t megabytes = ini_.ReadInteger(kMapCache, kMapCacheMegabytes, kDefaultMapCacheMegabytes);
  return megabytes >= 1 ? megabytes : kDefaultMapCacheMegabytes;
}

void ConfigFile::WriteMapCacheMegabytes(int32_t megabytes) {
  ini_.Write({{kMapCache, kMapCacheMegabytes, platform::FormatInteger(megabytes)}});
}

NearmapApiSettings ConfigFile::ReadNearmapApi() const {
  NearmapApiSettings api;
  task::NearmapAccount& account = api.Account;
  account.BaseUrl = ini_.ReadString(kNearmapApi, kBaseUrl, account.BaseUrl);
  const int32_t pause = ini_.ReadInteger(kNearmapApi, kPauseMs, account.PauseMs);
  if (pause >= 0 && pause <= kLongestPauseMs) account.PauseMs = pause;
  const int32_t workers = ini_.ReadInteger(kNearmapApi, kMaxWorkers, account.MaxWorkers);
  if (workers >= 1 && workers <= 8) account.MaxWorkers = workers;
  api.Direction = ini_.ReadString(kNearmapApi, kDirection, api.Direction);
  api.Secret = ini_.ReadString(kNearmapApi, kSourceSecret, "");
  return api;
}

void ConfigFile::WriteNearmapApi(const NearmapApiSettings& api) {
  if (const std::string problem = task::NearmapBaseUrlProblem(api.Account.BaseUrl); !problem.empty()) {
    throw std::invalid_argument(problem);
  }
  task::NearmapImagery imagery;
  imagery.Direction = api.Direction;
  if (const std::string problem = task::NearmapProblem(imagery); !problem.empty()) {
    throw std::invalid_argument(problem);
  }
  ini_.Write({
      {kNearmapApi, kBaseUrl, api.Account.BaseUrl},
      {kNearmapApi, kSourceSecret, api.Secret},
      {kNearmapApi, kDirection, api.Direction},
      {kNearmapApi, kPauseMs, platform::FormatInteger(std::clamp(api.Account.PauseMs, 0, kLongestPauseMs))},
      {kNearmapApi, kMaxWorkers, platform::FormatInteger(std::clamp(api.Account.MaxWorkers, 1, 8))},
  });
}

int64_t ConfigFile::ReadMaxTilesPerRun() const {
  return std::max<int64_t>(ini_.ReadInteger(kIniParas, "MaxTilesPerRun", 0), 0);
}

void ConfigFile::AddCredentials(ftl::FailedListOptions& options) const {
  options.Secrets = [config = *this](const std::string& source) { return config.ReadSourceSecret(source); };
  options.HeadersFor = [config = *this](const std::string& url) { return RetryHeadersFor(config, url); };
}

}  // namespace run
