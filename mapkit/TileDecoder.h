// Decodes tile images on a small pool of threads, each at the size the view
// needs (JPEG decoding scales by 1/2, 1/4 and 1/8 almost for free). The view
// says what it wants with SetWanted(), which replaces everything still
// waiting: tiles that left the view are dropped before they are decoded.
// A request counts as in hand until its result is taken, so however long
// the taker is busy, no image is decoded twice and results never pile up.
//
// Threads: everything from any thread (the GUI thread); resultsReady runs on
// a decoding thread. Destruction drops what waits, lets the decodes in hand
// finish and joins.
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

namespace mapkit {

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
  // resultsReady: results wait to be taken (called again only after a take).
  TileDecoder(int threads, std::function<void()> resultsReady);
  ~TileDecoder();
  TileDecoder(const TileDecoder&) = delete;
  TileDecoder& operator=(const TileDecoder&) = delete;

  // Decoded in this order; a request whose key is being decoded already is
  // not queued again.
  void SetWanted(std::vector<DecodeRequest> wanted);
  // The results decoded since the last take; their keys may be asked for again.
  std::vector<DecodedTile> TakeResults();

  int64_t Decoded() const { return decoded_.load(); }
  // Requests replaced by SetWanted before a thread took them.
  int64_t Dropped() const { return dropped_.load(); }
  // The keys waiting now (tests).
  std::vector<uint64_t> Waiting() const;

 private:
  void Serve();

  const std::function<void()> resultsReady_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<DecodeRequest> waiting_;
  std::set<uint64_t> inHand_;  // being decoded, or decoded and not taken
  std::vector<DecodedTile> results_;
  bool stopping_ = false;
  std::atomic<int64_t> decoded_{0};
  std::atomic<int64_t> dropped_{0};
  std::vector<std::thread> threads_;  // last: started once the rest exists
};

}  // namespace mapkit
