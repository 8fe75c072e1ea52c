// The surveys that cover an area, asked of the Nearmap API's coverage
// endpoint with the account's key in the Authorization header (never in the
// address). Any thread; one call, one request.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "core/download/HttpClient.h"
#include "core/task/NearmapApi.h"

namespace download {

// Start, the surveys list and the test refuse to ask without a key.
inline constexpr const char* kNoApiKeyMessage =
    "There is no Nearmap API key: enter it in Options > Options... > Nearmap API...";

struct SurveysAnswer {
  // Newest first.
  std::vector<task::Survey> Surveys;
  // Why there is no list, in the user's words; empty when it came.
  std::string Problem;
  // The service refused the key (401, 403).
  bool KeyRefused = false;

  bool Ok() const { return Problem.empty(); }
};

// GET the coverage of box from baseUrl with key, through client (set up by
// the caller, its proxy included). abort as HttpClient::Get takes it.
SurveysAnswer FetchSurveys(HttpClient& client, const std::string& baseUrl, const std::string& key,
                           const task::LonLatBox& box, const std::atomic<bool>* abort = nullptr);

}  // namespace download
