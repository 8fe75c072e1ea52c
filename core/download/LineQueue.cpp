#include "core/download/LineQueue.h"

#include <utility>

namespace download {

LineQueue::LineQueue(std::size_t capacity, std::function<void()> wake)
    : capacity_(capacity), wake_(std::move(wake)) {}

void LineQueue::Push(LineKind kind, std::string text) {
  bool wasEmpty = false;
  {
    std::unique_lock lock(mutex_);
    notFull_.wait(lock, [this] { return closed_ || waiting_.size() < capacity_; });
    if (closed_) return;
    wasEmpty = waiting_.empty();
    waiting_.push_back(HandedLine{kind, std::move(text)});
  }
  // Only the first line of a batch wakes the main thread; it takes them all.
  if (wasEmpty) wake_();
}

std::vector<HandedLine> LineQueue::TakeAll() {
  std::vector<HandedLine> taken;
  {
    std::lock_guard lock(mutex_);
    taken.swap(waiting_);
  }
  notFull_.notify_all();
  return taken;
}

void LineQueue::Close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  notFull_.notify_all();
}

}  // namespace download
