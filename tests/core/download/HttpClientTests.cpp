// The libcurl client against the loopback tile server: bodies, kept-alive
// connections, status-line failures, socket failures, limits, abort, proxy.

#include <curl/curl.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>

#include <gtest/gtest.h>

#include "core/download/HttpClient.h"
#include "tests/support/Sockets.h"
#include "tests/support/TempDir.h"
#include "tests/support/TileServer.h"

namespace {

using download::HttpClient;
using download::HttpLimits;
using download::HttpResult;
using testsupport::Fault;
using testsupport::Reply;
using testsupport::TileServer;
using testsupport::WaitFor;

const char* const kReset = "Socket Error # 10054\r\nConnection reset by peer.";

// Limits that end a hung test in seconds rather than minutes.
HttpLimits TestLimits() {
  HttpLimits limits;
  limits.ConnectTimeoutMs = 5000;
  limits.LowSpeedSeconds = 20;
  return limits;
}


class HttpClientTest : public testing::Test {
 protected:
  void SetUp() override { HttpClient::GlobalInit(); }

  std::string Url(const std::string& path) const { return "http://" + server.HostPort() + path; }

  TileServer server;
};

TEST_F(HttpClientTest, AppendsTheBodyOfASuccess) {
  server.Script("/empty", {Reply::Ok("")});
  Reply other = Reply::Ok("partial");
  other.Status = 203;
  other.Reason = "Non-Authoritative Information";
  server.Script("/203", {other});
  HttpClient client(TestLimits());

  std::string body = "kept|";
  HttpResult r = client.Get(Url("/maps/hl=en&x=1&y=2&z=3&nml=Vert"), body);
  EXPECT_TRUE(r.Ok);
  EXPECT_FALSE(r.Aborted);
  EXPECT_EQ(r.ErrorText, "");
  EXPECT_EQ(body, "kept|" + TileServer::DefaultBody("/maps/hl=en&x=1&y=2&z=3&nml=Vert"));

  std::string empty;
  EXPECT_TRUE(client.Get(Url("/empty"), empty).Ok);
  EXPECT_EQ(empty, "");

  std::string partial;
  EXPECT_TRUE(client.Get(Url("/203"), partial).Ok);
  EXPECT_EQ(partial, "partial");
}

TEST_F(HttpClientTest, KeepsOneConnectionForConsecutiveRequests) {
  server.Script("/missing", {Reply::StatusOnly(404, "Not Found")});
  HttpClient client(TestLimits());
  std::string body;
  ASSERT_TRUE(client.Get(Url("/a"), body).Ok);
  // A failure answer does not cost the connection either.
  EXPECT_FALSE(client.Get(Url("/missing"), body).Ok);
  ASSERT_TRUE(client.Get(Url("/b"), body).Ok);
  EXPECT_EQ(server.RequestCount(), 3u);
  EXPECT_EQ(server.AcceptedConnections(), 1u);
}

struct StatusRow {
  int Status;
  const char* Reason;
  const char* Expected;
};

class HttpClientStatusTest : public HttpClientTest, public testing::WithParamInterface<StatusRow> {};

TEST_P(HttpClientStatusTest, ReportsTheStatusLineAndKeepsTheBufferUntouched) {
  const StatusRow& row = GetParam();
  Reply reply = Reply::StatusOnly(row.Status, row.Reason);
  if (row.Status == 302) reply = Reply::Redirect(Url("/elsewhere"));
  server.Script("/t", {reply});
  HttpClient client(TestLimits());
  std::string body = "before";
  HttpResult r = client.Get(Url("/t"), body);
  EXPECT_FALSE(r.Ok);
  EXPECT_FALSE(r.Aborted);
  EXPECT_EQ(r.ErrorText, row.Expected);
  EXPECT_EQ(body, "before");
  // Redirects are never followed.
  EXPECT_EQ(server.RequestCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Table, HttpClientStatusTest,
                         testing::Values(StatusRow{302, "Found", "HTTP/1.1 302 Found"},
                                         StatusRow{400, "Bad Request", "HTTP/1.1 400 Bad Request"},
                                         StatusRow{403, "Forbidden", "HTTP/1.1 403 Forbidden"},
                                         StatusRow{404, "Not Found", "HTTP/1.1 404 Not Found"},
                                         StatusRow{408, "Request Timeout", "HTTP/1.1 408 Request Timeout"},
                                         StatusRow{500, "Internal Server Error",
                                                   "HTTP/1.1 500 Internal Server Error"},
                                         StatusRow{503, "", "HTTP/1.1 503 "}),
                         [](const testing::TestParamInfo<StatusRow>& info) {
                           return "Status" + std::to_string(info.param.Status);
                         });

// What the result says of the transfer, for the ways an answer can go wrong;
// each on a fresh connection, so with one request each.
struct FactsRow {
  const char* Name;
  Reply Answer;
  bool Ok;
  long Status;
  int SocketError;
  bool ClosedWithoutAnswer;
  CURLcode Code;
  std::string ErrorText;
};
void PrintTo(const FactsRow& row, std::ostream* out) { *out << row.Name; }

class HttpClientFactsTest : public HttpClientTest, public testing::WithParamInterface<FactsRow> {};

TEST_P(HttpClientFactsTest, ReportsWhatTheTransferWas) {
  const FactsRow& row = GetParam();
  server.Script("/t", {row.Answer});
  HttpClient client(TestLimits());
  std::string body = "before|";
  const HttpResult r = client.Get(Url("/t"), body);
  EXPECT_EQ(r.Ok, row.Ok);
  EXPECT_EQ(r.Status, row.Status);
  EXPECT_EQ(r.SocketError, row.SocketError);
  EXPECT_EQ(r.ClosedWithoutAnswer, row.ClosedWithoutAnswer);
  EXPECT_EQ(r.CurlCode, row.Code);
  EXPECT_EQ(r.ErrorText, row.ErrorText);
  EXPECT_EQ(r.RequestsSent, 1);
  EXPECT_EQ(body, row.Ok ? "before|" + row.Answer.Body : "before|");
}

const Reply kCutShort = Reply::CutShort("ab", 4030);
const Reply kResetMidBody = Reply::CutShort("ab", 4030, Fault::ResetMidBody);

INSTANTIATE_TEST_SUITE_P(
    Table, HttpClientFactsTest,
    testing::Values(
        FactsRow{"Success", Reply::Ok("tile"), true, 200, 0, false, CURLE_OK, ""},
        // libcurl takes a status line in any case; its code is read all the same.
        FactsRow{"SuccessInLowerCase", Reply::Ok("tile").WithProtocol("http/1.1"), true, 200, 0, false, CURLE_OK, ""},
        FactsRow{"NotFound", Reply::StatusOnly(404, "Not Found"), false, 404, 0, false, CURLE_OK,
                 "HTTP/1.1 404 Not Found"},
        FactsRow{"NotFoundInLowerCase", Reply::StatusOnly(404, "Not Found").WithProtocol("http/1.1"), false, 404, 0,
                 false, CURLE_OK, "http/1.1 404 Not Found"},
        // A success cut short is a failure of the transfer, with libcurl's words.
        FactsRow{"SuccessCutShort", kCutShort, false, 200, 0, false, CURLE_PARTIAL_FILE,
                 "transfer closed with 4030 bytes remaining to read"},
        FactsRow{"SuccessResetMidBody", kResetMidBody, false, 200, 10054, false, CURLE_RECV_ERROR, kReset},
        // A failure status stays the failure whatever became of its body.
        FactsRow{"NotFoundCutShort", kCutShort.WithStatus(404, "Not Found"), false, 404, 0, false, CURLE_PARTIAL_FILE,
                 "HTTP/1.1 404 Not Found"},
        FactsRow{"NotFoundResetMidBody", kResetMidBody.WithStatus(404, "Not Found"), false, 404, 0, false,
                 CURLE_RECV_ERROR, "HTTP/1.1 404 Not Found"},
        FactsRow{"Reset", Reply::WithFault(Fault::Reset), false, 0, 10054, false, CURLE_RECV_ERROR, kReset},
        FactsRow{"ClosedWithoutAnswer", Reply::WithFault(Fault::CloseWithoutAnswer), false, 0, 0, true,
                 CURLE_GOT_NOTHING, "Connection Closed Gracefully."}),
    [](const testing::TestParamInfo<FactsRow>& info) { return std::string(info.param.Name); });

TEST_F(HttpClientTest, CountsEveryRequestThatWentOut) {
  // A kept-alive connection that turns out dead: libcurl sends the request
  // again by itself, on a new connection.
  server.Script("/reset", {Reply::WithFault(Fault::Reset)});
  server.Script("/close", {Reply::WithFault(Fault::CloseWithoutAnswer)});
  HttpClient client(TestLimits());
  std::string body;
  for (const std::string path : {"/reset", "/close"}) {
    ASSERT_EQ(client.Get(Url("/ok"), body).RequestsSent, 1);
    const HttpResult r = client.Get(Url(path), body);
    EXPECT_FALSE(r.Ok) << path;
    EXPECT_EQ(r.RequestsSent, 2) << path;
    const auto requests = server.RequestsFor(path);
    ASSERT_EQ(requests.size(), 2u) << path;
    EXPECT_EQ(requests[0].Connection, server.RequestsFor("/ok").back().Connection) << path;
    EXPECT_NE(requests[1].Connection, requests[0].Connection) << path;
  }
  // No connection, no request.
  EXPECT_EQ(client.Get("http://127.0.0.1:" + std::to_string(testsupport::ClosedLoopbackPort()) + "/t", body).RequestsSent, 0);
}

TEST_F(HttpClientTest, RecoversOnTheNextRequestAfterAFault) {
  server.Script("/t", {Reply::WithFault(Fault::Reset), Reply::Ok("second")});
  HttpClient client(TestLimits());
  std::string body;
  EXPECT_EQ(client.Get(Url("/t"), body).ErrorText, kReset);
  EXPECT_TRUE(client.Get(Url("/t"), body).Ok);
  EXPECT_EQ(body, "second");
}


TEST_F(HttpClientTest, ReportsARefusedConnection) {
  HttpClient client(TestLimits());
  std::string body;
  HttpResult r = client.Get("http://127.0.0.1:" + std::to_string(testsupport::ClosedLoopbackPort()) + "/t", body);
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.ErrorText, "Socket Error # 10061\r\nConnection refused.");
}

TEST_F(HttpClientTest, ReportsAnUnknownHost) {
  HttpClient client(TestLimits());
  std::string body;
  EXPECT_EQ(client.Get("http://tiles.orvenna.invalid/maps/t", body).ErrorText,
            "Socket Error # 11001\r\nHost not found.");
}

TEST_F(HttpClientTest, TimesOutOnAStalledBody) {
  // Little enough that the speed is under the limit at once.
  server.Script("/stall", {Reply::Stalled("0123456789")});
  HttpLimits limits = TestLimits();
  limits.LowSpeedBytes = 100;
  limits.LowSpeedSeconds = 1;
  HttpClient client(limits);
  std::string body = "before";
  HttpResult r = client.Get(Url("/stall"), body);
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.ErrorText, "Socket Error # 10060\r\nConnection timed out.");
  EXPECT_EQ(body, "before");
}

TEST_F(HttpClientTest, AFailureStatusWinsOverItsStalledBody) {
  Reply stalled = Reply::Stalled("0123456789");
  stalled.Status = 404;
  stalled.Reason = "Not Found";
  server.Script("/stall", {stalled});
  HttpLimits limits = TestLimits();
  limits.LowSpeedBytes = 100;
  limits.LowSpeedSeconds = 1;
  HttpClient client(limits);
  std::string body;
  EXPECT_EQ(client.Get(Url("/stall"), body).ErrorText, "HTTP/1.1 404 Not Found");
}

TEST_F(HttpClientTest, RefusesABodyOverTheCap) {
  HttpLimits limits = TestLimits();
  limits.MaxBodyBytes = 256u * 1024u;
  server.Script("/fits", {Reply::Huge(limits.MaxBodyBytes)});
  server.Script("/huge", {Reply::Huge(64u * 1024u * 1024u)});
  HttpClient client(limits);

  std::string body;
  ASSERT_TRUE(client.Get(Url("/fits"), body).Ok);
  EXPECT_EQ(body.size(), limits.MaxBodyBytes);

  std::string refused = "before";
  HttpResult r = client.Get(Url("/huge"), refused);
  EXPECT_FALSE(r.Ok);
  EXPECT_FALSE(r.Aborted);
  EXPECT_EQ(r.ErrorText, "Response too large: more than 262144 bytes.");
  EXPECT_EQ(refused, "before");

  // The cap counts this request's bytes only, not what the buffer held.
  std::string big(limits.MaxBodyBytes, 'b');
  EXPECT_TRUE(client.Get(Url("/fits"), big).Ok);
}

TEST_F(HttpClientTest, AbortFlagEndsAStalledRequest) {
  server.Script("/stall", {Reply::Stalled("0123456789")});
  HttpClient client(TestLimits());
  std::atomic<bool> abort{false};
  std::atomic<bool> done{false};
  HttpResult r;
  std::string body = "before";
  std::thread t([&] {
    r = client.Get(Url("/stall"), body, &abort);
    done.store(true);
  });
  ASSERT_TRUE(WaitFor([&] { return server.RequestCount() == 1; }));
  EXPECT_FALSE(done.load());
  abort.store(true);
  EXPECT_TRUE(WaitFor([&] { return done.load(); }, std::chrono::seconds(10)));
  t.join();
  EXPECT_TRUE(r.Aborted);
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(body, "before");
}

TEST_F(HttpClientTest, AbortFlagSetBeforehandSendsNothing) {
  HttpClient client(TestLimits());
  std::atomic<bool> abort{true};
  std::string body;
  HttpResult r = client.Get(Url("/a"), body, &abort);
  EXPECT_TRUE(r.Aborted);
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(server.RequestCount(), 0u);
}

// URLs the client cannot fetch: what it says, and that nothing goes out.
struct UrlRow {
  const char* Name;
  std::string Url;       // "{server}": the loopback server's host and port; "{dir}": a folder
  std::string Expected;  // "{length}": the URL's length
};

void Substitute(std::string& text, const std::string& key, const std::string& value) {
  if (const auto at = text.find(key); at != std::string::npos) text.replace(at, key.size(), value);
}
void PrintTo(const UrlRow& row, std::ostream* out) { *out << row.Name; }

class HttpClientUrlTest : public HttpClientTest, public testing::WithParamInterface<UrlRow> {};

TEST_P(HttpClientUrlTest, SaysWhatIsWrongAndSendsNothing) {
  testsupport::TempDir dir;
  testsupport::WriteFileBytes(dir.File("secret"), "secret");
  std::string url = GetParam().Url;
  Substitute(url, "{server}", server.HostPort());
  Substitute(url, "{dir}", dir.Path());
  std::string expected = GetParam().Expected;
  Substitute(expected, "{length}", std::to_string(url.size()));
  HttpClient client(TestLimits());
  std::string body;
  HttpResult r = client.Get(url, body);
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.ErrorText, expected);
  EXPECT_EQ(r.RequestsSent, 0);
  EXPECT_EQ(body, "");
  EXPECT_EQ(server.RequestCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HttpClientUrlTest,
    testing::Values(
        UrlRow{"LocalFile", "file://{dir}secret", "Unsupported URL scheme: only http:// and https:// URLs are fetched."},
        UrlRow{"OtherScheme", "ftp://{server}/a", "Unsupported URL scheme: only http:// and https:// URLs are fetched."},
        UrlRow{"Empty", "", "Bad URL: empty, or not of the form http://host/path."},
        UrlRow{"BlankInHost", "http://a b/maps", "Bad URL: empty, or not of the form http://host/path."},
        UrlRow{"PortOutOfRange", "http://127.0.0.1:99999/maps", "Bad URL: empty, or not of the form http://host/path."},
        // libcurl itself would fail this one as "Out of memory" once its
        // request head passed 1 MiB.
        UrlRow{"TooLong", "http://{server}/maps/" + std::string(1u << 20, 'a'),
               "URL is too long: {length} characters, at most 65536 are allowed."}),
    [](const testing::TestParamInfo<UrlRow>& info) { return std::string(info.param.Name); });

TEST_F(HttpClientTest, SendsAUrlUpToTheLimit) {
  const std::string path = "/" + std::string(download::kMaxUrlLength - Url("/").size(), 'a');
  HttpClient client(TestLimits());
  std::string body;
  const HttpResult r = client.Get(Url(path), body);
  ASSERT_TRUE(r.Ok);
  EXPECT_EQ(r.RequestsSent, 1);
  EXPECT_EQ(body, TileServer::DefaultBody(path));
  EXPECT_FALSE(client.Get(Url(path + "a"), body).Ok);
  EXPECT_EQ(server.RequestCount(), 1u);
}

TEST_F(HttpClientTest, SendsOnlyLibcurlDefaultsUnlessTold) {
  HttpClient client(TestLimits());
  std::string body;
  ASSERT_TRUE(client.Get(Url("/a"), body).Ok);
  auto headers = server.Requests().at(0).Headers;
  EXPECT_EQ(headers.count("user-agent"), 0u);
  EXPECT_EQ(headers.count("referer"), 0u);
  EXPECT_EQ(headers.count("connection"), 0u);
  EXPECT_EQ(headers.count("proxy-authorization"), 0u);
  EXPECT_EQ(headers.at("host"), server.HostPort());
  EXPECT_EQ(headers.at("accept"), "*/*");
}

TEST_F(HttpClientTest, SendsTheHeadersAsSet) {
  HttpClient client(TestLimits());
  client.SetReferer("http://maps.example.org/");
  client.SetUserAgent("Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)");
  client.SetConnection("Keep_Alive");
  client.AddHeaderLine("X-First: 1");
  client.AddHeaderLine("X-Second: two words");
  std::string body;
  ASSERT_TRUE(client.Get(Url("/a"), body).Ok);
  ASSERT_TRUE(client.Get(Url("/b"), body).Ok);
  for (const auto& request : server.Requests()) {
    EXPECT_EQ(request.Headers.at("referer"), "http://maps.example.org/");
    EXPECT_EQ(request.Headers.at("user-agent"), "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)");
    EXPECT_EQ(request.Headers.at("connection"), "Keep_Alive");
    EXPECT_EQ(request.Headers.at("x-first"), "1");
    EXPECT_EQ(request.Headers.at("x-second"), "two words");
  }
  EXPECT_EQ(server.AcceptedConnections(), 1u);
}

TEST_F(HttpClientTest, GoesThroughAProxyWithoutCredentials) {
  HttpClient client(TestLimits());
  client.SetProxy("127.0.0.1", server.Port(), "", "ignored without a name");
  std::string body;
  ASSERT_TRUE(client.Get("http://tiles.orvenna.invalid/maps/x=1", body).Ok);
  EXPECT_EQ(body, TileServer::DefaultBody("/maps/x=1"));
  auto request = server.Requests().at(0);
  EXPECT_TRUE(request.ViaProxy);
  EXPECT_EQ(request.Target, "http://tiles.orvenna.invalid/maps/x=1");
  EXPECT_EQ(request.Headers.count("proxy-authorization"), 0u);
}

struct Credentials {
  const char* Name;
  const char* User;
  const char* Password;
  const char* Header;  // what RFC 7617 makes of them
};

class HttpClientProxyAuthTest : public HttpClientTest, public testing::WithParamInterface<Credentials> {};

TEST_P(HttpClientProxyAuthTest, SendsBasicCredentialsAsGiven) {
  const Credentials& c = GetParam();
  server.RequireProxyAuth(c.User, c.Password);
  HttpClient client(TestLimits());
  client.SetProxy("127.0.0.1", server.Port(), c.User, c.Password);
  std::string body;
  HttpResult r = client.Get("http://tiles.orvenna.invalid/maps/t", body);
  EXPECT_TRUE(r.Ok) << r.ErrorText;
  EXPECT_EQ(server.Requests().at(0).Headers.at("proxy-authorization"), c.Header);
}

INSTANTIATE_TEST_SUITE_P(Table, HttpClientProxyAuthTest,
                         testing::Values(Credentials{"Plain", "user", "secret", "Basic dXNlcjpzZWNyZXQ="},
                                         Credentials{"ColonAndPercent", "user", "pa:ss%41word",
                                                     "Basic dXNlcjpwYTpzcyU0MXdvcmQ="},
                                         Credentials{"PercentInName", "us%20er", "p@ss", "Basic dXMlMjBlcjpwQHNz"},
                                         Credentials{"EmptyPassword", "user", "", "Basic dXNlcjo="}),
                         [](const testing::TestParamInfo<Credentials>& info) { return info.param.Name; });

TEST_F(HttpClientTest, ReportsTheProxysRefusalOfWrongCredentials) {
  server.RequireProxyAuth("user", "right");
  HttpClient client(TestLimits());
  client.SetProxy("127.0.0.1", server.Port(), "user", "wrong");
  std::string body = "before";
  HttpResult r = client.Get("http://tiles.orvenna.invalid/maps/t", body);
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.ErrorText, "HTTP/1.1 407 Proxy Authentication Required");
  EXPECT_EQ(body, "before");
}

TEST_F(HttpClientTest, ProxySettingsCanBeChangedAndDropped) {
  HttpClient client(TestLimits());
  std::string body;
  client.SetProxy("proxy.orvenna.invalid", 3128, "", "");
  EXPECT_EQ(client.Get(Url("/a"), body).ErrorText, "Socket Error # 11001\r\nHost not found.");

  client.SetProxy("127.0.0.1", 70000, "", "");
  HttpResult bad = client.Get(Url("/a"), body);
  EXPECT_FALSE(bad.Ok);
  EXPECT_EQ(bad.ErrorText, "Proxy port 70000 is not between 0 and 65535.");

  client.SetProxy("127.0.0.1", server.Port(), "user", "pass");
  ASSERT_TRUE(client.Get("http://tiles.orvenna.invalid/b", body).Ok);

  // An empty host means a direct connection, and no credentials go out.
  client.SetProxy("", 0, "user", "pass");
  ASSERT_TRUE(client.Get(Url("/c"), body).Ok);

  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_TRUE(requests[0].ViaProxy);
  EXPECT_EQ(requests[0].Path, "/b");
  EXPECT_FALSE(requests[1].ViaProxy);
  EXPECT_EQ(requests[1].Path, "/c");
  EXPECT_EQ(requests[1].Headers.count("proxy-authorization"), 0u);
}

}  // namespace
