#include "core/run/TaskControls.h"

#include <cerrno>

#include <algorithm>
#include <functional>

#include "core/download/NearmapCoverage.h"
#include "core/platform/Files.h"
#include "core/platform/Locale.h"
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

task::TilePosition MiddleTile(const task::LonLatBox& box, int32_t zoom) {
  return task::TilePosition{task::LongitudeToTileX((box.West + box.East) / 2, zoom),
                            task::LatitudeToTileY((box.North + box.South) / 2, zoom)};
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

namespace {

// Start's checks after the map type, in Start's order: the save folder, the
// area (area() reads and checks it), the zoom, the task name.
SpecCheck CheckInOrder(task::TaskSpec spec, const std::function<AreaCheck()>& area, std::optional<int32_t> zoom,
                       bool createFolder) {
  const auto refuse = [](std::string message) { return SpecCheck{std::nullopt, std::move(message)}; };
  if (const auto* nearmap = std::get_if<task::NearmapImagery>(&spec.Imagery)) {
    if (const std::string problem = task::NearmapProblem(*nearmap); !problem.empty()) return refuse(problem);
  }
  if (task::MapsTypeOf(spec.Imagery) == 0) return refuse("Please select a map type.");

  std::string& folder = spec.Folder;
  if (folder.empty()) return refuse("Please select a path to save the images.");
  // A failed-tile record is cut at its first "|": a tile's path must hold none.
  if (folder.find('|') != std::string::npos) return refuse(kBarInPath);
  // Created before the coordinates are looked at: a later refusal leaves it.
  if (createFolder && !platform::DirectoryExists(folder) && !platform::CreateDir(folder)) {
    SpecCheck refusal = refuse("Create directory " + folder + " Failed.");
    refusal.SystemReason = platform::SystemErrorWords(errno);
    return refusal;
  }
  if (folder.back() != platform::kPathSeparator) folder += platform::kPathSeparator;

  const AreaCheck checked = area();
  if (!checked.Area) return refuse(checked.Message);
  spec.Area.Box = *checked.Area;
  // A shape is refused as its box would be: beyond the grid, or across the
  // 180th meridian (its points then pass 180 degrees).
  if (spec.Area.Shape) {
    if (spec.Area.Shape->Empty()) return refuse("The task's shape has no polygon.");
    const task::LonLatBox bounds = task::BoundsOf(*spec.Area.Shape);
    if (std::string problem = AreaProblem(bounds.West, bounds.East, bounds.North, bounds.South); !problem.empty()) {
      return refuse(std::move(problem));
    }
  }

  // The up-down control keeps the zoom in range, but a task file opened from
  // disk can bring any text; refuse it here rather than in the grid math.
  if (!zoom || *zoom < task::kMinZoom || *zoom > task::kMaxZoom) return refuse(task::kZoomRangeMessage);
  spec.Zooms = task::ZoomLevels::One(*zoom);
  const std::optional<task::TileSource> source = task::RecordOf(spec).Source;
  if (source && (*zoom < source->MinZoom || *zoom > source->MaxZoom)) return refuse(task::SourceZoomMessage(*source));

  if (spec.Name.find('|') != std::string::npos) return refuse(kBarInPath);
  if (platform::ExtractFileExt(spec.Name) != task::kTaskFileExtension) spec.Name += task::kTaskFileExtension;
  return SpecCheck{std::move(spec), ""};
}

}  // namespace

task::Imagery ImageryOf(const TaskControls& controls) {
  // The API's and a source's own fields first: Start pins a survey there.
  if (controls.Nearmap) return *controls.Nearmap;
  if (controls.Source) return *controls.Source;
  if (controls.Imagery) return *controls.Imagery;
  return task::BuiltInMap{task::MapsTypeFromListPosition(controls.MapsTypePosition)};
}

SpecCheck ReadTaskSpec(const TaskControls& controls, bool createFolder) {
  task::TaskSpec spec;
  spec.Imagery = ImageryOf(controls);
  spec.Date = controls.HistoryDate;
  spec.Folder = controls.SavePath;
  spec.Name = controls.TaskName;
  spec.Area.Shape = controls.Shape;
  const auto area = [&controls] {
    return ReadArea(controls.LeftLongitude, controls.RightLongitude, controls.TopLatitude, controls.BottomLatitude);
  };
  return CheckInOrder(std::move(spec), area, platform::ParseInteger(controls.Zoom), createFolder);
}

SpecCheck CheckTaskSpec(task::TaskSpec spec, bool createFolder) {
  const task::LonLatBox box = spec.Area.Box;
  const auto area = [&box] {
    std::string problem = AreaProblem(box.West, box.East, box.North, box.South);
    return problem.empty() ? AreaCheck{box, ""} : AreaCheck{std::nullopt, std::move(problem)};
  };
  // One level a task, for now.
  std::optional<int32_t> zoom;
  if (spec.Zooms.From == spec.Zooms.To) zoom = spec.Zooms.From;
  return CheckInOrder(std::move(spec), area, zoom, createFolder);
}

task::RunSettings RunSettingsOf(const task::TaskSpec& spec, const task::NearmapAccount& account,
                                const std::string& secret, const run::ProxySettings& proxy) {
  const std::optional<task::TileSource> source = task::TileSourceOf(spec.Imagery, account);
  task::RunSettings run;
  run.Proxy = proxy;
  if (source) run.SourceSecret = secret;
  // A source's usage policy may allow fewer workers.
  run.ThreadCount = WorkersFor(source);
  run.ThreadSlots = 8;
  run.ContinueTask = false;
  return run;
}

ControlsCheck ReadTaskControls(const TaskControls& controls, const run::ProxySettings& proxy,
                               bool createFolder) {
  const SpecCheck check = ReadTaskSpec(controls, createFolder);
  if (!check.Spec) {
    ControlsCheck refusal = Refuse(check.Message);
    refusal.SystemReason = check.SystemReason;
    return refusal;
  }
  task::TaskParameters p = task::RecordOf(*check.Spec, controls.NearmapAccount);
  // A part is numbered by the caller.
  p.PartIndex = 0;
  p.PartCount = 0;
  ControlsCheck checked{std::move(p), ""};
  checked.Run = RunSettingsOf(*check.Spec, controls.NearmapAccount, controls.SourceSecret, proxy);
  return checked;
}

namespace {

// Whether the task file's shape is parameters' (neither has one, or both the
// same polygons); a shape file that cannot be read is no match.
bool SameStoredShape(const std::string& taskFile, const task::StoredTask& stored,
                     const task::TaskParameters& parameters) {
  if (stored.ShapeFile.empty() || !parameters.AreaShape) return stored.ShapeFile.empty() && !parameters.AreaShape;
  try {
    return task::SameShape(task::TaskFile(taskFile).ReadShape(stored), parameters.AreaShape);
  } catch (const task::ShapeFileError&) {
    return false;
  }
}

}  // namespace

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
         (parameters.Nearmap || stored.Source == parameters.Source) && SameStoredShape(ownFile, stored, parameters);
}

}  // namespace run

namespace run {

bool ShouldContinueTask(const task::TaskSpec& spec, const task::TaskParameters& parameters) {
  TaskControls stored;
  const char mark = platform::DesktopDecimalSeparator();
  stored.LeftLongitude = platform::FormatGeneral(spec.Area.Box.West, mark);
  stored.RightLongitude = platform::FormatGeneral(spec.Area.Box.East, mark);
  stored.TopLatitude = platform::FormatGeneral(spec.Area.Box.North, mark);
  stored.BottomLatitude = platform::FormatGeneral(spec.Area.Box.South, mark);
  stored.TaskName = spec.Name;
  stored.HistoryDate = spec.Date;
  return ShouldContinueTask(stored, parameters);
}

}  // namespace run
