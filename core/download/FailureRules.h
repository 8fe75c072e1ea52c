// How a failed tile request is recognised and what follows from it: the
// download worker's failure classes with their retries, pauses and
// consequences, in one table, and the facts and messages the failed-list run
// shares with it. Pure data and functions; any thread.
#pragma once

#include <cstdint>

#include "core/download/HttpClient.h"

namespace download {

struct Pacing;

inline constexpr const char* kBannedMessage = "Error: may be your IP is banned.\nPlease try again later.";
inline constexpr const char* kNetworkMessage = "Error: Your network has problem, please check it.";
inline constexpr const char* kNotFoundMessage = "Error: the image is not found on server.";

// Connection resets of one tile repeated at once. After them the worker
// pauses longer and longer between repetitions (Pacing), so a server that
// resets every connection is not flooded; the failed-list run handles the
// reset as any other failure.
inline constexpr int64_t kImmediateResetRepeats = 10;

inline bool IsConnectionReset(const HttpResult& r) { return r.SocketError == kSocketConnectionReset; }
inline bool IsRefusal(const HttpResult& r) { return r.Status == 302 || r.Status == 403; }
inline bool IsNotFound(const HttpResult& r) { return r.Status == 404; }

// Failure classes of a failed request, in the order they are tested.
// NotAnImage: a tile source's successful answer whose body is not an image
// of the source's format (an error page sent with status 200).
enum class FailureClass { Reset, AddressInUse, Refused, Network, NotFound, NotAnImage, Other, NoText };

// What a worker does with a failed request of one class.
struct FailureRule {
  FailureClass Class;
  bool (*Recognises)(const HttpResult&);
  // Requests of the tile (of every class) after which it is given up;
  // kWithoutLimit: never.
  int64_t AttemptsAllowed;
  // The pause before the next request, given the requests of this class
  // the tile has had so far.
  int (*PauseMs)(const Pacing&, int64_t failuresOfClass);

  // Giving up, in this order: one report, the failed-list record if made, a
  // message if any, then the blank image in the tile's place or the end of
  // the worker.
  enum class Report { ErrorLine, NotFoundLine, FailedLine };
  Report GivingUpReport;
  bool RecordsFailure;
  const char* Message;
  bool StopsWorker;
};
inline constexpr int64_t kWithoutLimit = 0;

// The first rule of the table, in class order, that recognises result.
const FailureRule& RuleFor(const HttpResult& result);
FailureClass Classify(const HttpResult& result);

}  // namespace download
