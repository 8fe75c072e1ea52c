#include "cli/Parts.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "cli/Census.h"
#include "cli/Commands.h"
#include "cli/Report.h"
#include "cli/ExitStatus.h"
#include "core/platform/FileLock.h"
#include "core/platform/Files.h"
#include "core/platform/Numbers.h"
#include "core/run/OpenedTask.h"
#include "core/run/RunController.h"
#include "core/task/TaskFile.h"

namespace cli {

namespace {

std::string Decimal(int64_t value) { return platform::FormatInteger(value); }

// Holes a merge names on standard output; the rest are counted.
constexpr std::size_t kListedHoles = 20;

// The part counts N for which "<base>.part<k>of<N>.otsk" files lie beside
// the task file (the save folder holds a few files; the tile folder is never
// listed).
std::vector<int32_t> PartCountsBeside(const std::string& taskFile) {
  const std::string prefix = platform::RemoveFileExt(platform::ExtractFileName(taskFile)) + ".part";
  std::vector<int32_t> counts;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(platform::ExtractFilePath(taskFile), error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) != 0 || platform::ExtractFileExt(name) != task::kTaskFileExtension) continue;
    const std::string middle = platform::RemoveFileExt(name.substr(prefix.size()));
    const std::size_t of = middle.find("of");
    if (of == std::string::npos) continue;
    const auto count = platform::ParseInteger(middle.substr(of + 2));
    if (count && *count > 0 && std::find(counts.begin(), counts.end(), *count) == counts.end()) counts.push_back(*count);
  }
  return counts;
}

// The last tile of every worker's share, for the workers a run of the task
// has: where its positions stand once it has walked to its end.
std::vector<task::SlotPosition> WalkEnds(const run::OpenedTask& opened) {
  const task::TileRange range = opened.Task.Range();
  const auto threads = static_cast<int32_t>(std::min<int64_t>(range.Count(), opened.Parameters.ThreadCount));
  std::vector<task::SlotPosition> ends;
  for (int32_t slot = 0; slot < threads; ++slot) {
    if (const int64_t last = range.LastOfSlot(slot, threads)) ends.push_back({slot, range.AtWalkNumber(last)});
  }
  return ends;
}

// Whether a part's run saved the end of every worker's share.
bool Ended(const run::OpenedTask& part) {
  const auto ends = WalkEnds(part);
  return std::all_of(ends.begin(), ends.end(),
                     [&part](const task::SlotPosition& end) { return part.Task.Resume(end.Slot) == end.Last; });
}

std::vector<std::string> LinesIfAny(const std::string& path) {
  return platform::FileExists(path) ? platform::ReadTextLines(path) : std::vector<std::string>{};
}

}  // namespace

TaskPart ParsePart(const std::string& text) {
  const std::size_t slash = text.find('/');
  const auto index = slash == std::string::npos ? std::nullopt : platform::ParseInteger(text.substr(0, slash));
  const auto count = slash == std::string::npos ? std::nullopt : platform::ParseInteger(text.substr(slash + 1));
  if (!index || !count || *index < 1 || *index > *count ||
      text != Decimal(*index) + "/" + Decimal(*count)) {
    throw UsageError("--part is K/N with 1 <= K <= N, not '" + text + "'");
  }
  return TaskPart{*index, *count};
}

int MergeCommand(const Invocation& invocation, const Context& context) {
  const std::string path = FullPath(invocation.Operands[0]);
  std::unique_ptr<run::OpenedTask> whole;
  try {
    whole = run::OpenedTask::Open(path);
  } catch (const run::OpenTaskError& error) {
    PrintError(error.what());
    return kExitUsage;
  }
  const std::vector<int32_t> counts = PartCountsBeside(path);
  if (counts.empty()) {
    PrintError("No parts of this task to merge: " + path);
    return kExitUsage;
  }
  if (counts.size() > 1) {
    PrintError("The parts beside " + path + " split the task in different ways; merge them by hand.");
    return kExitUsage;
  }
  const int32_t parts = counts.front();

  // The task and every part are held while they are merged.
  std::vector<platform::FileLock> locks;
  const auto lock = [&locks](const task::MDTask& task, const std::string& what) {
    auto held = platform::FileLock::TryAcquire(task.LockFileName());
    if (!held) throw run::TaskBusyError(what + " is being run: " + task.TaskFileName());
    locks.push_back(std::move(*held));
  };
  std::vector<std::unique_ptr<run::OpenedTask>> opened;
  try {
    lock(whole->Task, "The task");
    for (int32_t k = 1; k <= parts; ++k) {
      const std::string name = "Part " + Decimal(k) + " of " + Decimal(parts);
      auto part = run::OpenedTask::Open(path, k, parts);
      if (!platform::FileExists(part->Task.TaskFileName())) {
        PrintError(name + " has not run: run it with --part " + Decimal(k) + "/" + Decimal(parts));
        return kExitIncomplete;
      }
      lock(part->Task, name);
      if (!Ended(*part)) {
        PrintError(name + " has not ended: run it again with --part " + Decimal(k) + "/" + Decimal(parts));
        return kExitIncomplete;
      }
      opened.push_back(std::move(part));
    }
  } catch (const std::exception& error) {
    PrintError(error.what());
    return kExitUsage;
  }

  const task::MDTask& task = whole->Task;
  std::vector<std::string> log = LinesIfAny(task.LogFileName);
  std::vector<std::string> failed = LinesIfAny(task.FailedListFileName);
  for (const auto& part : opened) {
    for (std::string& line : platform::ReadTextLines(part->Task.LogFileName)) log.push_back(std::move(line));
    for (std::string& line : LinesIfAny(part->Task.FailedListFileName)) failed.push_back(std::move(line));
  }
  // The whole task walked to its end, so that "run" of it continues past
  // every tile instead of starting over.
  const std::vector<task::SlotPosition> ends = WalkEnds(*whole);
  try {
    platform::WriteTextLines(task.LogFileName, log);
    platform::WriteTextLines(task.FailedListFileName, failed);
    task::TaskFile(task.TaskFileName()).WritePositions(ends);
  } catch (const std::exception& error) {
    PrintError(error.what());
    return kExitUsage;
  }
  // Merged: the parts' own files go.
  for (const auto& part : opened) {
    for (const std::string& file : {part->Task.TaskFileName(), part->Task.LogFileName,
                                    part->Task.FailedListFileName, part->Task.ListFileName}) {
      std::filesystem::remove(file);
    }
  }

  locks.clear();
  CensusReport census;
  try {
    census = TakeCensus(task, context.ProgramFolder, kListedHoles);
  } catch (const std::exception& error) {
    PrintError(error.what());
    return kExitUsage;
  }
  for (const Hole& hole : census.FirstHoles) std::fputs(("Hole: " + HoleText(task, hole) + "\n").c_str(), stdout);
  if (context.Verbose != Verbosity::Quiet) {
    std::string text = "Merged " + Decimal(parts) + " parts into " + task.TaskFileName() + ": " +
                       Decimal(static_cast<int64_t>(failed.size())) + " tiles in the failed list\n" +
                       CensusLine(census.Counts) + "\n";
    if (census.Counts.Holes() > 0) text += "fill the holes with: orvenna-cli fill " + ShellWord(task.TaskFileName()) + "\n";
    std::fputs(text.c_str(), stderr);
  }
  return census.Counts.Holes() > 0 ? kExitIncomplete : kExitComplete;
}

}  // namespace cli
