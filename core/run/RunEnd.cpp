#include "core/run/RunEnd.h"

#include <algorithm>
#include <exception>

#include "core/platform/Numbers.h"
#include "core/run/RunController.h"

namespace run {

NextStep NextStepOf(bool walkEnded, int64_t holes) {
  if (!walkEnded) return holes > 0 ? NextStep::Continue : NextStep::Nothing;
  return holes > 0 ? NextStep::Fill : NextStep::Nothing;
}

int32_t WorkersOf(const task::MDTask& task, int32_t threadCount) {
  const int32_t threads = std::clamp(threadCount, 1, RunController::kMaxWorkers);
  return static_cast<int32_t>(std::min<int64_t>(threads, std::max<int64_t>(task.TotalImages, 1)));
}

bool WalkEnded(const task::MDTask& task, int32_t threads) {
  const task::TileRange range = task.Range();
  threads = std::clamp(threads, 1, RunController::kMaxWorkers);
  std::vector<task::TilePosition> positions;
  try {
    positions = task::TaskFile(task.TaskFileName()).ReadPositions(threads);
  } catch (const std::exception&) {
    return false;
  }
  for (int32_t slot = 0; slot < threads; ++slot) {
    const task::TilePosition last = positions[static_cast<std::size_t>(slot)];
    if (task.ShareOf(slot, threads, range.ResumePoint(last)) > 0) return false;
  }
  return true;
}

std::vector<task::SlotPosition> EndPositions(const task::TileRange& range, int32_t threads) {
  std::vector<task::SlotPosition> positions;
  for (int32_t slot = 0; slot < threads; ++slot) {
    const int64_t last = range.LastOfSlot(slot, threads);
    if (last >= 1) positions.push_back({slot, range.AtWalkNumber(last)});
  }
  return positions;
}

std::string RunEndReason(bool stopRequested, const RunCounters& counters, const std::vector<std::string>& stopMessages,
                         int64_t maxTiles) {
  if (!stopMessages.empty()) {
    std::string reason = stopMessages.front();
    if (reason.rfind("Error: ", 0) == 0) reason.erase(0, 7);
    std::replace(reason.begin(), reason.end(), '\n', ' ');
    std::replace(reason.begin(), reason.end(), '\r', ' ');
    while (!reason.empty() && reason.back() == '.') reason.pop_back();
    return reason;
  }
  if (counters.CappedWorkers > 0) {
    return "stopped at the cap of " + platform::FormatInteger(maxTiles) + " tiles a run may fetch";
  }
  if (stopRequested) return "stopped by the user";
  return "the workers are done";
}

}  // namespace run
