#include "cli/Commands.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>

#include "cli/Census.h"
#include "cli/Parts.h"
#include "consolekit/ExitStatus.h"
#include "consolekit/Failure.h"
#include "consolekit/StopSignals.h"
#include "core/area/VectorFile.h"
#include "core/download/HttpClient.h"
#include "core/ftl/FailedTileRun.h"
#include "core/platform/Files.h"
#include "core/platform/MainThreadQueue.h"
#include "core/platform/Numbers.h"
#include "core/run/Job.h"
#include "core/run/OpenedTask.h"
#include "core/run/RunController.h"
#include "core/run/Start.h"
#include "core/run/Surveys.h"
#include "core/run/TaskControls.h"
#include "core/run/TaskEstimate.h"
#include "core/run/TaskInTheWay.h"
#include "core/run/Catalogue.h"
#include "core/run/ConfigFile.h"
#include "core/run/NewTask.h"
#include "core/task/Unitclasstask.h"

namespace cli {

using namespace consolekit;

namespace {

using Clock = std::chrono::steady_clock;


// A message of the window's checks, exactly as the window shows it.
void PrintMessage(const std::string& text) { std::fputs((text + "\n").c_str(), stderr); }

std::string Decimal(int64_t value) { return platform::FormatInteger(value); }

// Prints the log lines of a run as they come (-v).
class LinePrinter final : public run::RunObserver {
 public:
  LinePrinter(Verbosity verbosity, ProgressLine& progress) : verbose_(verbosity == Verbosity::Verbose), progress_(progress) {}
  void Attach(const run::RunController& run) { run_ = &run; }

  void LogLinesAdded(std::size_t count) override {
    if (!verbose_ || run_ == nullptr) return;
    progress_.Clear();
    const std::vector<std::string>& lines = run_->LogLines().Lines();
    for (std::size_t i = lines.size() - count; i < lines.size(); ++i) std::fputs((lines[i] + "\n").c_str(), stdout);
    std::fflush(stdout);
  }
  void FailedLinesAdded(std::size_t) override {}

 private:
  bool verbose_;
  ProgressLine& progress_;
  const run::RunController* run_ = nullptr;
};

// Runs a started run to its end, serving its workers and ticking it once a
// second as the window's timer does; returns the exit status.
int DriveToEnd(run::RunController& run, platform::MainThreadQueue& queue, const Context& context,
               ProgressLine& progress, const std::optional<std::string>& jsonPath, int64_t maxTiles) {
  InstallStopSignals();
  const Clock::time_point start = Clock::now();
  const auto elapsed = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
  run.StartWorkers();
  Clock::time_point nextTick = start + std::chrono::seconds(1);
  bool stopped = false;
  std::optional<run::CloseReport> closed;
  while (!closed) {
    const auto wait = std::clamp(std::chrono::duration_cast<std::chrono::milliseconds>(nextTick - Clock::now()),
                                 std::chrono::milliseconds(0), std::chrono::milliseconds(100));
    queue.WaitForPending(wait);
    queue.RunPending();
    if (!stopped && StopSignalsReceived() > 0) {
      progress.Clear();
      run.Stop();
      stopped = true;
    }
    // Once every worker has ended, the run closes at once rather than at the
    // next second.
    if (Clock::now() < nextTick && run.RunningThreads() > 0) continue;
    nextTick += std::chrono::seconds(1);
    try {
      closed = run.Tick();
    } catch (const std::exception& error) {
      // The periodic save failed; the next one tries again.
      progress.Clear();
      PrintError(platform::FailureText(error));
    }
    if (!closed) progress.Update(run.Counters(), elapsed());
  }
  progress.Finish();
  // What the run could not keep: its last saves, or tiles the workers could
  // not write. Either is a failure of the system, whatever else the run did.
  const bool systemFailed = !closed->FirstFailure.empty() || !run.SystemFailure().empty();
  if (!closed->FirstFailure.empty()) PrintError(platform::WithReason(closed->FirstFailure, closed->Reason));

  Summary summary;
  summary.Task = run.Task().TaskFileName();
  summary.Counters = run.Counters();
  summary.ElapsedSeconds = elapsed();
  summary.Interrupted = stopped;
  summary.GivenUpReasons = run.GivenUpReasons();
  summary.StopMessages = run.StopMessages();
  const run::RunCounters& counters = summary.Counters;
  if (counters.CappedWorkers > 0) {
    summary.StopMessages.push_back("the run fetched the " + Decimal(maxTiles) +
                                   " tiles --max-tiles allows; the next run continues");
  }
  AddCensus(summary, run.Task(), run.Settings().ThreadCount, context.ProgramFolder);
  // The task decides, not the run: holes left by earlier runs count.
  const bool holes = summary.Census ? summary.Census->Holes() > 0 : counters.GivenUp > 0 || counters.NotTried > 0;
  summary.ExitStatus = stopped                       ? kExitInterrupted
                       : systemFailed                ? kExitSystemFailure
                       : counters.RefusedWorkers > 0 ? kExitStopped
                       : holes                       ? kExitIncomplete
                                                     : kExitComplete;
  PrintSummary(kProgram, context.Verbose, SummaryText(summary));
  if (jsonPath) {
    try {
      WriteJson(*jsonPath, SummaryJson(summary));
    } catch (const std::exception& error) {
      return ReportFailure(error);
    }
  }
  return summary.ExitStatus;
}

void PrintDryRun(const task::MDTask& task, const task::RunSettings& settings, const std::string& programFolder) {
  run::TaskEstimate e = run::EstimateTask(task, settings);
  // A continued task whose every tile is there fetches nothing at all.
  if (e.Continued && TakeCensus(task, programFolder, 0).Counts.Holes() == 0) {
    e.TilesLeft = 0;
    e.Seconds = 0;
    e.TileBytes = 0;
  }
  std::string text = "Task: " + task.TaskFileName() + (e.Continued ? " (continued from its saved positions)" : "") + "\n";
  text += "Tiles: " + Decimal(e.Tiles) + (e.Shaped ? " of the shape (its box " + Decimal(e.Range.Count()) + ": " : " (") +
          "columns " + Decimal(e.Range.MinX) + " to " + Decimal(e.Range.MaxX) + ", rows " + Decimal(e.Range.MinY) +
          " to " + Decimal(e.Range.MaxY) + ", zoom " + Decimal(e.Zoom) + ")";
  text += e.Continued ? ", " + Decimal(e.TilesLeft) + " to fetch" +
                            (e.TilesLeft == 0 ? " (every tile is saved or blank)\n" : "\n")
                      : "\n";
  if (const task::NearmapImagery* imagery = task.Nearmap()) {
    text += "Imagery: " + (imagery->SurveyId.empty()
                               ? std::string("the latest of every place")
                               : "survey " + imagery->SurveyId + " captured " + imagery->SurveyDate +
                                     (task.Spec().Date.empty()
                                          ? std::string()
                                          : " (the newest on or before " + task.Spec().Date + ")")) +
            ", " + imagery->Direction + "\n";
  }
  text += "Disk: about " + run::ByteSizeText(e.DiskBytes()) + " (tiles at about " +
          run::ByteSizeText(run::kTypicalTileBytes) + " each, extent list " + run::ByteSizeText(e.ListBytes) +
          ", log " + run::ByteSizeText(e.LogBytes) + ")\n";
  if (e.Paced()) {
    text += "Time: at least " + platform::FormatDuration(e.Seconds) + " at the program's pace (" + Decimal(e.Workers) +
            " workers, a pause of " + Decimal(e.AfterTileMs) + " ms after each tile)\n";
  } else {
    text += std::string("Time: ") + run::kUnpacedTime + " (" + Decimal(e.Workers) + " workers)\n";
  }
  std::fputs(text.c_str(), stdout);
}

}  // namespace

namespace {

// The task of a request whose area is numbers: the controls' other texts
// read as the window reads them.
// The task's shape of a vector file: its polygons, or its lines and points
// grown by a margin. A file of lines or points only, without a margin, has no
// shape: its task is the box of its features. Throws area::VectorFileError.
std::shared_ptr<const task::Shape> AreaFileShape(const std::string& file, double margin) {
  try {
    return std::make_shared<const task::Shape>(area::ReadVectorFileShape(file, margin));
  } catch (const area::VectorFileError&) {
    if (margin > 0) throw;
    return nullptr;
  }
}

task::TaskSpec SpecOfRequest(const StartRequest& request) {
  const run::TaskControls& c = request.Controls;
  task::TaskSpec spec;
  spec.Name = c.TaskName;
  spec.Folder = c.SavePath;
  spec.Area.Box = *request.Box;
  spec.Area.Shape = request.Shape;
  // No number reads as a zoom Start refuses.
  spec.Zooms = task::ZoomLevels::One(platform::ParseInteger(c.Zoom).value_or(0));
  spec.Part = request.Part;
  spec.Imagery = run::ImageryOf(c);
  spec.Date = c.HistoryDate;
  return spec;
}

}  // namespace

int StartTask(StartRequest request, const Context& context) {
  const run::ConfigFile config(context.ConfigPath);
  const run::ControlsCheck check = request.Box ? run::CheckStart(SpecOfRequest(request), config, !request.DryRun)
                                               : run::CheckStart(request.Controls, config, request.Part, !request.DryRun);
  if (!check.Parameters) {
    PrintMessage(platform::WithReason(check.Message, check.SystemReason));
    if (!check.SystemReason.empty()) return kExitSystemFailure;
    return check.ServiceFailed ? kExitStopped : kExitUsage;
  }
  const task::TaskParameters& record = *check.Parameters;
  task::RunSettings settings = check.Run;
  // The same task in other texts of its numbers goes on, as in the window
  // (--force starts it anew).
  if (!request.Replace && run::SameTaskInOtherTexts(record, settings)) settings.ContinueTask = true;
  if (!request.Replace && !request.DryRun && run::ReplacesAnotherTask(record, settings)) {
    PrintError(task::TaskFileOf(record) +
               " holds another task; its positions and lists would be lost. Choose another --name or --folder, "
               "or add --force to replace it.");
    return kExitUsage;
  }
  if (request.Fill && !settings.ContinueTask) {
    PrintError("The task file does not describe the task its files were made for: " + task::TaskFileOf(record));
    return kExitUsage;
  }

  platform::MainThreadQueue queue;
  run::RunEnvironment environment;
  environment.Queue = &queue;
  environment.ProgramFolder = context.ProgramFolder;
  environment.MaxTiles = request.MaxTiles;
  if (request.Run && !request.Fill && !request.DryRun && settings.ContinueTask) {
    // A task that has every tile: its walk would fetch again what is saved.
    CensusReport census;
    try {
      census = TakeCensus(task::TaskOfRun(record, settings), context.ProgramFolder, 0);
    } catch (const std::exception& error) {
      return ReportFailure(error);
    }
    if (census.Counts.Holes() == 0) {
      PrintSummary(kProgram, context.Verbose,
                   CensusLine(census.Counts) + "\nNo holes: every tile is saved or blank. Nothing fetched.\n");
      return kExitComplete;
    }
  }
  if (request.Fill) {
    CensusReport census;
    try {
      const task::MDTask opened = task::TaskOfRun(record, settings);
      census = TakeCensus(opened, context.ProgramFolder, 0, true);
    } catch (const std::exception& error) {
      return ReportFailure(error);
    }
    if (census.Holes.empty()) {
      PrintSummary(kProgram, context.Verbose, CensusLine(census.Counts) + "\nNo holes: every tile is saved or blank.\n");
      return kExitComplete;
    }
    environment.Fill = true;
    environment.Holes = std::move(census.Holes);
  }

  ProgressLine progress(stderr, context.Terminal, context.Verbose);
  LinePrinter printer(context.Verbose, progress);
  if (request.DryRun) {
    try {
      PrintDryRun(task::TaskOfRun(record, settings), settings, context.ProgramFolder);
      return kExitComplete;
    } catch (const std::exception& error) {
      for (const std::string& message : run::CreateFailureMessages(error)) PrintMessage(message);
      return kExitUsage;
    }
  }
  environment.Run = std::move(settings);
  run::BegunRun begun = run::BeginRun(record, std::move(environment), printer);
  for (std::size_t i = 0; i < begun.Messages.size(); ++i) {
    PrintMessage(i == 0 ? platform::WithReason(begun.Messages[i], begun.SystemReason) : begun.Messages[i]);
  }
  if (!begun.Run) return begun.SystemReason.empty() ? kExitUsage : kExitSystemFailure;
  const std::unique_ptr<run::RunController> run = std::move(begun.Run);
  printer.Attach(*run);
  try {
    run->Prepare();
  } catch (const std::exception& error) {
    return ReportFailure(error);
  }
  if (!request.Run) {
    PrintSummary(kProgram, context.Verbose,
                 "Task written: " + run->Task().TaskFileName() + " (" + Decimal(run->Task().TotalImages) + " tiles)\n");
    return kExitComplete;
  }
  return DriveToEnd(*run, queue, context, progress, request.JsonPath, request.MaxTiles);
}

namespace {

// The dry run of a job: the tiles of every zoom and their sum, the disk and
// the time of the tasks one after another.
int PrintJobDryRun(const StartRequest& request, run::ZoomRange zooms, const std::string& name,
                   const std::string& jobPath, const Context& context) {
  const run::ConfigFile config(context.ConfigPath);
  int64_t tiles = 0;
  double tileBytes = 0, listBytes = 0, logBytes = 0, seconds = 0;
  bool paced = true;
  int32_t workers = 0, pause = 0;
  std::string levels;
  for (int32_t zoom = zooms.From; zoom <= zooms.To; ++zoom) {
    StartRequest one = request;
    one.Controls.Zoom = Decimal(zoom);
    one.Controls.TaskName = run::JobTaskName(name, zoom);
    const run::ControlsCheck check = one.Box ? run::CheckStart(SpecOfRequest(one), config, false)
                                             : run::CheckStart(one.Controls, config, one.Part, false);
    if (!check.Parameters) {
      PrintMessage(platform::WithReason(check.Message, check.SystemReason));
      return check.ServiceFailed ? kExitStopped : kExitUsage;
    }
    run::TaskEstimate e;
    try {
      e = run::EstimateTask(task::TaskOfRun(*check.Parameters, check.Run), check.Run);
    } catch (const std::exception& error) {
      for (const std::string& message : run::CreateFailureMessages(error)) PrintMessage(message);
      return kExitUsage;
    }
    tiles += e.Tiles;
    tileBytes += e.TileBytes;
    listBytes += e.ListBytes;
    logBytes += e.LogBytes;
    seconds += e.Seconds;
    paced = paced && e.Paced();
    workers = e.Workers;
    pause = e.AfterTileMs;
    levels += "  zoom " + Decimal(zoom) + ": " + Decimal(e.Tiles) +
              (e.Shaped ? " of the shape (its box " + Decimal(e.Range.Count()) + ": " : " (") + "columns " +
              Decimal(e.Range.MinX) + " to " + Decimal(e.Range.MaxX) + ", rows " + Decimal(e.Range.MinY) + " to " +
              Decimal(e.Range.MaxY) + ")" + (e.Continued ? ", " + Decimal(e.TilesLeft) + " to fetch\n" : "\n");
  }
  std::string text = "Tiles: " + Decimal(tiles) + " in " + Decimal(zooms.To - zooms.From + 1) + " zoom levels, " +
                     Decimal(zooms.From) + " to " + Decimal(zooms.To) + " (job " + jobPath + ")\n" + levels;
  text += "Disk: about " + run::ByteSizeText(tileBytes + listBytes + logBytes) + " (tiles at about " +
          run::ByteSizeText(run::kTypicalTileBytes) + " each, extent lists " + run::ByteSizeText(listBytes) +
          ", logs " + run::ByteSizeText(logBytes) + ")\n";
  if (paced) {
    text += "Time: at least " + platform::FormatDuration(seconds) + " at the program's pace, one zoom after another (" +
            Decimal(workers) + " workers, a pause of " + Decimal(pause) + " ms after each tile)\n";
  } else {
    text += std::string("Time: ") + run::kUnpacedTime + " (" + Decimal(workers) + " workers)\n";
  }
  std::fputs(text.c_str(), stdout);
  return kExitComplete;
}

// "new" of a zoom range: every zoom's task checked and written as "new"
// writes one (so a refusal stops the job before anything runs), then the job
// file, then with --run each task in turn.
int StartJob(const StartRequest& request, run::ZoomRange zooms, const Context& context) {
  if (request.JsonPath) throw UsageError("--json goes with one zoom level, not a job");
  if (request.MaxTiles > 0) throw UsageError("--max-tiles goes with one zoom level, not a job");
  const std::string& given = request.Controls.TaskName;
  const std::string name = platform::ExtractFileExt(given) == task::kTaskFileExtension ? platform::RemoveFileExt(given) : given;
  const std::string jobPath = platform::IncludeTrailingDelimiter(request.Controls.SavePath) + name + run::kJobFileExtension;
  if (request.DryRun) return PrintJobDryRun(request, zooms, name, jobPath, context);
  for (int32_t zoom = zooms.From; zoom <= zooms.To; ++zoom) {
    StartRequest one = request;
    one.Controls.Zoom = Decimal(zoom);
    one.Controls.TaskName = run::JobTaskName(name, zoom);
    one.Run = false;
    if (const int status = StartTask(one, context); status != kExitComplete) return status;
  }
  try {
    run::WriteJobFile(jobPath, zooms, name);
  } catch (const std::exception& error) {
    return ReportFailure(error);
  }
  PrintSummary(kProgram, context.Verbose,
               "Job written: " + jobPath + " (zooms " + Decimal(zooms.From) + " to " + Decimal(zooms.To) + ")\n");
  if (!request.Run) return kExitComplete;
  Invocation run;
  run.What = Command::Run;
  run.Operands = {jobPath};
  return ForEachTaskOfJob(run, context, RunCommand);
}

std::string Required(const Invocation& invocation, const std::string& name) {
  const std::optional<std::string> value = invocation.Value(name);
  if (!value) throw UsageError(std::string(invocation.What == Command::Surveys ? "'surveys'" : "'new'") + " needs --" + name);
  return *value;
}

// --max-tiles N: a whole number of tiles, 1 or more; 0 when not given.
int64_t MaxTilesOf(const Invocation& invocation) {
  const std::optional<std::string> text = invocation.Value("max-tiles");
  if (!text) return 0;
  const std::optional<int32_t> value = platform::ParseInteger(*text);
  if (!value || *value < 1) throw UsageError("--max-tiles is a whole number of tiles, 1 or more, not '" + *text + "'");
  return *value;
}

// What "new --type nearmap" fetches: the direction (the settings' unless
// given) and the survey named; a --date is the date field's.
task::NearmapImagery NearmapImageryOf(const Invocation& invocation, const Context& context) {
  task::NearmapImagery imagery;
  const std::string direction =
      invocation.Value("direction").value_or(run::ConfigFile(context.ConfigPath).ReadNearmapApi().Direction);
  const std::optional<std::string> known = task::NearmapDirectionOf(direction);
  if (!known) throw UsageError("--direction is Vert, North, East, South or West, not '" + direction + "'");
  imagery.Direction = *known;
  imagery.SurveyId = invocation.Value("survey").value_or("");
  if (invocation.Has("survey") && invocation.Has("date")) throw UsageError("--survey and --date exclude each other");
  if (invocation.Has("survey") && imagery.SurveyId.empty()) throw UsageError("--survey needs a survey id");
  return imagery;
}

}  // namespace

void PrintError(const std::string& text) { consolekit::PrintError(kProgram, text); }

int ReportFailure(const std::exception& error) { return consolekit::ReportFailure(kProgram, error); }

int NewCommand(const Invocation& invocation, const Context& context) {
  StartRequest request;
  run::TaskControls& c = request.Controls;
  c.TaskName = Required(invocation, "name");
  // The task's files go into --folder; a name that is a path (or a folder's
  // "." or "..") would put them, or its tiles, elsewhere.
  if (c.TaskName == "." || c.TaskName == ".." ||
      std::any_of(c.TaskName.begin(), c.TaskName.end(), [](char ch) { return ch == '/' || platform::IsPathDelimiter(ch); })) {
    throw UsageError("--name is the task's name, without a folder ('" + c.TaskName + "'); give the folder with --folder");
  }
  const std::string type = Required(invocation, "type");
  // --type names an item of the catalogue of imagery by its command word.
  const std::vector<run::MapSource> catalogue =
      run::ImageryCatalogue(run::ConfigFile(context.ConfigPath), run::CatalogueFor::Tasks);
  const auto item = std::find_if(catalogue.begin(), catalogue.end(),
                                 [&type](const run::MapSource& entry) { return task::CommandWord(entry.Imagery) == type; });
  if (item == catalogue.end()) {
    throw UsageError("--type is photo, street, terrain, nearmap or a tile source of the settings file, not '" + type +
                     "'");
  }
  if (const auto* map = std::get_if<task::BuiltInMap>(&item->Imagery)) {
    c.MapsTypePosition = task::ListPositionFromMapsType(map->MapsType);
  } else if (std::holds_alternative<task::NearmapImagery>(item->Imagery)) {
    c.Nearmap = NearmapImageryOf(invocation, context);
  } else if (const auto* source = std::get_if<task::TileSource>(&item->Imagery)) {
    c.Source = *source;
  } else {
    c.Imagery = item->Imagery;
  }
  if (!c.Nearmap && (invocation.Has("direction") || invocation.Has("survey"))) {
    throw UsageError("--direction and --survey go with --type nearmap");
  }
  if (const std::optional<std::string> file = invocation.Value("area-file")) {
    for (const char* edge : {"left", "right", "top", "bottom"}) {
      if (invocation.Has(edge)) throw UsageError(std::string("--area-file and --") + edge + " exclude each other");
    }
    std::optional<double> margin = 0.0;
    if (const auto text = invocation.Value("margin")) margin = platform::ParseDecimal(*text);
    if (!margin || !(*margin >= 0)) throw UsageError("--margin is a number of metres, 0 or more");
    area::Area box;
    try {
      // The box of the features grown by the margin, as the area window makes
      // it; the shape within it decides the tiles.
      box = area::RoundedOutward(area::WithMargin(area::ReadVectorFile(*file, 0).Bounds, *margin));
      request.Shape = AreaFileShape(*file, *margin);
    } catch (const area::VectorFileError& error) {
      PrintError(error.what());
      return kExitUsage;
    }
    // The file's area is numbers: the task is built from them, not from text.
    request.Box = task::LonLatBox{box.West, box.East, box.North, box.South};
  } else {
    if (invocation.Has("margin")) throw UsageError("--margin goes with --area-file");
    c.LeftLongitude = Required(invocation, "left");
    c.RightLongitude = Required(invocation, "right");
    c.TopLatitude = Required(invocation, "top");
    c.BottomLatitude = Required(invocation, "bottom");
  }
  c.Zoom = Required(invocation, "zoom");
  c.HistoryDate = invocation.Value("date").value_or("");
  if (c.HistoryDate.size() > run::kHistoryDateLength) throw UsageError("--date is at most 8 characters (yyyymmdd)");
  // Made absolute here, so that the failed list and the log name paths that
  // work from any folder.
  const std::optional<std::string> folder = invocation.Value("folder");
  c.SavePath = folder ? FullPath(*folder) : run::ConfigFile(context.ConfigPath).ReadMainWindow().DefaultPath;
  request.Replace = invocation.Has("force");
  request.Run = invocation.Has("run");
  request.DryRun = invocation.Has("dry-run");
  request.JsonPath = invocation.Value("json");
  request.MaxTiles = MaxTilesOf(invocation);
  if (request.Run && request.DryRun) throw UsageError("--run and --dry-run exclude each other");
  if (request.MaxTiles > 0 && !request.Run) throw UsageError("--max-tiles goes with --run");
  if (request.JsonPath && !request.Run) throw UsageError("--json goes with --run");
  if (const std::optional<run::ZoomRange> zooms = run::ParseZoomRange(c.Zoom)) return StartJob(request, *zooms, context);
  if (c.Zoom.find('-', 1) != std::string::npos) {
    throw UsageError("--zoom is a level of 1 to 21, or a range of levels such as 14-19, not '" + c.Zoom + "'");
  }
  return StartTask(request, context);
}

std::string FullPath(const std::string& path) {
  return std::filesystem::absolute(path).lexically_normal().string();
}

namespace {

// "run" and "fill": what Open task fills in from the task file at the
// command's operand; nothing when there is no such file.
std::optional<StartRequest> RequestOfTaskPath(const std::string& path) {
  try {
    run::CheckIsTaskFile(path);
  } catch (const run::OpenTaskError& error) {
    PrintError(error.what());
    return std::nullopt;
  }
  StartRequest request;
  try {
    request.Controls = run::ControlsFromTaskFile(path);
  } catch (const run::OpenTaskError& error) {
    PrintError(error.what());
    return std::nullopt;
  }
  // A code none of the three leaves the window's first map type selected.
  request.Controls.MapsTypePosition = std::max(request.Controls.MapsTypePosition, 0);
  return request;
}

std::optional<StartRequest> RequestOfTaskFile(const Invocation& invocation) {
  // As the open dialog gives it: a full path.
  std::optional<StartRequest> request = RequestOfTaskPath(FullPath(invocation.Operands[0]));
  if (!request) return request;
  request->JsonPath = invocation.Value("json");
  request->MaxTiles = MaxTilesOf(invocation);
  return request;
}

}  // namespace

// command on every task of the job at the invocation's operand, shallowest
// zoom first; the worst status, or the first that ends the job.
int ForEachTaskOfJob(const Invocation& invocation, const Context& context,
                     int (*command)(const Invocation&, const Context&)) {
  for (const char* option : {"json", "part", "max-tiles"}) {
    if (invocation.Has(option)) throw UsageError(std::string("--") + option + " goes with a task file, not a job");
  }
  run::JobFile job;
  try {
    job = run::ReadJobFile(FullPath(invocation.Operands[0]));
  } catch (const run::JobFileError& error) {
    PrintError(error.what());
    return kExitUsage;
  }
  int worst = kExitComplete;
  for (const std::string& task : job.Tasks) {
    Invocation one = invocation;
    one.Operands[0] = task;
    const int status = command(one, context);
    // Nothing of a later task would go better.
    if (status == kExitUsage || status == kExitStopped || status == kExitSystemFailure || status == kExitInterrupted) {
      return status;
    }
    worst = std::max(worst, status);
  }
  return worst;
}

int RunCommand(const Invocation& invocation, const Context& context) {
  if (run::IsJobFile(invocation.Operands[0])) return ForEachTaskOfJob(invocation, context, RunCommand);
  std::optional<StartRequest> request = RequestOfTaskFile(invocation);
  if (!request) return kExitUsage;
  if (const auto part = invocation.Value("part")) request->Part = ParsePart(*part);
  return StartTask(*request, context);
}

int FillCommand(const Invocation& invocation, const Context& context) {
  if (run::IsJobFile(invocation.Operands[0])) return ForEachTaskOfJob(invocation, context, FillCommand);
  std::optional<StartRequest> request = RequestOfTaskFile(invocation);
  if (!request) return kExitUsage;
  request->Fill = true;
  return StartTask(*request, context);
}

namespace {

// The task whose failed list path is ("<name>_failed.ftl", or a part's
// "<name>.part<k>of<n>_failed.ftl", beside "<name>.otsk"); nothing when no
// such task file is there.
std::unique_ptr<run::OpenedTask> TaskOfFailedList(const std::string& path) {
  constexpr std::string_view kSuffix = "_failed.ftl";
  std::string name = platform::ExtractFileName(path);
  if (name.size() <= kSuffix.size() || name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0) {
    return nullptr;
  }
  name.erase(name.size() - kSuffix.size());
  if (const std::size_t part = name.rfind(".part"); part != std::string::npos && name.find("of", part) != std::string::npos) {
    name.erase(part);
  }
  const std::string taskFile = platform::ExtractFilePath(path) + name + task::kTaskFileExtension;
  if (!platform::FileExists(taskFile)) return nullptr;
  try {
    return run::OpenedTask::Open(taskFile);
  } catch (const run::OpenTaskError&) {
    return nullptr;
  }
}

}  // namespace

int Retry(const RetryOptions& options, const Context& context) {
  class PrintingLog final : public ftl::RunLog {
   public:
    explicit PrintingLog(bool quiet) : quiet_(quiet) {}
    void Append(const std::string& line) override {
      Lines.push_back(line);
      if (quiet_) return;
      std::fputs((line + "\n").c_str(), stdout);
      std::fflush(stdout);
    }
    std::vector<std::string> Lines;

   private:
    bool quiet_;
  };
  const std::string listPath = FullPath(options.ListPath);
  PrintingLog log(context.Verbose == Verbosity::Quiet);
  ftl::FailedListOutcome outcome;
  std::optional<int> cutShort;  // the status of a run that an error ended
  try {
    // Some other file (a task file, a text) is no list: nothing is sent.
    const std::vector<std::string> lines = platform::ReadTextLines(listPath);
    if (std::none_of(lines.begin(), lines.end(), ftl::IsFailedRecord)) {
      PrintError(lines.empty() ? listPath + " is empty: it holds no failed-tile record." : ftl::NoRecordText(listPath));
      return kExitUsage;
    }
    const run::ConfigFile config(context.ConfigPath);
    const run::ProxySettings proxy = config.ReadProxy();
    ftl::FailedListOptions listOptions;
    config.AddCredentials(listOptions);
    listOptions.Proxy = [&proxy](download::HttpClient& client) {
      download::SetProxyFromSettings(client, proxy);
    };
    outcome = ftl::RunFailedList(listPath, log, listOptions);
  } catch (const std::exception& error) {
    // An unreadable list or a bad proxy port (before any line), or a tile
    // that cannot be saved (the run ends there).
    if (log.Lines.empty()) {
      // The list named on the command line is bad input, whatever the reason.
      PrintError(platform::FailureText(error));
      return kExitUsage;
    }
    cutShort = ReportFailure(error) == kExitSystemFailure ? kExitSystemFailure : kExitIncomplete;
  }
  if (options.OutputPath) {
    try {
      platform::WriteTextLines(*options.OutputPath, log.Lines);
    } catch (const std::exception& error) {
      return ReportFailure(error);
    }
  }

  Summary summary;
  summary.Task = listPath;
  summary.Counters.Saved = outcome.Saved;
  summary.Counters.GivenUp = outcome.Failed;
  summary.Counters.NotTried = outcome.NotTried;
  summary.Counters.Total = outcome.Saved + outcome.Failed + outcome.NotTried;
  if (const std::unique_ptr<run::OpenedTask> opened = TaskOfFailedList(listPath)) {
    AddCensus(summary, opened->Task, opened->Run.ThreadCount, context.ProgramFolder);
  }
  const bool holes = summary.Census ? summary.Census->Holes() > 0 : outcome.Failed > 0 || outcome.NotTried > 0;
  summary.ExitStatus = outcome.Refused ? kExitStopped : cutShort ? *cutShort : holes ? kExitIncomplete : kExitComplete;
  std::string text = "Saved: " + Decimal(outcome.Saved) + "\nFailed again: " + Decimal(outcome.Failed) +
                     "\nNot tried: " + Decimal(outcome.NotTried) + "\n";
  if (summary.Census) text += CensusLine(*summary.Census) + "\n";
  if (!summary.NextStep.empty()) text += summary.NextStep + "\n";
  PrintSummary(kProgram, context.Verbose, text);
  if (options.JsonPath) {
    try {
      WriteJson(*options.JsonPath, SummaryJson(summary));
    } catch (const std::exception& error) {
      return ReportFailure(error);
    }
  }
  return summary.ExitStatus;
}

int RetryCommand(const Invocation& invocation, const Context& context) {
  return Retry({invocation.Operands[0], invocation.Value("output"), invocation.Value("json")}, context);
}

int Surveys(const SurveysOptions& options, const Context& context) {
  const run::AreaCheck area = run::ReadArea(options.Left, options.Right, options.Top, options.Bottom);
  if (!area.Area) {
    PrintMessage(area.Message);
    return kExitUsage;
  }
  const run::ConfigFile config(context.ConfigPath);
  const run::NearmapApiSettings api = config.ReadNearmapApi();
  if (api.Secret.empty()) {
    PrintError(download::kNoApiKeyMessage);
    return kExitUsage;
  }
  const download::SurveysAnswer answer = run::FetchSurveys(api, config.ReadProxy(), *area.Area);
  if (!answer.Ok()) {
    PrintError(answer.Problem);
    return kExitStopped;
  }
  const std::optional<std::string>& json = options.JsonPath;
  std::string text;
  std::string list;
  for (const task::Survey& survey : answer.Surveys) {
    text += survey.Id + "\t" + survey.CaptureDate + "\n";
    list += std::string(list.empty() ? "" : ", ") + "{\"id\": " + JsonString(survey.Id) +
            ", \"captureDate\": " + JsonString(survey.CaptureDate) + "}";
  }
  // The list is the output, but JSON on standard output takes its place.
  if (json != "-") std::fputs(text.c_str(), stdout);
  PrintSummary(kProgram, context.Verbose, Decimal(static_cast<int64_t>(answer.Surveys.size())) + " surveys cover the area.\n");
  if (json) {
    try {
      WriteJson(*json, "{\"surveys\": [" + list + "], \"total\": " +
                           Decimal(static_cast<int64_t>(answer.Surveys.size())) + "}\n");
    } catch (const std::exception& error) {
      return ReportFailure(error);
    }
  }
  return kExitComplete;
}

int SurveysCommand(const Invocation& invocation, const Context& context) {
  return Surveys({Required(invocation, "left"), Required(invocation, "right"), Required(invocation, "top"),
                  Required(invocation, "bottom"), invocation.Value("json")},
                 context);
}

}  // namespace cli
