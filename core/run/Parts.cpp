#include "core/run/Parts.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <vector>

#include "core/platform/FileLock.h"
#include "core/platform/Files.h"
#include "core/platform/Numbers.h"
#include "core/run/OpenedTask.h"
#include "core/task/TaskFile.h"

namespace run {

namespace {

std::string Decimal(int64_t value) { return platform::FormatInteger(value); }

// The part counts n of the parts' task files beside the task file (the save
// folder holds a few files; the tile folder is never listed).
std::vector<int32_t> PartCountsBeside(const std::string& taskFile) {
  std::vector<int32_t> counts;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(platform::ExtractFilePath(taskFile), error)) {
    const auto part = task::PartOfTaskFileName(taskFile, entry.path().filename().string());
    if (part && std::find(counts.begin(), counts.end(), part->Count) == counts.end()) counts.push_back(part->Count);
  }
  return counts;
}

// The last tile of every worker's share, for the workers a run of the task
// has: where its positions stand once it has walked to its end.
std::vector<task::SlotPosition> WalkEnds(const OpenedTask& opened) {
  const task::TileRange range = opened.Task.Range();
  const auto threads = static_cast<int32_t>(std::min<int64_t>(opened.Task.TotalImages, opened.Run.ThreadCount));
  std::vector<task::SlotPosition> ends;
  for (int32_t slot = 0; slot < threads; ++slot) {
    if (const int64_t last = range.LastOfSlot(slot, threads)) ends.push_back({slot, range.AtWalkNumber(last)});
  }
  return ends;
}

// Whether a part's run saved the end of every worker's share: no tile of
// the part (of its shape, for a shaped task) left after any position.
bool Ended(const OpenedTask& part) {
  const task::TileRange range = part.Task.Range();
  const auto threads = static_cast<int32_t>(std::min<int64_t>(part.Task.TotalImages, part.Run.ThreadCount));
  for (int32_t slot = 0; slot < threads; ++slot) {
    if (part.Task.ShareOf(slot, threads, range.ResumePoint(part.Task.Resume(slot))) > 0) return false;
  }
  return true;
}

std::vector<std::string> LinesIfAny(const std::string& path) {
  return platform::FileExists(path) ? platform::ReadTextLines(path) : std::vector<std::string>{};
}

}  // namespace

MergeReport MergeParts(const std::string& taskFile) {
  const std::unique_ptr<OpenedTask> whole = OpenedTask::Open(taskFile);
  const std::vector<int32_t> counts = PartCountsBeside(taskFile);
  if (counts.empty()) throw MergeRefused("No parts of this task to merge: " + taskFile, false);
  if (counts.size() > 1) {
    throw MergeRefused("The parts beside " + taskFile + " split the task in different ways; merge them by hand.", false);
  }
  const int32_t parts = counts.front();

  // The task and every part are held while they are merged.
  std::vector<platform::FileLock> locks;
  const auto lock = [&locks](const task::MDTask& task, const std::string& what) {
    auto held = platform::FileLock::TryAcquire(task.LockFileName());
    if (!held) throw MergeRefused(what + " is being run: " + task.TaskFileName(), false);
    locks.push_back(std::move(*held));
  };
  lock(whole->Task, "The task");
  std::vector<std::unique_ptr<OpenedTask>> opened;
  for (int32_t k = 1; k <= parts; ++k) {
    const std::string name = "Part " + Decimal(k) + " of " + Decimal(parts);
    const std::string again = " with --part " + Decimal(k) + "/" + Decimal(parts);
    auto part = OpenedTask::Open(taskFile, k, parts);
    if (!platform::FileExists(part->Task.TaskFileName())) throw MergeRefused(name + " has not run: run it" + again, true);
    lock(part->Task, name);
    if (!Ended(*part)) throw MergeRefused(name + " has not ended: run it again" + again, true);
    opened.push_back(std::move(part));
  }

  const task::MDTask& task = whole->Task;
  std::vector<std::string> log = LinesIfAny(task.LogFileName);
  std::vector<std::string> failed = LinesIfAny(task.FailedListFileName);
  for (const auto& part : opened) {
    for (std::string& line : platform::ReadTextLines(part->Task.LogFileName)) log.push_back(std::move(line));
    for (std::string& line : LinesIfAny(part->Task.FailedListFileName)) failed.push_back(std::move(line));
  }
  platform::WriteTextLines(task.LogFileName, log);
  platform::WriteTextLines(task.FailedListFileName, failed);
  // The whole task walked to its end, so that a run of it continues past
  // every tile instead of starting over.
  task::TaskFile(task.TaskFileName()).WritePositions(WalkEnds(*whole));
  // Merged: the parts' own files go.
  for (const auto& part : opened) {
    for (const std::string& file : {part->Task.TaskFileName(), part->Task.LogFileName, part->Task.FailedListFileName,
                                    part->Task.ListFileName}) {
      std::filesystem::remove(file);
    }
  }
  return MergeReport{parts, failed.size()};
}

}  // namespace run
