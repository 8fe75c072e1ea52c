#include "core/run/Surveys.h"

#include <algorithm>
#include <exception>
#include <optional>

namespace run {

download::SurveysAnswer FetchSurveys(const NearmapApiSettings& api, const ProxySettings& proxy,
                                     const task::LonLatBox& box, const download::HttpLimits& limits,
                                     const std::atomic<bool>* abort) {
  try {
    download::HttpClient client(limits);
    download::SetProxyFromSettings(client, proxy);
    return download::FetchSurveys(client, api.Account.BaseUrl, api.Secret, box, abort);
  } catch (const std::exception& error) {
    // A proxy port that is no port number.
    download::SurveysAnswer answer;
    answer.Problem = error.what();
    return answer;
  }
}

namespace {

std::string DateProblem(const std::string& date) {
  return task::IsCompactDate(date) ? "" : "The date " + date + " is not written yyyymmdd (such as 20240131).";
}

}  // namespace

bool NeedsSurveyList(const task::NearmapImagery& imagery, const std::string& date) {
  return imagery.SurveyId.empty() ? !date.empty() : imagery.SurveyDate.empty();
}

bool NeedsSurveyList(const TaskControls& controls) {
  return controls.Nearmap && NeedsSurveyList(*controls.Nearmap, controls.HistoryDate);
}

std::string PinSurvey(TaskControls& controls, const std::vector<task::Survey>& surveys) {
  return PinSurvey(*controls.Nearmap, controls.HistoryDate, surveys);
}

std::string PinSurvey(task::NearmapImagery& imagery, std::string& date, const std::vector<task::Survey>& surveys) {
  if (!imagery.SurveyId.empty()) {
    const auto named = std::find_if(surveys.begin(), surveys.end(),
                                    [&](const task::Survey& survey) { return survey.Id == imagery.SurveyId; });
    if (named == surveys.end()) return "No survey " + imagery.SurveyId + " covers this area.";
    imagery.SurveyDate = named->CaptureDate;
    date = task::CompactDate(named->CaptureDate);
    return {};
  }
  if (const std::string problem = DateProblem(date); !problem.empty()) return problem;
  const std::optional<task::Survey> survey = task::SurveyOnOrBefore(surveys, date);
  if (!survey) return "No survey of this area was captured on or before " + date + ".";
  imagery.SurveyId = survey->Id;
  imagery.SurveyDate = survey->CaptureDate;
  return {};
}

ControlsCheck PinSurveyOfStart(TaskControls& controls, ControlsCheck check, const ConfigFile& config,
                               const ProxySettings& proxy, const SurveysFetcher& fetch, bool createFolder) {
  if (!check.Parameters || !NeedsSurveyList(controls)) return check;
  // A date that cannot choose a survey is refused before anything is asked.
  if (controls.Nearmap->SurveyId.empty()) {
    if (const std::string problem = DateProblem(controls.HistoryDate); !problem.empty()) return {std::nullopt, problem};
  }
  const task::TaskParameters& p = *check.Parameters;
  const task::LonLatBox box{p.LeftLongitude, p.RightLongitude, p.TopLatitude, p.BottomLatitude};
  const NearmapApiSettings api = config.ReadNearmapApi();
  const download::SurveysAnswer answer = fetch ? fetch(api, proxy, box) : FetchSurveys(api, proxy, box);
  if (!answer.Ok()) return {std::nullopt, answer.Problem, true};
  if (const std::string problem = PinSurvey(controls, answer.Surveys); !problem.empty()) return {std::nullopt, problem};
  // The folder exists by now: checked again, with the survey.
  return ReadTaskControls(controls, proxy, createFolder);
}

std::optional<ControlsCheck> PinSurveyOfStart(task::TaskSpec& spec, const ConfigFile& config, const ProxySettings& proxy,
                                              const SurveysFetcher& fetch) {
  auto* imagery = std::get_if<task::NearmapImagery>(&spec.Imagery);
  if (imagery == nullptr || !NeedsSurveyList(*imagery, spec.Date)) return std::nullopt;
  if (imagery->SurveyId.empty()) {
    if (const std::string problem = DateProblem(spec.Date); !problem.empty()) return ControlsCheck{std::nullopt, problem};
  }
  const NearmapApiSettings api = config.ReadNearmapApi();
  const download::SurveysAnswer answer = fetch ? fetch(api, proxy, spec.Area.Box) : FetchSurveys(api, proxy, spec.Area.Box);
  if (!answer.Ok()) return ControlsCheck{std::nullopt, answer.Problem, true};
  if (const std::string problem = PinSurvey(*imagery, spec.Date, answer.Surveys); !problem.empty()) {
    return ControlsCheck{std::nullopt, problem};
  }
  return std::nullopt;
}

}  // namespace run
