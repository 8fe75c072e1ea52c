#include "core/run/TaskControls.h"

#include <algorithm>

#include "core/platform/Files.h"
#include "core/platform/Numbers.h"
#include "core/settings/IniFile.h"
#include "core/task/Commonfunc.h"

namespace run {

namespace {

constexpr const char* kInputError = "Longitude or latitude input error!";

// Both "," and "." are taken as the decimal mark, whatever the desktop's.
std::optional<double> ParseCoordinate(std::string text) {
  std::replace(text.begin(), text.end(), ',', '.');
  return platform::ParseDecimal(text);
}

ControlsCheck Refuse(std::string message) { return ControlsCheck{std::nullopt, std::move(message)}; }

}  // namespace

ProxySettings ReadProxySettings(const std::string& configPath) {
  const settings::IniFile ini(configPath);
  ProxySettings proxy;
  proxy.UseProxy = ini.ReadInteger("Proxy", "UseProxy", 0) == 1;
  proxy.ProxyServer = ini.ReadString("Proxy", "ProxyServer", "");
  proxy.ProxyPort = ini.ReadString("Proxy", "ProxyPort", "");
  proxy.ProxyUsername = ini.ReadString("Proxy", "ProxyUsername", "");
  proxy.ProxyPassword = ini.ReadString("Proxy", "ProxyPassword", "");
  return proxy;
}

ControlsCheck ReadTaskControls(const TaskControls& controls, const ProxySettings& proxy) {
  task::TaskParameters p;
  p.UseProxy = proxy.UseProxy;
  p.ProxyServer = proxy.ProxyServer;
  p.ProxyPort = proxy.ProxyPort;
  p.ProxyUsername = proxy.ProxyUsername;
  p.ProxyPassword = proxy.ProxyPassword;

  // The up-down control keeps the zoom in range, but a task file opened from
  // disk can bring any text; refuse it here rather than in the grid math.
  const std::optional<int32_t> zoom = platform::ParseInteger(controls.Zoom);
  if (!zoom || *zoom < task::kMinZoom || *zoom > task::kMaxZoom) return Refuse(task::kZoomRangeMessage);
  p.Zoom = *zoom;

  p.MapsType = task::MapsTypeFromListPosition(controls.MapsTypePosition);
  if (p.MapsType == 0) return Refuse("Please select a map type.");
  p.HistoryDate = controls.HistoryDate;

  if (controls.SavePath.empty()) return Refuse("Please select a path to save the images.");
  // Created before the coordinates are looked at: a later refusal leaves it.
  if (!platform::DirectoryExists(controls.SavePath) && !platform::CreateDir(controls.SavePath)) {
    return Refuse("Create directory " + controls.SavePath + " Failed.");
  }
  p.SavePath = controls.SavePath;
  if (p.SavePath.back() != platform::kPathSeparator) p.SavePath += platform::kPathSeparator;

  const std::optional<double> left = ParseCoordinate(controls.LeftLongitude);
  const std::optional<double> right = ParseCoordinate(controls.RightLongitude);
  const std::optional<double> top = ParseCoordinate(controls.TopLatitude);
  const std::optional<double> bottom = ParseCoordinate(controls.BottomLatitude);
  if (!left || !right || !top || !bottom) return Refuse(kInputError);
  p.LeftLongitude = *left;
  p.RightLongitude = *right;
  p.TopLatitude = *top;
  p.BottomLatitude = *bottom;

  // Written so that a NaN or infinity fails as well.
  const auto within = [](double value, double limit) { return value >= -limit && value <= limit; };
  if (!within(p.LeftLongitude, 180)) return Refuse("Left Longitude should be between -180 and 180.");
  if (!within(p.RightLongitude, 180)) return Refuse("Right Longitude should be between -180 and 180.");
  if (!within(p.TopLatitude, 85)) return Refuse("Top Latitude should be between -85 and 85.");
  if (!within(p.BottomLatitude, 85)) return Refuse("Bottom Latitude should be between -85 and 85.");
  if (p.LeftLongitude > p.RightLongitude) return Refuse("Left Longitude should less than Right Longitude!");
  if (p.TopLatitude < p.BottomLatitude) return Refuse("Bottom Latitude should less than Top Latitude!");

  p.ThreadCount = 8;
  p.ThreadSlots = 8;

  p.TaskName = controls.TaskName;
  if (platform::ExtractFileExt(p.TaskName) != task::kTaskFileExtension) p.TaskName += task::kTaskFileExtension;

  p.ContinueTask = false;
  return ControlsCheck{std::move(p), ""};
}

bool ShouldContinueTask(const TaskControls& controls, const task::TaskParameters& parameters) {
  const std::string taskFile = parameters.SavePath + parameters.TaskName;
  if (!platform::FileExists(taskFile)) return false;

  const settings::IniFile ini(taskFile);
  const std::string left = ini.ReadString("AREA", "LeftLongitude", "");
  const std::string right = ini.ReadString("AREA", "RightLongitude", "");
  const std::string top = ini.ReadString("AREA", "TopLatitude", "");
  const std::string bottom = ini.ReadString("AREA", "BottomLatitude", "");
  const int32_t zoom = ini.ReadInteger("Zoom", "Zoom", 100);
  const int32_t mapsType = ini.ReadInteger("MapsType", "MapsType", 100);
  const std::string historyDate = ini.ReadString("MapsType", "HistoryDate", "");

  // The coordinates are compared as typed, so that only a task reopened from
  // its file (which copies the stored texts into the edits) continues.
  return mapsType == parameters.MapsType && left == controls.LeftLongitude && right == controls.RightLongitude &&
         top == controls.TopLatitude && bottom == controls.BottomLatitude &&
         platform::FormatInteger(zoom) == platform::FormatInteger(parameters.Zoom) &&
         platform::ExtractFilePath(taskFile) == parameters.SavePath &&
         platform::ExtractFileName(taskFile) == controls.TaskName && historyDate == controls.HistoryDate;
}

}  // namespace run
