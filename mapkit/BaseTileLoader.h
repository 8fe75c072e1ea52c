// Brings the base tiles a map wants: first from the disk cache, on a thread
// of its own, then over the network with the core's HTTP client (the
// settings' proxy, the source's headers and secret), on as many connections
// as the source allows, each pausing the source's pause after every request.
// Fetched tiles are judged as the download judges them, stored in the cache
// and decoded there, off the GUI thread. The map says what it wants with
// SetWanted(), nearest first, which replaces everything still waiting.
//
// Threads: the members from the GUI thread; resultsReady runs on a loading
// thread (again only after a take). Destruction stops the waits and the
// requests in hand (abandoned within about a second) and joins.
#pragma once

#include <QImage>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "core/download/HttpClient.h"
#include "core/run/ConfigFile.h"
#include "mapkit/BaseLayer.h"
#include "mapkit/TileCache.h"

namespace mapkit {

struct TileId {
  int32_t Z = 0;
  int32_t X = 0;
  int32_t Y = 0;
  // Unique for zoom up to 31 and columns and rows below 2^29.
  uint64_t Key() const { return (uint64_t(Z) << 58) | (uint64_t(X) << 29) | uint64_t(Y); }
};

struct LoadedTile {
  TileId Tile;
  QImage Image;         // null when it failed
  std::string Problem;  // why it failed, on one line
  bool Fetched = false;  // from the network, not the cache
};

class BaseTileLoader {
 public:
  BaseTileLoader(BaseLayer layer, run::ProxySettings proxy, download::HttpLimits limits,
                 std::shared_ptr<TileCache> cache, std::function<void()> resultsReady);
  ~BaseTileLoader();
  BaseTileLoader(const BaseTileLoader&) = delete;
  BaseTileLoader& operator=(const BaseTileLoader&) = delete;

  const BaseLayer& Layer() const { return layer_; }
  void SetWanted(const std::vector<TileId>& tiles);
  // What was loaded since the last take; those tiles may be wanted again.
  std::vector<LoadedTile> TakeResults();
  // The last request failed for want of a network (no route, refused, no
  // name); the next one that gets through ends it.
  bool Offline() const { return offline_.load(); }
  int64_t Fetched() const { return fetched_.load(); }
  int64_t FromCache() const { return fromCache_.load(); }

 private:
  void ServeCache();
  void ServeNetwork();
  void Deliver(LoadedTile tile);
  CachedTileName CacheNameOf(const TileId& tile) const;

  const BaseLayer layer_;
  const run::ProxySettings proxy_;
  const download::HttpLimits limits_;
  const std::shared_ptr<TileCache> cache_;
  const std::function<void()> resultsReady_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<TileId> cacheQueue_;
  std::deque<TileId> fetchQueue_;
  std::unordered_set<uint64_t> wanted_;
  // Being loaded, or loaded and not taken.
  std::unordered_set<uint64_t> inHand_;
  // Looked for in the cache and not found.
  std::unordered_set<uint64_t> notCached_;
  std::vector<LoadedTile> results_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> offline_{false};
  std::atomic<int64_t> fetched_{0};
  std::atomic<int64_t> fromCache_{0};
  std::vector<std::thread> threads_;  // last: started once the rest exists
};

}  // namespace mapkit
