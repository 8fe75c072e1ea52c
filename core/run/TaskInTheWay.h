// Before a Start writes a new task over the task file of its name: is that
// file the same task, or another whose tiles and positions the user would
// lose? Main thread only.
#pragma once

#include <cstdint>
#include <string>

#include "core/task/RunSettings.h"
#include "core/task/Unitclasstask.h"

namespace run {

struct TaskInTheWay {
  enum class Kind {
    None,      // no task file there, Start continues it, or it is this task
               // without its log and list (a Start that failed to write them)
    SameTask,  // the same task, its numbers typed in other texts ("40.0", stored "40")
    Another,   // another task: Start would replace it
  };
  Kind What = Kind::None;
  // For Another: "newtask.otsk in this folder holds another task: 612 of
  // 7,104 tiles saved, last run 2026-12-08 11:45. Replace it?"
  std::string Question;
};

// What lies at the task file of record (checked by Start, run's ContinueTask
// decided by its texts). programFolder holds the blank images the count of
// saved tiles tells apart.
TaskInTheWay TaskInTheWayOf(const task::TaskParameters& record, const task::RunSettings& run,
                            const std::string& programFolder);

// Whether the task file of record (run's ContinueTask decided by its texts) holds
// the same task in every number and choice, its coordinates typed in other
// texts or its name without the extension, and its log and failed list are
// there: a Start of it continues.
bool SameTaskInOtherTexts(const task::TaskParameters& record, const task::RunSettings& run);

// 7104 as "7,104".
std::string GroupedCount(int64_t value);

}  // namespace run
