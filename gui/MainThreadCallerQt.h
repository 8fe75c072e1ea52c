// The main-thread call of the download workers, over Qt's event loop.
//
// A worker's Synchronize() queues its action, posts an event to the context
// object (in the main thread) and waits until the action has run. The queue is
// ours, not Qt's, so the main thread can also run waiting actions without an
// event loop (RunPending) and, when the program shuts down, Close() runs every
// action still waiting and makes later calls return at once without running
// anything: no worker is ever left waiting on an event loop that has ended.
//
// Threads: Synchronize() from worker threads (never from the main thread);
// everything else from the main thread. The context object must outlive the
// caller or the Close() call, whichever comes first.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "core/platform/Thread.h"

class QObject;

namespace gui {

class MainThreadCallerQt final : public platform::MainThreadCaller {
 public:
  explicit MainThreadCallerQt(QObject* context);
  ~MainThreadCallerQt() override;
  MainThreadCallerQt(const MainThreadCallerQt&) = delete;
  MainThreadCallerQt& operator=(const MainThreadCallerQt&) = delete;

  void Synchronize(const std::function<void()>& action) override;

  // Runs the actions waiting now, oldest first; returns how many ran.
  int RunPending();
  // Waits up to timeout for an action to be waiting; true when one is.
  bool WaitForPending(std::chrono::milliseconds timeout);
  // Runs every waiting action; from then on Synchronize() returns at once.
  void Close();
  bool Closed() const;

 private:
  struct Call {
    const std::function<void()>* Action = nullptr;
    bool Done = false;
  };
  struct State {
    mutable std::mutex Mutex;
    std::condition_variable Changed;
    std::deque<std::shared_ptr<Call>> Pending;
    bool Closed = false;
  };
  // Runs call unless another pass took it already, then lets its worker go.
  static void RunIfPending(const std::shared_ptr<State>& state, const std::shared_ptr<Call>& call);
  static void Run(const std::shared_ptr<State>& state, const std::shared_ptr<Call>& call);

  QObject* context_;
  std::shared_ptr<State> state_;
};

}  // namespace gui
