// The progress of a combine on standard error: on a terminal one line redrawn
// in place, elsewhere a plain line every 10 seconds and at the end of each
// stage, so that a log ends with the final state; nothing when quiet. A stop
// signal is the cancel request. The combine's thread only.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "combiner/Progress.h"
#include "consolekit/CommandLine.h"
#include "consolekit/PacedLine.h"

namespace combiner {

class ConsoleProgress final : public Progress {
 public:
  ConsoleProgress(std::FILE* out, bool terminal, consolekit::Verbosity verbosity);

  void Report(const std::string& stage, double fraction) override;
  bool CancelRequested() const override;
  // Shows the latest state if it is not shown yet, and ends a redrawn line
  // so that what follows starts on a line of its own.
  void Finish();

  // "Combining tiles: 45.2%, 0:00:12 left".
  static std::string Text(const std::string& stage, double fraction, double stageSeconds);

 private:
  using Clock = consolekit::PacedLine::Clock;

  std::string Latest(Clock::time_point now) const;

  consolekit::PacedLine line_;
  bool verbose_;
  std::string stage_;
  double fraction_ = 0;
  Clock::time_point stageStart_;
};

}  // namespace combiner
