// The surveys of an area and the survey a task fetches, for Start, the
// surveys list and the test of the settings: the Nearmap API asked with the
// settings file's address, key and proxy. FetchSurveys runs on any thread
// (one HTTP client per call); the rest is the main thread's.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "core/download/HttpClient.h"
#include "core/download/NearmapCoverage.h"
#include "core/run/ConfigFile.h"
#include "core/run/TaskControls.h"

namespace run {

// The surveys of box, asked with the API settings api through proxy.
download::SurveysAnswer FetchSurveys(const NearmapApiSettings& api, const ProxySettings& proxy,
                                     const task::LonLatBox& box, const download::HttpLimits& limits = {},
                                     const std::atomic<bool>* abort = nullptr);

// Whether Start must ask the API which survey a task fetches: the date field
// holds a date but no survey is pinned (a date alone, as a task file or the
// command line gives it), or a survey is named without its date.
bool NeedsSurveyList(const TaskControls& controls);
bool NeedsSurveyList(const task::NearmapImagery& imagery, const std::string& date);
// Pins controls to its survey among surveys: the newest captured on or before
// its date, or the one it names (whose date then fills the date field).
// Returns why it cannot be (a date not written yyyymmdd, no such survey),
// empty when pinned.
std::string PinSurvey(TaskControls& controls, const std::vector<task::Survey>& surveys);
// The same for imagery and its date field.
std::string PinSurvey(task::NearmapImagery& imagery, std::string& date, const std::vector<task::Survey>& surveys);

// How Start has the surveys fetched (the window keeps its events going);
// empty: asked in the calling thread.
using SurveysFetcher =
    std::function<download::SurveysAnswer(const NearmapApiSettings&, const ProxySettings&, const task::LonLatBox&)>;

// Start's survey of a date for checked parameters of controls: the surveys
// of their rectangle fetched, controls pinned to the one the date (or the id)
// chooses, and the controls checked again with it. Nothing to do (the record
// as it is) unless NeedsSurveyList.
ControlsCheck PinSurveyOfStart(TaskControls& controls, ControlsCheck check, const ConfigFile& config,
                               const ProxySettings& proxy, const SurveysFetcher& fetch, bool createFolder);
// The same for a checked task: spec pinned to the survey its date (or its
// survey's id) chooses; the refusal, or nothing when spec is ready.
std::optional<ControlsCheck> PinSurveyOfStart(task::TaskSpec& spec, const ConfigFile& config, const ProxySettings& proxy,
                                              const SurveysFetcher& fetch);

}  // namespace run
