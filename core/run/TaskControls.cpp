#include "core/run/TaskControls.h"

#include <cerrno>

#include <algorithm>

#include "core/download/NearmapCoverage.h"
#include "core/platform/Files.h"
#include "core/platform/Numbers.h"
#include "core/task/Commonfunc.h"
#include "core/task/TaskFile.h"

namespace run {

namespace {

constexpr const char* kInputError = "Longitude or latitude input error!";
constexpr const char* kBarInPath = "The save folder and the task name cannot hold \"|\".";

ControlsCheck Refuse(std::string message) { return ControlsCheck{std::nullopt, std::move(message)}; }

}  // namespace

std::optional<double> ParseCoordinate(std::string text) {
  std::replace(text.begin(), text.end(), ',', '.');
  return platform::ParseDecimal(text);
}

std::string AreaProblem(double left, double right, double top, double bottom) {
  // Written so that a NaN or infinity fails as well.
  const auto within = [](double value, double limit) { return value >= -limit && value <= limit; };
  if (!within(left, 180)) return "Left Longitude should be between -180 and 180.";
  if (!within(right, 180)) return "Right Longitude should be between -180 and 180.";
  if (!within(top, 85)) return "Top Latitude should be between -85 and 85.";
  if (!within(bottom, 85)) return "Bottom Latitude should be between -85 and 85.";
  if (left > right) return "Left Longitude should less than Right Longitude!";
  if (top < bottom) return "Bottom Latitude should less than Top Latitude!";
  return {};
}

int32_t WorkersFor(const std::optional<task::TileSource>& source) {
  return source ? std::min(8, source->MaxWorkers) : 8;
}

AreaCheck ReadArea(const std::string& leftText, const std::string& rightText, const std::string& topText,
                   const std::string& bottomText) {
  const std::optional<double> left = ParseCoordinate(leftText);
  const std::optional<double> right = ParseCoordinate(rightText);
  const std::optional<double> top = ParseCoordinate(topText);
  const std::optional<double> bottom = ParseCoordinate(bottomText);
  const auto refuse = [](const char* message) { return AreaCheck{std::nullopt, message}; };
  if (!left || !right || !top || !bottom) return refuse(kInputError);
  if (std::string problem = AreaProblem(*left, *right, *top, *bottom); !problem.empty()) {
    return AreaCheck{std::nullopt, std::move(problem)};
  }
  return AreaCheck{task::LonLatBox{*left, *right, *top, *bottom}, ""};
}

std::string ReadSourceSettings(TaskControls& controls, const ConfigFile& config) {
  if (controls.Source) controls.SourceSecret = config.ReadSourceSecret(controls.Source->Name);
  if (!controls.Nearmap) return {};
  const NearmapApiSettings api = config.ReadNearmapApi();
  controls.NearmapAccount = api.Account;
  controls.SourceSecret = api.Secret;
  return api.Secret.empty() ? download::kNoApiKeyMessage : "";
}

ControlsCheck ReadTaskControls(const TaskControls& controls, const run::ProxySettings& proxy,
                               bool createFolder) {
  task::TaskParameters p;
  p.UseProxy = proxy.UseProxy;
  p.ProxyServer = proxy.ProxyServer;
  p.ProxyPort = proxy.ProxyPort;
  p.ProxyUsername = proxy.ProxyUsername;
  p.ProxyPassword = proxy.ProxyPassword;

  const std::optional<int32_t> zoom = platform::ParseInteger(controls.Zoom);

  if (controls.Source) {
    p.MapsType = task::kMapUserSource;
    p.Source = controls.Source;
    p.SourceSecret = controls.SourceSecret;
  } else if (controls.Nearmap) {
    if (const std::string problem = task::NearmapProblem(*controls.Nearmap); !problem.empty()) return Refuse(problem);
    p.MapsType = task::kMapNearmapApi;
    p.Nearmap = controls.Nearmap;
    p.Source = task::NearmapSource(controls.NearmapAccount, *controls.Nearmap);
    p.SourceSecret = controls.SourceSecret;
  } else {
    p.MapsType = task::MapsTypeFromListPosition(controls.MapsTypePosition);
  }
  if (p.MapsType == 0) return Refuse("Please select a map type.");
  p.HistoryDate = controls.HistoryDate;

  if (controls.SavePath.empty()) return Refuse("Please select a path to save the images.");
  // A failed-tile record is cut at its first "|": a tile's path must hold none.
  if (controls.SavePath.find('|') != std::string::npos) return Refuse(kBarInPath);
  // Created before the coordinates are looked at: a later refusal leaves it.
  if (createFolder && !platform::DirectoryExists(controls.SavePath) && !platform::CreateDir(controls.SavePath)) {
    ControlsCheck refusal = Refuse("Create directory " + controls.SavePath + " Failed.");
    refusal.SystemReason = platform::SystemErrorWords(errno);
    return refusal;
  }
  p.SavePath = controls.SavePath;
  if (p.SavePath.back() != platform::kPathSeparator) p.SavePath += platform::kPathSeparator;

  const AreaCheck area =
      ReadArea(controls.LeftLongitude, controls.RightLongitude, controls.TopLatitude, controls.BottomLatitude);
  if (!area.Area) return Refuse(area.Message);
  p.LeftLongitude = area.Area->West;
  p.RightLongitude = area.Area->East;
  p.TopLatitude = area.Area->North;
  p.BottomLatitude = area.Area->South;

  // The up-down control keeps the zoom in range, but a task file opened from
  // disk can bring any text; refuse it here rather than in the grid math.
  if (!zoom || *zoom < task::kMinZoom || *zoom > task::kMaxZoom) return Refuse(task::kZoomRangeMessage);
  p.Zoom = *zoom;
  if (p.Source && (p.Zoom < p.Source->MinZoom || p.Zoom > p.Source->MaxZoom)) {
    return Refuse(task::SourceZoomMessage(*p.Source));
  }

  // A source's usage policy may allow fewer workers.
  p.ThreadCount = WorkersFor(p.Source);
  p.ThreadSlots = 8;

  p.TaskName = controls.TaskName;
  if (p.TaskName.find('|') != std::string::npos) return Refuse(kBarInPath);
  if (platform::ExtractFileExt(p.TaskName) != task::kTaskFileExtension) p.TaskName += task::kTaskFileExtension;

  p.ContinueTask = false;
  return ControlsCheck{std::move(p), ""};
}

bool ShouldContinueTask(const TaskControls& controls, const task::TaskParameters& parameters) {
  const std::string taskFile = parameters.SavePath + parameters.TaskName;
  // A part compares with its own file, where its positions are.
  const std::string ownFile = task::TaskFileOf(parameters);
  if (!platform::FileExists(ownFile)) return false;

  const task::StoredTask stored = task::TaskFile(ownFile).Read(100);

  // The coordinates are compared as typed, so that only a task reopened from
  // its file (which copies the stored texts into the edits) continues.
  return stored.MapsType == parameters.MapsType && stored.LeftLongitude == controls.LeftLongitude &&
         stored.RightLongitude == controls.RightLongitude && stored.TopLatitude == controls.TopLatitude &&
         stored.BottomLatitude == controls.BottomLatitude &&
         platform::FormatInteger(stored.Zoom) == platform::FormatInteger(parameters.Zoom) &&
         platform::ExtractFilePath(taskFile) == parameters.SavePath &&
         platform::ExtractFileName(taskFile) == controls.TaskName && stored.HistoryDate == controls.HistoryDate &&
         stored.Nearmap == parameters.Nearmap &&
         // The API's source follows the settings (its address, pace); the
         // task file keeps what the task fetches.
         (parameters.Nearmap || stored.Source == parameters.Source);
}

}  // namespace run
