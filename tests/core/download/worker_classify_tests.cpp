// The sorting of a failed request into the worker's failure classes, by what
// the transfer was and never by the words of its text; the retries and
// pauses of each class.
#include <gtest/gtest.h>

#include <curl/curl.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "core/download/FailureRules.h"
#include "core/download/HttpClient.h"
#include "core/download/Unit3.h"

namespace {

using download::Classify;
using download::FailureClass;
using download::HttpResult;
using download::SocketErrorText;

HttpResult StatusFailure(long status, std::string statusLine) {
  HttpResult r;
  r.Status = status;
  r.CurlCode = CURLE_OK;
  r.ErrorText = std::move(statusLine);
  return r;
}

HttpResult SocketFailure(int socketError, CURLcode code) {
  HttpResult r;
  r.SocketError = socketError;
  r.CurlCode = code;
  r.ErrorText = SocketErrorText(socketError);
  return r;
}

HttpResult CurlFailure(CURLcode code, std::string text, long status = 0) {
  HttpResult r;
  r.Status = status;
  r.CurlCode = code;
  r.ErrorText = std::move(text);
  return r;
}

HttpResult ClosedWithoutAnswer() {
  HttpResult r = CurlFailure(CURLE_GOT_NOTHING, "Connection Closed Gracefully.");
  r.ClosedWithoutAnswer = true;
  return r;
}

struct Row {
  const char* name;
  HttpResult result;
  FailureClass expected;
};
void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

class ClassifyTable : public ::testing::TestWithParam<Row> {};

TEST_P(ClassifyTable, SortsTheFailureIntoItsClass) {
  EXPECT_EQ(Classify(GetParam().result), GetParam().expected) << GetParam().result.ErrorText;
}

const Row kRows[] = {
    // One row per class and way into it, as the client reports them.
    {"Reset", SocketFailure(10054, CURLE_RECV_ERROR), FailureClass::Reset},
    {"ResetMidBodyOfASuccess", [] {
       HttpResult r = SocketFailure(10054, CURLE_RECV_ERROR);
       r.Status = 200;
       return r;
     }(),
     FailureClass::Reset},
    {"ClosedWithoutAnswer", ClosedWithoutAnswer(), FailureClass::Reset},
    {"AddressInUse", SocketFailure(10048, CURLE_COULDNT_CONNECT), FailureClass::AddressInUse},
    {"Redirect", StatusFailure(302, "HTTP/1.1 302 Found"), FailureClass::Refused},
    {"Forbidden", StatusFailure(403, "HTTP/1.1 403 Forbidden"), FailureClass::Refused},
    {"TimedOut", SocketFailure(10060, CURLE_OPERATION_TIMEDOUT), FailureClass::Network},
    {"ConnectionRefused", SocketFailure(10061, CURLE_COULDNT_CONNECT), FailureClass::Network},
    {"HostNotFound", SocketFailure(11001, CURLE_COULDNT_RESOLVE_HOST), FailureClass::Network},
    {"RequestTimeout", StatusFailure(408, "HTTP/1.1 408 Request Timeout"), FailureClass::Network},
    {"NotFound", StatusFailure(404, "HTTP/1.1 404 Not Found"), FailureClass::NotFound},
    {"NotFoundLowerCase", StatusFailure(404, "http/1.1 404 Not Found"), FailureClass::NotFound},
    {"BadRequest", StatusFailure(400, "HTTP/1.1 400 Bad Request"), FailureClass::NotFound},
    {"ServerError", StatusFailure(500, "HTTP/1.1 500 Internal Server Error"), FailureClass::Other},
    {"ProxyAuth", StatusFailure(407, "HTTP/1.1 407 Proxy Authentication Required"), FailureClass::ProxyRefused},
    {"ClientMessage", CurlFailure(CURLE_UNSUPPORTED_PROTOCOL, "Unsupported URL scheme"), FailureClass::Other},
    {"NoText", CurlFailure(CURLE_OK, ""), FailureClass::NoText},
    // A non-2xx status is the failure even when its body was cut short.
    {"NotFoundCutShort", CurlFailure(CURLE_PARTIAL_FILE, "HTTP/1.1 404 Not Found", 404), FailureClass::NotFound},
    // Numbers in the words count for nothing.
    {"CutShortBy4030", CurlFailure(CURLE_PARTIAL_FILE, "transfer closed with 4030 bytes remaining to read", 200),
     FailureClass::Other},
    {"CutShortBy10054", CurlFailure(CURLE_PARTIAL_FILE, "transfer closed with 10054 bytes remaining to read", 200),
     FailureClass::Other},
    {"ReasonNamesASocketError", StatusFailure(503, "HTTP/1.1 503 Socket Error # 10048"), FailureClass::Other},
    {"ReasonNamesAStatus", StatusFailure(500, "HTTP/1.1 500 x14040 403 302"), FailureClass::Other},
    {"WordsOfAClosedConnection", CurlFailure(CURLE_RECV_ERROR, "Connection Closed Gracefully."), FailureClass::Other},
};

INSTANTIATE_TEST_SUITE_P(Rows, ClassifyTable, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

// How often each class is retried and after what pause, for the first
// failures of a tile: pauses that tell every field of Pacing apart.
struct RetryRow {
  const char* name;
  HttpResult result;
  int64_t attemptsAllowed;
  std::vector<int> pauses;  // before the request after failure 1, 2, ...
};
void PrintTo(const RetryRow& row, std::ostream* out) { *out << row.name; }

class RetryTable : public ::testing::TestWithParam<RetryRow> {};

TEST_P(RetryTable, AllowsItsAttemptsWithItsPauses) {
  download::Pacing pace;
  pace.AddressInUseMs = 11;
  pace.RefusedMs = 12;
  pace.NetworkMs = 13;
  pace.NotFoundMs = 14;
  pace.OtherMs = 15;
  pace.ResetPauseMs = 100;
  pace.ResetPauseMaxMs = 300;
  const download::FailureRule& rule = download::RuleFor(GetParam().result);
  EXPECT_EQ(rule.AttemptsAllowed, GetParam().attemptsAllowed);
  std::vector<int> pauses;
  for (int64_t failures = 1; failures <= static_cast<int64_t>(GetParam().pauses.size()); ++failures) {
    pauses.push_back(rule.PauseMs(pace, failures));
  }
  EXPECT_EQ(pauses, GetParam().pauses);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RetryTable,
    ::testing::Values(
        // Ten resets repeated at once, then a pause doubling up to its cap.
        RetryRow{"Reset", SocketFailure(10054, CURLE_RECV_ERROR), download::kWithoutLimit,
                 {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 100, 200, 300, 300}},
        RetryRow{"AddressInUse", SocketFailure(10048, CURLE_COULDNT_CONNECT), download::kWithoutLimit,
                 {11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11}},
        RetryRow{"Refused", StatusFailure(403, "HTTP/1.1 403 Forbidden"), 3, {12, 12}},
        RetryRow{"Network", SocketFailure(10060, CURLE_OPERATION_TIMEDOUT), 3, {13, 13}},
        RetryRow{"NotFound", StatusFailure(404, "HTTP/1.1 404 Not Found"), 3, {14, 14}},
        RetryRow{"Other", StatusFailure(500, "HTTP/1.1 500 Internal Server Error"), 3, {15, 15}},
        RetryRow{"NoText", CurlFailure(CURLE_OK, ""), 3, {15, 15}}),
    [](const ::testing::TestParamInfo<RetryRow>& info) { return std::string(info.param.name); });

}  // namespace
