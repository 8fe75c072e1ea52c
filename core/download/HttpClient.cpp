#include "core/download/HttpClient.h"

#include <curl/curl.h>

#include "core/platform/Numbers.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <ctime>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string_view>

namespace download {

namespace {

struct SocketError {
  int Code;
  const char* Words;
};

// The Windows Sockets numbers and words that the failure texts keep on every
// platform (the worker sorts failures by these substrings).
constexpr SocketError kSocketErrors[] = {
    {10048, "Address already in use."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10065, "No route to host."},
    {11001, "Host not found."},
};

const char* SocketWords(long code) {
  for (const auto& e : kSocketErrors) {
    if (e.Code == code) return e.Words;
  }
  return nullptr;
}

std::string Decimal(long value) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, res.ptr);
}

// Which transfers an errno row applies to.
enum TransferStep : unsigned { kConnect = 1, kSend = 2, kReceive = 4, kAnyStep = 7 };

struct ErrnoRow {
  int Errno;
  unsigned Steps;
  int Code;
};

constexpr ErrnoRow kErrnoRows[] = {
    {ECONNRESET, kAnyStep, 10054},
    {ECONNREFUSED, kAnyStep, 10061},
    {ETIMEDOUT, kAnyStep, 10060},
    {EADDRINUSE, kAnyStep, 10048},
    // No free local port for a new connection.
    {EADDRNOTAVAIL, kConnect, 10048},
    {ECONNABORTED, kAnyStep, 10053},
    {EPIPE, kSend, 10053},
    {EHOSTUNREACH, kAnyStep, 10065},
    {ENETUNREACH, kAnyStep, 10051},
    {ENETDOWN, kAnyStep, 10050},
};

unsigned StepOf(CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_CONNECT: return kConnect;
    case CURLE_SEND_ERROR: return kSend;
    case CURLE_RECV_ERROR: return kReceive;
    default: return 0;
  }
}

// Clearer words for libcurl results whose own text misleads a user or speaks
// of libcurl's insides. Some hold only before a request went out, some only
// after; with Detail, curl's own message follows after ": ".
enum class Sent { Either, Before, After };

struct CurlText {
  CURLcode Code;
  Sent When;
  const char* Words;
  bool Detail;
};

constexpr CurlText kCurlTexts[] = {
    {CURLE_UNSUPPORTED_PROTOCOL, Sent::Before, "Unsupported URL scheme: only http:// and https:// URLs are fetched.",
     false},
    // "Received HTTP/0.9 when not allowed" and the like.
    {CURLE_UNSUPPORTED_PROTOCOL, Sent::After, "The server's answer is not HTTP/1.x", true},
    {CURLE_URL_MALFORMAT, Sent::Either, "Bad URL: empty, or not of the form http://host/path.", false},
    {CURLE_WEIRD_SERVER_REPLY, Sent::Either, "The server's answer is malformed", true},
    // libcurl 7.88 fails an answer's header line over 100 KiB so, without a
    // message.
    {CURLE_OUT_OF_MEMORY, Sent::After, "A header line of the server's answer is longer than 102400 bytes.", false},
    {CURLE_SSL_CONNECT_ERROR, Sent::Either, "Secure connection (TLS) to the server failed", true},
    {CURLE_PEER_FAILED_VERIFICATION, Sent::Either, "The server's certificate is not trusted", true},
    {CURLE_SSL_CACERT_BADFILE, Sent::Either, "The trusted certificates cannot be read", true},
};

const CurlText* CurlTextOf(CURLcode code, bool requestSent) {
  const Sent sent = requestSent ? Sent::After : Sent::Before;
  for (const auto& row : kCurlTexts) {
    if (row.Code == code && (row.When == Sent::Either || row.When == sent)) return &row;
  }
  return nullptr;
}

// prefix is given in capitals.
bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != prefix[i]) return false;
  }
  return true;
}

// Status code of a status line "HTTP/x.y nnn reason"; 0 when there is none.
long StatusCodeOf(const std::string& line) {
  std::size_t space = line.find(' ');
  if (space == std::string::npos) return 0;
  long code = 0;
  const char* begin = line.data() + space + 1;
  const char* end = line.data() + line.size();
  auto res = std::from_chars(begin, end, code);
  if (res.ec != std::errc() || res.ptr - begin != 3) return 0;
  return code;
}

// The value of a header line "Name: value", blanks around it dropped.
std::string HeaderValue(const std::string& line) {
  std::size_t start = line.find(':') + 1;
  while (start < line.size() && (line[start] == ' ' || line[start] == '\t')) ++start;
  std::size_t end = line.size();
  while (end > start && (line[end - 1] == ' ' || line[end - 1] == '\t')) --end;
  return line.substr(start, end - start);
}

// Retry-After: seconds, or an HTTP date (seconds from now, 0 when past).
std::optional<long> RetryAfterSeconds(const std::string& value) {
  long seconds = 0;
  const auto parsed = std::from_chars(value.data(), value.data() + value.size(), seconds);
  if (parsed.ec == std::errc() && parsed.ptr == value.data() + value.size() && seconds >= 0) return seconds;
  const time_t at = curl_getdate(value.c_str(), nullptr);
  if (at < 0) return std::nullopt;
  return std::max<long>(0, static_cast<long>(at - std::time(nullptr)));
}

bool IsSuccess(long status) { return status >= 200 && status < 300; }

// libcurl before 8.8.0 URL-decodes the proxy user name and password although
// they are documented as taken verbatim; escaping "%" keeps them intact there.
std::string AsLibcurlTakesIt(const std::string& credential) {
  static const bool decodes = curl_version_info(CURLVERSION_NOW)->version_num < 0x080800;
  if (!decodes) return credential;
  std::string out;
  for (char c : credential) {
    if (c == '%') {
      out += "%25";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string SocketErrorText(int wsaCode) {
  std::string text = "Socket Error # " + Decimal(wsaCode);
  if (const char* words = SocketWords(wsaCode)) {
    text += "\r\n";
    text += words;
  }
  return text;
}

int SocketErrorFor(int curlCode, long osErrno) {
  const auto code = static_cast<CURLcode>(curlCode);
  switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
      return 10060;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return 11001;
    default:
      break;
  }
  const unsigned step = StepOf(code);
  if (step == 0 || osErrno == 0) return 0;
  // A Windows build reports the Windows Sockets number itself.
  if (SocketWords(osErrno) != nullptr) return static_cast<int>(osErrno);
  for (const auto& row : kErrnoRows) {
    if (row.Errno == osErrno && (row.Steps & step) != 0) return row.Code;
  }
  return 0;
}

std::string ErrorTextFor(int curlCode, long osErrno, const char* errorBuffer, bool requestSent) {
  const auto code = static_cast<CURLcode>(curlCode);
  if (code == CURLE_GOT_NOTHING) return "Connection Closed Gracefully.";
  if (const int socketError = SocketErrorFor(curlCode, osErrno); socketError != 0) {
    return SocketErrorText(socketError);
  }
  const std::string detail = errorBuffer != nullptr ? errorBuffer : "";
  if (const CurlText* text = CurlTextOf(code, requestSent)) {
    if (!text->Detail) return text->Words;
    return std::string(text->Words) + (detail.empty() ? "." : ": " + detail);
  }
  if (!detail.empty()) return detail;
  return curl_easy_strerror(code);
}

struct HttpClient::Impl {
  struct EasyDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
  };
  struct ListDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
  };

  std::unique_ptr<CURL, EasyDeleter> easy;
  // libcurl keeps a pointer to the header list, not a copy.
  std::unique_ptr<curl_slist, ListDeleter> headerList;
  HttpLimits limits;
  std::string connection;
  std::vector<std::string> extraLines;
  CURLcode setupError = CURLE_OK;
  std::string proxyError;  // of the last SetProxy only
  char errorBuffer[CURL_ERROR_SIZE] = {};

  // State of the request under way.
  std::string statusLine;
  long status = 0;
  std::string contentType;
  std::optional<long> retryAfterSeconds;
  std::string* body = nullptr;
  std::size_t bodyStart = 0;
  bool tooLarge = false;
  const std::atomic<bool>* abort = nullptr;
  std::string headOut;  // the part of a request head sent so far
  int requestsSent = 0;

  void Set(CURLoption option, auto value) {
    CURLcode rc = curl_easy_setopt(easy.get(), option, value);
    if (rc != CURLE_OK && setupError == CURLE_OK) setupError = rc;
  }
  void RebuildHeaders();

  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);
  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self);
  static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
  static int OnDebug(CURL*, curl_infotype type, char* data, std::size_t size, void* self);
};

std::size_t HttpClient::Impl::OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
  auto* impl = static_cast<Impl*>(self);
  const std::size_t n = size * count;
  std::string line(data, n);
  // A proxy or an interim answer may put more than one status line before
  // the final one: the last one counts. libcurl takes "HTTP/" in any case.
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (StartsWithNoCase(line, "HTTP/")) {
    impl->statusLine = std::move(line);
    impl->status = StatusCodeOf(impl->statusLine);
    // The headers that count are those of the last answer.
    impl->contentType.clear();
    impl->retryAfterSeconds.reset();
  } else if (StartsWithNoCase(line, "CONTENT-TYPE:")) {
    impl->contentType = HeaderValue(line);
  } else if (StartsWithNoCase(line, "RETRY-AFTER:")) {
    impl->retryAfterSeconds = RetryAfterSeconds(HeaderValue(line));
  }
  return n;
}

std::size_t HttpClient::Impl::OnBody(char* data, std::size_t size, std::size_t count, void* self) {
  auto* impl = static_cast<Impl*>(self);
  const std::size_t n = size * count;
  if (!IsSuccess(impl->status)) return n;  // the body of a failure is not kept
  // Checked here: libcurl's own size limit looks only at a declared length.
  const std::size_t have = impl->body->size() - impl->bodyStart;
  if (n > impl->limits.MaxBodyBytes - have) {
    impl->tooLarge = true;
    return 0;
  }
  impl->body->append(data, n);
  return n;
}

int HttpClient::Impl::OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* impl = static_cast<Impl*>(self);
  return impl->abort != nullptr && impl->abort->load() ? 1 : 0;
}

// libcurl hands each request head to the debug callback as it writes it, in
// one piece or several; a head is sent once its empty last line has gone out.
int HttpClient::Impl::OnDebug(CURL*, curl_infotype type, char* data, std::size_t size, void* self) {
  if (type != CURLINFO_HEADER_OUT) return 0;
  auto* impl = static_cast<Impl*>(self);
  impl->headOut.append(data, size);
  if (impl->headOut.ends_with("\r\n\r\n")) {
    ++impl->requestsSent;
    impl->headOut.clear();
  }
  return 0;
}

void HttpClient::Impl::RebuildHeaders() {
  curl_slist* list = nullptr;
  auto add = [&list](const std::string& line) {
    if (curl_slist* grown = curl_slist_append(list, line.c_str())) list = grown;
  };
  if (!connection.empty()) add("Connection: " + connection);
  for (const auto& line : extraLines) add(line);
  Set(CURLOPT_HTTPHEADER, list);
  headerList.reset(list);
}

void HttpClient::GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

HttpClient::HttpClient(HttpLimits limits) : impl_(std::make_unique<Impl>()) {
  Impl& d = *impl_;
  d.limits = limits;
  d.easy.reset(curl_easy_init());
  if (!d.easy) {
    d.setupError = CURLE_FAILED_INIT;
    return;
  }
  d.Set(CURLOPT_ERRORBUFFER, d.errorBuffer);
  d.Set(CURLOPT_NOSIGNAL, 1L);
  // HTTP/1.1 keeps the reason phrase in the status line that failures report.
  d.Set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  d.Set(CURLOPT_FOLLOWLOCATION, 0L);
  // Tile URLs are plain web addresses; a URL from a file never reads a local
  // file or reaches another protocol.
  d.Set(CURLOPT_PROTOCOLS_STR, "http,https");
  // Without this libcurl would take a proxy from the environment.
  d.Set(CURLOPT_PROXY, "");
  d.Set(CURLOPT_PROXYTYPE, static_cast<long>(CURLPROXY_HTTP));
  d.Set(CURLOPT_PROXYAUTH, static_cast<unsigned long>(CURLAUTH_BASIC));
  d.Set(CURLOPT_CONNECTTIMEOUT_MS, limits.ConnectTimeoutMs);
  d.Set(CURLOPT_LOW_SPEED_LIMIT, limits.LowSpeedBytes);
  d.Set(CURLOPT_LOW_SPEED_TIME, limits.LowSpeedSeconds);
  d.Set(CURLOPT_HEADERFUNCTION, &Impl::OnHeader);
  d.Set(CURLOPT_HEADERDATA, &d);
  d.Set(CURLOPT_WRITEFUNCTION, &Impl::OnBody);
  d.Set(CURLOPT_WRITEDATA, &d);
  d.Set(CURLOPT_XFERINFOFUNCTION, &Impl::OnProgress);
  d.Set(CURLOPT_XFERINFODATA, &d);
  d.Set(CURLOPT_NOPROGRESS, 0L);
  // The debug callback sees the requests really sent, also those that
  // libcurl repeats by itself; it is called only in verbose mode.
  d.Set(CURLOPT_DEBUGFUNCTION, &Impl::OnDebug);
  d.Set(CURLOPT_DEBUGDATA, &d);
  d.Set(CURLOPT_VERBOSE, 1L);
}

HttpClient::~HttpClient() = default;

void SetProxyFromSettings(HttpClient& client, const ProxySettings& proxy) {
  if (!proxy.UseProxy) return;
  const auto port = platform::ParseInteger(proxy.ProxyPort);
  if (!port) throw std::runtime_error("proxy port is not a number: " + proxy.ProxyPort);
  if (*port < 0 || *port > 65535) throw std::runtime_error("proxy port is out of range: " + proxy.ProxyPort);
  client.SetProxy(proxy.ProxyServer, *port, proxy.ProxyUsername, proxy.ProxyPassword);
}

std::unique_ptr<HttpClient> MakeTileClient(const ProxySettings& proxy, const std::vector<std::string>& headerLines,
                                           HttpLimits limits) {
  auto client = std::make_unique<HttpClient>(limits);
  SetProxyFromSettings(*client, proxy);
  for (const std::string& line : headerLines) client->AddHeaderLine(line);
  return client;
}

void HttpClient::SetProxy(const std::string& host, int port, const std::string& username,
                          const std::string& password) {
  CURL* h = impl_->easy.get();
  if (h == nullptr) return;
  const bool direct = host.empty();
  const bool withUser = !direct && !username.empty();
  if (!direct && (port < 0 || port > 65535)) {
    impl_->proxyError = "Proxy port " + Decimal(port) + " is not between 0 and 65535.";
    return;
  }
  CURLcode rc = curl_easy_setopt(h, CURLOPT_PROXY, direct ? "" : host.c_str());
  if (rc == CURLE_OK && !direct) rc = curl_easy_setopt(h, CURLOPT_PROXYPORT, static_cast<long>(port));
  // Given apart (not as "user:password"), a ":" in either is safe.
  const std::string user = AsLibcurlTakesIt(username);
  const std::string pass = AsLibcurlTakesIt(password);
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_PROXYUSERNAME, withUser ? user.c_str() : nullptr);
  if (rc == CURLE_OK) rc = curl_easy_setopt(h, CURLOPT_PROXYPASSWORD, withUser ? pass.c_str() : nullptr);
  impl_->proxyError = rc == CURLE_OK ? std::string() : ErrorTextFor(rc, 0, nullptr, false);
}

void HttpClient::SetReferer(const std::string& value) {
  impl_->Set(CURLOPT_REFERER, value.empty() ? nullptr : value.c_str());
}

void HttpClient::SetUserAgent(const std::string& value) {
  impl_->Set(CURLOPT_USERAGENT, value.empty() ? nullptr : value.c_str());
}

void HttpClient::SetConnection(const std::string& value) {
  impl_->connection = value;
  impl_->RebuildHeaders();
}

void HttpClient::AddHeaderLine(const std::string& line) {
  impl_->extraLines.push_back(line);
  impl_->RebuildHeaders();
}

void HttpClient::SetHeaderLines(const std::vector<std::string>& lines) {
  impl_->extraLines = lines;
  impl_->RebuildHeaders();
}

HttpResult HttpClient::Get(const std::string& url, std::string& body, const std::atomic<bool>* abort) {
  Impl& d = *impl_;
  HttpResult result;
  if (abort != nullptr && abort->load()) {
    result.Aborted = true;
    result.CurlCode = CURLE_ABORTED_BY_CALLBACK;
    result.ErrorText = curl_easy_strerror(CURLE_ABORTED_BY_CALLBACK);
    return result;
  }
  if (d.setupError != CURLE_OK) {
    result.CurlCode = d.setupError;
    result.ErrorText = ErrorTextFor(d.setupError, 0, nullptr, false);
    return result;
  }
  if (!d.proxyError.empty()) {
    result.ErrorText = d.proxyError;
    return result;
  }
  if (url.size() > kMaxUrlLength) {
    result.ErrorText = "URL is too long: " + Decimal(static_cast<long>(url.size())) + " characters, at most " +
                       Decimal(static_cast<long>(kMaxUrlLength)) + " are allowed.";
    return result;
  }

  d.statusLine.clear();
  d.status = 0;
  d.contentType.clear();
  d.retryAfterSeconds.reset();
  d.body = &body;
  d.bodyStart = body.size();
  d.tooLarge = false;
  d.abort = abort;
  d.errorBuffer[0] = '\0';
  d.headOut.clear();
  d.requestsSent = 0;

  CURLcode rc = curl_easy_setopt(d.easy.get(), CURLOPT_URL, url.c_str());
  if (rc == CURLE_OK) rc = curl_easy_perform(d.easy.get());
  d.abort = nullptr;
  d.body = nullptr;
  result.CurlCode = rc;
  result.Status = d.status;
  result.RequestsSent = d.requestsSent;
  result.ContentType = d.contentType;
  result.RetryAfterSeconds = d.retryAfterSeconds;

  if (rc == CURLE_OK && IsSuccess(d.status)) {
    result.Ok = true;
    return result;
  }
  body.resize(d.bodyStart);
  if (rc == CURLE_ABORTED_BY_CALLBACK) {
    result.Aborted = true;
    result.ErrorText = ErrorTextFor(rc, 0, d.errorBuffer, d.requestsSent > 0);
  } else if (d.tooLarge) {
    result.ErrorText =
        "Response too large: more than " + Decimal(static_cast<long>(d.limits.MaxBodyBytes)) + " bytes.";
  } else if (rc == CURLE_OK && d.status < 200) {
    // libcurl took the answer, but without a final status line of the form
    // "HTTP/x.y nnn ...": say so rather than show the garbage.
    result.ErrorText = "The server's answer has no valid status line.";
  } else if (rc == CURLE_OK || d.status >= 300) {
    // The server answered, and not with success; whatever became of the rest
    // of its answer, that answer is the failure.
    result.ErrorText = d.statusLine;
  } else {
    long osErrno = 0;
    if (StepOf(rc) != 0) curl_easy_getinfo(d.easy.get(), CURLINFO_OS_ERRNO, &osErrno);
    result.SocketError = SocketErrorFor(rc, osErrno);
    result.ClosedWithoutAnswer = rc == CURLE_GOT_NOTHING;
    result.ErrorText = ErrorTextFor(rc, osErrno, d.errorBuffer, d.requestsSent > 0);
  }
  return result;
}

}  // namespace download
