#include "core/platform/Thread.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace platform {

Thread::~Thread() {
  // By now a derived object is gone; it must have called WaitFor() itself.
  // This only keeps a forgotten thread from outliving its std::thread.
  Terminate();
  WaitFor();
}

void Thread::Start() {
  if (started_) throw std::logic_error("Thread::Start called twice");
  started_ = true;
  thread_ = std::thread([this] {
    try {
      Execute();
    } catch (...) {
      // As with a desktop thread class, an error that escapes the body ends
      // the thread, not the program; the owner may look at it after WaitFor.
      fatalException_ = std::current_exception();
    }
  });
}

void Thread::WaitFor() {
  if (!thread_.joinable() || thread_.get_id() == std::this_thread::get_id()) return;
  thread_.join();
}

void SleepMs(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

bool SleepUnlessSet(const std::atomic<bool>& flag, int milliseconds) {
  // Short steps so that a Stop is seen within a few hundredths of a second.
  constexpr auto kStep = std::chrono::milliseconds(20);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
  for (;;) {
    if (flag.load()) return false;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return true;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kStep, deadline - now));
  }
}

}  // namespace platform
