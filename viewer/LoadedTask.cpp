#include "viewer/LoadedTask.h"

namespace viewer {

LoadedTask::LoadedTask(std::string path, std::unique_ptr<run::OpenedTask> opened, const std::string& programFolder,
                       std::chrono::milliseconds activityCheckInterval)
    : path_(std::move(path)),
      opened_(std::move(opened)),
      states_(opened_->Task.Range()),
      scanner_(opened_->Task, states_, programFolder, activityCheckInterval) {}

std::shared_ptr<LoadedTask> LoadedTask::Open(const std::string& taskPath, const std::string& programFolder,
                                             std::chrono::milliseconds activityCheckInterval) {
  std::shared_ptr<LoadedTask> loaded(
      new LoadedTask(taskPath, run::OpenedTask::Open(taskPath), programFolder, activityCheckInterval));
  loaded->scanner_.Start();
  return loaded;
}

}  // namespace viewer
