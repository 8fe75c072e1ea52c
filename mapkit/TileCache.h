// The disk cache of base-layer tiles that the map windows share, in the
// user's cache folder: one file a tile (<layer>/<z>/<x>/<y>.<ext> under
// tiles/), bounded in bytes, the least recently used out first. Windows of
// other programs use the same folder: a tile's use is its file's time, which
// every reader sets, and a store counts what is on disk when its last count
// is a second old or the bound is reached, so what other programs stored
// since is at most a second's worth. A cache that
// cannot be written (read-only, full) is no cache, never an error. A task's
// download never reads or writes it.
//
// Threads: every member from any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace mapkit {

struct CachedTileName {
  std::string Layer;  // a folder name (BaseLayer::CacheName)
  int32_t Z = 0;
  int32_t X = 0;
  int32_t Y = 0;
  std::string Extension;
};

class TileCache {
 public:
  // folder ends in the separator.
  TileCache(std::string folder, int64_t maxBytes);

  // The bytes of a tile, marked as used now; nothing when it is not cached.
  std::optional<std::string> Read(const CachedTileName& name);
  // Stores a tile, then makes room: the oldest tiles go until the cache is
  // within its bound again.
  void Store(const CachedTileName& name, std::string_view bytes);

  // The folder of the tiles.
  const std::string& Folder() const { return folder_; }
  void SetMaxBytes(int64_t maxBytes);
  int64_t MaxBytes() const;
  // The bytes on disk as last counted and changed since.
  int64_t Bytes();
  // Removes every tile.
  void Clear();

 private:
  struct Entry {
    int64_t Bytes = 0;
    std::filesystem::file_time_type Used;
  };
  std::string PathOf(const CachedTileName& name) const;
  // Counts what is on disk (all programs' tiles). Under the mutex.
  void Count();
  void MakeRoom();

  const std::string folder_;
  mutable std::mutex mutex_;
  int64_t maxBytes_;
  bool counted_ = false;
  std::chrono::steady_clock::time_point countedAt_;
  std::unordered_map<std::string, Entry> entries_;
  int64_t bytes_ = 0;
};

}  // namespace mapkit
