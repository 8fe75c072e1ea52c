// A loopback HTTP server for tests: serves tiles, records every request and
// plays scripted faults per path. It also answers requests sent to it as an
// HTTP proxy (absolute-form request line), optionally checking Basic
// Proxy-Authorization, so a client whose proxy names it reaches it whatever
// host the URL names.
//
// Threads: one accepting thread and one thread per connection, all owned by
// the server; every public method may be called from any thread. The
// destructor wakes and joins them all, also those of stalled answers.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

enum class Fault {
  None,                // answer with Status, Reason, Body (and Location if set)
  Reset,               // read the request, then reset the connection (RST)
  CloseWithoutAnswer,  // read the request, then close cleanly with no bytes sent
  StallBody,           // send the headers and part of the body, then go silent
  HugeBody,            // 200 with a body of HugeBytes bytes
  CloseMidBody,        // announce Body plus MissingBytes more, send Body, close cleanly
  ResetMidBody,        // announce Body plus MissingBytes more, send Body, reset (RST)
};

struct Reply {
  std::string Protocol = "HTTP/1.1";  // the status line's first word, as sent
  int Status = 200;
  std::string Reason = "OK";
  std::string Body;
  std::string Location;
  std::string ExtraHeaders;  // whole lines, each ending in CR LF
  // Empty: image/jpeg for a success, text/plain otherwise.
  std::string ContentType;
  Fault FaultKind = Fault::None;
  std::size_t HugeBytes = 0;
  std::size_t MissingBytes = 0;

  static Reply Ok(std::string body) { Reply r; r.Body = std::move(body); return r; }
  static Reply StatusOnly(int status, std::string reason) {
    Reply r; r.Status = status; r.Reason = std::move(reason); r.Body = r.Reason; return r;
  }
  static Reply Redirect(std::string location) {
    Reply r; r.Status = 302; r.Reason = "Found"; r.Location = std::move(location); return r;
  }
  static Reply WithFault(Fault f) { Reply r; r.FaultKind = f; return r; }
  // Headers announcing body, then only its first half (the whole of a body
  // of one byte is never sent), then silence until the server stops.
  static Reply Stalled(std::string body) {
    Reply r; r.FaultKind = Fault::StallBody; r.Body = std::move(body); return r;
  }
  static Reply Huge(std::size_t bytes) {
    Reply r; r.FaultKind = Fault::HugeBody; r.HugeBytes = bytes; return r;
  }
  // A 200 whose body ends missing bytes early: the connection is closed
  // cleanly (CloseMidBody) or reset (ResetMidBody) after body.
  static Reply CutShort(std::string body, std::size_t missing, Fault end = Fault::CloseMidBody) {
    Reply r; r.FaultKind = end; r.Body = std::move(body); r.MissingBytes = missing; return r;
  }
  // The same reply with its status line in another case ("http/1.1").
  Reply WithProtocol(std::string protocol) const {
    Reply r = *this; r.Protocol = std::move(protocol); return r;
  }
  Reply WithStatus(int status, std::string reason) const {
    Reply r = *this; r.Status = status; r.Reason = std::move(reason); return r;
  }
  // The same reply with one more header.
  Reply WithHeader(const std::string& name, const std::string& value) const {
    Reply r = *this; r.ExtraHeaders += name + ": " + value + "\r\n"; return r;
  }
};

struct RecordedRequest {
  std::chrono::steady_clock::time_point Time;
  std::string Method;
  std::string Target;  // as on the request line (absolute form through a proxy)
  std::string Path;    // the path part, "/maps/..." in either form
  std::map<std::string, std::string> Headers;  // names lower-cased
  bool ViaProxy = false;
  std::size_t Connection = 0;  // which accepted connection carried it, from 1
};

class TileServer {
 public:
  TileServer();  // listens on 127.0.0.1, a free port
  ~TileServer();
  TileServer(const TileServer&) = delete;
  TileServer& operator=(const TileServer&) = delete;

  uint16_t Port() const;
  std::string HostPort() const;  // "127.0.0.1:<port>"

  // Replies for requests of path, used in order; the last one repeats.
  void Script(const std::string& path, std::vector<Reply> replies);
  // Reply for any path without a script; by default 200 with the body
  // DefaultBody(path).
  void SetDefault(Reply reply);
  // Asked first for every request (on the connection's thread): its reply,
  // or nothing to leave the request to the scripts and the default.
  void SetHandler(std::function<std::optional<Reply>(const RecordedRequest&)> handler);
  // Requests through the proxy must carry this Basic Proxy-Authorization,
  // else 407.
  void RequireProxyAuth(const std::string& username, const std::string& password);

  std::vector<RecordedRequest> Requests() const;
  std::vector<RecordedRequest> RequestsFor(const std::string& path) const;
  std::size_t RequestCount() const;
  // TCP connections accepted so far (keep-alive reuse shows as fewer
  // connections than requests).
  std::size_t AcceptedConnections() const;
  // The most TCP connections that were open at once so far.
  std::size_t MostOpenConnections() const;

  // A JPEG tile labelled "tile " + path.
  static std::string DefaultBody(const std::string& path);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace testsupport
