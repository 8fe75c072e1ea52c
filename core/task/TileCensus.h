// Which tiles a task has: the one answer every program gives. A tile is
//   saved       a file that is a tile of the task's format (TileImage.h) and
//               not the program's blank image, whatever the failed list says
//               (a later re-download may have fetched it);
//   given up    the blank image, or no file, where the failed list names it;
//   blank       the blank image, not named: the server said it has no tile;
//   missing     no file, not named: not tried yet;
//   unreadable  anything else: 0 bytes, no image, truncated, the wrong size,
//               a folder in the way (with the reason).
// Holes are given up, missing and unreadable tiles. The tile folder is never
// listed (a task may have millions of files); each tile is looked up by the
// name the task gives it, and the failed list is read once.
//
// Threads: read-only after construction; Judge may run on several threads.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/platform/Files.h"
#include "core/task/Unitclasstask.h"

namespace task {

enum class TileState : uint8_t { Saved, Blank, GivenUp, Missing, Unreadable };
inline constexpr int kTileStateCount = 5;

// "saved", "blank", "given up", "missing", "unreadable".
const char* TileStateName(TileState state);
inline bool IsHole(TileState state) {
  return state == TileState::GivenUp || state == TileState::Missing || state == TileState::Unreadable;
}

struct TileVerdict {
  TileState State = TileState::Missing;
  std::string Reason;  // why a tile is unreadable; empty otherwise
};

// The reason of a tile whose file a program could not decode although it
// looked like a tile.
inline constexpr const char* kDoesNotDecode = "does not decode";

struct CensusCounts {
  std::array<int64_t, kTileStateCount> Of{};
  int64_t operator[](TileState state) const { return Of[static_cast<std::size_t>(state)]; }
  void Add(TileState state) { ++Of[static_cast<std::size_t>(state)]; }
  int64_t Total() const;
  int64_t Holes() const;
};

class TileCensus {
 public:
  // Reads the blank image of the task's tiles from programFolder (ending in
  // the separator; without a readable blank no file counts as blank) and the
  // task's failed list. Throws platform::FileError when the list is there but
  // cannot be read. task must outlive the census.
  TileCensus(const MDTask& task, const std::string& programFolder);

  const MDTask& Task() const { return task_; }
  // Whether the failed list names the tile.
  bool Listed(int32_t x, int32_t y) const;
  // Reads only what it needs of the tile's file (its first bytes and end).
  TileVerdict Judge(int32_t x, int32_t y) const;
  // The same, reading the whole file into contents (left empty unless the
  // tile is saved or blank), for a caller that goes on to use its bytes.
  TileVerdict JudgeAndRead(int32_t x, int32_t y, std::string& contents) const;
  // Judges every tile of the task in walk order and counts them; visit, when
  // given, sees each one and ends the walk early by returning false.
  CensusCounts Walk(const std::function<bool(TilePosition, const TileVerdict&)>& visit = {}) const;

 private:
  TileVerdict JudgeFile(int32_t x, int32_t y, std::string* contents) const;

  const MDTask& task_;
  std::string blank_;
  std::vector<int64_t> listed_;  // walk numbers the failed list names, sorted
};

// Tiles written as a failed-tile list, one downloader record each
// (MDTask::FailedRecord), so the re-download and "fill" fetch exactly them.
// Streamed to a temporary file (a list may run to millions of lines) that
// Commit() renames over path. Throws platform::FileError. One thread.
class FailedListWriter {
 public:
  FailedListWriter(const MDTask& task, const std::string& path);
  void Add(int32_t x, int32_t y);
  int64_t Count() const { return count_; }
  void Commit();

 private:
  const MDTask& task_;
  platform::AtomicFileWriter out_;
  std::string pending_;
  int64_t count_ = 0;
};

}  // namespace task
