#include "core/run/OpenedTask.h"

#include <algorithm>
#include <filesystem>

#include "core/platform/FileBytes.h"
#include "core/platform/Files.h"
#include "core/platform/Numbers.h"
#include "core/task/TaskFile.h"

namespace run {

namespace {

// Far more than the longest task file (its tile source included): a larger
// file is some other file, and is not read whole to find that out.
constexpr uint64_t kMaxTaskFileBytes = uint64_t{1} << 20;

}  // namespace

void CheckIsTaskFile(const std::string& path) {
  const platform::FileBytes file(path, 0);
  if (file.What() == platform::FileBytes::Kind::Failed) throw OpenTaskError("Cannot open file " + path + ": " + file.ErrorText());
  if (file.What() == platform::FileBytes::Kind::Other) {
    throw OpenTaskError("Cannot open file " + path + ": " + platform::kNotRegularFile);
  }
  if (file.What() != platform::FileBytes::Kind::Regular) throw OpenTaskError("Cannot open file " + path);
  const std::string notATask = path + " is not a task file: ";
  if (file.Size() == 0) throw OpenTaskError(notATask + "it is empty");
  if (file.Size() > kMaxTaskFileBytes) throw OpenTaskError(notATask + "it is larger than 1 MB");
  if (!task::TaskFile(path).HasArea()) {
    throw OpenTaskError(notATask + "it has no [AREA] section with the task's longitudes and latitudes");
  }
}

TaskControls ControlsFromTaskFile(const std::string& path) {
  const task::TaskFile file(path);
  const task::StoredTask stored = file.Read(0);
  TaskControls controls;
  try {
    controls.Shape = file.ReadShape(stored);
  } catch (const task::ShapeFileError& error) {
    throw OpenTaskError(error.what());
  }
  controls.LeftLongitude = stored.LeftLongitude;
  controls.RightLongitude = stored.RightLongitude;
  controls.TopLatitude = stored.TopLatitude;
  controls.BottomLatitude = stored.BottomLatitude;
  controls.SavePath = platform::ExtractFilePath(path);
  controls.TaskName = platform::ExtractFileName(path);
  // The date field keeps what fits into it.
  controls.HistoryDate = stored.HistoryDate.substr(0, kHistoryDateLength);
  controls.MapsTypePosition = task::ListPositionFromMapsType(stored.MapsType);
  if (stored.MapsType == task::kMapUserSource) controls.Source = stored.Source;
  controls.Nearmap = stored.Nearmap;
  // A kind the window's list does not name by position comes whole.
  if (stored.Imagery && controls.MapsTypePosition < 0 && !controls.Source && !controls.Nearmap) {
    controls.Imagery = stored.Imagery;
  }
  controls.Zoom = platform::FormatInteger(stored.Zoom);
  return controls;
}

std::string StoredImageryProblem(const TaskControls& controls) {
  if (controls.Source) {
    if (std::string problem = task::SourceProblem(*controls.Source); !problem.empty()) return problem;
  }
  if (controls.Nearmap) return task::NearmapProblem(*controls.Nearmap);
  return {};
}

OpenedTask::OpenedTask(task::TaskParameters parameters, task::RunSettings run, const task::TaskOptions& options)
    : Parameters(std::move(parameters)),
      Run(std::move(run)),
      Task(Parameters, options, task::ReadResumePositions(Parameters, Run.ThreadCount)) {}

std::unique_ptr<OpenedTask> OpenedTask::Open(const std::string& givenPath, int32_t part, int32_t parts) {
  // A name without a folder is in the current one, as the task's own files.
  const std::string path = std::filesystem::absolute(givenPath).lexically_normal().string();
  CheckIsTaskFile(path);
  TaskControls controls = ControlsFromTaskFile(path);
  const bool knownMapType = controls.MapsTypePosition >= 0 || controls.Source || controls.Nearmap || controls.Imagery;
  // As the window would after Open task: its first map type still selected.
  controls.MapsTypePosition = std::max(controls.MapsTypePosition, 0);
  const ControlsCheck check = ReadTaskControls(controls, run::ProxySettings{}, /*createFolder=*/false);
  if (!check.Parameters) throw OpenTaskError(check.Message);
  if (!knownMapType) throw OpenTaskError("Unknown map type in the task file " + path);
  task::TaskParameters parameters = *check.Parameters;
  // Its own positions, as a continued Start would read them.
  task::RunSettings run = check.Run;
  run.ContinueTask = true;
  parameters.PartIndex = part;
  parameters.PartCount = parts;
  try {
    return std::unique_ptr<OpenedTask>(new OpenedTask(std::move(parameters), std::move(run), task::TaskOptions{}));
  } catch (const task::TaskCreateError& error) {
    throw OpenTaskError(error.what());
  }
}

}  // namespace run
