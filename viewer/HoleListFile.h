// The holes of a task written as a failed-tile list: one downloader record
// (MDTask::FailedRecord) per hole (given up, missing, unreadable), in walk order, so the
// re-download window fetches exactly them. Runs on the viewer's file thread.
#pragma once

#include <cstdint>
#include <string>

#include "core/task/Unitclasstask.h"
#include "viewer/TileStates.h"

namespace viewer {

// Streams the list to path atomically (it may run to millions of lines) and
// returns how many records it holds. Throws platform::FileError.
int64_t SaveHoleList(const task::MDTask& task, const TileStates& states, const std::string& path);

}  // namespace viewer
