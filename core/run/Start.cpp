#include "core/run/Start.h"

#include <exception>
#include <utility>
#include <variant>

#include "core/download/NearmapCoverage.h"

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
  check.Run.ContinueTask = ShouldContinueTask(controls, record);
  return check;
}

ControlsCheck CheckStart(const task::TaskSpec& spec, const ConfigFile& config, bool createFolder,
                         const SurveysFetcher& fetch) {
  // What the imagery needs from the settings file, as ReadSourceSettings.
  task::NearmapAccount account;
  std::string secret;
  if (const auto* source = std::get_if<task::TileSource>(&spec.Imagery)) secret = config.ReadSourceSecret(source->Name);
  if (std::holds_alternative<task::NearmapImagery>(spec.Imagery)) {
    const NearmapApiSettings api = config.ReadNearmapApi();
    if (api.Secret.empty()) return ControlsCheck{std::nullopt, download::kNoApiKeyMessage};
    account = api.Account;
    secret = api.Secret;
  }
  SpecCheck checked = CheckTaskSpec(spec, createFolder);
  if (!checked.Spec) {
    ControlsCheck refusal{std::nullopt, checked.Message};
    refusal.SystemReason = checked.SystemReason;
    return refusal;
  }
  const ProxySettings proxy = config.ReadProxy();
  if (std::optional<ControlsCheck> refused = PinSurveyOfStart(*checked.Spec, config, proxy, fetch)) return *refused;
  ControlsCheck check{task::RecordOf(*checked.Spec, account), ""};
  check.Run = RunSettingsOf(*checked.Spec, account, secret, proxy);
  check.Run.ContinueTask = ShouldContinueTask(*checked.Spec, *check.Parameters);
  return check;
}

std::vector<std::string> CreateFailureMessages(const std::exception& error) {
  std::vector<std::string> messages;
  const auto* refusal = dynamic_cast<const task::TaskCreateError*>(&error);
  if (refusal != nullptr && *refusal->what() != '\0') messages.emplace_back(refusal->what());
  messages.emplace_back(kCreateTaskFailure);
  return messages;
}

BegunRun BeginRun(const task::TaskParameters& record, RunEnvironment environment, RunObserver& observer) {
  BegunRun begun;
  try {
    begun.Run = std::make_unique<RunController>(record, std::move(environment), observer);
  } catch (const std::exception& error) {
    begun.Messages = CreateFailureMessages(error);
    begun.SystemReason = platform::FailureReason(error);
  }
  return begun;
}

}  // namespace run
