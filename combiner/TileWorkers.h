// A thread per core for the per-tile work of a combine (reading, decoding,
// encoding), with the calling thread as one of them: jobs are queued, any
// thread runs them, and the caller runs queued jobs itself while it waits for
// the one it needs, so that no thread idles while work is queued. GDAL's
// messages on the pool's threads are kept quiet, as on the combine's own.
// Life cycle: made and used by one thread (the combine's); the destructor
// drops the jobs not begun and joins the pool's threads. Whatever the jobs
// refer to must outlive the pool or be waited for.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace combiner {

class TileWorkers {
 public:
  // threads: all of them, the caller included; 0 for one per core.
  explicit TileWorkers(unsigned threads = 0);
  ~TileWorkers();
  TileWorkers(const TileWorkers&) = delete;
  TileWorkers& operator=(const TileWorkers&) = delete;

  unsigned Threads() const { return static_cast<unsigned>(pool_.size()) + 1; }

  // Queues job; an urgent one goes before the others.
  void Submit(std::function<void()> job, bool urgent = false);
  // Runs queued jobs on this thread, or waits for the others, until done()
  // holds (asked under the pool's lock, after each job that ends). When a
  // job has thrown, drops the jobs not begun, waits for those running and
  // throws the first exception.
  void RunUntil(const std::function<bool()>& done);
  // job(i) for every i in [0, count), before the jobs already queued;
  // returns when all have returned (or throws as RunUntil).
  void ForEach(std::size_t count, const std::function<void(std::size_t)>& job);

 private:
  void Serve();
  // Takes the first job off the queue and runs it; lock is held around it.
  void RunNext(std::unique_lock<std::mutex>& lock);

  std::mutex mutex_;
  std::condition_variable queued_;  // a job came, or the pool stops
  std::condition_variable ended_;   // a job ended
  std::deque<std::function<void()>> jobs_;
  unsigned running_ = 0;
  bool stopping_ = false;
  std::exception_ptr failure_;
  std::vector<std::thread> pool_;
};

}  // namespace combiner
