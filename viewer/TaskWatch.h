// The viewer's watch over an opened task (run::OpenedTask): the states of its
// tiles and the scanner that learns them, which starts with the watch.
//
// Threads: built on any thread (the viewer opens tasks away from the GUI
// thread); then read-only but for the states and the scanner, which are safe
// to share. Destroying it stops and joins the scanner.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "core/run/OpenedTask.h"
#include "viewer/StateScanner.h"
#include "viewer/TileStates.h"

namespace viewer {

class TaskWatch {
 public:
  // Throws run::OpenTaskError for a file that describes no task and
  // std::bad_alloc for one too large to hold the states of.
  // programFolder (ending in the separator) holds the blank image.
  static std::shared_ptr<TaskWatch> Open(const std::string& taskPath, const std::string& programFolder,
                                          std::chrono::milliseconds activityCheckInterval);

  const task::MDTask& Task() const { return opened_->Task; }
  const std::string& Path() const { return path_; }
  TileStates& States() { return states_; }
  const TileStates& States() const { return states_; }
  StateScanner& Scanner() { return scanner_; }
  // Why the tile at index is unreadable ("truncated", "does not decode"...),
  // reading its file when it must; empty when it is not unreadable now.
  std::string UnreadableReason(int64_t index) const;

 private:
  TaskWatch(std::string path, std::unique_ptr<run::OpenedTask> opened, const std::string& programFolder,
             std::chrono::milliseconds activityCheckInterval);

  const std::string path_;
  const std::unique_ptr<run::OpenedTask> opened_;
  TileStates states_;
  StateScanner scanner_;  // last: stops before what it reads goes away
};

}  // namespace viewer
