#include "combiner/TileWorkers.h"

#include <algorithm>
#include <atomic>
#include <utility>

#include "combiner/GdalSteps.h"

namespace combiner {

TileWorkers::TileWorkers(unsigned threads) {
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  for (unsigned i = 1; i < threads; ++i) pool_.emplace_back([this] { Serve(); });
}

TileWorkers::~TileWorkers() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    jobs_.clear();
  }
  queued_.notify_all();
  for (std::thread& thread : pool_) thread.join();
}

void TileWorkers::Submit(std::function<void()> job, bool urgent) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (urgent) {
      jobs_.push_front(std::move(job));
    } else {
      jobs_.push_back(std::move(job));
    }
  }
  queued_.notify_one();
}

void TileWorkers::RunUntil(const std::function<bool()>& done) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    if (failure_) {
      jobs_.clear();
      ended_.wait(lock, [this] { return running_ == 0; });
      std::rethrow_exception(std::exchange(failure_, nullptr));
    }
    if (done()) return;
    if (jobs_.empty()) {
      ended_.wait(lock);
    } else {
      RunNext(lock);
    }
  }
}

void TileWorkers::ForEach(std::size_t count, const std::function<void(std::size_t)>& job) {
  std::atomic<std::size_t> ended{0};
  // From the last, so that the first is at the head of the queue.
  for (std::size_t i = count; i-- > 0;) {
    Submit(
        [&job, &ended, i] {
          job(i);
          ++ended;
        },
        /*urgent=*/true);
  }
  RunUntil([&] { return ended.load() == count; });
}

void TileWorkers::Serve() {
  const GdalErrorScope quiet;
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    queued_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
    if (stopping_) return;
    RunNext(lock);
  }
}

void TileWorkers::RunNext(std::unique_lock<std::mutex>& lock) {
  std::function<void()> job = std::move(jobs_.front());
  jobs_.pop_front();
  ++running_;
  lock.unlock();
  std::exception_ptr thrown;
  try {
    job();
  } catch (...) {
    thrown = std::current_exception();
  }
  job = nullptr;
  lock.lock();
  --running_;
  if (thrown && !failure_) failure_ = thrown;
  ended_.notify_all();
}

}  // namespace combiner
