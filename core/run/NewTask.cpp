#include "core/run/NewTask.h"

#include <exception>
#include <memory>
#include <utility>

#include "core/platform/Files.h"
#include "core/platform/MainThreadQueue.h"
#include "core/run/RunController.h"

namespace run {

namespace {

// No worker runs, so no line ever comes.
class NoLines final : public RunObserver {
 public:
  void LogLinesAdded(std::size_t) override {}
  void FailedLinesAdded(std::size_t) override {}
};

}  // namespace

int64_t WriteTaskFiles(const task::TaskParameters& record, const task::RunSettings& settings,
                       const std::string& programFolder) {
  platform::MainThreadQueue queue;
  NoLines observer;
  std::unique_ptr<RunController> controller;
  try {
    RunEnvironment environment{&queue, programFolder, {}, {}, {}, {}, false};
    environment.Run = settings;
    controller = std::make_unique<RunController>(record, std::move(environment), observer);
  } catch (const task::TaskCreateError&) {
    throw;
  } catch (const std::exception&) {
    throw task::TaskCreateError("");
  }
  controller->Prepare();
  return controller->Task().TotalImages;
}

bool ReplacesAnotherTask(const task::TaskParameters& record, const task::RunSettings& run) {
  return !run.ContinueTask && platform::FileExists(task::TaskFileOf(record));
}

}  // namespace run
