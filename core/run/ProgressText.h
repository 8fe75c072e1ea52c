// A run's progress in one line, as every program shows it: the task's tiles
// done of its total and the percent, this run's, tiles per second, time
// left, tiles given up. Pure; any thread.
#pragma once

#include <string>

#include "core/run/RunController.h"

namespace run {

std::string ProgressText(const RunCounters& counters, double elapsedSeconds);

}  // namespace run
