// Worker cases that need the client's own time-out to run out (about a second
// per request).
#include "tests/core/download/worker_fixture.h"
#include "tests/support/TileImages.h"

namespace workertest {
namespace {

using testsupport::Reply;

const TileBlock kColumnOfTwo{6742, 3101, 1, 2, 13};

class WorkerTimeout : public WorkerTest {
 protected:
  WorkerTimeout() {
    env_.Limits.LowSpeedBytes = 1;
    env_.Limits.LowSpeedSeconds = 1;
  }
};

TEST_F(WorkerTimeout, TimedOutThreeTimesStopsTheWorkerAsANetworkFailure) {
  MakeTask(kColumnOfTwo, 1);
  const std::string path1 = PathOf(6742, 3101);
  const std::string url1 = UrlOf(6742, 3101);
  server_.Script(path1, {Reply::Stalled("0123456789")});
  RunToEnd(1);

  EXPECT_EQ(server_.RequestsFor(path1).size(), 3u);
  for (long long gap : GapsMs(path1)) EXPECT_GE(gap, 2 * kUnitMs);
  // The socket error text keeps its line break inside the one report.
  EXPECT_EQ(sink_.LogLines(),
            (std::vector<std::string>{"T1 Socket Error # 10060\r\nConnection timed out.->" + url1,
                                      "Error: Your network has problem, please check it.", "T1 Finished."}));
  EXPECT_EQ(sink_.FailedLines(), std::vector<std::string>{FileOf(6742, 3101) + "|" + url1});
  EXPECT_FALSE(FileExists(FileOf(6742, 3101)));
  EXPECT_TRUE(server_.RequestsFor(PathOf(6742, 3102)).empty());
  EXPECT_EQ(workers_[0]->LastX(), 0);
}

TEST_F(WorkerTimeout, PartOfATimedOutBodyNeverReachesTheTile) {
  MakeTask(kColumnOfTwo, 1);
  const std::string path1 = PathOf(6742, 3101);
  server_.Script(path1, {Reply::Stalled("a partial body that must not be kept"), Reply::Ok(testsupport::TileImage("the real tile"))});
  RunToEnd(1);
  EXPECT_EQ(server_.RequestsFor(path1).size(), 2u);
  EXPECT_EQ(testsupport::ReadFileBytes(FileOf(6742, 3101)), testsupport::TileImage("the real tile"));
  EXPECT_EQ(sink_.LogLines().front(), "T1:seq=1,nm_6742_3101_13.jpg OK");
}

}  // namespace
}  // namespace workertest
