#include "mapkit/BaseTileLoader.h"

#include <QByteArray>
#include <QImage>

#include <chrono>

#include "core/download/FailureRules.h"

namespace mapkit {

namespace {

QImage Decode(const std::string& bytes) {
  return QImage::fromData(QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

// A failure for want of a network, not of the tile.
bool IsNetworkDown(const download::HttpResult& result) {
  const download::FailureClass kind = download::Classify(result);
  return kind == download::FailureClass::Network || kind == download::FailureClass::Reset;
}

std::string OneLine(const std::string& text) {
  std::string line;
  for (const char c : text) {
    if (c != '\r' && c != '\n') {
      line += c;
    } else if (!line.empty() && line.back() != ' ') {
      line += ' ';
    }
  }
  return line;
}

}  // namespace

BaseTileLoader::BaseTileLoader(BaseLayer layer, run::ProxySettings proxy, download::HttpLimits limits,
                               std::shared_ptr<TileCache> cache, std::function<void()> resultsReady)
    : layer_(std::move(layer)),
      proxy_(std::move(proxy)),
      limits_(limits),
      cache_(std::move(cache)),
      resultsReady_(std::move(resultsReady)) {
  threads_.emplace_back([this] { ServeCache(); });
  for (int32_t i = 0; i < layer_.Connections(); ++i) threads_.emplace_back([this] { ServeNetwork(); });
}

BaseTileLoader::~BaseTileLoader() {
  {
    std::lock_guard lock(mutex_);
    stopping_.store(true);
  }
  changed_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

CachedTileName BaseTileLoader::CacheNameOf(const TileId& tile) const {
  return CachedTileName{layer_.CacheName(), tile.Z, tile.X, tile.Y, layer_.Extension()};
}

void BaseTileLoader::SetWanted(const std::vector<TileId>& tiles) {
  {
    std::lock_guard lock(mutex_);
    cacheQueue_.clear();
    fetchQueue_.clear();
    wanted_.clear();
    for (const TileId& tile : tiles) {
      const uint64_t key = tile.Key();
      if (!wanted_.insert(key).second || inHand_.count(key) != 0) continue;
      (notCached_.count(key) != 0 ? fetchQueue_ : cacheQueue_).push_back(tile);
    }
  }
  changed_.notify_all();
}

std::vector<LoadedTile> BaseTileLoader::TakeResults() {
  std::vector<LoadedTile> taken;
  std::lock_guard lock(mutex_);
  taken.swap(results_);
  for (const LoadedTile& tile : taken) inHand_.erase(tile.Tile.Key());
  return taken;
}

void BaseTileLoader::Deliver(LoadedTile tile) {
  bool first = false;
  {
    std::lock_guard lock(mutex_);
    results_.push_back(std::move(tile));
    first = results_.size() == 1;
  }
  if (first) resultsReady_();
}

void BaseTileLoader::ServeCache() {
  for (;;) {
    TileId tile;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return stopping_.load() || !cacheQueue_.empty(); });
      if (stopping_.load()) return;
      tile = cacheQueue_.front();
      cacheQueue_.pop_front();
      inHand_.insert(tile.Key());
    }
    const std::optional<std::string> bytes = cache_->Read(CacheNameOf(tile));
    QImage image = bytes ? Decode(*bytes) : QImage();
    if (!image.isNull()) {
      ++fromCache_;
      Deliver(LoadedTile{tile, std::move(image), {}, false});
      continue;
    }
    // To the network, if the map still wants it.
    {
      std::lock_guard lock(mutex_);
      inHand_.erase(tile.Key());
      notCached_.insert(tile.Key());
      if (wanted_.count(tile.Key()) != 0) fetchQueue_.push_back(tile);
    }
    changed_.notify_all();
  }
}

void BaseTileLoader::ServeNetwork() {
  std::unique_ptr<download::HttpClient> client;
  std::string setupProblem;
  try {
    client = download::MakeTileClient(proxy_, layer_.HeaderLines(), limits_);
  } catch (const std::exception& error) {
    setupProblem = error.what();
  }
  for (;;) {
    TileId tile;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return stopping_.load() || !fetchQueue_.empty(); });
      if (stopping_.load()) return;
      tile = fetchQueue_.front();
      fetchQueue_.pop_front();
      inHand_.insert(tile.Key());
    }
    LoadedTile loaded{tile, {}, setupProblem, true};
    if (setupProblem.empty()) {
      std::string body;
      const download::HttpResult result =
          download::GetTile(*client, layer_.Url(tile.Z, tile.X, tile.Y), layer_.Extension(), body, &stopping_);
      if (result.Aborted) return;
      if (result.Ok) {
        offline_.store(false);
        cache_->Store(CacheNameOf(tile), body);
        loaded.Image = Decode(body);
        if (loaded.Image.isNull()) loaded.Problem = "the image does not decode";
        ++fetched_;
      } else {
        offline_.store(IsNetworkDown(result));
        loaded.Problem = OneLine(result.ErrorText.empty() ? download::ShortReason(result) : result.ErrorText);
      }
    }
    Deliver(std::move(loaded));
    // The source's pause after every request of this connection.
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(layer_.PauseMs()), [this] { return stopping_.load(); });
    if (stopping_.load()) return;
  }
}

}  // namespace mapkit
