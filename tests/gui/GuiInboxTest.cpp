// The workers' main-thread call: runs in the main thread while the worker
// waits, and never leaves a worker waiting once it has been closed.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <QTest>

#include <atomic>
#include <thread>
#include <vector>

#include "qtkit/GuiInbox.h"

namespace {

using namespace std::chrono_literals;

TEST(GuiInbox, RunsTheActionInTheMainThreadWhileTheWorkerWaits) {
  qtkit::GuiInbox caller;
  std::thread::id ranOn;
  std::atomic<bool> returned{false};
  bool ranBeforeReturn = false;
  std::thread worker([&] {
    caller.Synchronize([&] {
      ranOn = std::this_thread::get_id();
      ranBeforeReturn = !returned.load();
    });
    returned = true;
  });
  EXPECT_TRUE(QTest::qWaitFor([&] { return returned.load(); }, 5000));
  worker.join();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_TRUE(ranBeforeReturn);
}

TEST(GuiInbox, CloseRunsWaitingCallsAndLaterCallsReturnAtOnce) {
  qtkit::GuiInbox caller;
  int runs = 0;
  std::atomic<bool> secondReturned{false};
  std::thread worker([&] {
    caller.Synchronize([&] { ++runs; });
    caller.Synchronize([&] { ++runs; });  // after Close: not run
    secondReturned = true;
  });
  // No event loop runs here: only Close() can let the worker go.
  ASSERT_TRUE(caller.WaitForPending(5s));
  caller.Close();
  worker.join();
  EXPECT_TRUE(secondReturned);
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(caller.Closed());
  // The event posted for the first call finds it done and runs nothing.
  QCoreApplication::processEvents();
  EXPECT_EQ(runs, 1);
}

TEST(GuiInbox, ClosingWhileManyWorkersCallNeverLeavesOneWaiting) {
  for (int round = 0; round < 20; ++round) {
    qtkit::GuiInbox caller;
    std::atomic<int> calls{0};
    int runs = 0;
    std::vector<std::thread> workers;
    for (int w = 0; w < 8; ++w) {
      workers.emplace_back([&] {
        for (int i = 0; i < 200; ++i) {
          caller.Synchronize([&] { ++runs; });
          ++calls;
        }
      });
    }
    // Serve for a moment through the event loop, then close in the middle.
    QTest::qWait(round % 4 * 5);
    caller.Close();
    for (auto& t : workers) t.join();  // a hang here fails by the test's time-out
    EXPECT_EQ(calls.load(), 8 * 200);
    EXPECT_LE(runs, 8 * 200);
    QCoreApplication::processEvents();
  }
}

}  // namespace
