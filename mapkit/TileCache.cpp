#include "mapkit/TileCache.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <system_error>
#include <vector>

#include "core/platform/Files.h"
#include "core/platform/Locations.h"
#include "core/platform/Numbers.h"

namespace mapkit {

namespace fs = std::filesystem;

namespace {

// An eviction goes this far below the bound, so that the next few stores do
// not each count the disk again.
constexpr double kRoomLeft = 0.9;
// What other programs stored is seen by counting the disk: at a store, when
// the last count is older than this.
constexpr auto kCountAge = std::chrono::seconds(1);

// Written beside and renamed into place, so no reader ever sees half a tile;
// never flushed to the disk: a tile lost in a crash is fetched again.
bool WriteAside(const std::string& path, std::string_view bytes) {
  platform::CreateFolderPath(platform::ExtractFilePath(path));
  const std::string draft = platform::TemporaryNameBeside(path);
  {
    std::ofstream out(draft, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
      std::error_code ignored;
      fs::remove(draft, ignored);
      return false;
    }
  }
  std::error_code error;
  fs::rename(draft, path, error);
  if (error) fs::remove(draft, error);
  return !error;
}

}  // namespace

TileCache::TileCache(std::string folder, int64_t maxBytes)
    : folder_(platform::IncludeTrailingDelimiter(folder) + "tiles" + platform::kPathSeparator), maxBytes_(maxBytes) {}

std::string TileCache::PathOf(const CachedTileName& name) const {
  const char separator = platform::kPathSeparator;
  return folder_ + name.Layer + separator + platform::FormatInteger(name.Z) + separator +
         platform::FormatInteger(name.X) + separator + platform::FormatInteger(name.Y) + "." + name.Extension;
}

std::optional<std::string> TileCache::Read(const CachedTileName& name) {
  const std::string path = PathOf(name);
  std::string bytes;
  if (platform::ReadWholeFile(path, bytes) != platform::ReadOutcome::Ok || bytes.empty()) return std::nullopt;
  std::error_code error;
  const fs::file_time_type now = fs::file_time_type::clock::now();
  fs::last_write_time(path, now, error);
  std::lock_guard lock(mutex_);
  if (const auto entry = entries_.find(path); entry != entries_.end()) entry->second.Used = now;
  return bytes;
}

void TileCache::Store(const CachedTileName& name, std::string_view bytes) {
  const std::string path = PathOf(name);
  if (!WriteAside(path, bytes)) return;
  std::lock_guard lock(mutex_);
  Entry& entry = entries_[path];
  bytes_ += static_cast<int64_t>(bytes.size()) - entry.Bytes;
  entry = Entry{static_cast<int64_t>(bytes.size()), fs::file_time_type::clock::now()};
  MakeRoom();
}

void TileCache::Count() {
  entries_.clear();
  bytes_ = 0;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder_, error), end; !error && it != end; it.increment(error)) {
    std::error_code fileError;
    if (!it->is_regular_file(fileError)) continue;
    const auto size = static_cast<int64_t>(it->file_size(fileError));
    const fs::file_time_type used = it->last_write_time(fileError);
    if (fileError) continue;
    entries_[it->path().string()] = Entry{size, used};
    bytes_ += size;
  }
  counted_ = true;
  countedAt_ = std::chrono::steady_clock::now();
}

void TileCache::MakeRoom() {
  if (counted_ && bytes_ <= maxBytes_ && std::chrono::steady_clock::now() - countedAt_ < kCountAge) return;
  // What other programs stored counts too.
  Count();
  if (bytes_ <= maxBytes_) return;
  std::vector<std::pair<fs::file_time_type, std::string>> byAge;
  byAge.reserve(entries_.size());
  for (const auto& [path, entry] : entries_) byAge.emplace_back(entry.Used, path);
  std::sort(byAge.begin(), byAge.end());
  const auto target = static_cast<int64_t>(static_cast<double>(maxBytes_) * kRoomLeft);
  for (const auto& [used, path] : byAge) {
    if (bytes_ <= target) break;
    std::error_code error;
    fs::remove(path, error);
    bytes_ -= entries_[path].Bytes;
    entries_.erase(path);
  }
}

void TileCache::SetMaxBytes(int64_t maxBytes) {
  std::lock_guard lock(mutex_);
  maxBytes_ = maxBytes;
  MakeRoom();
}

int64_t TileCache::MaxBytes() const {
  std::lock_guard lock(mutex_);
  return maxBytes_;
}

int64_t TileCache::Bytes() {
  std::lock_guard lock(mutex_);
  if (!counted_) Count();
  return bytes_;
}

void TileCache::Clear() {
  std::lock_guard lock(mutex_);
  std::error_code error;
  fs::remove_all(folder_, error);
  Count();
}

}  // namespace mapkit
