#include "core/run/ProgressText.h"

#include <algorithm>

#include "core/platform/Numbers.h"

namespace run {

std::string ProgressText(const RunCounters& counters, double elapsedSeconds) {
  const auto decimal = [](int64_t value) { return platform::FormatInteger(value); };
  const auto fixed = [](double value, int precision) { return platform::FormatFixed(value, 0, precision); };
  const int64_t done = counters.Done();
  const int64_t taskDone = counters.TaskDone();
  const double percent =
      counters.TaskTotal > 0 ? 100.0 * static_cast<double>(taskDone) / static_cast<double>(counters.TaskTotal) : 100.0;
  const double rate = elapsedSeconds > 0 ? static_cast<double>(done) / elapsedSeconds : 0;
  const int64_t left = std::max<int64_t>(counters.Total - done, 0);
  const std::string eta = rate > 0 ? platform::FormatDuration(static_cast<double>(left) / rate) : "?";
  return decimal(taskDone) + "/" + decimal(counters.TaskTotal) + " tiles of the task (" + fixed(percent, 1) +
         "%), this run " + decimal(done) + "/" + decimal(counters.Total) + ", " + fixed(rate, 2) + " tiles/s, ETA " +
         eta + ", " + decimal(counters.GivenUp) + " given up";
}

}  // namespace run
