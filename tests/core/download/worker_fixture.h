// A download worker against the loopback tile server: a throwaway save folder,
// a program folder with a known blank image, a serialising main thread and a
// recording window. Pauses run at 20 ms per real second.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "core/download/HttpClient.h"
#include "core/download/Unit3.h"
#include "core/task/Unitclasstask.h"
#include "tests/support/TempDir.h"
#include "tests/support/TileServer.h"
#include "tests/support/WorkerHarness.h"

namespace workertest {

using namespace std::chrono_literals;
using testsupport::TileBlock;

inline constexpr int kUnitMs = 20;
inline const std::string kBlankBytes = "blank tile image";

class WorkerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { download::HttpClient::GlobalInit(); }

  WorkerTest() {
    testsupport::MakeBlankImage(program_.Path(), kBlankBytes);
    env_.Caller = &caller_;
    env_.Sink = &sink_;
    env_.ProgramFolder = program_.Path();
    env_.Pace = testsupport::ScaledPacing(kUnitMs);
  }

  // Builds the task over block for a run of threads workers; the task's
  // record (and the run's settings, for a tweak that takes both) may be
  // changed by tweak first.
  template <typename Tweak>
  task::MDTask& MakeTask(const TileBlock& block, int32_t threads, Tweak tweak) {
    params_ = std::make_unique<task::TaskParameters>(testsupport::BlockParameters(save_.Path(), block));
    env_.Run = testsupport::BlockRun(threads);
    if constexpr (std::is_invocable_v<Tweak, task::TaskParameters&, task::RunSettings&>) {
      tweak(*params_, env_.Run);
    } else {
      tweak(*params_);
    }
    task::TaskOptions options;
    options.TileHost = tileHost_.empty() ? server_.HostPort() : tileHost_;
    task_ = std::make_unique<task::MDTask>(*params_, options);
    task_->CreateImageFolder();
    return *task_;
  }
  task::MDTask& MakeTask(const TileBlock& block, int32_t threads) {
    return MakeTask(block, threads, [](task::TaskParameters&) {});
  }

  ~WorkerTest() override {
    // A failed test may leave workers running: stop them before joining.
    for (auto& worker : workers_) worker->Terminate();
    workers_.clear();
  }

  void Start(int32_t threads) { workers_ = testsupport::StartWorkers(threads, *task_, env_); }

  // Starts the workers and waits (bounded) for all of them to end; the
  // worker objects stay for their positions.
  void RunToEnd(int32_t threads) {
    Start(threads);
    ASSERT_TRUE(sink_.WaitForFinished(threads, 60s)) << "workers did not end";
    for (auto& worker : workers_) worker->WaitFor();
  }

  std::string PathOf(int32_t x, int32_t y) const { return testsupport::UrlPath(task_->TileURL(x, y)); }
  std::string UrlOf(int32_t x, int32_t y) const { return task_->TileURL(x, y); }
  std::string FileOf(int32_t x, int32_t y) const { return task_->TileFilePath(x, y); }

  // Time between consecutive requests of path, in ms (one entry less than requests).
  std::vector<long long> GapsMs(const std::string& path) const {
    const auto requests = server_.RequestsFor(path);
    std::vector<long long> gaps;
    for (std::size_t i = 1; i < requests.size(); ++i) {
      gaps.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(requests[i].Time -
                                                                            requests[i - 1].Time)
                         .count());
    }
    return gaps;
  }

  // Every worker ended exactly once, through the main thread, finish line last.
  void ExpectEveryWorkerEndedOnce(int32_t threads) const {
    EXPECT_EQ(sink_.FinishedCount(), threads);
    EXPECT_EQ(sink_.CallsOutsideMainThread(), 0);
    for (int n = 1; n <= threads; ++n) {
      const auto lines = sink_.LinesOf(n);
      ASSERT_FALSE(lines.empty()) << "T" << n;
      EXPECT_EQ(lines.back(), "T" + std::to_string(n) + " Finished.");
      int finishLines = 0;
      for (const auto& line : lines) finishLines += line == "T" + std::to_string(n) + " Finished." ? 1 : 0;
      EXPECT_EQ(finishLines, 1) << "T" << n;
    }
  }

  testsupport::TempDir save_;
  testsupport::TempDir program_;
  testsupport::TileServer server_;
  std::string tileHost_;  // empty: the loopback server itself
  testsupport::SerialCaller caller_;
  testsupport::RecordingSink sink_;
  download::WorkerEnvironment env_;
  std::unique_ptr<task::TaskParameters> params_;
  std::unique_ptr<task::MDTask> task_;
  // Declared last: destroyed (joined) before everything they use.
  std::vector<std::unique_ptr<download::TDownThread>> workers_;
};

inline bool FileExists(const std::string& path) {
  try {
    testsupport::ReadFileBytes(path);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace workertest
