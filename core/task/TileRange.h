// An inclusive block of tiles and its walk. Tiles are walked column by column:
// x outer from MinX, y inner from MinY; the walk number of (MinX, MinY) is 1.
// Worker slot k of n workers takes the walk numbers p with p mod n == k, after
// its resume point (the walk number of the last tile it finished before).
// A plain value: safe to copy and to read from any thread.
#pragma once

#include <cstdint>

namespace task {

struct TilePosition {
  int32_t X = 0;
  int32_t Y = 0;
  friend bool operator==(const TilePosition&, const TilePosition&) = default;
};

// Both coordinates in one word: a key for sets and maps, and a position one
// atomic store publishes whole.
inline uint64_t PackedKey(TilePosition tile) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(tile.X)) << 32) | static_cast<uint32_t>(tile.Y);
}
inline TilePosition FromPackedKey(uint64_t key) {
  return {static_cast<int32_t>(static_cast<uint32_t>(key >> 32)), static_cast<int32_t>(static_cast<uint32_t>(key))};
}

struct TileRange {
  int32_t MinX = 0;
  int32_t MinY = 0;
  int32_t MaxX = 0;
  int32_t MaxY = 0;

  // Counted in 64 bits: a large block at a high zoom passes 32 bits.
  int64_t Columns() const { return int64_t{MaxX} - MinX + 1; }
  int64_t Rows() const { return int64_t{MaxY} - MinY + 1; }
  int64_t Count() const { return Columns() * Rows(); }
  bool Contains(int32_t x, int32_t y) const { return x >= MinX && x <= MaxX && y >= MinY && y <= MaxY; }

  int64_t WalkNumber(int32_t x, int32_t y) const { return (int64_t{x} - MinX) * Rows() + (int64_t{y} - MinY) + 1; }
  // The tile of walk number p (1 .. Count()).
  TilePosition AtWalkNumber(int64_t p) const {
    return TilePosition{static_cast<int32_t>(MinX + (p - 1) / Rows()), static_cast<int32_t>(MinY + (p - 1) % Rows())};
  }
  // Images are laid out row by row from the north-west: the tile at index
  // (0 .. Count() - 1) of that order.
  TilePosition AtRowMajorIndex(int64_t index) const {
    return TilePosition{static_cast<int32_t>(MinX + index % Columns()), static_cast<int32_t>(MinY + index / Columns())};
  }

  // The walk number after which a slot resumes: that of its last finished
  // tile, or 0 when either coordinate is 0 (no position stored).
  int64_t ResumePoint(TilePosition last) const {
    return last.X != 0 && last.Y != 0 ? WalkNumber(last.X, last.Y) : 0;
  }
  // The first walk number of slot (of threads workers) after walk number
  // after; Count() + 1 or more when the slot has nothing left.
  int64_t FirstOfSlot(int32_t slot, int32_t threads, int64_t after) const {
    const int64_t from = after < 0 ? 1 : after + 1;
    const int64_t offset = ((slot - from) % threads + threads) % threads;
    return from + offset;
  }
  // The last walk number of slot (of threads workers); 0 when it has none.
  int64_t LastOfSlot(int32_t slot, int32_t threads) const {
    const int64_t last = Count() - ((Count() - slot) % threads + threads) % threads;
    return last >= 1 ? last : 0;
  }
  // How many walk numbers slot takes after walk number after.
  int64_t ShareOf(int32_t slot, int32_t threads, int64_t after) const {
    const int64_t first = FirstOfSlot(slot, threads, after);
    return first > Count() ? 0 : (Count() - first) / threads + 1;
  }
};

}  // namespace task
