// A program started by a test, with its standard output and standard error
// captured (standard error optionally on a pseudo-terminal, as a user's
// terminal would be). POSIX only.
//
// Threads: the captured text is read by threads of this object; every member
// may be called from the test's thread.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

struct ProcessResult {
  int ExitStatus = -1;  // the exit status, or 128 + the signal that ended it
  std::string Out;
  std::string Err;
};

class ChildProcess {
 public:
  // Starts argv[0] with the arguments argv[1..].
  explicit ChildProcess(const std::vector<std::string>& argv, bool stderrOnTerminal = false);
  ~ChildProcess();  // kills the program if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const;
  void Signal(int signal);
  // Waits (bounded) for the program to end; a program still running then is
  // killed and reported with status -1.
  ProcessResult Wait(std::chrono::milliseconds timeout = std::chrono::seconds(60));
  // The standard error captured so far.
  std::string ErrSoFar() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Starts a program and waits for its end.
ProcessResult RunProcess(const std::vector<std::string>& argv, std::chrono::milliseconds timeout = std::chrono::seconds(60));

}  // namespace testsupport
