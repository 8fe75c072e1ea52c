// Several workers sharing one task: which worker takes which tile, in which
// order, from which resume point, and how each of them ends.
#include <algorithm>
#include <random>
#include <thread>

#include "tests/core/download/worker_fixture.h"

namespace workertest {
namespace {

using testsupport::Reply;
using testsupport::TileServer;

struct Tile {
  int32_t x;
  int32_t y;
};

// The tile of walk number p (column by column) in block.
Tile TileOfWalkNumber(const TileBlock& block, int64_t p) {
  const int64_t index = p - 1;
  return Tile{static_cast<int32_t>(block.X0 + index / block.Rows), static_cast<int32_t>(block.Y0 + index % block.Rows)};
}

std::string SuccessLine(int n, int64_t p, const std::string& fileName) {
  return "T" + std::to_string(n) + ":seq=" + std::to_string(p) + "," + fileName + " OK";
}

class WorkerWalk : public WorkerTest {
 protected:
  // The success lines thread n should write for the walk numbers ps.
  std::vector<std::string> ExpectedLines(const TileBlock& block, int n, const std::vector<int64_t>& ps) const {
    std::vector<std::string> lines;
    for (int64_t p : ps) {
      const Tile t = TileOfWalkNumber(block, p);
      lines.push_back(SuccessLine(n, p, task_->TileFileName(t.x, t.y)));
    }
    lines.push_back("T" + std::to_string(n) + " Finished.");
    return lines;
  }
};

class WorkerShares : public WorkerWalk, public ::testing::WithParamInterface<int32_t> {};

TEST_P(WorkerShares, EachSlotTakesItsWalkNumbersInOrder) {
  const int32_t threads = GetParam();
  const TileBlock block{6742, 3101, 3, 4, 13};
  MakeTask(block, threads);
  RunToEnd(threads);

  for (int32_t slot = 0; slot < threads; ++slot) {
    std::vector<int64_t> ps;
    for (int64_t p = 1; p <= 12; ++p) {
      if (p % threads == slot) ps.push_back(p);
    }
    EXPECT_EQ(sink_.LinesOf(slot + 1), ExpectedLines(block, slot + 1, ps)) << "slot " << slot;
    if (!ps.empty()) {
      const Tile last = TileOfWalkNumber(block, ps.back());
      EXPECT_EQ(workers_[static_cast<std::size_t>(slot)]->LastX(), last.x);
      EXPECT_EQ(workers_[static_cast<std::size_t>(slot)]->LastY(), last.y);
    }
  }
  // Every tile once, stored with its own body.
  for (int64_t p = 1; p <= 12; ++p) {
    const Tile t = TileOfWalkNumber(block, p);
    EXPECT_EQ(server_.RequestsFor(PathOf(t.x, t.y)).size(), 1u) << p;
    EXPECT_EQ(testsupport::ReadFileBytes(FileOf(t.x, t.y)), TileServer::DefaultBody(PathOf(t.x, t.y)));
  }
  EXPECT_EQ(server_.Requests().size(), 12u);
  ExpectEveryWorkerEndedOnce(threads);
}

INSTANTIATE_TEST_SUITE_P(ThreadCounts, WorkerShares, ::testing::Values(1, 2, 8));

TEST_F(WorkerWalk, EightWorkersDownloadAWholeRangeWithSomeFailures) {
  // 48 tiles: a few are not found or fail, the rest arrive; every worker
  // reports, records and ends through the one main thread.
  const TileBlock block{6742, 3101, 6, 8, 13};
  MakeTask(block, 8);
  const Tile notFound = TileOfWalkNumber(block, 11);
  const Tile broken = TileOfWalkNumber(block, 30);
  server_.Script(PathOf(notFound.x, notFound.y), {Reply::StatusOnly(404, "Not Found")});
  server_.Script(PathOf(broken.x, broken.y), {Reply::StatusOnly(500, "Internal Server Error")});
  RunToEnd(8);

  ExpectEveryWorkerEndedOnce(8);
  EXPECT_EQ(sink_.FailedLines(),
            std::vector<std::string>{FileOf(broken.x, broken.y) + "|" + UrlOf(broken.x, broken.y)});
  int saved = 0;
  for (const auto& line : sink_.LogLines()) saved += line.find(":seq=") != std::string::npos ? 1 : 0;
  EXPECT_EQ(saved, 46);
  for (int64_t p = 1; p <= 48; ++p) {
    const Tile t = TileOfWalkNumber(block, p);
    const bool blank = p == 11 || p == 30;
    EXPECT_EQ(testsupport::ReadFileBytes(FileOf(t.x, t.y)),
              blank ? kBlankBytes : TileServer::DefaultBody(PathOf(t.x, t.y)))
        << p;
  }
  // Each slot's position is its last tile (walk numbers 41 to 48).
  for (int32_t slot = 0; slot < 8; ++slot) {
    const Tile last = TileOfWalkNumber(block, slot == 0 ? 48 : 40 + slot);
    EXPECT_EQ(workers_[static_cast<std::size_t>(slot)]->LastX(), last.x);
    EXPECT_EQ(workers_[static_cast<std::size_t>(slot)]->LastY(), last.y);
  }
}

TEST_F(WorkerWalk, TwoByTwoWithTwoWorkers) {
  const TileBlock block{100, 200, 2, 2, 13};
  MakeTask(block, 2);
  RunToEnd(2);
  // Thread 2 (slot 1) takes the first tile of the range.
  EXPECT_EQ(sink_.LinesOf(2), (std::vector<std::string>{"T2:seq=1,nm_100_200_13.jpg OK",
                                                        "T2:seq=3,nm_101_200_13.jpg OK", "T2 Finished."}));
  EXPECT_EQ(sink_.LinesOf(1), (std::vector<std::string>{"T1:seq=2,nm_100_201_13.jpg OK",
                                                        "T1:seq=4,nm_101_201_13.jpg OK", "T1 Finished."}));
  EXPECT_EQ(workers_[0]->LastPosition().X, 101);
  EXPECT_EQ(workers_[0]->LastPosition().Y, 201);
  EXPECT_EQ(workers_[1]->LastPosition().X, 101);
  EXPECT_EQ(workers_[1]->LastPosition().Y, 200);
}

struct ResumeRow {
  const char* name;
  int32_t slot;
  // Resume position as walk number (0: take the key values below as they are).
  int64_t resumeAt;
  int32_t rawX;
  int32_t rawY;
  std::vector<int64_t> fetched;
};
void PrintTo(const ResumeRow& row, std::ostream* out) { *out << row.name; }

class WorkerResume : public WorkerWalk, public ::testing::WithParamInterface<ResumeRow> {};

TEST_P(WorkerResume, StartsBehindItsResumePoint) {
  // 3 x 4 tiles, 3 workers: slot 0 takes 3 6 9 12, slot 1 1 4 7 10, slot 2 2 5 8 11.
  const ResumeRow& row = GetParam();
  const TileBlock block{6742, 3101, 3, 4, 13};
  MakeTask(block, 3);
  const auto slot = static_cast<std::size_t>(row.slot);
  if (row.resumeAt > 0) {
    const Tile t = TileOfWalkNumber(block, row.resumeAt);
    task_->ResumeX[slot] = t.x;
    task_->ResumeY[slot] = t.y;
  } else {
    task_->ResumeX[slot] = row.rawX;
    task_->ResumeY[slot] = row.rawY;
  }
  RunToEnd(3);
  EXPECT_EQ(sink_.LinesOf(row.slot + 1), ExpectedLines(block, row.slot + 1, row.fetched));
  // Nothing at or before the resume point was asked for again.
  for (int64_t p = 1; p <= 12; ++p) {
    if (p % 3 != row.slot) continue;
    const Tile t = TileOfWalkNumber(block, p);
    const bool wanted = std::find(row.fetched.begin(), row.fetched.end(), p) != row.fetched.end();
    EXPECT_EQ(server_.RequestsFor(PathOf(t.x, t.y)).size(), wanted ? 1u : 0u) << p;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WorkerResume,
    ::testing::Values(ResumeRow{"ThreadOneAtTen", 0, 10, 0, 0, {12}},
                      ResumeRow{"AtItsOwnTile", 2, 8, 0, 0, {11}},
                      ResumeRow{"AtTheLastTile", 1, 12, 0, 0, {}},
                      ResumeRow{"AtTheFirstTile", 1, 1, 0, 0, {4, 7, 10}},
                      ResumeRow{"RowZeroIsNoPosition", 0, 0, 6743, 0, {3, 6, 9, 12}},
                      ResumeRow{"ColumnZeroIsNoPosition", 0, 0, 0, 3102, {3, 6, 9, 12}}),
    [](const ::testing::TestParamInfo<ResumeRow>& info) { return std::string(info.param.name); });

TEST_F(WorkerWalk, WorkerStoppedByTheServerLeavesTheOthersGoing) {
  const TileBlock block{100, 200, 2, 2, 13};
  MakeTask(block, 2);
  // Thread 2's first tile is refused.
  server_.Script(PathOf(100, 200), {Reply::StatusOnly(403, "Forbidden")});
  RunToEnd(2);
  EXPECT_EQ(workers_[1]->LastX(), 0);
  EXPECT_EQ(workers_[1]->LastY(), 0);
  EXPECT_TRUE(server_.RequestsFor(PathOf(101, 200)).empty());
  EXPECT_EQ(sink_.LinesOf(1), (std::vector<std::string>{"T1:seq=2,nm_100_201_13.jpg OK",
                                                        "T1:seq=4,nm_101_201_13.jpg OK", "T1 Finished."}));
  EXPECT_EQ(sink_.LinesOf(2), (std::vector<std::string>{"T2 HTTP/1.1 403 Forbidden->" + UrlOf(100, 200),
                                                        "T2 Finished."}));
  EXPECT_EQ(sink_.FailedLines(), std::vector<std::string>{FileOf(100, 200) + "|" + UrlOf(100, 200)});
  ExpectEveryWorkerEndedOnce(2);
}

TEST_F(WorkerWalk, StopDuringThePauseAfterASavedTileLetsThePauseRunOut) {
  env_.Pace.AfterSavedMs = 300;
  const TileBlock block{6742, 3101, 1, 3, 13};
  MakeTask(block, 1);
  Start(1);
  ASSERT_TRUE(testsupport::WaitFor([&] { return !sink_.LogLines().empty(); }));
  workers_[0]->Terminate();
  ASSERT_TRUE(sink_.WaitForFinished(1, 15s));

  EXPECT_EQ(sink_.LogLines(), ExpectedLines(block, 1, {1}));
  EXPECT_EQ(server_.Requests().size(), 1u);
  EXPECT_EQ(workers_[0]->LastX(), 6742);
  EXPECT_EQ(workers_[0]->LastY(), 3101);
  const auto events = sink_.Events();
  const auto pause = events.back().Time - events.front().Time;
  EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(pause).count(), 300);
}

TEST_F(WorkerWalk, StopBeforeTheFirstTileFetchesNothing) {
  env_.Pace.StartStaggerMs = 60 * 1000;
  MakeTask(TileBlock{6742, 3101, 2, 2, 13}, 2);
  Start(2);
  // Slot 1 is still in its start pause.
  workers_[1]->Terminate();
  ASSERT_TRUE(sink_.WaitForFinished(2, 15s)) << "the start pause outlived the stop";
  EXPECT_EQ(sink_.LinesOf(2), std::vector<std::string>{"T2 Finished."});
  EXPECT_TRUE(server_.RequestsFor(PathOf(6742, 3101)).empty());
}

TEST_F(WorkerWalk, WorkersWaitWhileTheMainThreadIsBusy) {
  MakeTask(TileBlock{6742, 3101, 2, 2, 13}, 2);
  {
    auto busy = caller_.Hold();
    Start(2);
    ASSERT_TRUE(testsupport::WaitFor([&] { return server_.Requests().size() >= 2; }));
    // Both have a tile to report and wait for the main thread.
    EXPECT_TRUE(sink_.Events().empty());
  }
  ASSERT_TRUE(sink_.WaitForFinished(2, 30s));
  ExpectEveryWorkerEndedOnce(2);
  EXPECT_EQ(server_.Requests().size(), 4u);
}

TEST_F(WorkerWalk, NonNumericProxyPortEndsEveryWorkerWithOneErrorLine) {
  MakeTask(TileBlock{6742, 3101, 2, 2, 13}, 2, [](task::TaskParameters&, task::RunSettings& run) {
    run.Proxy.UseProxy = true;
    run.Proxy.ProxyServer = "127.0.0.1";
    run.Proxy.ProxyPort = "80a";
  });
  RunToEnd(2);
  for (int n = 1; n <= 2; ++n) {
    const std::string t = "T" + std::to_string(n);
    EXPECT_EQ(sink_.LinesOf(n),
              (std::vector<std::string>{t + " Error: proxy port is not a number: 80a", t + " Finished."}));
  }
  EXPECT_TRUE(server_.Requests().empty());
  ExpectEveryWorkerEndedOnce(2);
}

TEST_F(WorkerWalk, StartAndStopManyTimes) {
  // Stops at random moments of eight-worker runs: every worker ends exactly
  // once and no run hangs.
  std::mt19937 random(20240611);
  for (int run = 0; run < 15; ++run) {
    testsupport::TempDir save;
    auto params = std::make_unique<task::TaskParameters>(
        testsupport::BlockParameters(save.Path(), TileBlock{6742, 3101, 4, 6, 13}));
    task::TaskOptions options;
    options.TileHost = server_.HostPort();
    task::MDTask task(*params, options);
    task.CreateImageFolder();
    testsupport::RecordingSink sink;
    download::WorkerEnvironment env = env_;
    env.Sink = &sink;
    env.Run = testsupport::BlockRun(8);
    auto workers = testsupport::StartWorkers(8, task, env);
    std::this_thread::sleep_for(std::chrono::milliseconds(random() % 60));
    for (auto& worker : workers) worker->Terminate();
    ASSERT_TRUE(sink.WaitForFinished(8, 20s)) << "run " << run;
    workers.clear();
    EXPECT_EQ(sink.FinishedCount(), 8);
    EXPECT_EQ(sink.CallsOutsideMainThread(), 0);
    for (int n = 1; n <= 8; ++n) {
      const auto lines = sink.LinesOf(n);
      ASSERT_FALSE(lines.empty());
      EXPECT_EQ(lines.back(), "T" + std::to_string(n) + " Finished.");
    }
  }
}

}  // namespace
}  // namespace workertest
