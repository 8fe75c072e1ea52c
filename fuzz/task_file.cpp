// A task file opened as "Open task" opens it, and the task Start builds.
// Input: the bytes of a task file.
//
// The keys are read as the window's open command reads them into its
// controls, the controls go through Start's checks (run::ReadTaskControls,
// run::ShouldContinueTask) and, when they pass, the task is built: once
// continuing the opened file, once anew in an empty folder with its writers.
// Invariants: the tile range lies in the grid 0 .. 2^zoom - 1 and
// TotalImages counts it; a continued task resumes from the file's positions
// and leaves the file alone; a task file the program wrote reopens as a task
// to continue, before and after the timer saved positions into it, and the
// reopened task resumes from those; the extent list has its header and one
// line per tile in walk order, file name length + 85 long, as ExtentLine
// gives it; the log begins with the header lines and never shows the proxy
// password; the failed list is empty; a failed record splits back at its
// first "|" into the tile's path and URL, and holds no other "|" unless the
// history date brings one; no temporary file stays.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/platform/Files.h"
#include "core/platform/Numbers.h"
#include "core/run/TaskControls.h"
#include "core/run/ConfigFile.h"
#include "core/settings/IniFile.h"
#include "core/task/TaskFiles.h"
#include "core/task/Unitclasstask.h"
#include "fuzz/FuzzSupport.h"

namespace {

using fuzz::Quote;

constexpr const char* kTaskName = "task.otsk";
constexpr const char* kPassword = "pw-9f3c2a71e5";  // longer than the date field: never in the log by chance

std::string PositionKey(int slot, const char* axis) {
  return "T" + platform::FormatInteger(slot + 1) + axis;
}

// The controls after the open command: the stored texts copied into the
// edits (the date field holds at most 8 characters), a map type none of the
// three leaving the list at its first entry, the path split into folder and
// task name.
run::TaskControls OpenTask(const std::string& path) {
  const settings::IniFile file(path);
  run::TaskControls controls;
  controls.LeftLongitude = file.ReadString("AREA", "LeftLongitude", "");
  controls.RightLongitude = file.ReadString("AREA", "RightLongitude", "");
  controls.TopLatitude = file.ReadString("AREA", "TopLatitude", "");
  controls.BottomLatitude = file.ReadString("AREA", "BottomLatitude", "");
  controls.SavePath = platform::ExtractFilePath(path);
  controls.TaskName = platform::ExtractFileName(path);
  controls.MapsTypePosition = std::max(0, task::ListPositionFromMapsType(file.ReadInteger("MapsType", "MapsType", 0)));
  controls.HistoryDate = file.ReadString("MapsType", "HistoryDate", "").substr(0, 8);
  controls.Zoom = platform::FormatInteger(file.ReadInteger("Zoom", "Zoom", 0));
  return controls;
}

std::string Describe(const task::TaskParameters& p) {
  return "zoom " + std::to_string(p.Zoom) + ", map " + std::to_string(p.MapsType) + ", left " +
         platform::FormatGeneral(p.LeftLongitude, '.') + ", right " + platform::FormatGeneral(p.RightLongitude, '.') +
         ", top " + platform::FormatGeneral(p.TopLatitude, '.') + ", bottom " +
         platform::FormatGeneral(p.BottomLatitude, '.') + ", date " + Quote(p.HistoryDate);
}

void CheckRange(const task::MDTask& task) {
  const int64_t last = (int64_t{1} << task.Zoom()) - 1;
  const auto inGrid = [last](int32_t low, int32_t high) { return 0 <= low && low <= high && high <= last; };
  FUZZ_CHECK(inGrid(task.MinX, task.MaxX) && inGrid(task.MinY, task.MaxY),
             "tiles " + std::to_string(task.MinX) + ".." + std::to_string(task.MaxX) + " x " +
                 std::to_string(task.MinY) + ".." + std::to_string(task.MaxY) + " for " + Describe(task.Record()));
  FUZZ_CHECK(task.TotalImages == task.Range().Count(), Describe(task.Record()));
}

// The resume positions are the file's [THREADS] keys of the run's slots.
void CheckResume(const task::MDTask& task, const task::RunSettings& run) {
  const settings::IniFile file(task.TaskFileName());
  for (int slot = 0; slot < run.ThreadCount; ++slot) {
    const task::TilePosition stored{file.ReadInteger("THREADS", PositionKey(slot, "X"), 0),
                                    file.ReadInteger("THREADS", PositionKey(slot, "Y"), 0)};
    FUZZ_CHECK(task.Resume(slot) == stored, "slot " + std::to_string(slot) + " of " + Describe(task.Record()));
  }
}

// The opened task continued: positions from its file, which stays as it
// was; the log gets the continuation block.
void ContinueOpened(const task::TaskParameters& parameters, const task::RunSettings& run,
                    const task::TaskOptions& options) {
  const task::MDTask task = task::TaskOfRun(parameters, run, options);
  CheckRange(task);
  CheckResume(task, run);
  const std::string before = fuzz::ReadBytes(task.TaskFileName());
  fuzz::WriteBytes(task.LogFileName, "earlier run\r\n");
  task::WriteTaskFile(task, run);
  task::WriteExtentList(task, run);
  task::WriteLogHeader(task, run);
  task::CreateFailedList(task, run);
  FUZZ_CHECK(fuzz::ReadBytes(task.TaskFileName()) == before, "continuing rewrote the task file");
  const std::vector<std::string> log = platform::ReadTextLines(task.LogFileName);
  FUZZ_CHECK(log.size() == 4 && log[0] == "earlier run" && log[2] == "Log continue...",
             "continued log " + Quote(fuzz::ReadBytes(task.LogFileName)));
  FUZZ_CHECK(!std::filesystem::exists(task.ListFileName) && !std::filesystem::exists(task.FailedListFileName),
             "continuing wrote an extent or failed list");
}

void CheckExtentList(const task::MDTask& task) {
  const std::vector<std::string> lines = platform::ReadTextLines(task.ListFileName);
  FUZZ_CHECK(lines.size() == static_cast<std::size_t>(task.TotalImages) + 1 && lines[0] == task::kExtentListHeader,
             std::to_string(lines.size()) + " lines for " + std::to_string(task.TotalImages) + " tiles");
  for (int64_t walk = 1; walk <= task.TotalImages; ++walk) {
    const task::TilePosition tile = task.Range().AtWalkNumber(walk);
    const std::string& line = lines[static_cast<std::size_t>(walk)];
    const std::string name = task.TileFileName(tile.X, tile.Y);
    FUZZ_CHECK(line.size() == name.size() + 85 && line.compare(0, name.size() + 2, name + ": ") == 0 &&
                   line == task::ExtentLine(task, tile.X, tile.Y),
               "extent line " + Quote(line) + " for " + name);
  }
}

// The failed list is read back by cutting each record at its first "|", so
// the path must hold none. The history date goes into the URL as it stands,
// whatever it holds: only a date without "|" keeps the record at one "|".
void CheckFailedRecord(const task::MDTask& task, task::TilePosition tile) {
  const std::string record = task::FailedRecord(task, tile.X, tile.Y);
  const auto [path, url] = task::SplitFailedRecord(record);
  const bool oneBar = std::count(record.begin(), record.end(), '|') == 1;
  FUZZ_CHECK(path == task.TileFilePath(tile.X, tile.Y) && url == task.TileURL(tile.X, tile.Y) &&
                 (oneBar || task.Spec().Date.find('|') != std::string::npos),
             "failed record " + Quote(record));
}

// Reopens the task file as the open command and Start would, and builds the
// task that continues it.
void CheckReopensToContinue(const std::string& taskFile, const run::ProxySettings& proxy,
                            const task::TaskOptions& options, const std::vector<task::TilePosition>& saved) {
  const run::TaskControls controls = OpenTask(taskFile);
  const run::ControlsCheck check = run::ReadTaskControls(controls, proxy);
  FUZZ_CHECK(check.Parameters, "the written task file is refused: " + check.Message + " in " +
                                   Quote(fuzz::ReadBytes(taskFile)));
  const task::TaskParameters& parameters = *check.Parameters;
  task::RunSettings run = check.Run;
  run.ContinueTask = run::ShouldContinueTask(controls, parameters);
  FUZZ_CHECK(run.ContinueTask, "the written task file does not continue: " + Quote(fuzz::ReadBytes(taskFile)));
  const task::MDTask reopened = task::TaskOfRun(parameters, run, options);
  for (std::size_t slot = 0; slot < saved.size(); ++slot) {
    FUZZ_CHECK(reopened.Resume(static_cast<int32_t>(slot)) == saved[slot],
               "slot " + std::to_string(slot) + " does not resume from its saved tile");
  }
}

// The task of the opened controls started anew in an empty folder.
void StartAnew(const run::TaskControls& opened, const run::ProxySettings& proxy, const task::TaskOptions& options) {
  run::TaskControls controls = opened;
  controls.SavePath = fuzz::ScratchFolder() + "anew";
  const run::ControlsCheck check = run::ReadTaskControls(controls, proxy);
  FUZZ_CHECK(check.Parameters, "refused in another folder: " + check.Message);
  const task::TaskParameters& parameters = *check.Parameters;
  task::RunSettings run = check.Run;
  run.ContinueTask = run::ShouldContinueTask(controls, parameters);
  FUZZ_CHECK(!run.ContinueTask, "a task without a file continues");

  const task::MDTask task = task::TaskOfRun(parameters, run, options);
  CheckRange(task);
  if (task.TotalImages < run.ThreadCount) run.ThreadCount = task.TotalImages;
  const bool withExtentList = task.TotalImages <= 4096;
  // What the run does before its files: the image folder.
  task.CreateImageFolder();
  task::WriteTaskFile(task, run);
  if (withExtentList) task::WriteExtentList(task, run);
  task::WriteLogHeader(task, run);
  task::CreateFailedList(task, run);

  if (withExtentList) CheckExtentList(task);
  const std::vector<std::string> log = platform::ReadTextLines(task.LogFileName);
  std::vector<std::string> header = task::LogHeaderLines(task, run);
  FUZZ_CHECK(log.size() == header.size(), "log of " + std::to_string(log.size()) + " lines");
  header[1] = log[1];  // the time it was written
  FUZZ_CHECK(log == header, "log header " + Quote(fuzz::ReadBytes(task.LogFileName)));
  FUZZ_CHECK(fuzz::ReadBytes(task.LogFileName).find(kPassword) == std::string::npos, "the log shows the password");
  FUZZ_CHECK(fuzz::ReadBytes(task.FailedListFileName).empty(), "the failed list is not empty");
  CheckFailedRecord(task, {task.MinX, task.MinY});
  CheckFailedRecord(task, {task.MaxX, task.MaxY});

  std::vector<std::string> expectedFiles = {"task", "task.otsk", "task_failed.ftl", "task_log.txt"};
  if (withExtentList) expectedFiles.insert(expectedFiles.end() - 1, "task_list.txt");  // sorted
  FUZZ_CHECK(fuzz::FolderEntries(parameters.SavePath) == expectedFiles, "other files beside the task");

  CheckReopensToContinue(task.TaskFileName(), proxy, options, {});
  // The timer saves each slot's last finished tile, only values above 0.
  std::vector<task::TilePosition> saved;
  settings::IniFile taskFile(task.TaskFileName());
  for (int slot = 0; slot < run.ThreadCount; ++slot) {
    const task::TilePosition tile = task.Range().AtWalkNumber(std::min<int64_t>(slot + 1, task.TotalImages));
    if (tile.X > 0) taskFile.WriteInteger("THREADS", PositionKey(slot, "X"), tile.X);
    if (tile.Y > 0) taskFile.WriteInteger("THREADS", PositionKey(slot, "Y"), tile.Y);
    saved.push_back(tile);  // a 0 stays unwritten and reads as the default 0
  }
  CheckReopensToContinue(task.TaskFileName(), proxy, options, saved);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::EmptyScratchFolder();
  const std::string folder = fuzz::ScratchFolder() + "opened/";
  std::filesystem::create_directory(folder);
  fuzz::WriteBytes(folder + kTaskName, std::string_view(reinterpret_cast<const char*>(data), size));

  // Both desktop decimal marks, with and without a proxy in the log.
  const task::TaskOptions options{task::kTileServerHost, size % 2 == 0 ? '.' : ','};
  run::ProxySettings proxy;
  if (size % 3 == 0) proxy = {true, "proxy.example", "8080", "user", kPassword};

  const run::TaskControls controls = OpenTask(folder + kTaskName);
  const run::ControlsCheck check = run::ReadTaskControls(controls, proxy);
  if (!check.Parameters) {
    FUZZ_CHECK(!check.Message.empty(), "refused without a message");
    return 0;
  }
  const task::TaskParameters& parameters = *check.Parameters;
  task::RunSettings run = check.Run;
  run.ContinueTask = run::ShouldContinueTask(controls, parameters);
  try {
    const task::MDTask probe = task::TaskOfRun(parameters, run, options);
  } catch (const task::TaskCreateError& error) {
    // Too many tiles for one task: refused with a message. Past this point
    // the same parameters must build every task.
    FUZZ_CHECK(*error.what() != '\0', "a task refused without a message");
    return 0;
  }
  if (run.ContinueTask) ContinueOpened(parameters, run, options);
  StartAnew(controls, proxy, options);
  return 0;
}
