// The workers' main-thread call served without an event loop, as a
// command-line loop or a window that shuts down serves it.
#include "core/platform/MainThreadQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace platform {
namespace {

using namespace std::chrono_literals;

// Posted actions (not waited for) and synchronised ones run in the order
// they were queued, on the serving thread; after Close a post is dropped.
TEST(MainThreadQueue, RunPendingServesWorkersInOrderOnTheServingThread) {
  MainThreadQueue queue;
  std::vector<int> order;
  std::vector<std::thread::id> ranOn;
  std::thread worker([&] {
    for (int i = 0; i < 4; ++i) {
      auto action = [&order, &ranOn, i] {
        order.push_back(i);
        ranOn.push_back(std::this_thread::get_id());
      };
      if (i % 2 == 0) {
        queue.Post(action);
      } else {
        queue.Synchronize(action);
      }
    }
  });
  while (order.size() < 4) {
    if (queue.RunPending() == 0) queue.WaitForPending(50ms);
  }
  worker.join();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(ranOn, std::vector<std::thread::id>(4, std::this_thread::get_id()));
  queue.Close();
  queue.Post([&order] { order.push_back(4); });
  EXPECT_EQ(queue.RunPending(), 0);
  EXPECT_EQ(order.size(), 4u);
}

// Closing in the middle of many calls runs those waiting (Close) or drops
// them (Discard), turns the later ones away, and leaves no worker waiting.
TEST(MainThreadQueue, ClosingWhileManyWorkersCallNeverLeavesOneWaiting) {
  for (const bool discard : {false, true}) {
    for (int round = 0; round < 20; ++round) {
      MainThreadQueue queue;
      std::atomic<int> calls{0};
      int runs = 0;
      std::vector<std::thread> workers;
      for (int w = 0; w < 8; ++w) {
        workers.emplace_back([&] {
          for (int i = 0; i < 200; ++i) {
            queue.Synchronize([&] { ++runs; });
            ++calls;
          }
        });
      }
      const auto serveUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(round % 4 * 5);
      while (std::chrono::steady_clock::now() < serveUntil) {
        if (queue.RunPending() == 0) queue.WaitForPending(1ms);
      }
      // What ran by now is all that may ever run when the rest is dropped.
      queue.WaitForPending(100ms);
      const int servedBefore = runs;
      discard ? queue.Discard() : queue.Close();
      for (auto& t : workers) t.join();  // a hang here fails by the test's time-out
      EXPECT_EQ(calls.load(), 8 * 200);
      EXPECT_LE(runs, 8 * 200);
      if (discard) EXPECT_EQ(runs, servedBefore) << "round " << round;
      // A fast machine may have served every call before the close.
      if (!discard && servedBefore < 8 * 200) {
        EXPECT_GT(runs, servedBefore) << "the waiting calls run at Close, round " << round;
      }
      EXPECT_TRUE(queue.Closed());
    }
  }
}

}  // namespace
}  // namespace platform
