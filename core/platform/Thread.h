// A worker-thread base with a terminate-request flag, and the interface through
// which a worker runs a short action in the main thread while it waits.
//
// Life cycle: construct, Start() once, Terminate() any time from any thread,
// and destroy from the thread that owns the object. A derived class must call
// WaitFor() in its own destructor, before its members go away: the base
// destructor also sets the flag and joins, but by then Execute() would be
// running on a half-destroyed object.
#pragma once

#include <atomic>
#include <exception>
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

  // Runs Execute() on a new thread. Throws std::logic_error on a second call.
  void Start();
  void Terminate() noexcept { terminated_.store(true); }
  bool Terminated() const noexcept { return terminated_.load(); }
  const std::atomic<bool>& TerminateFlag() const noexcept { return terminated_; }
  // Joins the thread if it was started and has not been joined yet; any
  // further call returns at once. Called from the owning thread (a call from
  // the worker itself returns at once instead of deadlocking).
  void WaitFor();
  // What escaped Execute(), if anything; read it after WaitFor().
  std::exception_ptr FatalException() const noexcept { return fatalException_; }

 protected:
  virtual void Execute() = 0;

 private:
  std::atomic<bool> terminated_{false};
  std::thread thread_;
  bool started_ = false;
  std::exception_ptr fatalException_;
};

void SleepMs(int milliseconds);
// Sleeps up to milliseconds, looking at flag every 20 ms at most; returns
// false as soon as it is set (at once when it already is), true otherwise.
bool SleepUnlessSet(const std::atomic<bool>& flag, int milliseconds);

}  // namespace platform
