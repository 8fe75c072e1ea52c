#include "core/download/FailureRules.h"

#include <algorithm>

#include "core/download/Unit3.h"

namespace download {

namespace {

using Report = FailureRule::Report;

bool IsResetOrClosed(const HttpResult& r) { return IsConnectionReset(r) || r.ClosedWithoutAnswer; }
bool IsAddressInUse(const HttpResult& r) { return r.SocketError == kSocketAddressInUse; }
bool IsNetworkFailure(const HttpResult& r) { return r.SocketError != 0 || r.Status == 408; }
bool IsNotFoundOrBadRequest(const HttpResult& r) { return IsNotFound(r) || r.Status == 400; }
bool HasText(const HttpResult& r) { return !r.ErrorText.empty(); }
bool IsNotAnImage(const HttpResult& r) { return r.NotAnImage; }
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

constexpr FailureRule kRules[] = {
    {FailureClass::Reset, IsResetOrClosed, kWithoutLimit, AfterImmediateResets, {}, false, nullptr, false},
    {FailureClass::AddressInUse, IsAddressInUse, kWithoutLimit, Fixed<&Pacing::AddressInUseMs>, {}, false, nullptr,
     false},
    {FailureClass::Refused, IsRefusal, kAttempts, Fixed<&Pacing::RefusedMs>, Report::ErrorLine, true, kBannedMessage,
     true},
    {FailureClass::Network, IsNetworkFailure, kAttempts, Fixed<&Pacing::NetworkMs>, Report::ErrorLine, true,
     kNetworkMessage, true},
    {FailureClass::NotFound, IsNotFoundOrBadRequest, kAttempts, Fixed<&Pacing::NotFoundMs>, Report::NotFoundLine,
     false, nullptr, false},
    {FailureClass::NotAnImage, IsNotAnImage, kAttempts, Fixed<&Pacing::OtherMs>, Report::ErrorLine, true, nullptr,
     false},
    {FailureClass::Other, HasText, kAttempts, Fixed<&Pacing::OtherMs>, Report::ErrorLine, true, nullptr, false},
    {FailureClass::NoText, Always, kAttempts, Fixed<&Pacing::OtherMs>, Report::FailedLine, true, nullptr, false},
};

}  // namespace

const FailureRule& RuleFor(const HttpResult& result) {
  return *std::find_if(std::begin(kRules), std::end(kRules),
                       [&result](const FailureRule& rule) { return rule.Recognises(result); });
}

FailureClass Classify(const HttpResult& result) { return RuleFor(result).Class; }

}  // namespace download
