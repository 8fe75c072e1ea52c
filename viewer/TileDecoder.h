// Decodes tile images on a small pool of threads, each at the size the view
// needs (JPEG decoding scales by 1/2, 1/4 and 1/8 almost for free). The view
// says what it wants with SetWanted(), which replaces everything still
// waiting: tiles that left the view are dropped before they are decoded.
//
// Threads: SetWanted() and the counters from any thread (the GUI thread);
// deliver runs on a decoding thread. Destruction drops what waits, lets the
// decodes in hand finish and joins.
#pragma once

#include <QImage>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace viewer {

struct DecodeRequest {
  uint64_t Key = 0;  // the requester's name for the result
  std::string Path;
  int Size = 256;  // the image is decoded to Size x Size pixels
};

struct DecodedTile {
  uint64_t Key = 0;
  QImage Image;  // null: the file did not decode
};

class TileDecoder {
 public:
  using Deliver = std::function<void(DecodedTile)>;

  TileDecoder(int threads, Deliver deliver);
  ~TileDecoder();
  TileDecoder(const TileDecoder&) = delete;
  TileDecoder& operator=(const TileDecoder&) = delete;

  // Decoded in this order; a request whose key is being decoded already is
  // not queued again.
  void SetWanted(std::vector<DecodeRequest> wanted);

  int64_t Decoded() const { return decoded_.load(); }
  // Requests replaced by SetWanted before a thread took them.
  int64_t Dropped() const { return dropped_.load(); }
  // The keys waiting now (tests).
  std::vector<uint64_t> Waiting() const;

 private:
  void Serve();

  const Deliver deliver_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<DecodeRequest> waiting_;
  std::set<uint64_t> inHand_;
  bool stopping_ = false;
  std::atomic<int64_t> decoded_{0};
  std::atomic<int64_t> dropped_{0};
  std::vector<std::thread> threads_;  // last: started once the rest exists
};

}  // namespace viewer
