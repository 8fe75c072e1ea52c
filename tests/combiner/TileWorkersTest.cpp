// The combine's worker threads: every index once, all threads at work at the
// same time, a failure passed on and the pool usable after it.
#include "combiner/TileWorkers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace {

TEST(TileWorkers, RunEveryIndexOnceOnAllThreadsAndPassOnAFailure) {
  combiner::TileWorkers workers(3);
  ASSERT_EQ(workers.Threads(), 3u);
  for (const std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{1000}}) {
    std::vector<std::atomic<int>> runs(count);
    workers.ForEach(count, [&](std::size_t i) { ++runs[i]; });
    for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(runs[i].load(), 1) << i << " of " << count;
  }

  // The first three calls wait for each other: only three threads at once get past.
  std::mutex mutex;
  std::condition_variable arrived;
  int waiting = 0;
  bool together = true;
  workers.ForEach(3, [&](std::size_t) {
    std::unique_lock<std::mutex> lock(mutex);
    ++waiting;
    arrived.notify_all();
    if (!arrived.wait_for(lock, std::chrono::seconds(10), [&] { return waiting == 3; })) together = false;
  });
  EXPECT_TRUE(together);

  EXPECT_THROW(workers.ForEach(1000,
                               [&](std::size_t i) {
                                 if (i == 7) throw std::runtime_error("tile 7 failed");
                               }),
               std::runtime_error);
  std::atomic<int> after{0};
  workers.ForEach(10, [&](std::size_t) { ++after; });
  EXPECT_EQ(after.load(), 10);
}

}  // namespace
