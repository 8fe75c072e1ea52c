#include "core/download/LineQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace download {
namespace {

using namespace std::chrono_literals;

std::vector<std::string> Texts(const std::vector<HandedLine>& lines) {
  std::vector<std::string> texts;
  for (const HandedLine& line : lines) texts.push_back((line.Kind == LineKind::Failed ? "F " : "L ") + line.Text);
  return texts;
}

// Lines come out in the order they went in; the first line of a batch wakes
// the taker; a pusher waits while the queue is full, and a closed queue lets
// it go and drops what comes after.
TEST(LineQueue, KeepsOrderWakesOncePerBatchWaitsWhileFullAndLetsGoWhenClosed) {
  std::atomic<int> wakes{0};
  LineQueue queue(2, [&] { ++wakes; });
  queue.Push(LineKind::Log, "a");
  queue.Push(LineKind::Failed, "b");
  EXPECT_EQ(wakes.load(), 1);

  std::atomic<bool> pushed{false};
  std::thread pusher([&] {
    queue.Push(LineKind::Log, "c");
    pushed = true;
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(pushed.load()) << "a full queue holds the pusher";
  EXPECT_EQ(Texts(queue.TakeAll()), (std::vector<std::string>{"L a", "F b"}));
  pusher.join();
  EXPECT_EQ(wakes.load(), 2) << "the line after the taking wakes again";
  queue.Push(LineKind::Log, "d");
  EXPECT_EQ(wakes.load(), 2);

  std::thread blocked([&] { queue.Push(LineKind::Log, "e"); });
  std::this_thread::sleep_for(20ms);
  queue.Close();
  blocked.join();
  queue.Push(LineKind::Log, "f");
  EXPECT_EQ(Texts(queue.TakeAll()), (std::vector<std::string>{"L c", "L d"}));
}

}  // namespace
}  // namespace download
