#include "tests/support/TileServer.h"

#include "tests/support/TileImages.h"

#include "tests/support/Sockets.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <list>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>

namespace testsupport {

namespace {

constexpr std::size_t kMaxRequestHead = 1u << 20;
constexpr std::size_t kChunk = 64u * 1024u;

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

std::string Trim(const std::string& s) {
  std::size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  std::size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

std::string Base64(const std::string& in) {
  static const char* const kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  for (; i + 2 < in.size(); i += 3) {
    unsigned v = (static_cast<unsigned char>(in[i]) << 16) |
                 (static_cast<unsigned char>(in[i + 1]) << 8) | static_cast<unsigned char>(in[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  if (i + 1 == in.size()) {
    unsigned v = static_cast<unsigned char>(in[i]) << 16;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += "==";
  } else if (i + 2 == in.size()) {
    unsigned v = (static_cast<unsigned char>(in[i]) << 16) | (static_cast<unsigned char>(in[i + 1]) << 8);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

std::string Decimal(unsigned long long n) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, n);
  return std::string(buf, res.ptr);
}

std::optional<unsigned long long> ParseDecimal(const std::string& s) {
  unsigned long long v = 0;
  auto res = std::from_chars(s.data(), s.data() + s.size(), v);
  if (res.ec != std::errc() || res.ptr != s.data() + s.size()) return std::nullopt;
  return v;
}

// The request line and headers of one request.
struct RequestHead {
  std::string Method;
  std::string Target;
  std::map<std::string, std::string> Headers;
};

std::optional<RequestHead> ParseHead(const std::string& head) {
  RequestHead r;
  std::size_t lineEnd = head.find("\r\n");
  std::string requestLine = head.substr(0, lineEnd);
  std::size_t sp1 = requestLine.find(' ');
  std::size_t sp2 = requestLine.rfind(' ');
  if (sp1 == std::string::npos || sp2 == sp1) return std::nullopt;
  r.Method = requestLine.substr(0, sp1);
  r.Target = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
  std::size_t pos = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
  while (pos < head.size()) {
    std::size_t end = head.find("\r\n", pos);
    if (end == std::string::npos) end = head.size();
    std::string line = head.substr(pos, end - pos);
    pos = end + 2;
    std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::string name = Lower(Trim(line.substr(0, colon)));
    std::string value = Trim(line.substr(colon + 1));
    auto [it, inserted] = r.Headers.emplace(name, value);
    if (!inserted) it->second += ", " + value;
  }
  return r;
}

bool StartsWithNoCase(const std::string& s, const std::string& prefix) {
  return s.size() >= prefix.size() && Lower(s.substr(0, prefix.size())) == prefix;
}

}  // namespace

struct TileServer::Impl {
  SocketFd listenFd = kNoSocket;
  Waker waker;
  uint16_t port = 0;
  std::atomic<bool> stopping{false};
  std::atomic<std::size_t> accepted{0};
  std::atomic<std::size_t> open{0};
  std::atomic<std::size_t> mostOpen{0};

  mutable std::mutex mu;  // guards everything below it
  struct Scripted {
    std::vector<Reply> Replies;
    std::size_t Next = 0;
  };
  std::map<std::string, Scripted> scripts;
  std::optional<Reply> defaultReply;
  std::function<std::optional<Reply>(const RecordedRequest&)> handler;
  std::string expectedProxyAuth;  // empty: no check
  std::vector<RecordedRequest> requests;

  struct Connection {
    std::thread Worker;
    std::atomic<bool> Done{false};
  };
  std::mutex connMu;
  std::list<Connection> connections;
  std::thread acceptor;

  Impl();
  ~Impl();
  void AcceptLoop();
  void Serve(SocketFd fd, std::size_t connection);
  void ReapFinished();

  // Both wait until fd is ready or the server stops; false on stop or error.
  bool WaitReady(SocketFd fd, short events) const;
  bool SendAll(SocketFd fd, const char* data, std::size_t size) const;
  bool SendAll(SocketFd fd, const std::string& s) const { return SendAll(fd, s.data(), s.size()); }
  // Reads more bytes into buffer; false when the peer closed, on error or stop.
  bool ReadMore(SocketFd fd, std::string& buffer) const;

  Reply NextReply(const RecordedRequest& request);
};

TileServer::Impl::Impl() {
  listenFd = NonBlockingTcpSocket();
  if (listenFd == kNoSocket) throw std::runtime_error("socket failed");
#ifndef _WIN32
  // (On Windows the same option would let another socket take the port.)
  int one = 1;
  SetOption(listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
#endif
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (bind(listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listenFd, 64) != 0) {
    CloseSocket(listenFd);
    throw std::runtime_error("cannot listen on 127.0.0.1");
  }
  socklen_t len = sizeof addr;
  getsockname(listenFd, reinterpret_cast<sockaddr*>(&addr), &len);
  port = ntohs(addr.sin_port);
  acceptor = std::thread([this] { AcceptLoop(); });
}

TileServer::Impl::~Impl() {
  stopping.store(true);
  waker.Wake();
  acceptor.join();
  {
    std::lock_guard<std::mutex> lock(connMu);
    for (auto& c : connections) c.Worker.join();
    connections.clear();
  }
  CloseSocket(listenFd);
}

bool TileServer::Impl::WaitReady(SocketFd fd, short events) const {
  for (;;) {
    if (stopping.load()) return false;
    pollfd fds[2] = {{fd, events, 0}, {waker.PollHandle(), POLLIN, 0}};
    int r = PollSockets(fds, 2, -1);
    if (r < 0) {
      if (Interrupted()) continue;
      return false;
    }
    if (fds[1].revents != 0) return false;
    if (fds[0].revents & (events | POLLHUP | POLLERR)) return true;
  }
}

bool TileServer::Impl::SendAll(SocketFd fd, const char* data, std::size_t size) const {
  while (size > 0) {
    const auto n = send(fd, data, static_cast<int>(std::min<std::size_t>(size, 1 << 20)), kSendFlags);
    if (n > 0) {
      data += n;
      size -= static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && Interrupted()) continue;
    if (n < 0 && WouldBlock()) {
      if (!WaitReady(fd, POLLOUT)) return false;
      continue;
    }
    return false;
  }
  return true;
}

bool TileServer::Impl::ReadMore(SocketFd fd, std::string& buffer) const {
  char chunk[8192];
  for (;;) {
    const auto n = recv(fd, chunk, sizeof chunk, kRecvFlags);
    if (n > 0) {
      buffer.append(chunk, static_cast<std::size_t>(n));
      return true;
    }
    if (n == 0) return false;
    if (Interrupted()) continue;
    if (!WouldBlock()) return false;
    if (!WaitReady(fd, POLLIN)) return false;
  }
}

void TileServer::Impl::AcceptLoop() {
  while (WaitReady(listenFd, POLLIN)) {
    const SocketFd fd = AcceptNonBlocking(listenFd);
    if (fd == kNoSocket) continue;
    int one = 1;
    SetOption(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const std::size_t number = accepted.fetch_add(1) + 1;
    ReapFinished();
    std::lock_guard<std::mutex> lock(connMu);
    Connection& c = connections.emplace_back();
    // Counted open from the accept to the end of its serving thread.
    const std::size_t nowOpen = open.fetch_add(1) + 1;
    for (std::size_t most = mostOpen.load(); nowOpen > most && !mostOpen.compare_exchange_weak(most, nowOpen);) {
    }
    c.Worker = std::thread([this, fd, number, &c] {
      Serve(fd, number);
      open.fetch_sub(1);
      c.Done.store(true);
    });
  }
}

void TileServer::Impl::ReapFinished() {
  std::lock_guard<std::mutex> lock(connMu);
  for (auto it = connections.begin(); it != connections.end();) {
    if (it->Done.load()) {
      it->Worker.join();
      it = connections.erase(it);
    } else {
      ++it;
    }
  }
}

Reply TileServer::Impl::NextReply(const RecordedRequest& request) {
  std::function<std::optional<Reply>(const RecordedRequest&)> handle;
  {
    std::lock_guard<std::mutex> lock(mu);
    handle = handler;
  }
  if (handle) {
    if (std::optional<Reply> reply = handle(request)) return *reply;
  }
  const std::string& path = request.Path;
  std::lock_guard<std::mutex> lock(mu);
  auto it = scripts.find(path);
  if (it != scripts.end() && !it->second.Replies.empty()) {
    Scripted& s = it->second;
    Reply r = s.Replies[std::min(s.Next, s.Replies.size() - 1)];
    ++s.Next;
    return r;
  }
  if (defaultReply) return *defaultReply;
  return Reply::Ok(DefaultBody(path));
}

namespace {

std::string ResponseHead(int status, const std::string& reason, std::size_t contentLength,
                         const std::string& extraHeaders, bool closing,
                         const std::string& protocol = "HTTP/1.1", const std::string& contentType = "") {
  std::string head = protocol + " " + Decimal(static_cast<unsigned long long>(status)) + " " + reason + "\r\n";
  if (!contentType.empty()) {
    head += "Content-Type: " + contentType + "\r\n";
  } else {
    head += status >= 200 && status < 300 ? "Content-Type: image/jpeg\r\n" : "Content-Type: text/plain\r\n";
  }
  head += "Content-Length: " + Decimal(contentLength) + "\r\n";
  head += extraHeaders;
  if (closing) head += "Connection: close\r\n";
  head += "\r\n";
  return head;
}

void ResetAndClose(SocketFd fd) {
  linger l{1, 0};
  SetOption(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  CloseSocket(fd);
}

}  // namespace

void TileServer::Impl::Serve(SocketFd fd, std::size_t connection) {
  std::string pending;
  for (;;) {
    // One request head, then any body it announces.
    std::size_t headEnd;
    while ((headEnd = pending.find("\r\n\r\n")) == std::string::npos) {
      if (pending.size() > kMaxRequestHead || !ReadMore(fd, pending)) {
        CloseSocket(fd);
        return;
      }
    }
    std::string head = pending.substr(0, headEnd);
    pending.erase(0, headEnd + 4);
    std::optional<RequestHead> parsed = ParseHead(head);
    if (!parsed) {
      SendAll(fd, ResponseHead(400, "Bad Request", 0, "", true));
      CloseSocket(fd);
      return;
    }
    std::size_t bodyLength = 0;
    if (auto it = parsed->Headers.find("content-length"); it != parsed->Headers.end()) {
      std::optional<unsigned long long> n = ParseDecimal(it->second);
      if (!n || *n > kMaxRequestHead) {
        SendAll(fd, ResponseHead(400, "Bad Request", 0, "", true));
        CloseSocket(fd);
        return;
      }
      bodyLength = static_cast<std::size_t>(*n);
    }
    while (pending.size() < bodyLength) {
      if (!ReadMore(fd, pending)) {
        CloseSocket(fd);
        return;
      }
    }
    pending.erase(0, bodyLength);

    RecordedRequest rec;
    rec.Time = std::chrono::steady_clock::now();
    rec.Method = parsed->Method;
    rec.Target = parsed->Target;
    rec.Headers = parsed->Headers;
    rec.Connection = connection;
    if (StartsWithNoCase(rec.Target, "http://")) {
      rec.ViaProxy = true;
      std::size_t slash = rec.Target.find('/', 7);
      rec.Path = slash == std::string::npos ? "/" : rec.Target.substr(slash);
    } else {
      rec.Path = rec.Target;
    }
    bool clientCloses = false;
    if (auto it = rec.Headers.find("connection"); it != rec.Headers.end()) {
      clientCloses = Lower(it->second).find("close") != std::string::npos;
    }
    std::string expectedAuth;
    {
      std::lock_guard<std::mutex> lock(mu);
      requests.push_back(rec);
      expectedAuth = expectedProxyAuth;
    }

    if (rec.ViaProxy && !expectedAuth.empty()) {
      auto it = rec.Headers.find("proxy-authorization");
      if (it == rec.Headers.end() || it->second != expectedAuth) {
        const std::string body = "Proxy authentication required";
        if (!SendAll(fd, ResponseHead(407, "Proxy Authentication Required", body.size(),
                                      "Proxy-Authenticate: Basic realm=\"tiles\"\r\n", clientCloses) +
                             body) ||
            clientCloses) {
          CloseSocket(fd);
          return;
        }
        continue;
      }
    }

    Reply reply = NextReply(rec);
    switch (reply.FaultKind) {
      case Fault::Reset:
        ResetAndClose(fd);
        return;
      case Fault::CloseWithoutAnswer:
        CloseSocket(fd);
        return;
      case Fault::StallBody: {
        std::string body = reply.Body.empty() ? std::string(1024, 's') : reply.Body;
        std::string head = ResponseHead(reply.Status, reply.Reason, body.size(), "", false, reply.Protocol);
        if (SendAll(fd, head + body.substr(0, body.size() / 2))) {
          // Silence: only the client's close or the server's stop ends it.
          std::string ignored;
          while (ReadMore(fd, ignored)) ignored.clear();
        }
        CloseSocket(fd);
        return;
      }
      case Fault::CloseMidBody:
      case Fault::ResetMidBody: {
        const std::string head =
            ResponseHead(reply.Status, reply.Reason, reply.Body.size() + reply.MissingBytes, "", false, reply.Protocol);
        if (SendAll(fd, head + reply.Body) && reply.FaultKind == Fault::ResetMidBody) {
          ResetAndClose(fd);
        } else {
          CloseSocket(fd);
        }
        return;
      }
      case Fault::HugeBody: {
        if (!SendAll(fd, ResponseHead(200, "OK", reply.HugeBytes, "", clientCloses, reply.Protocol))) {
          CloseSocket(fd);
          return;
        }
        const std::string chunk(kChunk, 'h');
        std::size_t left = reply.HugeBytes;
        while (left > 0) {
          std::size_t n = std::min(left, chunk.size());
          if (!SendAll(fd, chunk.data(), n)) {
            CloseSocket(fd);
            return;
          }
          left -= n;
        }
        break;
      }
      case Fault::None: {
        std::string extra;
        if (!reply.Location.empty()) extra = "Location: " + reply.Location + "\r\n";
        extra += reply.ExtraHeaders;
        if (!SendAll(fd, ResponseHead(reply.Status, reply.Reason, reply.Body.size(), extra, clientCloses,
                                      reply.Protocol, reply.ContentType) +
                             reply.Body)) {
          CloseSocket(fd);
          return;
        }
        break;
      }
    }
    if (clientCloses) {
      CloseSocket(fd);
      return;
    }
  }
}

TileServer::TileServer() : impl_(std::make_unique<Impl>()) {}

std::string TileServer::DefaultBody(const std::string& path) { return TileImage("tile " + path); }
TileServer::~TileServer() = default;

uint16_t TileServer::Port() const { return impl_->port; }

std::string TileServer::HostPort() const { return "127.0.0.1:" + Decimal(impl_->port); }

void TileServer::Script(const std::string& path, std::vector<Reply> replies) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->scripts[path] = Impl::Scripted{std::move(replies), 0};
}

void TileServer::SetDefault(Reply reply) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->defaultReply = std::move(reply);
}

void TileServer::SetHandler(std::function<std::optional<Reply>(const RecordedRequest&)> handler) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->handler = std::move(handler);
}

void TileServer::RequireProxyAuth(const std::string& username, const std::string& password) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->expectedProxyAuth = "Basic " + Base64(username + ":" + password);
}

std::vector<RecordedRequest> TileServer::Requests() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->requests;
}

std::vector<RecordedRequest> TileServer::RequestsFor(const std::string& path) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  std::vector<RecordedRequest> out;
  for (const auto& r : impl_->requests) {
    if (r.Path == path) out.push_back(r);
  }
  return out;
}

std::size_t TileServer::RequestCount() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->requests.size();
}

std::size_t TileServer::AcceptedConnections() const { return impl_->accepted.load(); }

std::size_t TileServer::MostOpenConnections() const { return impl_->mostOpen.load(); }

}  // namespace testsupport
