#include "cli/Commands.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>

#include "cli/ExitStatus.h"
#include "cli/Parts.h"
#include "cli/Signals.h"
#include "core/download/HttpClient.h"
#include "core/ftl/FailedTileRun.h"
#include "core/platform/Files.h"
#include "core/platform/MainThreadQueue.h"
#include "core/platform/Numbers.h"
#include "core/run/OpenedTask.h"
#include "core/run/RunController.h"
#include "core/run/TaskControls.h"
#include "core/run/ConfigFile.h"
#include "core/task/Unitclasstask.h"

namespace cli {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kCreateTaskFailure = "Error: Create task failure.";
// What a tile of the built-in service takes on disk, for the dry run's estimate.
constexpr double kTypicalTileBytes = 20 * 1024;
// A log line per tile, about.
constexpr double kLogBytesPerTile = 40;

// A message of the window's checks, exactly as the window shows it.
void PrintMessage(const std::string& text) { std::fputs((text + "\n").c_str(), stderr); }

std::string Decimal(int64_t value) { return platform::FormatInteger(value); }

std::string MiB(double bytes) {
  if (bytes < 1024 * 1024) return platform::FormatFixed(bytes / 1024, 0, 1) + " KiB";
  if (bytes < 1024.0 * 1024 * 1024) return platform::FormatFixed(bytes / (1024 * 1024), 0, 1) + " MiB";
  return platform::FormatFixed(bytes / (1024.0 * 1024 * 1024), 0, 1) + " GiB";
}

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

// What "new" and "run" start: the window's controls as texts.
struct StartRequest {
  run::TaskControls Controls;
  bool Run = true;
  bool DryRun = false;
  std::optional<std::string> JsonPath;
  TaskPart Part;
};

// Runs a started run to its end, serving its workers and ticking it once a
// second as the window's timer does; returns the exit status.
int DriveToEnd(run::RunController& run, platform::MainThreadQueue& queue, const Context& context,
               ProgressLine& progress, const std::optional<std::string>& jsonPath) {
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
      PrintError(error.what());
    }
    if (!closed) progress.Update(run.Counters(), elapsed());
  }
  progress.Finish();
  if (!closed->FirstFailure.empty()) PrintError(closed->FirstFailure);

  Summary summary;
  summary.Task = run.Task().TaskFileName();
  summary.Counters = run.Counters();
  summary.ElapsedSeconds = elapsed();
  summary.Interrupted = stopped;
  const run::RunCounters& counters = summary.Counters;
  summary.ExitStatus = stopped                                              ? kExitInterrupted
                       : counters.RefusedWorkers > 0                        ? kExitStopped
                       : counters.GivenUp > 0 || counters.NotTried > 0      ? kExitIncomplete
                                                                            : kExitComplete;
  if (context.Verbose != Verbosity::Quiet) std::fputs(SummaryText(summary).c_str(), stderr);
  if (jsonPath) {
    try {
      platform::WriteFileAtomic(*jsonPath, SummaryJson(summary));
    } catch (const std::exception& error) {
      PrintError(error.what());
    }
  }
  return summary.ExitStatus;
}

void PrintDryRun(const task::MDTask& task) {
  const task::TileRange range = task.Range();
  const task::TaskParameters& p = *task.Parameters;
  // The workers and the pause after a tile that the run would have (a tile
  // source may allow fewer workers and ask for another pause).
  const auto threads = static_cast<int32_t>(std::min<int64_t>(range.Count(), p.ThreadCount));
  const download::Pacing pace;
  const int afterTileMs = p.Source ? p.Source->PauseMs : pace.AfterSavedMs;
  int64_t tiles = 0;
  double seconds = 0;
  for (int32_t slot = 0; slot < threads; ++slot) {
    const int64_t share = range.ShareOf(slot, threads, range.ResumePoint(task.Resume(slot)));
    tiles += share;
    seconds = std::max(seconds, (slot * pace.StartStaggerMs + share * afterTileMs) / 1000.0);
  }
  // Extent-list lines: the file name, 85 characters of edges, CR LF.
  const double listBytes =
      p.ContinueTask ? 0 : 108 + static_cast<double>(range.Count()) * (task.TileFileName(range.MaxX, range.MaxY).size() + 87);
  const double tileBytes = static_cast<double>(tiles) * kTypicalTileBytes;
  const double logBytes = static_cast<double>(tiles) * kLogBytesPerTile;
  std::string text = "Task: " + task.TaskFileName() + (p.ContinueTask ? " (continued from its saved positions)" : "") + "\n";
  text += "Tiles: " + Decimal(range.Count()) + " (columns " + Decimal(range.MinX) + " to " + Decimal(range.MaxX) +
          ", rows " + Decimal(range.MinY) + " to " + Decimal(range.MaxY) + ", zoom " + Decimal(p.Zoom) + ")";
  text += p.ContinueTask ? ", " + Decimal(tiles) + " left\n" : "\n";
  text += "Disk: about " + MiB(tileBytes + listBytes + logBytes) + " (tiles at about " + MiB(kTypicalTileBytes) +
          " each, extent list " + MiB(listBytes) + ", log " + MiB(logBytes) + ")\n";
  text += "Time: at least " + platform::FormatDuration(seconds) + " at the program's pace (" + Decimal(threads) +
          " workers, a pause of " + Decimal(afterTileMs) + " ms after each tile)\n";
  std::fputs(text.c_str(), stdout);
}

int StartTask(StartRequest request, const Context& context) {
  const run::ConfigFile config(context.ConfigPath);
  const run::ProxySettings proxy = config.ReadProxy();
  if (request.Controls.Source) request.Controls.SourceSecret = config.ReadSourceSecret(request.Controls.Source->Name);
  const run::ControlsCheck check = run::ReadTaskControls(request.Controls, proxy, !request.DryRun);
  if (!check.Parameters) {
    PrintMessage(check.Message);
    return kExitUsage;
  }
  task::TaskParameters record = *check.Parameters;
  record.PartIndex = request.Part.Index;
  record.PartCount = request.Part.Count;
  record.ContinueTask = run::ShouldContinueTask(request.Controls, record);

  ProgressLine progress(stderr, context.Terminal, context.Verbose);
  LinePrinter printer(context.Verbose, progress);
  platform::MainThreadQueue queue;
  std::unique_ptr<run::RunController> run;
  try {
    if (request.DryRun) {
      task::TaskOptions options;
      options.CreateImageFolder = false;
      PrintDryRun(task::MDTask(&record, options));
      return kExitComplete;
    }
    run = std::make_unique<run::RunController>(
        record, run::RunEnvironment{&queue, context.ProgramFolder, {}, {}, {}}, printer);
  } catch (const task::TaskCreateError& error) {
    if (*error.what() != '\0') PrintMessage(error.what());
    PrintMessage(kCreateTaskFailure);
    return kExitUsage;
  } catch (const std::exception&) {
    PrintMessage(kCreateTaskFailure);
    return kExitUsage;
  }
  printer.Attach(*run);
  try {
    run->Prepare();
  } catch (const std::exception& error) {
    PrintError(error.what());
    return kExitUsage;
  }
  if (!request.Run) {
    if (context.Verbose != Verbosity::Quiet) {
      std::fputs(("Task written: " + run->Task().TaskFileName() + " (" + Decimal(run->Task().TotalImages) +
                  " tiles)\n").c_str(), stderr);
    }
    return kExitComplete;
  }
  return DriveToEnd(*run, queue, context, progress, request.JsonPath);
}

std::string Required(const Invocation& invocation, const std::string& name) {
  const std::optional<std::string> value = invocation.Value(name);
  if (!value) throw UsageError("'new' needs --" + name);
  return *value;
}

}  // namespace

void PrintError(const std::string& text) { std::fputs(("orvenna-cli: " + text + "\n").c_str(), stderr); }

int NewCommand(const Invocation& invocation, const Context& context) {
  static const std::map<std::string, int> kTypes = {{"photo", 0}, {"street", 1}, {"terrain", 2}};
  StartRequest request;
  run::TaskControls& c = request.Controls;
  c.TaskName = Required(invocation, "name");
  const std::string type = Required(invocation, "type");
  const auto position = kTypes.find(type);
  if (position != kTypes.end()) {
    c.MapsTypePosition = position->second;
  } else {
    c.Source = run::ConfigFile(context.ConfigPath).ReadSource(type);
    if (!c.Source) throw UsageError("--type is photo, street, terrain or a tile source of the settings file, not '" + type + "'");
  }
  c.LeftLongitude = Required(invocation, "left");
  c.RightLongitude = Required(invocation, "right");
  c.TopLatitude = Required(invocation, "top");
  c.BottomLatitude = Required(invocation, "bottom");
  c.Zoom = Required(invocation, "zoom");
  c.HistoryDate = invocation.Value("date").value_or("");
  if (c.HistoryDate.size() > run::kHistoryDateLength) throw UsageError("--date is at most 8 characters (yyyymmdd)");
  c.SavePath = invocation.Value("folder").value_or(run::ConfigFile(context.ConfigPath).ReadMainWindow().DefaultPath);
  request.Run = invocation.Has("run");
  request.DryRun = invocation.Has("dry-run");
  request.JsonPath = invocation.Value("json");
  if (request.Run && request.DryRun) throw UsageError("--run and --dry-run exclude each other");
  if (request.JsonPath && !request.Run) throw UsageError("--json goes with --run");
  return StartTask(request, context);
}

std::string FullPath(const std::string& path) {
  return std::filesystem::absolute(path).lexically_normal().string();
}

int RunCommand(const Invocation& invocation, const Context& context) {
  // As the open dialog gives it: a full path.
  const std::string path = FullPath(invocation.Operands[0]);
  if (!platform::FileExists(path)) {
    PrintError("Cannot open file " + path);
    return kExitUsage;
  }
  StartRequest request;
  request.Controls = run::ControlsFromTaskFile(path);
  // A code none of the three leaves the window's first map type selected.
  request.Controls.MapsTypePosition = std::max(request.Controls.MapsTypePosition, 0);
  request.JsonPath = invocation.Value("json");
  if (const auto part = invocation.Value("part")) request.Part = ParsePart(*part);
  return StartTask(request, context);
}

int RetryCommand(const Invocation& invocation, const Context& context) {
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
  PrintingLog log(context.Verbose == Verbosity::Quiet);
  int status = kExitComplete;
  try {
    const run::ConfigFile config(context.ConfigPath);
    const ftl::FailedListOutcome outcome = ftl::RunFailedList(
        invocation.Operands[0], log, {}, [&config](const std::string& source) { return config.ReadSourceSecret(source); });
    status = outcome.Refused                                ? kExitStopped
             : outcome.Failed > 0 || outcome.NotTried > 0 ? kExitIncomplete
                                                            : kExitComplete;
  } catch (const std::exception& error) {
    // An unreadable list, or a tile that cannot be saved (the run ends there).
    PrintError(error.what());
    status = log.Lines.empty() ? kExitUsage : kExitIncomplete;
  }
  if (const auto output = invocation.Value("output")) {
    try {
      platform::WriteTextLines(*output, log.Lines);
    } catch (const std::exception& error) {
      PrintError(error.what());
      return kExitUsage;
    }
  }
  return status;
}

}  // namespace cli
