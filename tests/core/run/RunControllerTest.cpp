// One run of a task without a window: the controller driven as a front-end
// drives it (the workers' calls served from a MainThreadQueue, a tick every
// few milliseconds) against the loopback tile server.
#include "core/task/TaskFiles.h"
#include "core/run/RunController.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/download/HttpClient.h"
#include "core/platform/Files.h"
#include "core/platform/MainThreadQueue.h"
#include "core/task/TaskFile.h"
#include "tests/support/DiskSteps.h"
#include "tests/support/TileImages.h"
#include "tests/support/TempDir.h"
#include "tests/support/TileServer.h"
#include "tests/support/WorkerHarness.h"

namespace run {
namespace {

using namespace std::chrono_literals;
using platform::DiskStep;
using testsupport::DiskEvent;
using testsupport::Reply;
using testsupport::TileBlock;

// The worked example's block: 6 x 7 tiles at zoom 13.
const TileBlock kBlock{6742, 3101, 6, 7, 13};

// Counts what the run reports to its front-end.
struct Observer final : RunObserver {
  void LogLinesAdded(std::size_t count) override { logLines += count; }
  void FailedLinesAdded(std::size_t count) override { failedLines += count; }
  std::size_t logLines = 0;
  std::size_t failedLines = 0;
};

class RunControllerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { download::HttpClient::GlobalInit(); }

  RunControllerTest() { testsupport::MakeBlankImage(program_.Path(), "blank"); }

  task::TaskParameters Parameters(const TileBlock& block = kBlock) const {
    return testsupport::BlockParameters(save_.Path(), block);
  }

  // Built, prepared and started, as Start does: eight workers, continuing
  // the task's earlier run when continueTask is set.
  std::unique_ptr<RunController> StartRun(task::TaskParameters p, download::Pacing pacing = testsupport::ScaledPacing(5),
                                          bool continueTask = false) {
    RunEnvironment environment;
    environment.Run = testsupport::BlockRun(8);
    environment.Run.ContinueTask = continueTask;
    environment.Queue = &queue_;
    environment.ProgramFolder = program_.Path();
    environment.Pace = pacing;
    environment.Limits = limits_;
    environment.Options.TileHost = server_.HostPort();
    auto run = std::make_unique<RunController>(std::move(p), std::move(environment), observer_);
    run->Prepare();
    run->StartWorkers();
    return run;
  }

  // Serves the workers' calls for a while without ticking.
  void Serve(std::chrono::milliseconds duration) {
    const auto end = std::chrono::steady_clock::now() + duration;
    while (std::chrono::steady_clock::now() < end) {
      queue_.WaitForPending(5ms);
      queue_.RunPending();
    }
  }

  // Serves the workers' calls and ticks every 10 ms until the run closes.
  std::optional<CloseReport> DriveToClose(RunController& run, std::chrono::milliseconds deadline = 30s) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (std::chrono::steady_clock::now() < end) {
      Serve(10ms);
      if (auto closed = run.Tick()) return closed;
    }
    return std::nullopt;
  }

  template <typename Predicate>
  bool ServeUntil(Predicate done, std::chrono::milliseconds deadline = 20s) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      Serve(5ms);
    }
    return true;
  }

  std::string PathOf(const RunController& run, int64_t walkNumber) const {
    const task::TilePosition tile = run.Task().Range().AtWalkNumber(walkNumber);
    return testsupport::UrlPath(run.Task().TileURL(tile.X, tile.Y));
  }

  static int CountLines(const RunController& run, const std::string& suffix) {
    int count = 0;
    for (const std::string& line : run.LogLines().Lines()) {
      count += line.size() >= suffix.size() && line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0;
    }
    return count;
  }

  // The files a closed run leaves are exactly its lines.
  static void ExpectFilesMatchLines(const RunController& run) {
    EXPECT_EQ(platform::ReadTextLines(run.Task().LogFileName), run.LogLines().Lines());
    EXPECT_EQ(platform::ReadTextLines(run.Task().FailedListFileName), run.FailedLines().Lines());
  }

  testsupport::TempDir program_;
  testsupport::TempDir save_;
  testsupport::TileServer server_;
  download::HttpLimits limits_;
  platform::MainThreadQueue queue_;
  Observer observer_;
};

TEST_F(RunControllerTest, WholeRunOfEightWorkersSavesClosesAndCounts) {
  auto run = StartRun(Parameters());
  server_.Script(PathOf(*run, 11), {Reply::StatusOnly(404, "Not Found")});
  server_.Script(PathOf(*run, 30), {Reply::StatusOnly(500, "Internal Server Error")});
  const std::size_t loaded = run->LogLines().Lines().size();

  const auto closed = DriveToClose(*run);
  ASSERT_TRUE(closed) << "the run did not close";
  EXPECT_EQ(closed->FirstFailure, "");
  EXPECT_FALSE(run->Running());
  EXPECT_TRUE(run->WorkersGone());
  EXPECT_EQ(run->RunningThreads(), 0);

  const RunCounters counters = run->Counters();
  EXPECT_EQ(counters.Total, 42);
  EXPECT_EQ(counters.Saved, 40);
  EXPECT_EQ(counters.Blank, 1);
  EXPECT_EQ(counters.GivenUp, 1);
  EXPECT_EQ(counters.InFlight, 0);
  EXPECT_EQ(counters.NotTried, 0);

  EXPECT_EQ(CountLines(*run, " OK"), 40);
  EXPECT_EQ(CountLines(*run, " Finished."), 8);
  const std::vector<std::string>& lines = run->LogLines().Lines();
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ(lines[lines.size() - 7], "");
  EXPECT_EQ(lines[lines.size() - 6], "--------------------------------");
  EXPECT_EQ(lines[lines.size() - 5], "Task Stoped!");
  EXPECT_EQ(lines.back(), "Log file has been saved as " + run->Task().LogFileName);
  const task::TilePosition failing = run->Task().Range().AtWalkNumber(30);
  EXPECT_EQ(run->FailedLines().Lines(), std::vector<std::string>{task::FailedRecord(run->Task(), failing.X, failing.Y)});
  ExpectFilesMatchLines(*run);
  EXPECT_EQ(observer_.logLines, lines.size() - loaded);
  EXPECT_EQ(observer_.failedLines, 1u);

  // Each slot's last tile, all in the task file.
  const auto positions = task::TaskFile(run->Task().TaskFileName()).ReadPositions(8);
  for (int32_t slot = 0; slot < 8; ++slot) {
    int64_t last = 42;
    while (last % 8 != slot) --last;
    EXPECT_EQ(positions[static_cast<std::size_t>(slot)], run->Task().Range().AtWalkNumber(last)) << slot;
  }
}

// Stop at the start pause, in a request that hangs, and in the pause after
// a saved tile: every worker ends once, the run closes, nothing after the
// stop is fetched, and a continued run takes exactly the tiles left.
TEST_F(RunControllerTest, StopInEveryStateEndsTheRunAndItContinuesWhereItStopped) {
  struct Case {
    const char* name;
    download::Pacing pacing;
    Reply reply;
    int okBeforeStop;  // waited for before the stop
    int okAtMost;      // slot 0 has no start pause and may finish a tile
  };
  download::Pacing slowStart = testsupport::ScaledPacing(5);
  slowStart.StartStaggerMs = 2000;
  download::Pacing longPause = testsupport::ScaledPacing(5);
  longPause.AfterSavedMs = 400;
  const Case cases[] = {
      {"in the start pause", slowStart, Reply::Ok(testsupport::TileImage("tile")), 0, 1},
      {"in a hung request", testsupport::ScaledPacing(5), Reply::Stalled("tile body"), 0, 0},
      {"in the pause after a saved tile", longPause, Reply::Ok(testsupport::TileImage("tile")), 8, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::TempDir save;
    task::TaskParameters p = Parameters();
    p.SavePath = save.Path();
    server_.SetDefault(c.reply);
    const std::size_t requestsBefore = server_.RequestCount();
    auto run = StartRun(p, c.pacing);
    if (c.okBeforeStop > 0) {
      ASSERT_TRUE(ServeUntil([&] { return CountLines(*run, " OK") == c.okBeforeStop; }));
    } else if (c.reply.FaultKind == testsupport::Fault::StallBody) {
      ASSERT_TRUE(ServeUntil([&] { return server_.RequestCount() == requestsBefore + 8; }));
    }
    const std::size_t requestsAtStop = server_.RequestCount();
    run->Stop();
    run->Stop();  // a second press sends the requests and writes the lines again
    const auto closed = DriveToClose(*run);
    ASSERT_TRUE(closed);
    // At most a request already on its way (slot 0 has no start pause).
    EXPECT_LE(server_.RequestCount(), requestsAtStop + static_cast<std::size_t>(c.okAtMost - c.okBeforeStop))
        << "no request after the stop";
    EXPECT_EQ(CountLines(*run, " Finished."), 8);
    std::vector<std::string> stopLines;
    for (const std::string& line : run->LogLines().Lines()) {
      if (line.find("will be terminated by user") != std::string::npos) stopLines.push_back(line);
    }
    ASSERT_EQ(stopLines.size(), 16u);
    for (int n = 1; n <= 8; ++n) {
      EXPECT_EQ(stopLines[static_cast<std::size_t>(n - 1)],
                "Thread" + std::to_string(n) + "will be terminated by user. please wait...");
    }
    const RunCounters stopped = run->Counters();
    const int saved = CountLines(*run, " OK");
    EXPECT_GE(saved, c.okBeforeStop);
    EXPECT_LE(saved, c.okAtMost);
    EXPECT_EQ(stopped.Saved, saved);
    EXPECT_EQ(stopped.NotTried, 42 - saved);
    ExpectFilesMatchLines(*run);

    // Continued: the tiles at or before the saved positions are not fetched
    // again, and the run counts only the tiles left.
    server_.SetDefault(Reply::Ok(testsupport::TileImage("tile")));
    const std::size_t before = server_.RequestCount();
    auto next = StartRun(p, testsupport::ScaledPacing(5), /*continueTask=*/true);
    ASSERT_TRUE(DriveToClose(*next));
    EXPECT_EQ(next->Counters().Total, 42 - saved);
    EXPECT_EQ(next->Counters().Saved, 42 - saved);
    EXPECT_EQ(server_.RequestCount() - before, static_cast<std::size_t>(42 - saved));
  }
}

TEST_F(RunControllerTest, AFileThatCannotBeWrittenWhileClosingIsReportedAndTheRunStillCloses) {
  auto run = StartRun(Parameters({6742, 3101, 2, 2, 13}));
  ASSERT_TRUE(ServeUntil([&] { return run->RunningThreads() == 0; }));
  // The log file's place is taken by a folder.
  std::filesystem::remove(run->Task().LogFileName);
  std::filesystem::create_directory(run->Task().LogFileName);

  const auto closed = run->Tick();
  ASSERT_TRUE(closed);
  EXPECT_NE(closed->FirstFailure.find(run->Task().LogFileName), std::string::npos) << closed->FirstFailure;
  EXPECT_EQ(closed->Reason, "Is a directory");
  EXPECT_FALSE(run->Running());
  EXPECT_TRUE(run->WorkersGone());
  // What could be written was.
  EXPECT_EQ(platform::ReadTextLines(run->Task().FailedListFileName), run->FailedLines().Lines());
  const auto positions = task::TaskFile(run->Task().TaskFileName()).ReadPositions(4);
  EXPECT_EQ(positions[0], run->Task().Range().AtWalkNumber(4));
  EXPECT_FALSE(run->Tick()) << "a closed run does not close again";
}

// A tile that cannot be written (a full disk, a read-only tile folder; here
// a rename the disk refuses) ends its worker; the run tells it with the
// system's reason, as the reason the worker stopped.
TEST_F(RunControllerTest, ATileThatCannotBeWrittenEndsItsWorkerWithTheSystemsReason) {
  testsupport::DiskSteps steps;
  task::TaskParameters p = Parameters({6742, 3101, 2, 2, 13});
  const std::string refused = task::MDTask(p).TileFilePath(6742, 3102);
  steps.RefuseNext(DiskStep::Rename, refused);
  auto run = StartRun(std::move(p));
  const auto closed = DriveToClose(*run);
  ASSERT_TRUE(closed);
  EXPECT_EQ(closed->FirstFailure, "");
  const std::string failure = "Unable to write to " + refused + ": Input/output error";
  EXPECT_EQ(run->SystemFailure(), failure);
  EXPECT_EQ(run->StopMessages(), std::vector<std::string>{failure});
  EXPECT_EQ(CountLines(*run, " Error: " + failure), 1);
  EXPECT_EQ(run->Counters().Saved, 3);
  EXPECT_FALSE(platform::FileExists(refused));
}

TEST_F(RunControllerTest, ShutDownAbandonsHungRequestsSavesAndJoins) {
  server_.SetDefault(Reply::Stalled("never finished"));
  auto run = StartRun(Parameters());
  ASSERT_TRUE(ServeUntil([&] { return run->Counters().InFlight == 8; }));

  EXPECT_EQ(run->ShutDown(3000ms), "");
  EXPECT_TRUE(queue_.Closed());
  EXPECT_TRUE(run->JoinWorkers(5000ms)) << "the requests in hand are abandoned";
  EXPECT_TRUE(run->WorkersGone());
  EXPECT_EQ(CountLines(*run, " Finished."), 8);
  ExpectFilesMatchLines(*run);
}

TEST_F(RunControllerTest, AWorkerThatCannotEndInTimeIsJoinedLater) {
  download::Pacing pacing = testsupport::ScaledPacing(5);
  pacing.AfterSavedMs = 1500;  // this pause runs out even after a stop
  auto run = StartRun(Parameters({6742, 3101, 1, 1, 13}), pacing);
  ASSERT_TRUE(ServeUntil([&] { return CountLines(*run, " OK") == 1; }));
  EXPECT_EQ(run->ShutDown(0ms), "");
  EXPECT_FALSE(run->JoinWorkers(50ms));
  const auto start = std::chrono::steady_clock::now();
  run.reset();  // joins the worker once its pause has run out
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}

TEST_F(RunControllerTest, RandomStartStopCyclesNeverHangAndEveryWorkerEndsOnce) {
  std::mt19937 random(20261207);
  server_.SetDefault(Reply::Ok(testsupport::TileImage("tile")));
  for (int cycle = 0; cycle < 15; ++cycle) {
    SCOPED_TRACE("cycle " + std::to_string(cycle));
    const TileBlock block{6742, 3101, 1 + static_cast<int32_t>(random() % 4), 1 + static_cast<int32_t>(random() % 4), 13};
    task::TaskParameters p = Parameters(block);
    p.TaskName = "cycle" + std::to_string(cycle) + ".otsk";
    auto run = StartRun(p);
    const int32_t threads = run->Settings().ThreadCount;
    Serve(std::chrono::milliseconds(random() % 60));
    run->Stop();
    ASSERT_TRUE(DriveToClose(*run, 20s));
    EXPECT_EQ(CountLines(*run, " Finished."), threads);
    EXPECT_EQ(run->Counters().Done() + run->Counters().NotTried, run->Counters().Total);
    ExpectFilesMatchLines(*run);
  }
}

// Whatever the task file's positions say is done was, before the positions
// were last written: renamed into place, flushed (its file system or the file
// itself), and then its folder flushed.
void ExpectSavedPositionsDurable(const RunController& run, const std::vector<DiskEvent>& events) {
  const task::MDTask& t = run.Task();
  const auto lastWrite = std::find_if(events.rbegin(), events.rend(), [&](const DiskEvent& e) {
    return e.Step == DiskStep::Rename && e.Path == t.TaskFileName();
  });
  ASSERT_NE(lastWrite, events.rend()) << "the task file was written";
  const auto end = lastWrite.base() - 1;
  const int32_t threads = run.Settings().ThreadCount;
  const auto positions = task::TaskFile(t.TaskFileName()).ReadPositions(threads);
  const task::TileRange range = t.Range();
  for (int64_t p = 1; p <= range.Count(); ++p) {
    if (p > range.ResumePoint(positions[static_cast<std::size_t>(p % threads)])) continue;
    const task::TilePosition tile = range.AtWalkNumber(p);
    const std::string path = t.TileFilePath(tile.X, tile.Y);
    const std::string folder = platform::ExtractFilePath(path);
    const auto renamed = std::find(events.begin(), end, DiskEvent{DiskStep::Rename, path});
    ASSERT_NE(renamed, end) << path << " is covered by a saved position before it was renamed into place";
    const auto flushed = std::find_if(renamed, end, [&](const DiskEvent& e) {
      return (e.Step == DiskStep::FlushFileSystem && e.Path == folder) || (e.Step == DiskStep::FlushFile && e.Path == path);
    });
    ASSERT_NE(flushed, end) << path << " is covered by a saved position before it was flushed";
    EXPECT_NE(std::find(flushed, end, DiskEvent{DiskStep::FlushFolder, folder}), end)
        << path << " is covered by a saved position before its folder was flushed";
  }
}

// Every way positions are saved (the timer, the close after a Stop or at the
// end, Exit, a save that fails and the one after it) writes them only after
// the tiles they cover are on stable storage. A failed flush keeps the
// positions where they were for the rest of the run.
TEST_F(RunControllerTest, PositionsAreSavedOnlyAfterTheTilesTheyCoverAreFlushed) {
  enum class Path { TimerAndEnd, Stop, Exit, FailedWrite, FailedFlush };
  const struct {
    const char* name;
    Path path;
  } cases[] = {{"timer and end", Path::TimerAndEnd},
               {"stop", Path::Stop},
               {"a write of the task file that fails", Path::FailedWrite},
               {"a flush that fails", Path::FailedFlush},
               {"exit", Path::Exit}};  // last: it closes the workers' queue for good
  download::Pacing pacing = testsupport::ScaledPacing(5);
  pacing.AfterSavedMs = 20;  // long enough for saves by the timer
  server_.SetDefault(Reply::Ok(testsupport::TileImage("tile")));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::TempDir save;
    task::TaskParameters p = Parameters({6742, 3101, 10, 10, 13});
    p.SavePath = save.Path();
    testsupport::DiskSteps steps;
    auto run = StartRun(p, pacing);
    const std::string taskFile = run->Task().TaskFileName();
    const std::string tileFolder = platform::IncludeTrailingDelimiter(run->Task().ImageFolder);
    const auto savedPositions = [&] { return task::TaskFile(taskFile).ReadPositions(8); };

    ASSERT_TRUE(ServeUntil([&] { return CountLines(*run, " OK") >= 16; }));
    if (c.path == Path::FailedWrite) steps.RefuseNext(DiskStep::Rename, taskFile);
    if (c.path == Path::FailedFlush) steps.RefuseNext(DiskStep::FlushFileSystem, tileFolder);
    std::optional<std::vector<task::TilePosition>> beforeFailure;
    int failedSaves = 0;
    std::optional<CloseReport> closed;
    if (c.path == Path::Stop) run->Stop();
    if (c.path == Path::Exit) {
      EXPECT_EQ(run->ShutDown(3000ms), "");
      EXPECT_TRUE(run->JoinWorkers(5000ms));
    } else {
      for (auto end = std::chrono::steady_clock::now() + 30s; !closed && std::chrono::steady_clock::now() < end;) {
        Serve(10ms);
        const auto positions = savedPositions();
        try {
          closed = run->Tick();
        } catch (const platform::FileError&) {
          ++failedSaves;
          if (!beforeFailure) beforeFailure = positions;
        }
        ExpectSavedPositionsDurable(*run, steps.Events());
      }
      ASSERT_TRUE(closed);
    }
    ExpectSavedPositionsDurable(*run, steps.Events());

    switch (c.path) {
      case Path::TimerAndEnd: {
        EXPECT_EQ(closed->FirstFailure, "");
        EXPECT_EQ(CountLines(*run, " OK"), 100) << "the whole run";
        const auto events = steps.Events();
        EXPECT_GE(std::count(events.begin(), events.end(), DiskEvent{DiskStep::Rename, taskFile}), 3)
            << "the timer saved the positions before the end did";
        break;
      }
      case Path::FailedWrite:
        EXPECT_EQ(failedSaves, 1);
        EXPECT_EQ(closed->FirstFailure, "");
        EXPECT_EQ(savedPositions()[0], run->Task().Range().AtWalkNumber(96)) << "saved again after the failure";
        break;
      case Path::FailedFlush:
        ASSERT_TRUE(beforeFailure);
        EXPECT_GE(failedSaves, 1);
        EXPECT_EQ(closed->FirstFailure, "Unable to write to " + tileFolder);
        EXPECT_EQ(savedPositions(), *beforeFailure) << "no position saved after a failed flush";
        break;
      case Path::Stop:
      case Path::Exit:
        EXPECT_LT(CountLines(*run, " OK"), 100);
        EXPECT_NE(savedPositions(), std::vector<task::TilePosition>(8)) << "the stopped run saved its positions";
        break;
    }
  }
}

// A tile source without a pause hands its lines over without waiting for the
// main thread: the log and the failed list still hold every line, each
// worker's in the order of its walk, its finish line last.
TEST_F(RunControllerTest, AnUnpacedSourceKeepsEveryLineInEachWorkersOrder) {
  task::TaskParameters p = Parameters({6742, 3101, 10, 10, 13});
  p.MapsType = task::kMapUserSource;
  task::TileSource source;
  source.Name = "Fast";
  source.UrlTemplate = "http://" + server_.HostPort() + "/f/{z}/{x}/{y}.jpg";
  source.FilePrefix = "f";
  source.PauseMs = 0;
  source.MaxWorkers = 8;
  p.Source = source;
  const std::string jpeg = testsupport::TileImage("fast");
  server_.SetDefault(Reply::Ok(jpeg));
  // Scripted before the run starts: its workers do not wait for the test.
  const task::MDTask planned(p);
  const task::TileRange range = planned.Range();
  const task::TilePosition failing = range.AtWalkNumber(37);
  const std::string failingUrl = planned.TileURL(failing.X, failing.Y);
  // An error page sent as a success: given up after three tries (a server
  // error of a source would be waited out).
  server_.Script(testsupport::UrlPath(failingUrl),
                 std::vector<Reply>(3, Reply::Ok("<html>busy</html>").WithHeader("Content-Type", "text/html")));
  auto run = StartRun(p);
  const std::size_t loaded = run->LogLines().Lines().size();

  ASSERT_TRUE(DriveToClose(*run));

  std::map<std::string, std::vector<std::string>> expected;
  for (int64_t walk = 1; walk <= range.Count(); ++walk) {
    const std::string n = "T" + std::to_string(walk % 8 + 1);
    const task::TilePosition tile = range.AtWalkNumber(walk);
    if (walk == 37) {
      expected[n].push_back(n + " Not an image: text/html, 17 bytes->" + failingUrl);
      expected[n].push_back(n + ":" + std::to_string(tile.X) + "-" + std::to_string(tile.Y) + " got a blank image!");
    } else {
      expected[n].push_back(n + ":seq=" + std::to_string(walk) + "," + run->Task().TileFileName(tile.X, tile.Y) + " OK");
    }
  }
  std::map<std::string, std::vector<std::string>> seen;
  const std::vector<std::string>& lines = run->LogLines().Lines();
  // The last eight: why the run ended and the completion block.
  for (std::size_t i = loaded; i + 8 < lines.size(); ++i) {
    const std::string n = lines[i].substr(0, lines[i].find_first_of(": "));
    seen[n].push_back(lines[i]);
  }
  for (int worker = 1; worker <= 8; ++worker) {
    const std::string n = "T" + std::to_string(worker);
    expected[n].push_back(n + " Finished.");
    EXPECT_EQ(seen[n], expected[n]) << n;
  }
  EXPECT_EQ(seen.size(), 8u) << "no line of anything else";
  EXPECT_EQ(run->FailedLines().Lines(), std::vector<std::string>{task::FailedRecord(run->Task(), failing.X, failing.Y)});
  ExpectFilesMatchLines(*run);
  EXPECT_EQ(testsupport::ReadFileBytes(run->Task().TileFilePath(range.MaxX, range.MaxY)), jpeg);
}

}  // namespace
}  // namespace run
