// A thread per core for the per-tile work of a combine (reading, decoding,
// encoding), with the calling thread as one of them. GDAL's messages on the
// pool's threads are kept quiet, as on the combine's own thread.
// Life cycle: made and used by one thread (the combine's); the destructor
// ends and joins the pool's threads.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
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

  // Runs job(i) for every i in [0, count) on all threads and returns when
  // every call has returned. When a call throws, the calls not yet begun
  // are skipped and the first exception is thrown here.
  void ForEach(std::size_t count, const std::function<void(std::size_t)>& job);

 private:
  void Serve();
  void RunShare();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable finished_;
  // The job of the current round; written under mutex_ before a round starts.
  const std::function<void(std::size_t)>* job_ = nullptr;
  std::size_t count_ = 0;
  std::size_t next_ = 0;
  uint64_t round_ = 0;
  unsigned busy_ = 0;
  bool stopping_ = false;
  std::exception_ptr failure_;
  std::vector<std::thread> pool_;
};

}  // namespace combiner
