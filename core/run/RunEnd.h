// What a task needs next and why a run ended: one answer for every
// front-end (orvenna-cli's status and summary, the window's status bar).
// Pure functions; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/task/TaskFile.h"
#include "core/task/TileRange.h"
#include "core/task/Unitclasstask.h"

namespace run {

struct RunCounters;

// What goes on with a task: nothing (it has every tile), continuing its walk
// (its saved positions are short of the end: a run or Start), or fetching
// its holes (the walk is done: fill, or the failed list's re-download).
enum class NextStep { Nothing, Continue, Fill };
NextStep NextStepOf(bool walkEnded, int64_t holes);

// The workers a run of task with threadCount workers takes (lowered as a run
// lowers it to the tiles).
int32_t WorkersOf(const task::MDTask& task, int32_t threadCount);
// Whether the positions saved in task's task file now put every slot of a
// run of threads workers at the end of its share: a continued run has
// nothing to walk. A file that cannot be read has no positions.
bool WalkEnded(const task::MDTask& task, int32_t threads);
// The positions that say the walk of range by threads workers is done: each
// slot's last tile (slots without one are left out).
std::vector<task::SlotPosition> EndPositions(const task::TileRange& range, int32_t threads);

// Why a run ended, as a phrase ("stopped by the user", "the workers are
// done", a worker's stop message without its "Error: "): the first stop
// message, else the cap of maxTiles, else the user's stop, else done.
std::string RunEndReason(bool stopRequested, const RunCounters& counters, const std::vector<std::string>& stopMessages,
                         int64_t maxTiles);

}  // namespace run
