// What orvenna-cli tells about a run: the progress line on standard error
// and the summary at the end (also as JSON).
#pragma once

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "consolekit/PacedLine.h"
#include "core/run/RunController.h"
#include "core/task/TileCensus.h"

namespace cli {

struct Summary {
  std::string Task;
  run::RunCounters Counters;
  double ElapsedSeconds = 0;
  int ExitStatus = 0;
  bool Interrupted = false;
  // Why the run's tiles were given up, and what ended refused workers.
  std::map<std::string, int64_t> GivenUpReasons;
  std::vector<std::string> StopMessages;
  // The task as the census sees it after the run (none when it could not be
  // taken), and the command that goes on with it.
  std::optional<task::CensusCounts> Census;
  std::string NextStep;
};

// One "Label: value" line per count of the run and the elapsed time; then why
// tiles were given up and workers stopped, the task's census, the next step.
std::string SummaryText(const Summary& summary);
// One JSON object, keys in a fixed order; numbers without the user's locale.
std::string SummaryJson(const Summary& summary);

// "12 tiles given up: 10 x HTTP 500, 2 x timed out" (most frequent first).
std::string GivenUpAccount(const std::map<std::string, int64_t>& reasons);
// "Task: 42 tiles: 38 saved, 1 blank, 2 given up, 1 missing, 0 unreadable".
std::string CensusLine(const task::CensusCounts& counts);
// {"tiles": 42, "saved": 38, ..., "holes": 3}
std::string CensusJson(const task::CensusCounts& counts);
std::string JsonString(const std::string& text);
// text as one word for a POSIX shell (quoted when it needs to be).
std::string ShellWord(const std::string& text);

// Writes json to path, or to standard output for "-". Throws
// platform::FileError.
void WriteJson(const std::string& path, const std::string& json);

// The progress of a run on out, paced as PacedLine does.
class ProgressLine {
 public:
  ProgressLine(std::FILE* out, bool terminal, Verbosity verbosity) : line_(out, terminal, verbosity) {}

  // Called about once a second with the run's counts.
  void Update(const run::RunCounters& counters, double elapsedSeconds);
  // Ends a redrawn line so that what follows starts on a line of its own.
  void Finish() { line_.Finish(); }
  // Before other text is written to the same stream.
  void Clear() { line_.Clear(); }

  // The task's done/total and percent, this run's done/total, tiles per
  // second, time left, tiles given up.
  static std::string Text(const run::RunCounters& counters, double elapsedSeconds);

 private:
  consolekit::PacedLine line_;
};

}  // namespace cli
