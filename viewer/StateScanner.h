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
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/platform/Thread.h"
#include "core/task/TileCensus.h"
#include "core/task/Unitclasstask.h"
#include "viewer/TileStates.h"

namespace viewer {

// The viewer's state of a tile the census judged.
TileState StateOf(task::TileState state);

class StateScanner final : public platform::Thread {
 public:
  // task and states must outlive the scanner. programFolder (ending in the
  // separator) holds the program's blank image.
  StateScanner(const task::MDTask& task, TileStates& states, std::string programFolder,
               std::chrono::milliseconds activityCheckInterval);
  ~StateScanner() override;

  // The tiles in view (any range; clipped to the task): their chunks go first.
  void SetPriorityArea(const task::TileRange& area);
  // A new pass over every tile that starts over at once and gives files that
  // failed to decode a new chance.
  void Reload();
  // The census of the latest pass (nullptr before the first), for judging a
  // tile again on another thread, to tell why it is unreadable.
  std::shared_ptr<const task::TileCensus> Census() const;

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
  bool RunPass(bool full);
  // The next chunk of the pass not done yet, those in view first; -1: none.
  int64_t NextChunk(const std::vector<bool>& done, int64_t& sequential) const;
  // A new census for the pass (the failed list read again); while the list
  // cannot be read (being replaced?) the last census stands.
  void TakeCensus();

  const task::MDTask& task_;
  TileStates& states_;
  const std::string programFolder_;
  const std::chrono::milliseconds activityCheckInterval_;

  mutable std::mutex mutex_;  // guards priority_, census_ and the wake-up
  std::condition_variable wake_;
  std::optional<task::TileRange> priority_;
  std::atomic<bool> reloadRequested_{false};
  // Set by the scanner thread only, which reads it without the lock.
  std::shared_ptr<const task::TileCensus> census_;

  // Scanner thread only.
  ActivityStamp passStamp_;
};

}  // namespace viewer
