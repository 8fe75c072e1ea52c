// How a failed tile request is recognised and what follows from it: the
// download worker's failure classes with their retries, pauses and
// consequences, in one table, and the facts and messages the failed-list run
// shares with it. Pure data and functions; any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/download/HttpClient.h"

namespace download {

struct Pacing;

inline constexpr const char* kBannedMessage = "Error: may be your IP is banned.\nPlease try again later.";
inline constexpr const char* kNetworkMessage = "Error: Your network has problem, please check it.";
inline constexpr const char* kNotFoundMessage = "Error: the image is not found on server.";
inline constexpr const char* kProxyRefusedMessage =
    "Error: the proxy server refused the user name or password, please check them in Options.";
inline constexpr const char* kKeyRefusedMessage =
    "Error: the service refused the API key, please check the key in Options.";

// Connection resets of one tile repeated at once. After them the worker
// pauses longer and longer between repetitions (Pacing), so a server that
// resets every connection is not flooded; the failed-list run handles the
// reset as any other failure.
inline constexpr int64_t kImmediateResetRepeats = 10;
// Resets (or connections closed without an answer) of one tile after which
// the worker gives it up as it gives up other failures, so that a run always
// ends; with the growing pauses this takes a few minutes.
inline constexpr int64_t kResetsBeforeGivingUp = 50;

inline bool IsConnectionReset(const HttpResult& r) { return r.SocketError == kSocketConnectionReset; }
inline bool IsRefusal(const HttpResult& r) { return r.Status == 302 || r.Status == 403; }
inline bool IsNotFound(const HttpResult& r) { return r.Status == 404; }
inline bool IsProxyRefusal(const HttpResult& r) { return r.Status == 407; }
// Of a request that carries an account's API key: the key was refused.
inline bool IsKeyRefusal(const HttpResult& r) { return r.Status == 401 || r.Status == 403; }

// One request for a tile, its answer judged: Ok only when body (emptied
// first) holds a tile of extension ("jpg" or "png"). A successful answer that
// is none (empty, an error page sent with status 200, truncated, the wrong
// size) becomes a failure whose ErrorText names what came ("Not an image:
// text/html, 27 bytes") and whose TileProblem says why. The download's
// workers, the failed-list run and the sources dialog's test all fetch
// through it.
HttpResult GetTile(HttpClient& client, const std::string& url, std::string_view extension, std::string& body,
                   const std::atomic<bool>* abort = nullptr);

// A failure of a tile source's server that goes away when asked again later:
// 500, 502, 503, 504, 429, or a connection that failed (reset, refused, timed
// out, closed without an answer, the host not found). The built-in map types
// keep their counted retries.
bool IsTransient(const HttpResult& result);
// The pause before retry (1 for the first) after a transient failure:
// BackoffFirstMs doubled retry - 1 times, at most BackoffMaxMs, lengthened by
// jitter (0 to 1) times half of it.
int BackoffPauseMs(const Pacing& pace, int64_t retry, double jitter);

// A few words for why a request failed, to count given-up tiles by:
// "HTTP 500", "timed out", "connection reset", "not an image", ...
std::string ShortReason(const HttpResult& result);

// Failure classes of a failed request, in the order they are tested.
// ProxyRefused: the proxy wants other credentials (407). KeyRefused: the
// service refused the account's API key (401, 403 of a request that carries
// one). NotATile: a successful answer that JudgeTileAnswer refused.
enum class FailureClass {
  Reset, AddressInUse, KeyRefused, Refused, ProxyRefused, Network, NotFound, NotATile, Other, NoText
};

// What a worker does with a failed request of one class.
struct FailureRule {
  FailureClass Class;
  bool (*Recognises)(const HttpResult&);
  // Requests of the tile (of every class) after which it is given up;
  // kWithoutLimit: never.
  int64_t AttemptsAllowed;
  // Failures of this class after which the tile is given up whatever the
  // attempts; kWithoutLimit: none.
  int64_t FailuresAllowed;
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

// The first rule of the table, in class order, that recognises result; with
// sendsApiKey (the request carried the account's key) a 401 or 403 is the
// key's refusal, which stops the worker at once.
const FailureRule& RuleFor(const HttpResult& result, bool sendsApiKey = false);
FailureClass Classify(const HttpResult& result);

}  // namespace download
