#include "combiner/TileWorkers.h"

#include <algorithm>
#include <utility>

#include "combiner/GdalSupport.h"

namespace combiner {

TileWorkers::TileWorkers(unsigned threads) {
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  for (unsigned i = 1; i < threads; ++i) pool_.emplace_back([this] { Serve(); });
}

TileWorkers::~TileWorkers() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& thread : pool_) thread.join();
}

void TileWorkers::ForEach(std::size_t count, const std::function<void(std::size_t)>& job) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    job_ = &job;
    count_ = count;
    next_ = 0;
    failure_ = nullptr;
    busy_ = static_cast<unsigned>(pool_.size());
    ++round_;
  }
  wake_.notify_all();
  RunShare();
  std::unique_lock<std::mutex> lock(mutex_);
  finished_.wait(lock, [this] { return busy_ == 0; });
  job_ = nullptr;
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void TileWorkers::Serve() {
  const GdalErrorScope quiet;
  uint64_t seen = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    wake_.wait(lock, [&] { return stopping_ || round_ != seen; });
    if (stopping_) return;
    seen = round_;
    lock.unlock();
    RunShare();
    lock.lock();
    if (--busy_ == 0) finished_.notify_one();
  }
}

void TileWorkers::RunShare() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (next_ < count_) {
    const std::size_t index = next_++;
    const std::function<void(std::size_t)>& job = *job_;
    lock.unlock();
    try {
      job(index);
    } catch (...) {
      lock.lock();
      if (!failure_) failure_ = std::current_exception();
      next_ = count_;
      continue;
    }
    lock.lock();
  }
}

}  // namespace combiner
