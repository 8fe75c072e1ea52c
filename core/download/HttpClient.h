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
#include <string>
#include <vector>

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

struct HttpResult {
  bool Ok = false;
  // For a failure: the status line as received (without its line end) for a
  // non-2xx answer, "Connection Closed Gracefully." for a connection closed
  // without an answer, "Socket Error # <n>\r\n<words>" for a socket error,
  // otherwise the client's own message. Empty when the failure has no text.
  std::string ErrorText;
  // True when the request was abandoned because the abort flag was set.
  bool Aborted = false;
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

  // GET url; on a 2xx answer appends the body to body and returns Ok. Never
  // follows a redirect. When abort is given and becomes true, the request is
  // abandoned soon after (Aborted set; within about a second while the peer is
  // silent). body is untouched unless Ok. A body over MaxBodyBytes fails with
  // "Response too large.".
  HttpResult Get(const std::string& url, std::string& body,
                 const std::atomic<bool>* abort = nullptr);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// "Socket Error # <code>\r\n<words>" for a Windows Sockets error number.
std::string SocketErrorText(int wsaCode);

// The ErrorText of a failed transfer: curlCode is a CURLcode, osErrno the
// CURLINFO_OS_ERRNO of the transfer (read only for connect, send and receive
// errors, where it belongs to this transfer), errorBuffer curl's error buffer
// (may be null or empty). Not for a completed transfer with a non-2xx status:
// that one's text is its status line.
std::string ErrorTextFor(int curlCode, long osErrno, const char* errorBuffer);

}  // namespace download
