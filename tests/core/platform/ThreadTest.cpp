#include "core/platform/Thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>

#include "tests/support/TempDir.h"

namespace {

using testsupport::WaitFor;

class RecordingThread : public platform::Thread {
 public:
  ~RecordingThread() override { WaitFor(); }

  std::atomic<bool> ran{false};
  std::thread::id runOn;
  std::atomic<bool> release{false};

 protected:
  void Execute() override {
    runOn = std::this_thread::get_id();
    while (!release && !Terminated()) std::this_thread::yield();
    ran = true;
  }
};

TEST(Thread, RunsTheBodyOnItsOwnThreadAndJoins) {
  RecordingThread thread;
  thread.release = true;
  thread.Start();
  thread.WaitFor();
  EXPECT_TRUE(thread.ran);
  EXPECT_NE(thread.runOn, std::this_thread::get_id());
  thread.WaitFor();  // a second wait returns at once
  EXPECT_FALSE(thread.FatalException());
}

TEST(Thread, WaitForWithoutStartReturns) {
  RecordingThread thread;
  thread.WaitFor();
  EXPECT_FALSE(thread.ran);
}

TEST(Thread, TerminateEndsABodyThatWatchesTheFlag) {
  RecordingThread thread;
  thread.Start();
  EXPECT_FALSE(thread.Terminated());
  thread.Terminate();
  EXPECT_TRUE(thread.Terminated());
  EXPECT_TRUE(thread.TerminateFlag().load());
  ASSERT_TRUE(WaitFor([&] { return thread.ran.load(); }));
  thread.WaitFor();
}

TEST(Thread, DestroyingWaitsForTheBody) {
  std::atomic<bool> finished{false};
  class Slow : public platform::Thread {
   public:
    explicit Slow(std::atomic<bool>& finished) : finished_(finished) {}
    ~Slow() override { WaitFor(); }

   protected:
    void Execute() override {
      platform::SleepMs(30);
      finished_ = true;
    }

   private:
    std::atomic<bool>& finished_;
  };
  {
    Slow thread(finished);
    thread.Start();
  }
  EXPECT_TRUE(finished);
}

TEST(Thread, AnErrorInTheBodyEndsOnlyTheThread) {
  class Throwing : public platform::Thread {
   public:
    ~Throwing() override { WaitFor(); }

   protected:
    void Execute() override { throw std::runtime_error("body failed"); }
  };
  Throwing thread;
  thread.Start();
  thread.WaitFor();
  ASSERT_TRUE(thread.FatalException());
  EXPECT_THROW(std::rethrow_exception(thread.FatalException()), std::runtime_error);
}

TEST(Thread, StartTwiceIsRefused) {
  RecordingThread thread;
  thread.release = true;
  thread.Start();
  thread.WaitFor();
  EXPECT_THROW(thread.Start(), std::logic_error);
}

TEST(SleepUnlessSet, ReturnsWhetherTheWholePauseElapsed) {
  std::atomic<bool> flag{false};
  EXPECT_TRUE(platform::SleepUnlessSet(flag, 30));
  EXPECT_TRUE(platform::SleepUnlessSet(flag, 0));
  EXPECT_TRUE(platform::SleepUnlessSet(flag, -5));
  flag = true;
  EXPECT_FALSE(platform::SleepUnlessSet(flag, 3600 * 1000));  // would hang if not checked first
}

TEST(SleepUnlessSet, WakesSoonAfterTheFlagIsSet) {
  std::atomic<bool> flag{false};
  // An hour-long pause that must end once the flag is set: the bounded wait
  // below fails (instead of hanging) if it does not.
  auto sleeper = std::async(std::launch::async, [&] { return platform::SleepUnlessSet(flag, 3600 * 1000); });
  platform::SleepMs(50);
  flag = true;
  ASSERT_TRUE(WaitFor([&] {
    return sleeper.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  }));
  EXPECT_FALSE(sleeper.get());
}

}  // namespace
