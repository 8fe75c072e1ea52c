#include "core/platform/MainThreadQueue.h"

namespace platform {

MainThreadQueue::MainThreadQueue() : state_(std::make_shared<State>()) {}

MainThreadQueue::~MainThreadQueue() { Close(); }

void MainThreadQueue::Synchronize(const std::function<void()>& action) {
  auto call = std::make_shared<Call>();
  call->Action = &action;
  std::unique_lock lock(state_->Mutex);
  if (state_->Closed) return;
  state_->Pending.push_back(call);
  // Woken under the lock so that Close() either sees this call or has
  // already turned it away.
  WakeMainThread();
  state_->Changed.notify_all();
  state_->Changed.wait(lock, [&] { return call->Done; });
}

void MainThreadQueue::Post(std::function<void()> action) {
  auto call = std::make_shared<Call>();
  call->Posted = std::move(action);
  call->Action = &call->Posted;
  std::lock_guard lock(state_->Mutex);
  if (state_->Closed) return;
  state_->Pending.push_back(std::move(call));
  WakeMainThread();
  state_->Changed.notify_all();
}

void MainThreadQueue::Run(const std::shared_ptr<Call>& call) {
  const std::shared_ptr<State>& state = state_;
  struct Release {
    const std::shared_ptr<State>& state;
    const std::shared_ptr<Call>& call;
    ~Release() {
      std::lock_guard lock(state->Mutex);
      call->Done = true;
      state->Changed.notify_all();
    }
  } release{state, call};
  // The worker waits, so the action it handed over is still alive.
  Invoke(*call->Action);
}

int MainThreadQueue::RunPending() {
  int ran = 0;
  for (;;) {
    std::shared_ptr<Call> call;
    {
      std::lock_guard lock(state_->Mutex);
      if (state_->Pending.empty()) return ran;
      call = state_->Pending.front();
      state_->Pending.pop_front();
    }
    Run(call);
    ++ran;
  }
}

bool MainThreadQueue::WaitForPending(std::chrono::milliseconds timeout) {
  std::unique_lock lock(state_->Mutex);
  return state_->Changed.wait_for(lock, timeout, [&] { return !state_->Pending.empty(); });
}

void MainThreadQueue::Discard() {
  std::lock_guard lock(state_->Mutex);
  state_->Closed = true;
  for (const auto& call : state_->Pending) call->Done = true;
  state_->Pending.clear();
  state_->Changed.notify_all();
}

void MainThreadQueue::Close() {
  std::deque<std::shared_ptr<Call>> pending;
  {
    std::lock_guard lock(state_->Mutex);
    if (state_->Closed) return;
    state_->Closed = true;
    pending.swap(state_->Pending);
  }
  for (const auto& call : pending) {
    try {
      Run(call);
    } catch (...) {
      // Shutting down: a failing action must not keep the others waiting.
    }
  }
}

bool MainThreadQueue::Closed() const {
  std::lock_guard lock(state_->Mutex);
  return state_->Closed;
}

}  // namespace platform
