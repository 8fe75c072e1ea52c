#include "core/download/FailureRules.h"

#include <algorithm>

#include "core/download/Unit3.h"
#include "core/platform/Numbers.h"
#include "core/task/TileImage.h"

namespace download {

namespace {

using Report = FailureRule::Report;

bool IsResetOrClosed(const HttpResult& r) { return IsConnectionReset(r) || r.ClosedWithoutAnswer; }
bool IsAddressInUse(const HttpResult& r) { return r.SocketError == kSocketAddressInUse; }
bool IsNetworkFailure(const HttpResult& r) { return r.SocketError != 0 || r.Status == 408; }
bool IsNotFoundOrBadRequest(const HttpResult& r) { return IsNotFound(r) || r.Status == 400; }
bool HasText(const HttpResult& r) { return !r.ErrorText.empty(); }
bool IsNotATile(const HttpResult& r) { return !r.TileProblem.empty(); }
bool Always(const HttpResult&) { return true; }

template <int Pacing::*Member>
int Fixed(const Pacing& pace, int64_t) {
  return pace.*Member;
}

// None for the first resets, then doubling up to a cap.
int AfterImmediateResets(const Pacing& pace, int64_t resets) {
  if (resets <= kImmediateResetRepeats) return 0;
  int64_t pause = pace.ResetPauseMs;
  for (int64_t i = kImmediateResetRepeats + 1; i < resets && pause < pace.ResetPauseMaxMs; ++i) pause *= 2;
  return static_cast<int>(std::min<int64_t>(pause, pace.ResetPauseMaxMs));
}

constexpr int64_t kAttempts = 3;

// Wrong proxy credentials do not mend themselves: one request is enough.
constexpr int64_t kProxyAttempts = 1;

constexpr FailureRule kRules[] = {
    {FailureClass::Reset, IsResetOrClosed, kWithoutLimit, kResetsBeforeGivingUp, AfterImmediateResets,
     Report::ErrorLine, true, nullptr, false},
    {FailureClass::AddressInUse, IsAddressInUse, kWithoutLimit, kWithoutLimit, Fixed<&Pacing::AddressInUseMs>, {},
     false, nullptr, false},
    {FailureClass::Refused, IsRefusal, kAttempts, kWithoutLimit, Fixed<&Pacing::RefusedMs>, Report::ErrorLine, true,
     kBannedMessage, true},
    {FailureClass::ProxyRefused, IsProxyRefusal, kProxyAttempts, kWithoutLimit, Fixed<&Pacing::NetworkMs>,
     Report::ErrorLine, true, kProxyRefusedMessage, true},
    {FailureClass::Network, IsNetworkFailure, kAttempts, kWithoutLimit, Fixed<&Pacing::NetworkMs>, Report::ErrorLine,
     true, kNetworkMessage, true},
    {FailureClass::NotFound, IsNotFoundOrBadRequest, kAttempts, kWithoutLimit, Fixed<&Pacing::NotFoundMs>,
     Report::NotFoundLine, false, nullptr, false},
    {FailureClass::NotATile, IsNotATile, kAttempts, kWithoutLimit, Fixed<&Pacing::OtherMs>, Report::ErrorLine, true,
     nullptr, false},
    {FailureClass::Other, HasText, kAttempts, kWithoutLimit, Fixed<&Pacing::OtherMs>, Report::ErrorLine, true, nullptr,
     false},
    {FailureClass::NoText, Always, kAttempts, kWithoutLimit, Fixed<&Pacing::OtherMs>, Report::FailedLine, true,
     nullptr, false},
};

// Another key is needed: no retry helps.
constexpr FailureRule kKeyRefusedRule = {FailureClass::KeyRefused, IsKeyRefusal, 1, kWithoutLimit,
                                         Fixed<&Pacing::RefusedMs>, Report::ErrorLine, true, kKeyRefusedMessage, true};

// Turns a successful answer that is no tile of extension into a failure.
void JudgeTileAnswer(HttpResult& result, std::string_view body, std::string_view extension) {
  if (!result.Ok) return;
  std::optional<std::string> problem = task::TileImageProblem(body, extension);
  if (!problem) return;
  const std::string came = (result.ContentType.empty() ? std::string("no content type") : result.ContentType) + ", " +
                           platform::FormatInteger(static_cast<int64_t>(body.size())) + " bytes";
  const bool noImage = *problem == task::kNotAnImage || body.empty();
  result.Ok = false;
  result.ErrorText = noImage ? "Not an image: " + came : "Not a tile (" + *problem + "): " + came;
  result.TileProblem = std::move(*problem);
}

}  // namespace

const FailureRule& RuleFor(const HttpResult& result, bool sendsApiKey) {
  if (sendsApiKey && kKeyRefusedRule.Recognises(result)) return kKeyRefusedRule;
  return *std::find_if(std::begin(kRules), std::end(kRules),
                       [&result](const FailureRule& rule) { return rule.Recognises(result); });
}

FailureClass Classify(const HttpResult& result) { return RuleFor(result).Class; }

HttpResult GetTile(HttpClient& client, const std::string& url, std::string_view extension, std::string& body,
                   const std::atomic<bool>* abort) {
  body.clear();
  HttpResult result = client.Get(url, body, abort);
  JudgeTileAnswer(result, body, extension);
  return result;
}

bool IsTransient(const HttpResult& result) {
  switch (result.Status) {
    case 429: case 500: case 502: case 503: case 504: return true;
    default: break;
  }
  if (result.Status != 0 || !result.TileProblem.empty()) return false;
  return (result.SocketError != 0 && result.SocketError != kSocketAddressInUse) || result.ClosedWithoutAnswer;
}

int BackoffPauseMs(const Pacing& pace, int64_t retry, double jitter) {
  int64_t pause = std::max(pace.BackoffFirstMs, 0);
  for (int64_t i = 1; i < retry && pause < pace.BackoffMaxMs; ++i) pause *= 2;
  pause = std::min<int64_t>(pause, pace.BackoffMaxMs);
  return static_cast<int>(pause + static_cast<int64_t>(std::clamp(jitter, 0.0, 1.0) * static_cast<double>(pause) / 2));
}

std::string ShortReason(const HttpResult& result) {
  if (!result.TileProblem.empty()) return result.TileProblem;
  if (result.Status != 0 && (result.Status < 200 || result.Status > 299)) {
    return "HTTP " + platform::FormatInteger(result.Status);
  }
  switch (result.SocketError) {
    case 0: break;
    case 10054: return "connection reset";
    case 10060: return "timed out";
    case 10061: return "connection refused";
    case 11001: return "host not found";
    default: return "socket error " + platform::FormatInteger(result.SocketError);
  }
  if (result.ClosedWithoutAnswer) return "closed without an answer";
  if (result.ErrorText.empty()) return "no answer";
  return result.ErrorText.substr(0, result.ErrorText.find_first_of("\r\n"));
}

}  // namespace download
