// A real download of several workers through a real tinyproxy with Basic
// authorization to a real nginx serving a folder of tiles.
#include <algorithm>
#include <string>

#include "tests/support/TileImages.h"
#include "tests/core/download/worker_fixture.h"
#include "tests/support/RealPeers.h"

namespace workertest {
namespace {

// Only the proxy knows where this host is.
const char* const kTileSite = "tiles.orvenna.invalid";

class WorkerThroughRealPeers : public WorkerTest {
 protected:
  void SetUp() override {
    if (auto why = testsupport::MissingRealPeers(); !why.empty()) GTEST_SKIP() << why;
    nginx_ = std::make_unique<testsupport::NginxPeer>();
  }

  void StartProxy(const std::string& user, const std::string& password) {
    testsupport::TinyproxyOptions options;
    options.Username = user;
    options.Password = password;
    options.UpstreamSite = kTileSite;
    options.UpstreamHostPort = nginx_->HostPort();
    proxy_ = std::make_unique<testsupport::TinyproxyPeer>(options);
  }

  task::MDTask& MakeProxiedTask(const TileBlock& block, int32_t threads, const std::string& user,
                                const std::string& password) {
    tileHost_ = kTileSite;
    return MakeTask(block, threads, [&](task::TaskParameters&, task::RunSettings& run) {
      run.Proxy.UseProxy = true;
      run.Proxy.ProxyServer = "127.0.0.1";
      run.Proxy.ProxyPort = std::to_string(proxy_->Port());
      run.Proxy.ProxyUsername = user;
      run.Proxy.ProxyPassword = password;
    });
  }

  static std::string TileName(const std::string& url) { return url.substr(url.rfind('/') + 1); }
  static std::string Bytes(int32_t x, int32_t y) {
    return testsupport::TileImage("jpeg of " + std::to_string(x) + "/" + std::to_string(y));
  }

  std::unique_ptr<testsupport::NginxPeer> nginx_;
  std::unique_ptr<testsupport::TinyproxyPeer> proxy_;
};

TEST_F(WorkerThroughRealPeers, FourWorkersDownloadNineTiles) {
  StartProxy("tiles-user", "s3cret.pass");
  const TileBlock block{6742, 3101, 3, 3, 13};
  MakeProxiedTask(block, 4, "tiles-user", "s3cret.pass");
  // Every tile but the last is on the server.
  const int32_t lastX = 6744, lastY = 3103;
  for (int32_t x = 6742; x <= lastX; ++x) {
    for (int32_t y = 3101; y <= lastY; ++y) {
      if (x != lastX || y != lastY) nginx_->AddTile(TileName(UrlOf(x, y)), Bytes(x, y));
    }
  }
  RunToEnd(4);

  for (int32_t x = 6742; x <= lastX; ++x) {
    for (int32_t y = 3101; y <= lastY; ++y) {
      const std::string expected = x == lastX && y == lastY ? kBlankBytes : Bytes(x, y);
      EXPECT_EQ(testsupport::ReadFileBytes(FileOf(x, y)), expected) << x << "/" << y;
    }
  }
  // The missing tile (walk number 9, slot 1) is substituted without a record.
  const auto lines = sink_.LinesOf(2);
  ASSERT_EQ(lines.size(), 4u) << proxy_->Log();
  EXPECT_EQ(lines[0], "T2:seq=1,nm_6742_3101_13.jpg OK");
  EXPECT_EQ(lines[1], "T2:seq=5,nm_6743_3102_13.jpg OK");
  EXPECT_EQ(lines[2], "T2:6744-3103 got a blank image!");
  const std::string notFound = "Error: the image is not found on server.HTTP/1.1 404 Not Found";
  const auto all = sink_.LogLines();
  EXPECT_EQ(std::count(all.begin(), all.end(), notFound), 1);
  EXPECT_TRUE(sink_.FailedLines().empty());
  ExpectEveryWorkerEndedOnce(4);
  // Every request reached nginx through the proxy, under the made-up host.
  const std::string access = nginx_->AccessLog();
  EXPECT_NE(access.find(TileName(UrlOf(6742, 3101))), std::string::npos) << access;
}

TEST_F(WorkerThroughRealPeers, WrongPasswordGivesUpTilesAsFailures) {
  StartProxy("tiles-user", "s3cret.pass");
  MakeProxiedTask(TileBlock{6742, 3101, 1, 1, 13}, 1, "tiles-user", "wrong");
  nginx_->AddTile(TileName(UrlOf(6742, 3101)), Bytes(6742, 3101));
  RunToEnd(1);
  const auto lines = sink_.LogLines();
  ASSERT_EQ(lines.size(), 3u);
  // tinyproxy refuses with its own status line (a 401 or 407): class other.
  EXPECT_EQ(lines[0].rfind("T1 HTTP/1.", 0), 0u) << lines[0];
  EXPECT_TRUE(lines[0].ends_with("->" + UrlOf(6742, 3101))) << lines[0];
  EXPECT_EQ(lines[1], "T1:6742-3101 got a blank image!");
  EXPECT_EQ(sink_.FailedLines(), std::vector<std::string>{FileOf(6742, 3101) + "|" + UrlOf(6742, 3101)});
  EXPECT_EQ(testsupport::ReadFileBytes(FileOf(6742, 3101)), kBlankBytes);
}

}  // namespace
}  // namespace workertest
