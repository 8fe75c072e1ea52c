// The workers' main-thread call as a queue that the main thread serves.
//
// A worker's Synchronize() queues its action and waits until the main thread
// has run it; Post() queues one without waiting. The main thread serves the
// queue from its event loop (a front-end that has one overrides
// WakeMainThread to post a wake-up whose handler calls RunPending) or by
// itself (RunPending, WaitForPending: a command-line loop, or a window that
// shuts down without its event loop). Close() runs every action still waiting
// and from then on Synchronize() and Post() return at once without running
// anything, so no worker is ever left waiting on a main thread that has
// stopped serving.
//
// Threads: Synchronize() from worker threads (never from the serving thread),
// Post() from any thread, everything else from the one serving (main) thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "core/platform/Thread.h"

namespace platform {

class MainThreadQueue : public MainThreadCaller {
 public:
  MainThreadQueue();
  ~MainThreadQueue() override;
  MainThreadQueue(const MainThreadQueue&) = delete;
  MainThreadQueue& operator=(const MainThreadQueue&) = delete;

  void Synchronize(const std::function<void()>& action) override;
  // Queues action to run in the main thread, after everything queued before
  // it, and returns at once. Dropped once the queue is closed. Any thread.
  void Post(std::function<void()> action);

  // Runs the actions waiting now, oldest first; returns how many ran.
  int RunPending();
  // Waits up to timeout for an action to be waiting; true when one is.
  bool WaitForPending(std::chrono::milliseconds timeout);
  // Runs every waiting action; from then on Synchronize() returns at once.
  void Close();
  // As Close(), but drops the waiting actions instead of running them (a
  // waiting Synchronize() returns without its action run): for an owner that
  // is going away, whose queued actions would find it gone.
  void Discard();
  bool Closed() const;

 protected:
  // Called in the worker's thread, under the queue's lock, after each action
  // is queued. Carries nothing: whatever serves the wake-up calls RunPending,
  // which may find the action already run. Must not call back into the queue.
  virtual void WakeMainThread() {}
  // Runs one queued action in the serving thread; a front-end may guard it.
  virtual void Invoke(const std::function<void()>& action) { action(); }

 private:
  struct Call {
    const std::function<void()>* Action = nullptr;
    std::function<void()> Posted;  // what Action points to for a Post()
    bool Done = false;
  };
  struct State {
    mutable std::mutex Mutex;
    std::condition_variable Changed;
    std::deque<std::shared_ptr<Call>> Pending;
    bool Closed = false;
  };
  void Run(const std::shared_ptr<Call>& call);

  std::shared_ptr<State> state_;
};

}  // namespace platform
