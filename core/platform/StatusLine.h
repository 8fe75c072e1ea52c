// One line of status on a stream (a command-line program's progress): on a
// terminal it is redrawn in place, elsewhere each showing is a line of its
// own. How often to show is the caller's. One thread at a time.
#pragma once

#include <cstdio>
#include <string>

namespace platform {

// Whether stream is a terminal (a console window on Windows), where a status
// line is redrawn in place.
bool IsTerminal(std::FILE* stream);

// For a window program about to print to its standard streams (its --help,
// --version, a wrong argument): on Windows such a program has no console of
// its own, so where a stream leads nowhere it is pointed at the console of
// the program that started it, when there is one (cmd, PowerShell).
// Redirected streams stay as they are. Elsewhere it does nothing.
void UseParentConsole();

class StatusLine {
 public:
  StatusLine(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {}

  bool Terminal() const { return terminal_; }
  void Show(const std::string& text);
  // Erases a redrawn line, so that other text can be written.
  void Clear();
  // Ends a redrawn line, so that what follows starts on a line of its own.
  void Finish();

 private:
  std::FILE* out_;
  bool terminal_;
  bool drawn_ = false;
};

}  // namespace platform
