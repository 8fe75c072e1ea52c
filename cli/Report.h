// What orvenna-cli tells about a run: the progress line on standard error
// and the summary at the end (also as JSON).
#pragma once

#include <cstdio>
#include <string>

#include "core/platform/StatusLine.h"
#include "core/run/RunController.h"

namespace cli {

enum class Verbosity { Quiet, Normal, Verbose };

struct Summary {
  std::string Task;
  run::RunCounters Counters;
  double ElapsedSeconds = 0;
  int ExitStatus = 0;
  bool Interrupted = false;
};

// One "Label: value" line per count, and the elapsed time.
std::string SummaryText(const Summary& summary);
// One JSON object, keys in a fixed order; numbers without the user's locale.
std::string SummaryJson(const Summary& summary);

// The progress of a run on out: on a terminal one line redrawn in place at
// every update, elsewhere a plain line every 10 seconds; nothing when quiet.
class ProgressLine {
 public:
  ProgressLine(std::FILE* out, bool terminal, Verbosity verbosity);

  // Called about once a second with the run's counts.
  void Update(const run::RunCounters& counters, double elapsedSeconds);
  // Ends a redrawn line so that what follows starts on a line of its own.
  void Finish();
  // Before other text is written to the same stream.
  void Clear();

  // done/total, percent, tiles per second, time left, tiles given up.
  static std::string Text(const run::RunCounters& counters, double elapsedSeconds);

 private:
  platform::StatusLine line_;
  bool quiet_;
  double lastPlain_ = 0;
};

}  // namespace cli
