// A task's files written as a Start writes them before its workers start (the
// task file, the extent list, the log header and the failed list), under the
// task's lock, without a download: what "orvenna-cli new" does without --run,
// and the map viewer's new task from an area. Main thread only.
#pragma once

#include <cstdint>
#include <string>

#include "core/task/RunSettings.h"
#include "core/task/Unitclasstask.h"

namespace run {

// Writes the files of record (checked by Start's checks) for a run with run's
// workers and returns its tile count. Throws task::TaskCreateError when the task cannot be built (its text,
// when not empty, is for the user), TaskBusyError when a run holds the task,
// platform::FileError when a file cannot be written.
int64_t WriteTaskFiles(const task::TaskParameters& record, const task::RunSettings& run,
                       const std::string& programFolder);

// True when writing record would replace a task file that holds another task
// (its positions and lists would be lost); a run that continues (run's
// ContinueTask) replaces nothing.
bool ReplacesAnotherTask(const task::TaskParameters& record, const task::RunSettings& run);

}  // namespace run
