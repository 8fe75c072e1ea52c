// The progress of a combine on standard error: on a terminal one line redrawn
// in place, elsewhere a plain line every 10 seconds; nothing when quiet. A
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
  // Ends a redrawn line so that what follows starts on a line of its own.
  void Finish();

  // "Combining tiles: 45.2%, 0:00:12 left".
  static std::string Text(const std::string& stage, double fraction, double stageSeconds);

 private:
  using Clock = std::chrono::steady_clock;

  std::FILE* out_;
  platform::StatusLine line_;
  Verbosity verbosity_;
  const std::atomic<int>& stopSignals_;
  std::string stage_;
  Clock::time_point stageStart_;
  Clock::time_point lastShown_;
};

}  // namespace combiner
