// What is known about every tile of a task: one byte per tile, indexed by the
// tile's walk number - 1 (column by column, as the task walks them), with
// running counts per state and per chunk of holes.
//
// Threads: the state scanner learns states, the GUI thread marks tiles that
// fail to decode and reads everything, all at the same time; every access is
// atomic, so readers see each tile either as it was or as it is.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "core/task/TileRange.h"

namespace viewer {

// The task's census (task::TileState) and what the viewer adds: tiles not
// looked at yet, and tiles that looked like tiles but failed to decode.
enum class TileState : uint8_t {
  Unknown,     // not looked at yet
  Saved,       // a tile of the task's format
  Blank,       // the blank image, not in the failed list: the server has no tile
  GivenUp,     // the blank image or no file; the task's failed list names it
  Missing,     // no file, not listed: not downloaded (yet)
  Unreadable,  // anything else, or a file that fails to decode
  Outside,     // in the task's box, outside its shape: no tile of the task
};
inline constexpr int kTileStateCount = 7;

// The tiles a failed-tile list of the holes names.
inline bool IsHole(TileState state) {
  return state == TileState::GivenUp || state == TileState::Missing || state == TileState::Unreadable;
}

class TileStates {
 public:
  // Holes are counted per chunk of this many consecutive indices, so the
  // n-th hole is found without walking the whole task.
  static constexpr int kChunkShift = 12;
  static constexpr int64_t kChunkTiles = int64_t{1} << kChunkShift;

  // Every tile starts Unknown. Throws std::bad_alloc for a task too large
  // for memory (one byte per tile).
  explicit TileStates(task::TileRange range);

  const task::TileRange& Range() const { return range_; }
  int64_t Size() const { return range_.Count(); }
  int64_t IndexOf(int32_t x, int32_t y) const { return range_.WalkNumber(x, y) - 1; }
  task::TilePosition TileAt(int64_t index) const { return range_.AtWalkNumber(index + 1); }
  int64_t Chunks() const { return (Size() + kChunkTiles - 1) >> kChunkShift; }
  // The indices of chunk run from chunk * kChunkTiles up to this one, excluded.
  int64_t ChunkEnd(int64_t chunk) const { return std::min(Size(), (chunk + 1) * kChunkTiles); }

  TileState At(int64_t index) const;
  // Whether the tile is unreadable because its file failed to decode.
  bool Undecodable(int64_t index) const;

  // What the scanner found for the tile's file. A file that looked like an
  // image but failed to decode stays Unreadable while it is there, unless
  // forgetDecodeFailure (a full reload gives every file a new chance).
  void Learn(int64_t index, TileState state, bool forgetDecodeFailure = false);
  // A file the scanner took for an image did not decode.
  void MarkUndecodable(int64_t index);

  int64_t Count(TileState state) const { return counts_[static_cast<int>(state)].load(std::memory_order_relaxed); }
  int64_t HolesInChunk(int64_t chunk) const { return chunkHoles_[chunk].load(std::memory_order_relaxed); }
  // Grows with every change of a tile's state: readers compare it to see
  // whether anything is new.
  uint64_t Changes() const { return changes_.load(std::memory_order_relaxed); }

 private:
  // Stored byte: the state, plus this bit once the file failed to decode.
  static constexpr uint8_t kUndecodable = 0x80;

  // Swaps the tile's byte for next(old byte) and keeps the counts.
  template <typename Next>
  void Update(int64_t index, Next next);

  task::TileRange range_;
  std::unique_ptr<std::atomic<uint8_t>[]> states_;
  std::unique_ptr<std::atomic<int32_t>[]> chunkHoles_;
  std::array<std::atomic<int64_t>, kTileStateCount> counts_{};
  std::atomic<uint64_t> changes_{0};
};

}  // namespace viewer
