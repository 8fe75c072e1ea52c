#include "viewer/TaskWatch.h"

namespace viewer {

TaskWatch::TaskWatch(std::string path, std::unique_ptr<run::OpenedTask> opened, const std::string& programFolder,
                       std::chrono::milliseconds activityCheckInterval)
    : path_(std::move(path)),
      opened_(std::move(opened)),
      states_(opened_->Task.Range()),
      scanner_(opened_->Task, states_, programFolder, activityCheckInterval) {}

std::shared_ptr<TaskWatch> TaskWatch::Open(const std::string& taskPath, const std::string& programFolder,
                                             std::chrono::milliseconds activityCheckInterval) {
  std::shared_ptr<TaskWatch> loaded(
      new TaskWatch(taskPath, run::OpenedTask::Open(taskPath), programFolder, activityCheckInterval));
  loaded->scanner_.Start();
  return loaded;
}

std::string TaskWatch::UnreadableReason(int64_t index) const {
  if (states_.Undecodable(index)) return task::kDoesNotDecode;
  const std::shared_ptr<const task::TileCensus> census = scanner_.Census();
  if (!census) return {};
  const task::TilePosition tile = states_.TileAt(index);
  task::TileVerdict verdict = census->Judge(tile.X, tile.Y);
  return verdict.State == task::TileState::Unreadable ? std::move(verdict.Reason) : std::string();
}

}  // namespace viewer
