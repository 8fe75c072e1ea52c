#include "core/download/NearmapCoverage.h"

#include <optional>

#include "core/download/FailureRules.h"
#include "core/platform/Numbers.h"

namespace download {

SurveysAnswer FetchSurveys(HttpClient& client, const std::string& baseUrl, const std::string& key,
                           const task::LonLatBox& box, const std::atomic<bool>* abort) {
  SurveysAnswer answer;
  if (key.empty()) {
    answer.Problem = kNoApiKeyMessage;
    return answer;
  }
  // The same headers as a tile request of the API: the key and who asks.
  client.SetHeaderLines(task::ResolvedHeaderLines(task::NearmapSource({baseUrl}, {}), "", key));
  std::string body;
  const HttpResult result = client.Get(task::CoverageUrl(baseUrl, box), body, abort);
  if (result.Aborted) {
    answer.Problem = "Stopped.";
  } else if (IsKeyRefusal(result)) {
    answer.KeyRefused = true;
    answer.Problem = std::string(kKeyRefusedMessage) + " (" + ShortReason(result) + ")";
  } else if (!result.Ok) {
    // One line, wherever it is shown.
    std::string text = result.ErrorText.empty() ? ShortReason(result) : result.ErrorText;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.replace(at, 2, " ");
    answer.Problem = "The Nearmap API could not be asked for the surveys: " + text;
  } else if (std::optional<std::vector<task::Survey>> surveys = task::ParseSurveys(body)) {
    answer.Surveys = std::move(*surveys);
  } else {
    answer.Problem = "The service's answer is no list of surveys (" +
                     (result.ContentType.empty() ? std::string("no content type") : result.ContentType) + ", " +
                     platform::FormatInteger(static_cast<int64_t>(body.size())) + " bytes).";
  }
  return answer;
}

}  // namespace download
