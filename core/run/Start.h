// What Start does before a run exists, for every front-end: the window's
// button and orvenna-cli fill the controls, and these make the run of them
// or say why not, in the window's words. Main thread only.
#pragma once

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "core/run/ConfigFile.h"
#include "core/run/RunController.h"
#include "core/run/Surveys.h"
#include "core/run/TaskControls.h"

namespace run {

inline constexpr const char* kCreateTaskFailure = "Error: Create task failure.";

// The proxy and the source's settings from config (a source's secret, the
// Nearmap API's account and key), the controls checked in the window's order
// (the save folder created unless createFolder is false), for the Nearmap
// API the survey its date chooses (fetched with fetch), the part numbered,
// and whether the task file of that name is continued.
ControlsCheck CheckStart(TaskControls controls, const ConfigFile& config, task::TaskPart part = {},
                         bool createFolder = true, const SurveysFetcher& fetch = {});

// Start of a task built from numbers (the map windows, orvenna-cli): the
// same settings, checks, survey and continue test; the part is spec's.
ControlsCheck CheckStart(const task::TaskSpec& spec, const ConfigFile& config, bool createFolder = true,
                         const SurveysFetcher& fetch = {});

// The messages Start shows, in order, when a task cannot be built from its
// parameters: the reason of a task::TaskCreateError when it has one, then
// kCreateTaskFailure.
std::vector<std::string> CreateFailureMessages(const std::exception& error);

// The run of checked parameters; when its task cannot be built, no run and
// CreateFailureMessages.
struct BegunRun {
  std::unique_ptr<RunController> Run;
  std::vector<std::string> Messages;
  // The system's words when a call of the system failed (the image folder
  // could not be made); empty otherwise.
  std::string SystemReason{};
};
// environment.Run holds the run's settings (ControlsCheck::Run).
BegunRun BeginRun(const task::TaskParameters& record, RunEnvironment environment, RunObserver& observer);

}  // namespace run
