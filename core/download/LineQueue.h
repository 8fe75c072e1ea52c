// The lines a worker that does not pause hands to the main thread without
// waiting for it: waiting there for every line would bound the download by
// the main thread's wake-ups rather than by the network and the disk.
//
// Lines come out in the order they went in, so each worker's lines keep
// their order. The queue is bounded: a worker waits only while it is full.
//
// Threads: Push() from the workers; TakeAll() and Close() from the main
// thread, which is woken (the wake action, called in the pushing thread
// outside the queue's lock) each time the queue turns non-empty and then
// takes everything waiting.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace download {

enum class LineKind { Log, Failed };

struct HandedLine {
  LineKind Kind = LineKind::Log;
  std::string Text;
};

class LineQueue {
 public:
  LineQueue(std::size_t capacity, std::function<void()> wake);
  LineQueue(const LineQueue&) = delete;
  LineQueue& operator=(const LineQueue&) = delete;

  // Waits while the queue is full; once it is closed, drops the line at once.
  void Push(LineKind kind, std::string text);
  // Every line waiting, oldest first.
  std::vector<HandedLine> TakeAll();
  // Lines still waiting stay for TakeAll(); later ones are dropped, and no
  // worker waits any more.
  void Close();

 private:
  const std::size_t capacity_;
  const std::function<void()> wake_;
  std::mutex mutex_;
  std::condition_variable notFull_;
  std::vector<HandedLine> waiting_;
  bool closed_ = false;
};

}  // namespace download
