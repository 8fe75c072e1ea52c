// The background thread that learns the state of every tile of a task from
// the file names the task expects: one open per tile, never a listing of the
// folder (it may hold millions of files). A pass goes through the tiles in
// view first. The first pass, and each that Reload() asks for, looks at every
// tile; one more starts by itself whenever the tile folder or the failed list
// changed since the last pass began (a download of the task is running), and
// looks again only at the tiles a download could change: those without a
// file, and the unreadable ones.
//
// Threads: the scanner's own thread writes the states; SetPriorityArea(),
// Reload() and the counters may be used from any thread. Life cycle: Start()
// once; destruction stops the pass after the tile in hand and joins.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/platform/Thread.h"
#include "core/task/Unitclasstask.h"
#include "viewer/TileStates.h"

namespace viewer {

// What a tile's file holds, as far as can be told without decoding it.
enum class TileFile { Absent, Blank, Image, NotImage };

// blank: the bytes of the program's blank image (empty: none to compare).
// An existing file that cannot be read is NotImage; an image is recognised by
// its first bytes.
TileFile InspectTileFile(const std::string& path, const std::string& blank);

class StateScanner final : public platform::Thread {
 public:
  // task and states must outlive the scanner. blankImagePath may name no file.
  StateScanner(const task::MDTask& task, TileStates& states, std::string blankImagePath,
               std::chrono::milliseconds activityCheckInterval);
  ~StateScanner() override;

  // The tiles in view (any range; clipped to the task): their chunks go first.
  void SetPriorityArea(const task::TileRange& area);
  // A new pass over every tile that starts over at once and gives files that
  // failed to decode a new chance.
  void Reload();

 protected:
  void Execute() override;

 private:
  struct ActivityStamp {
    std::filesystem::file_time_type Folder;
    std::filesystem::file_time_type FailedList;
    std::uintmax_t FailedListSize = 0;
    friend bool operator==(const ActivityStamp&, const ActivityStamp&) = default;
  };
  ActivityStamp StampNow() const;
  // False when the thread is to end.
  // full: every tile, decode failures forgotten.
  bool RunPass(const std::string& blank, bool full);
  // The next chunk of the pass not done yet, those in view first; -1: none.
  int64_t NextChunk(const std::vector<bool>& done, int64_t& sequential) const;
  TileState StateOf(int64_t index, const std::string& blank) const;
  void ReadGivenUp();

  const task::MDTask& task_;
  TileStates& states_;
  const std::string blankImagePath_;
  const std::chrono::milliseconds activityCheckInterval_;

  mutable std::mutex mutex_;  // guards priority_ and the wake-up
  std::condition_variable wake_;
  std::optional<task::TileRange> priority_;
  std::atomic<bool> reloadRequested_{false};

  // Scanner thread only.
  std::vector<int64_t> givenUp_;  // sorted indices of the tiles the failed list names
  ActivityStamp passStamp_;
};

}  // namespace viewer
