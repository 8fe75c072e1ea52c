// A worker whose requests go through an HTTP proxy (the loopback server in its
// proxy role), with and without Basic credentials.
#include "tests/core/download/worker_fixture.h"

namespace workertest {
namespace {

using testsupport::TileServer;

std::string Base64(const std::string& bytes) {
  static const char* const kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += {kDigits[(v >> 18) & 63], kDigits[(v >> 12) & 63], kDigits[(v >> 6) & 63], kDigits[v & 63]};
  }
  if (bytes.size() - i == 1) {
    const unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    out += {kDigits[(v >> 18) & 63], kDigits[(v >> 12) & 63], '=', '='};
  } else if (bytes.size() - i == 2) {
    const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
    out += {kDigits[(v >> 18) & 63], kDigits[(v >> 12) & 63], kDigits[(v >> 6) & 63], '='};
  }
  return out;
}

const TileBlock kTwoTiles{6742, 3101, 1, 2, 13};
// A host nobody resolves: only the proxy can answer for it.
const char* const kFarHost = "tiles.orvenna.invalid";

class WorkerProxy : public WorkerTest {
 protected:
  void UseProxy(const std::string& user, const std::string& password) {
    tileHost_ = kFarHost;
    MakeTask(kTwoTiles, 1, [&](task::TaskParameters&, task::RunSettings& run) {
      run.Proxy.UseProxy = true;
      run.Proxy.ProxyServer = "127.0.0.1";
      run.Proxy.ProxyPort = std::to_string(server_.Port());
      run.Proxy.ProxyUsername = user;
      run.Proxy.ProxyPassword = password;
    });
  }
};

TEST_F(WorkerProxy, CredentialsGoAsBasicProxyAuthorization) {
  // A colon, a percent sign and a blank in the password are sent as they are.
  const std::string password = "p:a%25ss w";
  server_.RequireProxyAuth("alice", password);
  UseProxy("alice", password);
  RunToEnd(1);

  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  for (const auto& request : requests) {
    EXPECT_TRUE(request.ViaProxy);
    EXPECT_EQ(request.Target.rfind(std::string("http://") + kFarHost + "/maps/", 0), 0u) << request.Target;
    EXPECT_EQ(request.Headers.at("proxy-authorization"), "Basic " + Base64("alice:" + password));
  }
  EXPECT_EQ(sink_.LogLines(), (std::vector<std::string>{"T1:seq=1,nm_6742_3101_13.jpg OK",
                                                        "T1:seq=2,nm_6742_3102_13.jpg OK", "T1 Finished."}));
  EXPECT_EQ(testsupport::ReadFileBytes(FileOf(6742, 3101)), TileServer::DefaultBody(PathOf(6742, 3101)));
}

TEST_F(WorkerProxy, NoUserNameSendsNoAuthorization) {
  UseProxy("", "ignored");
  RunToEnd(1);
  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  for (const auto& request : requests) {
    EXPECT_TRUE(request.ViaProxy);
    EXPECT_EQ(request.Headers.count("proxy-authorization"), 0u);
  }
  EXPECT_EQ(sink_.FinishedCount(), 1);
}

// Wrong credentials stop the worker as a network failure does, after one
// request, instead of giving every tile up for a blank image.
TEST_F(WorkerProxy, WrongPasswordStopsTheWorkerWithTheProxysMessage) {
  server_.RequireProxyAuth("alice", "right");
  UseProxy("alice", "wrong");
  RunToEnd(1);
  const std::string url1 = UrlOf(6742, 3101);
  EXPECT_EQ(sink_.LogLines(), (std::vector<std::string>{"T1 HTTP/1.1 407 Proxy Authentication Required->" + url1,
                                                        download::kProxyRefusedMessage, "T1 Finished."}));
  EXPECT_EQ(sink_.FailedLines(), std::vector<std::string>{FileOf(6742, 3101) + "|" + url1});
  EXPECT_EQ(server_.Requests().size(), 1u);
  EXPECT_FALSE(FileExists(FileOf(6742, 3101)));
}

TEST_F(WorkerProxy, EmptyProxyServerConnectsDirectly) {
  MakeTask(kTwoTiles, 1, [](task::TaskParameters&, task::RunSettings& run) {
    run.Proxy.UseProxy = true;
    run.Proxy.ProxyServer = "";
    run.Proxy.ProxyPort = "8080";
  });
  RunToEnd(1);
  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  for (const auto& request : requests) EXPECT_FALSE(request.ViaProxy);
}

TEST_F(WorkerProxy, ProxyOffIgnoresTheProxyFields) {
  MakeTask(kTwoTiles, 1, [](task::TaskParameters&, task::RunSettings& run) {
    run.Proxy.UseProxy = false;
    run.Proxy.ProxyServer = "127.0.0.1";
    run.Proxy.ProxyPort = "not a port";
  });
  RunToEnd(1);
  EXPECT_EQ(server_.Requests().size(), 2u);
  for (const auto& request : server_.Requests()) EXPECT_FALSE(request.ViaProxy);
}

}  // namespace
}  // namespace workertest
