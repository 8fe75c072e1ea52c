// A synchronous HTTP/1.1 client over one libcurl easy handle. One client per
// thread; it keeps its connection open between requests.
//
// Call GlobalInit() once in the main thread before any client is created.
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
  void SetProxy(const std::string& host, int port, const std::string& username,
                const std::string& password);
  void SetReferer(const std::string& value);
  void SetUserAgent(const std::string& value);
  void SetConnection(const std::string& value);
  void AddHeaderLine(const std::string& line);

  // GET url; on a 2xx answer appends the body to body and returns Ok. Never
  // follows a redirect. When abort is given and becomes true, the request is
  // abandoned soon after (Aborted set). body is untouched unless Ok.
  HttpResult Get(const std::string& url, std::string& body,
                 const std::atomic<bool>* abort = nullptr);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// "Socket Error # <code>\r\n<words>" for a Windows Sockets error number.
std::string SocketErrorText(int wsaCode);

}  // namespace download
