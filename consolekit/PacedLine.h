// A command-line program's progress on a stream, paced: on a terminal one
// line redrawn in place at most every redrawEvery, elsewhere (a pipe, a log
// file) a plain line every 10 seconds, so that a log grows slowly; nothing
// when quiet. The pause counts from the construction. One thread at a time.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "consolekit/CommandLine.h"
#include "core/platform/StatusLine.h"

namespace consolekit {

class PacedLine {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr Clock::duration kPlainLineEvery = std::chrono::seconds(10);

  PacedLine(std::FILE* out, bool terminal, Verbosity verbosity,
            Clock::duration redrawEvery = std::chrono::milliseconds(200), Clock::time_point now = Clock::now());

  bool Terminal() const { return line_.Terminal(); }
  bool Quiet() const { return quiet_; }
  // Whether the pace calls for a showing at now.
  bool Due(Clock::time_point now) const { return !quiet_ && now - lastShown_ >= every_; }
  // Shows text now (when due, or whatever the pace at the end of a stage);
  // the text shown last is not shown again.
  void Show(const std::string& text, Clock::time_point now);
  // Ends a redrawn line and writes text as a line of its own (unless quiet).
  void WriteLine(const std::string& text);
  // Erases a redrawn line, before other text is written to a terminal.
  void Clear() { line_.Clear(); }
  // Ends a redrawn line so that what follows starts on a line of its own.
  void Finish() { line_.Finish(); }

 private:
  std::FILE* out_;
  platform::StatusLine line_;
  bool quiet_;
  Clock::duration every_;
  Clock::time_point lastShown_;
  std::string shown_;
};

}  // namespace consolekit
