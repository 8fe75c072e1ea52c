// A synchronous HTTP/1.1 client over one libcurl easy handle. One client per
// thread; it keeps its connection open between requests.
//
// Call GlobalInit() once in the main thread before any client is created.
//
// Default request headers: only what libcurl itself sends (Host and
// "Accept: */*"); no User-Agent, Referer or Connection header unless a caller
// sets one, so the download worker's requests carry nothing more.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/task/RunSettings.h"

namespace download {

// Bounds that keep a request from hanging for good. The program uses the
// defaults; tests shorten them.
struct HttpLimits {
  long ConnectTimeoutMs = 30000;
  // A transfer slower than LowSpeedBytes per second for LowSpeedSeconds fails
  // with a time-out.
  long LowSpeedBytes = 1;
  long LowSpeedSeconds = 60;
  std::size_t MaxBodyBytes = 64u * 1024u * 1024u;
};

// Windows Sockets numbers that the failure rules look for.
inline constexpr int kSocketAddressInUse = 10048;
inline constexpr int kSocketConnectionReset = 10054;

// Longer URLs are refused before anything is sent. libcurl 7.88 takes URLs of
// up to 8,000,000 bytes but fails a request head over 1 MiB as "Out of
// memory"; through a proxy the URL stands in the head twice (request line and
// Host), so this bound keeps every head well inside.
inline constexpr std::size_t kMaxUrlLength = 65536;

// What became of a request. A failure is told apart by Status, SocketError,
// ClosedWithoutAnswer and CurlCode, never by the words of ErrorText: libcurl's
// messages carry numbers of their own ("transfer closed with 4030 bytes
// remaining to read").
struct HttpResult {
  bool Ok = false;
  // For a failure: the status line as received (without its line end) for a
  // non-2xx answer, "Connection Closed Gracefully." for a connection closed
  // without an answer, "Socket Error # <n>\r\n<words>" for a socket error,
  // otherwise a message of the client (ErrorTextFor). Empty when the failure
  // has no text.
  std::string ErrorText;
  // True when the request was abandoned because the abort flag was set.
  bool Aborted = false;
  // Code of the last status line received; 0 when none came. A non-2xx one is
  // the failure whatever became of the rest of the answer.
  long Status = 0;
  // The Windows Sockets number in ErrorText; 0 when the failure is no socket
  // error (or is a non-2xx status).
  int SocketError = 0;
  // libcurl's CURLcode for the transfer; 0 when the request was refused
  // before libcurl ran (a URL too long, a proxy port out of range).
  int CurlCode = 0;
  // The server closed the connection without sending anything.
  bool ClosedWithoutAnswer = false;
  // Requests whose head went out whole. libcurl sends a request again by
  // itself, on a new connection, when a kept-alive one turns out dead, so one
  // Get can send two; it sends none when it cannot connect.
  int RequestsSent = 0;
  // Of the last answer: its Content-Type, and its Retry-After in seconds
  // (an HTTP date counted from now) when it had one that could be read.
  std::string ContentType;
  std::optional<long> RetryAfterSeconds;
  // Why a successful answer's body is no tile (GetTile); empty when
  // it is one or was not judged.
  std::string TileProblem;
};

class HttpClient {
 public:
  static void GlobalInit();

  explicit HttpClient(HttpLimits limits = {});
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // Every later request goes through this HTTP proxy; with a non-empty user
  // name it carries Basic proxy authorization. An empty host means direct.
  // The port is used as given; one outside 0..65535 makes every request fail.
  void SetProxy(const std::string& host, int port, const std::string& username,
                const std::string& password);
  // An empty value sends no header of that name.
  void SetReferer(const std::string& value);
  void SetUserAgent(const std::string& value);
  void SetConnection(const std::string& value);
  void AddHeaderLine(const std::string& line);
  // Replaces the lines AddHeaderLine gave.
  void SetHeaderLines(const std::vector<std::string>& lines);

  // GET url; on a 2xx answer appends the body to body and returns Ok. Never
  // follows a redirect. When abort is given and becomes true, the request is
  // abandoned soon after (Aborted set; within about a second while the peer is
  // silent). body is untouched unless Ok. A body over MaxBodyBytes, and a URL
  // over kMaxUrlLength, fail with a text that names the limit.
  HttpResult Get(const std::string& url, std::string& body,
                 const std::atomic<bool>* abort = nullptr);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The proxy as the settings file holds it.
using task::ProxySettings;

// Sets client's proxy from the settings (nothing when UseProxy is false).
// Throws std::runtime_error for a port that is not a number from 0 to 65535.
void SetProxyFromSettings(HttpClient& client, const ProxySettings& proxy);

// A client for tile requests: through the settings' proxy, with these header
// lines (a tile source's, its secret in them). Throws as SetProxyFromSettings.
std::unique_ptr<HttpClient> MakeTileClient(const ProxySettings& proxy, const std::vector<std::string>& headerLines,
                                           HttpLimits limits = {});

// "Socket Error # <code>\r\n<words>" for a Windows Sockets error number.
std::string SocketErrorText(int wsaCode);

// The Windows Sockets number of a failed transfer, 0 when it is none: curlCode
// is a CURLcode, osErrno the CURLINFO_OS_ERRNO of the transfer (read only for
// connect, send and receive errors, where it belongs to this transfer).
int SocketErrorFor(int curlCode, long osErrno);

// The ErrorText of a failed transfer (curlCode and osErrno as above):
// errorBuffer is curl's error buffer (may be null or empty), requestSent
// whether a request went out before the failure. Not for a completed
// transfer with a non-2xx status: that one's text is its status line.
std::string ErrorTextFor(int curlCode, long osErrno, const char* errorBuffer, bool requestSent);

}  // namespace download
