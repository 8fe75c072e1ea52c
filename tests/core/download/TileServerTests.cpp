// The loopback tile server seen through raw sockets, so its wire behaviour is
// checked apart from any HTTP client.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TileServer.h"

namespace {

using testsupport::Fault;
using testsupport::Reply;
using testsupport::TileServer;

// A blocking client socket whose reads give up after 10 s, so a test can
// never hang on a silent server.
class RawConnection {
 public:
  explicit RawConnection(uint16_t port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    timeval tv{10, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~RawConnection() { close(fd_); }
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  bool Connected() const { return connected_; }

  void Send(const std::string& s) {
    ASSERT_EQ(send(fd_, s.data(), s.size(), MSG_NOSIGNAL), static_cast<ssize_t>(s.size()));
  }

  // Reads one response head (up to the blank line); empty when none came.
  std::string ReadHead() {
    std::size_t end;
    while ((end = buffer_.find("\r\n\r\n")) == std::string::npos) {
      if (!Fill()) return {};
    }
    std::string head = buffer_.substr(0, end + 4);
    buffer_.erase(0, end + 4);
    return head;
  }

  // Reads exactly n body bytes, counting them without keeping them all.
  std::size_t ReadBody(std::size_t n, std::string* keep = nullptr) {
    std::size_t got = 0;
    while (got < n) {
      if (buffer_.empty() && !Fill()) break;
      std::size_t take = std::min(n - got, buffer_.size());
      if (keep) keep->append(buffer_, 0, take);
      buffer_.erase(0, take);
      got += take;
    }
    return got;
  }

  // Reads until the peer ends the connection; the errno of the end (0 for a
  // clean close) and the bytes that came before it.
  int ReadToEnd(std::string& bytes) {
    bytes = buffer_;
    buffer_.clear();
    char chunk[4096];
    for (;;) {
      ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
      if (n > 0) {
        bytes.append(chunk, static_cast<std::size_t>(n));
        continue;
      }
      return n == 0 ? 0 : errno;
    }
  }

 private:
  bool Fill() {
    char chunk[65536];
    ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    buffer_.append(chunk, static_cast<std::size_t>(n));
    return true;
  }

  int fd_ = -1;
  bool connected_ = false;
  std::string buffer_;
};

std::size_t ContentLength(const std::string& head) {
  std::size_t pos = head.find("Content-Length: ");
  if (pos == std::string::npos) return 0;
  std::size_t value = 0;
  const char* begin = head.data() + pos + 16;
  std::from_chars(begin, head.data() + head.size(), value);
  return value;
}

std::string Get(const std::string& target, const std::string& extraHeaders = "") {
  return "GET " + target + " HTTP/1.1\r\nHost: tiles.example.invalid\r\n" + extraHeaders + "\r\n";
}

TEST(TileServer, ServesDefaultTilesOverOneKeptAliveConnection) {
  TileServer server;
  RawConnection c(server.Port());
  ASSERT_TRUE(c.Connected());
  for (const std::string path : {"/maps/a", "/maps/b"}) {
    c.Send(Get(path));
    std::string head = c.ReadHead();
    EXPECT_EQ(head.substr(0, head.find("\r\n")), "HTTP/1.1 200 OK");
    std::string body;
    c.ReadBody(ContentLength(head), &body);
    EXPECT_EQ(body, TileServer::DefaultBody(path));
  }
  EXPECT_EQ(server.AcceptedConnections(), 1u);
  EXPECT_EQ(server.RequestCount(), 2u);
  // Both came over the first connection; a second one is numbered 2.
  RawConnection second(server.Port());
  second.Send(Get("/maps/c"));
  second.ReadBody(ContentLength(second.ReadHead()));
  std::vector<std::size_t> connections;
  for (const auto& request : server.Requests()) connections.push_back(request.Connection);
  EXPECT_EQ(connections, (std::vector<std::size_t>{1, 1, 2}));
}

TEST(TileServer, RecordsOriginAndAbsoluteFormRequests) {
  TileServer server;
  RawConnection c(server.Port());
  c.Send(Get("/maps/x=1", "X-Mixed-Case: Value\r\n"));
  c.ReadBody(ContentLength(c.ReadHead()));
  c.Send(Get("http://tiles.example.invalid/maps/x=2"));
  std::string head = c.ReadHead();
  std::string body;
  c.ReadBody(ContentLength(head), &body);
  EXPECT_EQ(body, TileServer::DefaultBody("/maps/x=2"));

  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].Method, "GET");
  EXPECT_EQ(requests[0].Path, "/maps/x=1");
  EXPECT_FALSE(requests[0].ViaProxy);
  EXPECT_EQ(requests[0].Headers.at("x-mixed-case"), "Value");
  EXPECT_EQ(requests[0].Headers.at("host"), "tiles.example.invalid");
  EXPECT_EQ(requests[1].Target, "http://tiles.example.invalid/maps/x=2");
  EXPECT_EQ(requests[1].Path, "/maps/x=2");
  EXPECT_TRUE(requests[1].ViaProxy);
  EXPECT_LE(requests[0].Time, requests[1].Time);
  EXPECT_EQ(server.RequestsFor("/maps/x=2").size(), 1u);
}

TEST(TileServer, PlaysScriptInOrderAndRepeatsTheLastReply) {
  TileServer server;
  server.Script("/t", {Reply::StatusOnly(404, "Not Found"), Reply::Redirect("http://elsewhere.invalid/"),
                       Reply::Ok("body")});
  server.SetDefault(Reply::StatusOnly(500, "Internal Server Error"));
  RawConnection c(server.Port());
  const char* expected[] = {"HTTP/1.1 404 Not Found", "HTTP/1.1 302 Found", "HTTP/1.1 200 OK", "HTTP/1.1 200 OK"};
  for (const char* line : expected) {
    c.Send(Get("/t"));
    std::string head = c.ReadHead();
    EXPECT_EQ(head.substr(0, head.find("\r\n")), line);
    if (head.find(" 302 ") != std::string::npos) {
      EXPECT_NE(head.find("\r\nLocation: http://elsewhere.invalid/\r\n"), std::string::npos);
    }
    c.ReadBody(ContentLength(head));
  }
  c.Send(Get("/other"));
  std::string head = c.ReadHead();
  EXPECT_EQ(head.substr(0, head.find("\r\n")), "HTTP/1.1 500 Internal Server Error");
  std::string body;
  c.ReadBody(ContentLength(head), &body);
  EXPECT_EQ(body, "Internal Server Error");
}

TEST(TileServer, ChecksProxyAuthorizationOnlyOnProxiedRequests) {
  TileServer server;
  server.RequireProxyAuth("user", "p:a%ss");
  RawConnection c(server.Port());
  c.Send(Get("http://h.invalid/a"));
  std::string head = c.ReadHead();
  EXPECT_EQ(head.substr(0, head.find("\r\n")), "HTTP/1.1 407 Proxy Authentication Required");
  EXPECT_NE(head.find("\r\nProxy-Authenticate: Basic realm="), std::string::npos);
  c.ReadBody(ContentLength(head));

  // base64("user:p:a%ss")
  c.Send(Get("http://h.invalid/a", "Proxy-Authorization: Basic dXNlcjpwOmElc3M=\r\n"));
  head = c.ReadHead();
  EXPECT_EQ(head.substr(0, head.find("\r\n")), "HTTP/1.1 200 OK");
  c.ReadBody(ContentLength(head));

  c.Send(Get("/a"));
  head = c.ReadHead();
  EXPECT_EQ(head.substr(0, head.find("\r\n")), "HTTP/1.1 200 OK");
}

TEST(TileServer, ResetsOrClosesAfterReadingTheRequest) {
  TileServer server;
  server.Script("/reset", {Reply::WithFault(Fault::Reset)});
  server.Script("/close", {Reply::WithFault(Fault::CloseWithoutAnswer)});
  {
    RawConnection c(server.Port());
    c.Send(Get("/reset"));
    std::string bytes;
    EXPECT_EQ(c.ReadToEnd(bytes), ECONNRESET);
    EXPECT_EQ(bytes, "");
  }
  {
    RawConnection c(server.Port());
    c.Send(Get("/close"));
    std::string bytes;
    EXPECT_EQ(c.ReadToEnd(bytes), 0);
    EXPECT_EQ(bytes, "");
  }
  EXPECT_EQ(server.RequestsFor("/reset").size(), 1u);
  EXPECT_EQ(server.RequestsFor("/close").size(), 1u);
}

TEST(TileServer, CutsABodyShortByClosingOrResetting) {
  TileServer server;
  server.Script("/close", {Reply::CutShort("ab", 4030)});
  server.Script("/reset", {Reply::CutShort("ab", 10054, Fault::ResetMidBody).WithStatus(404, "Not Found")});
  const std::pair<const char*, int> cases[] = {{"/close", 0}, {"/reset", ECONNRESET}};
  for (const auto& [path, end] : cases) {
    RawConnection c(server.Port());
    c.Send(Get(path));
    const std::string head = c.ReadHead();
    EXPECT_EQ(ContentLength(head), 2u + (end == 0 ? 4030u : 10054u)) << path;
    std::string body;
    EXPECT_EQ(c.ReadToEnd(body), end) << path;
    EXPECT_EQ(body, "ab") << path;
  }
}

TEST(TileServer, SendsTheStatusLineInTheCaseScripted) {
  TileServer server;
  server.Script("/lower", {Reply::StatusOnly(404, "Not Found").WithProtocol("http/1.1")});
  RawConnection c(server.Port());
  c.Send(Get("/lower"));
  const std::string head = c.ReadHead();
  EXPECT_EQ(head.substr(0, head.find("\r\n")), "http/1.1 404 Not Found");
}

TEST(TileServer, StreamsAHugeBodyOfTheAnnouncedLength) {
  TileServer server;
  const std::size_t huge = 48u * 1024u * 1024u + 3u;
  server.Script("/huge", {Reply::Huge(huge)});
  RawConnection c(server.Port());
  c.Send(Get("/huge"));
  std::string head = c.ReadHead();
  ASSERT_EQ(ContentLength(head), huge);
  EXPECT_EQ(c.ReadBody(huge), huge);
  // The connection stays usable after the body.
  c.Send(Get("/next"));
  EXPECT_EQ(c.ReadHead().substr(0, 15), "HTTP/1.1 200 OK");
}

TEST(TileServer, StalledBodyStopsHalfwayAndTheServerStillStops) {
  auto server = std::make_unique<TileServer>();
  server->Script("/stall", {Reply::Stalled("0123456789")});
  RawConnection c(server->Port());
  c.Send(Get("/stall"));
  std::string head = c.ReadHead();
  ASSERT_EQ(ContentLength(head), 10u);
  std::string half;
  EXPECT_EQ(c.ReadBody(5, &half), 5u);
  EXPECT_EQ(half, "01234");

  server.reset();  // must not wait for the stalled client
  std::string rest;
  EXPECT_EQ(c.ReadToEnd(rest), 0);
  EXPECT_EQ(rest, "");
}

TEST(TileServer, ClosesWhenTheClientAsksForIt) {
  TileServer server;
  RawConnection c(server.Port());
  c.Send(Get("/a", "Connection: close\r\n"));
  std::string bytes;
  EXPECT_EQ(c.ReadToEnd(bytes), 0);
  EXPECT_NE(bytes.find("Connection: close\r\n"), std::string::npos);
  EXPECT_NE(bytes.find("\r\n\r\n" + TileServer::DefaultBody("/a")), std::string::npos);
}

}  // namespace
