// A worker-thread base with a terminate-request flag, and the interface through
// which a worker runs a short action in the main thread while it waits.
//
// Life cycle: construct, Start() once, Terminate() any time from any thread,
// and destroy from the thread that owns the object. A derived class must call
// WaitFor() in its own destructor, before its members go away.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace platform {

// Runs an action in the main thread and returns once it has run there.
class MainThreadCaller {
 public:
  virtual ~MainThreadCaller() = default;
  virtual void Synchronize(const std::function<void()>& action) = 0;
};

class Thread {
 public:
  Thread() = default;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  virtual ~Thread();

  void Start();
  void Terminate() noexcept { terminated_.store(true); }
  bool Terminated() const noexcept { return terminated_.load(); }
  const std::atomic<bool>& TerminateFlag() const noexcept { return terminated_; }
  // Joins the thread if it was started and has not been joined yet.
  void WaitFor();

 protected:
  virtual void Execute() = 0;

 private:
  std::atomic<bool> terminated_{false};
  std::thread thread_;
};

void SleepMs(int milliseconds);
// Sleeps up to milliseconds, returning early (false) once flag is set.
bool SleepUnlessSet(const std::atomic<bool>& flag, int milliseconds);

}  // namespace platform
