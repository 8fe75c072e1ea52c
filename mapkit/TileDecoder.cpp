#include "mapkit/TileDecoder.h"

#include <QImageReader>

#include "qtkit/Dialogs.h"

namespace mapkit {

namespace {

QImage Decode(const DecodeRequest& request) {
  QImageReader reader(qtkit::FromLocal(request.Path));
  // By content: a tile server may send another format under the .jpg name.
  reader.setDecideFormatFromContent(true);
  reader.setScaledSize(QSize(request.Size, request.Size));
  return reader.read();
}

}  // namespace

TileDecoder::TileDecoder(int threads, std::function<void()> resultsReady) : resultsReady_(std::move(resultsReady)) {
  for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { Serve(); });
}

TileDecoder::~TileDecoder() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    waiting_.clear();
  }
  changed_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void TileDecoder::SetWanted(std::vector<DecodeRequest> wanted) {
  {
    std::set<uint64_t> kept;
    for (const DecodeRequest& request : wanted) kept.insert(request.Key);
    std::lock_guard lock(mutex_);
    for (const DecodeRequest& request : waiting_) {
      if (kept.count(request.Key) == 0) dropped_.fetch_add(1);
    }
    waiting_.clear();
    for (DecodeRequest& request : wanted) {
      if (inHand_.count(request.Key) == 0) waiting_.push_back(std::move(request));
    }
  }
  changed_.notify_all();
}

std::vector<uint64_t> TileDecoder::Waiting() const {
  std::lock_guard lock(mutex_);
  std::vector<uint64_t> keys;
  for (const DecodeRequest& request : waiting_) keys.push_back(request.Key);
  return keys;
}

void TileDecoder::Serve() {
  for (;;) {
    DecodeRequest request;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
      if (stopping_) return;
      request = std::move(waiting_.front());
      waiting_.pop_front();
      inHand_.insert(request.Key);
    }
    DecodedTile tile{request.Key, Decode(request)};
    decoded_.fetch_add(1);
    bool first = false;
    {
      std::lock_guard lock(mutex_);
      results_.push_back(std::move(tile));
      first = results_.size() == 1;
    }
    if (first) resultsReady_();
  }
}

std::vector<DecodedTile> TileDecoder::TakeResults() {
  std::vector<DecodedTile> taken;
  std::lock_guard lock(mutex_);
  taken.swap(results_);
  for (const DecodedTile& tile : taken) inHand_.erase(tile.Key);
  return taken;
}

}  // namespace mapkit
