// The client through a real tinyproxy (Basic authorization) to a real nginx
// serving tiles, all on loopback.
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/download/HttpClient.h"
#include "tests/support/RealPeers.h"

namespace {

using download::HttpClient;
using download::HttpLimits;
using download::HttpResult;
using testsupport::NginxPeer;
using testsupport::TinyproxyOptions;
using testsupport::TinyproxyPeer;

const char* const kTileName = "hl=en&x=6742&y=3101&z=13&nml=Vert";

// A tile's bytes: a JPEG start, a zero byte and every other byte value.
std::string TileBytes() {
  std::string bytes = "\xFF\xD8\xFF\xE0";
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  return bytes;
}

HttpLimits TestLimits() {
  HttpLimits limits;
  limits.ConnectTimeoutMs = 5000;
  limits.LowSpeedSeconds = 20;
  return limits;
}

class ProxyIntegrationTest : public testing::Test {
 protected:
  void SetUp() override {
    if (auto why = testsupport::MissingRealPeers(); !why.empty()) GTEST_SKIP() << why;
    HttpClient::GlobalInit();
    nginx = std::make_unique<NginxPeer>();
    nginx->AddTile(kTileName, TileBytes());
  }

  std::string TileUrl(const std::string& host) const { return "http://" + host + "/maps/" + kTileName; }

  std::unique_ptr<NginxPeer> nginx;
};

TEST_F(ProxyIntegrationTest, NginxServesTheTileByItsUrlPath) {
  HttpClient client(TestLimits());
  std::string body;
  HttpResult r = client.Get(TileUrl(nginx->HostPort()), body);
  ASSERT_TRUE(r.Ok) << r.ErrorText;
  EXPECT_EQ(body, TileBytes());

  std::string missing;
  r = client.Get("http://" + nginx->HostPort() + "/maps/hl=en&x=0&y=0&z=1&nml=Map", missing);
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.ErrorText, "HTTP/1.1 404 Not Found");
}

TEST_F(ProxyIntegrationTest, FetchesThroughTinyproxyWithBasicAuth) {
  TinyproxyPeer proxy(TinyproxyOptions{"orvenna", "tile-pass.9", "", ""});
  HttpClient client(TestLimits());
  client.SetProxy("127.0.0.1", proxy.Port(), "orvenna", "tile-pass.9");
  for (int i = 0; i < 2; ++i) {
    std::string body;
    HttpResult r = client.Get(TileUrl(nginx->HostPort()), body);
    ASSERT_TRUE(r.Ok) << r.ErrorText << "\n" << proxy.Log();
    EXPECT_EQ(body, TileBytes());
  }
  EXPECT_NE(nginx->AccessLog().find(std::string("GET /maps/") + kTileName), std::string::npos);
}

TEST_F(ProxyIntegrationTest, RefusedProxyCredentialsFailWithTheProxysStatusLine) {
  TinyproxyPeer proxy(TinyproxyOptions{"orvenna", "tile-pass.9", "", ""});
  HttpClient client(TestLimits());
  std::string body = "before";

  client.SetProxy("127.0.0.1", proxy.Port(), "", "");
  HttpResult r = client.Get(TileUrl(nginx->HostPort()), body);
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.ErrorText, "HTTP/1.0 407 Proxy Authentication Required");

  // tinyproxy 1.11 answers wrong credentials with 401, later ones with 407.
  client.SetProxy("127.0.0.1", proxy.Port(), "orvenna", "wrong");
  r = client.Get(TileUrl(nginx->HostPort()), body);
  EXPECT_FALSE(r.Ok);
  EXPECT_THAT(r.ErrorText, testing::AnyOf(testing::Eq("HTTP/1.0 401 Unauthorized"),
                                          testing::Eq("HTTP/1.0 407 Proxy Authentication Required")));

  EXPECT_EQ(body, "before");
  EXPECT_EQ(nginx->AccessLog(), "");
}

TEST_F(ProxyIntegrationTest, AMadeUpTileHostReachesNginxThroughTheUpstreamRoute) {
  TinyproxyPeer proxy(TinyproxyOptions{"orvenna", "tile-pass.9", "tiles.orvenna.invalid", nginx->HostPort()});
  HttpClient client(TestLimits());
  client.SetProxy("127.0.0.1", proxy.Port(), "orvenna", "tile-pass.9");
  std::string body;
  HttpResult r = client.Get(TileUrl("tiles.orvenna.invalid"), body);
  ASSERT_TRUE(r.Ok) << r.ErrorText << "\n" << proxy.Log();
  EXPECT_EQ(body, TileBytes());
}

}  // namespace
