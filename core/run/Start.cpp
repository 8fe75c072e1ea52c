#include "core/run/Start.h"

#include <exception>
#include <utility>

#include "core/platform/Files.h"

namespace run {

ControlsCheck CheckStart(TaskControls controls, const ConfigFile& config, task::TaskPart part, bool createFolder,
                         const SurveysFetcher& fetch) {
  if (const std::string problem = ReadSourceSettings(controls, config); !problem.empty()) {
    return ControlsCheck{std::nullopt, problem};
  }
  const ProxySettings proxy = config.ReadProxy();
  ControlsCheck check = PinSurveyOfStart(controls, ReadTaskControls(controls, proxy, createFolder), config, proxy,
                                         fetch, createFolder);
  if (!check.Parameters) return check;
  task::TaskParameters& record = *check.Parameters;
  record.PartIndex = part.Index;
  record.PartCount = part.Count;
  record.ContinueTask = ShouldContinueTask(controls, record);
  return check;
}

std::vector<std::string> CreateFailureMessages(const std::exception& error) {
  std::vector<std::string> messages;
  const auto* refusal = dynamic_cast<const task::TaskCreateError*>(&error);
  if (refusal != nullptr && *refusal->what() != '\0') messages.emplace_back(refusal->what());
  messages.emplace_back(kCreateTaskFailure);
  return messages;
}

BegunRun BeginRun(task::TaskParameters parameters, RunEnvironment environment, RunObserver& observer) {
  BegunRun begun;
  try {
    begun.Run = std::make_unique<RunController>(std::move(parameters), std::move(environment), observer);
  } catch (const std::exception& error) {
    begun.Messages = CreateFailureMessages(error);
    begun.SystemReason = platform::FailureReason(error);
  }
  return begun;
}

}  // namespace run
