// The progress of a combine on standard error: on a terminal one line redrawn
// in place, elsewhere a plain line every 10 seconds and at the end of each
// stage, so that a log ends with the final state; nothing when quiet. A
// stop signal counted in stopSignals is the cancel request. The combine's
// thread only.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>

#include "combiner/CommandLine.h"
#include "core/platform/StatusLine.h"
#include "combiner/Progress.h"

namespace combiner {

class ConsoleProgress final : public Progress {
 public:
  ConsoleProgress(std::FILE* out, bool terminal, Verbosity verbosity, const std::atomic<int>& stopSignals);

  void Report(const std::string& stage, double fraction) override;
  bool CancelRequested() const override { return stopSignals_.load() > 0; }
  // Shows the latest state if it is not shown yet, and ends a redrawn line
  // so that what follows starts on a line of its own.
  void Finish();

  // "Combining tiles: 45.2%, 0:00:12 left".
  static std::string Text(const std::string& stage, double fraction, double stageSeconds);

 private:
  using Clock = std::chrono::steady_clock;

  void ShowLatest(Clock::time_point now);

  std::FILE* out_;
  platform::StatusLine line_;
  Verbosity verbosity_;
  const std::atomic<int>& stopSignals_;
  std::string stage_;
  double fraction_ = 0;
  Clock::time_point stageStart_;
  Clock::time_point lastShown_;
  std::string shown_;  // the text shown last
};

}  // namespace combiner
