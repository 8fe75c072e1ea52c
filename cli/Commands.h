// The commands of orvenna-cli. Each returns the program's exit status and
// reports on standard error (and its log lines, with -v, on standard output).
#pragma once

#include <string>

#include "cli/CommandLine.h"
#include "cli/Report.h"

namespace cli {

struct Context {
  std::string ProgramFolder;  // ends in the separator; holds blankimg/
  std::string ConfigPath;
  Verbosity Verbose = Verbosity::Normal;
  bool Terminal = false;  // standard error is a terminal
};

// "orvenna-cli: " and text on standard error.
void PrintError(const std::string& text);

// The full path of a file named on the command line, as the open dialog gives it.
std::string FullPath(const std::string& path);

int RunCommand(const Invocation& invocation, const Context& context);
int NewCommand(const Invocation& invocation, const Context& context);
int RetryCommand(const Invocation& invocation, const Context& context);
int FillCommand(const Invocation& invocation, const Context& context);
int SurveysCommand(const Invocation& invocation, const Context& context);

}  // namespace cli
